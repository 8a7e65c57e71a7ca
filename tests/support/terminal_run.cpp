#include "support/terminal_run.hpp"

#include "support/process.hpp"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tarntest {

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point after(int milliseconds) {
    return Clock::now() + std::chrono::milliseconds(milliseconds);
}

void closeQuietly(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

bool ends(int status) {
    return WIFEXITED(status) || WIFSIGNALED(status);
}

// The stand-in shell's terminal, for its SIGUSR1 handler: on that signal it
// makes its own group the terminal's foreground group again.
volatile sig_atomic_t shellTerminal = -1;

extern "C" void takeForeground(int) {
    const int savedErrno = errno;
    ::tcsetpgrp(shellTerminal, ::getpgrp());
    errno = savedErrno;
}

// The program's side of the fork: its group, clean signal dispositions and
// mask, its standard streams, and nothing else open.
[[noreturn]] void execProgram(const std::vector<std::string>& argv, const TerminalRunOptions& options, int terminal,
                              int input, int output, int errors) {
    if (options.group != JobGroup::Shells) ::setpgid(0, 0);
    if (options.group == JobGroup::Foreground) ::tcsetpgrp(terminal, ::getpgrp());  // SIGTTOU is held back
    for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) ::signal(signalNumber, SIG_DFL);
    for (int signalNumber : options.ignored) ::signal(signalNumber, SIG_IGN);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::dup2(input >= 0 ? input : ::open("/dev/null", O_RDONLY | O_CLOEXEC), STDIN_FILENO);
    ::dup2(output, STDOUT_FILENO);
    ::dup2(errors, STDERR_FILENO);
    ::close_range(3, ~0U, 0);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
}

// The stand-in shell: leads a new session on the terminal, starts the
// program, sends the test the program's id and then each of its waitpid
// statuses, and ends when the program has ended.
[[noreturn]] void runShell(const std::vector<std::string>& argv, const TerminalRunOptions& options,
                           const std::string& slaveName, int input, int output, int errors, int events) {
    ::setsid();
    const int terminal = ::open(slaveName.c_str(), O_RDWR | O_CLOEXEC);
    ::ioctl(terminal, TIOCSCTTY, 0);
    shellTerminal = terminal;
    // The shell sets the terminal's foreground group from the background.
    sigset_t ttou;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    ::sigprocmask(SIG_BLOCK, &ttou, nullptr);
    struct sigaction take {};
    take.sa_handler = takeForeground;
    sigemptyset(&take.sa_mask);
    ::sigaction(SIGUSR1, &take, nullptr);

    const pid_t program = ::fork();
    if (program < 0) ::_exit(1);
    if (program == 0) execProgram(argv, options, terminal, input, output, errors);
    for (int fd : {input, output, errors}) if (fd >= 0) ::close(fd);  // the program's alone
    if (options.group != JobGroup::Shells) ::setpgid(program, program);  // whichever side comes first
    if (options.group == JobGroup::Foreground) ::tcsetpgrp(terminal, program);
    if (::write(events, &program, sizeof program) != sizeof program) ::_exit(1);
    for (;;) {
        int status = 0;
        if (::waitpid(program, &status, WUNTRACED | WCONTINUED) < 0) {
            if (errno == EINTR) continue;
            ::_exit(1);
        }
        if (::write(events, &status, sizeof status) != sizeof status) ::_exit(1);
        if (ends(status)) ::_exit(0);
    }
}

}  // namespace

TerminalRun::TerminalRun(const std::string& image, const TerminalRunOptions& options) {
    static int count = 0;
    path_ = writeTempFile("tty" + std::to_string(++count) + ".bin", image);
    startShell({TARNSIM_BINARY, path_}, options);
}

TerminalRun::TerminalRun(const std::vector<std::string>& argv, const TerminalRunOptions& options) {
    startShell(argv, options);
}

void TerminalRun::startShell(const std::vector<std::string>& argv, const TerminalRunOptions& options) {
    ::signal(SIGPIPE, SIG_IGN);
    outputLimit_ = options.outputLimit;
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) || ::unlockpt(master_)) throw std::runtime_error("pty");
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    slaveName_ = ::ptsname(master_);
    slave_ = ::open(slaveName_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0 || ::tcgetattr(slave_, &before_) != 0) throw std::runtime_error("pty slave");

    int out[2], err[2], events[2], in[2];
    if (::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC) || ::pipe2(events, O_CLOEXEC) || ::pipe2(in, O_CLOEXEC))
        throw std::runtime_error("pipe");
    shell_ = ::fork();
    if (shell_ < 0) throw std::runtime_error("fork");
    if (shell_ == 0) {
        for (int fd : {out[0], err[0], events[0], in[1], master_, slave_}) ::close(fd);  // the test's ends
        runShell(argv, options, slaveName_, options.inputPipe ? in[0] : -1, out[1], err[1], events[1]);
    }
    for (int fd : {out[1], err[1], events[1], in[0]}) ::close(fd);
    outFd_ = out[0];
    errFd_ = err[0];
    eventsFd_ = events[0];
    inputFd_ = in[1];
    if (!options.inputPipe) closeQuietly(inputFd_);

    pid_t program = -1;
    pollfd ready{eventsFd_, POLLIN, 0};
    if (::poll(&ready, 1, 20000) != 1 || ::read(eventsFd_, &program, sizeof program) != sizeof program)
        throw std::runtime_error("the stand-in shell did not start the program");
    pid_ = program;
}

TerminalRun::~TerminalRun() {
    if (!ended_ && pid_ > 0) {
        ::kill(-pid_, SIGKILL);  // its group, when it leads one (a timeout and its child)
        ::kill(pid_, SIGKILL);
    }
    const auto deadline = after(10000);
    while (!ended_ && pid_ > 0 && eventsFd_ >= 0 && Clock::now() < deadline)
        readAvailable(100);  // the shell reports the end, then exits
    if (shell_ > 0) {
        if (!ended_) ::kill(shell_, SIGKILL);
        ::waitpid(shell_, nullptr, 0);
    }
    for (int* fd : {&outFd_, &errFd_, &eventsFd_, &inputFd_, &slave_, &master_}) closeQuietly(*fd);
}

void TerminalRun::readAvailable(int waitMilliseconds) {
    pollfd fds[3];
    nfds_t count = 0;
    if (outFd_ >= 0 && out_.size() < outputLimit_) fds[count++] = {outFd_, POLLIN, 0};
    for (int fd : {errFd_, eventsFd_}) if (fd >= 0) fds[count++] = {fd, POLLIN, 0};
    if (count == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMilliseconds));
        return;
    }
    if (::poll(fds, count, waitMilliseconds) <= 0) return;
    for (nfds_t i = 0; i < count; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        char buffer[65536];
        const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        int& fd = fds[i].fd == outFd_ ? outFd_ : fds[i].fd == errFd_ ? errFd_ : eventsFd_;
        if (got <= 0) {
            closeQuietly(fd);
            continue;
        }
        const std::string_view piece(buffer, static_cast<std::size_t>(got));
        if (fd == outFd_) out_ += piece;
        else if (fd == errFd_) err_ += piece;
        else eventBytes_ += piece;
    }
    while (eventBytes_.size() >= sizeof(int)) {
        int status = 0;
        eventBytes_.copy(reinterpret_cast<char*>(&status), sizeof status);
        eventBytes_.erase(0, sizeof status);
        changes_.push_back(status);
        if (ends(status)) ended_ = true;
    }
}

int TerminalRun::displays() const {
    int count = 0;
    for (std::size_t at = out_.find("Virtual Processor State"); at != std::string::npos;
         at = out_.find("Virtual Processor State", at + 1))
        ++count;
    return count;
}

int TerminalRun::waitForDisplays(int count, int milliseconds) {
    const auto deadline = after(milliseconds);
    while (displays() < count && Clock::now() < deadline) readAvailable(20);
    return displays();
}

bool TerminalRun::waitForOutput(const std::string& text, int milliseconds) {
    const auto deadline = after(milliseconds);
    while (out_.find(text) == std::string::npos && Clock::now() < deadline) readAvailable(20);
    return out_.find(text) != std::string::npos;
}

const std::string& TerminalRun::readToEnd(int milliseconds) {
    outputLimit_ = static_cast<std::size_t>(-1);
    const auto deadline = after(milliseconds);
    while ((outFd_ >= 0 || errFd_ >= 0) && Clock::now() < deadline) readAvailable(20);
    return out_;
}

bool TerminalRun::waitForSingleKeyMode(int milliseconds) {
    const auto deadline = after(milliseconds);
    for (;;) {
        termios now{};
        if (::tcgetattr(slave_, &now) == 0 && !(now.c_lflag & ICANON)) return true;
        if (Clock::now() >= deadline) return false;
        readAvailable(10);
    }
}

bool TerminalRun::settingsAsBefore() const {
    termios now{};
    ::tcgetattr(slave_, &now);
    return now.c_lflag == before_.c_lflag && now.c_iflag == before_.c_iflag && now.c_oflag == before_.c_oflag &&
           now.c_cc[VMIN] == before_.c_cc[VMIN] && now.c_cc[VTIME] == before_.c_cc[VTIME];
}

void TerminalRun::press(const std::string& keys) {
    if (::write(master_, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size()))
        throw std::runtime_error("the terminal took no keys");
}

void TerminalRun::readEcho(int waitMilliseconds) {
    pollfd fd{master_, POLLIN, 0};
    while (::poll(&fd, 1, waitMilliseconds) > 0) {
        char buffer[256];
        const ssize_t got = ::read(master_, buffer, sizeof buffer);
        if (got <= 0) break;
        echo_.append(buffer, static_cast<std::size_t>(got));
    }
}

std::string TerminalRun::echoed() {
    readEcho(100);
    std::string result;
    result.swap(echo_);
    return result;
}

bool TerminalRun::waitForEcho(const std::string& text, int milliseconds) {
    const auto deadline = after(milliseconds);
    while (echo_.find(text) == std::string::npos && Clock::now() < deadline) readEcho(20);
    return echo_.find(text) != std::string::npos;
}

void TerminalRun::send(const std::string& input) {
    if (::write(inputFd_, input.data(), input.size()) != static_cast<ssize_t>(input.size()))
        throw std::runtime_error("the program's standard input took nothing");
}

void TerminalRun::closeInput() {
    closeQuietly(inputFd_);
}

void TerminalRun::signal(int signalNumber) const {
    ::kill(pid_, signalNumber);
}

std::optional<int> TerminalRun::nextChange(int milliseconds) {
    const auto deadline = after(milliseconds);
    while (changes_.empty() && Clock::now() < deadline) readAvailable(20);
    if (changes_.empty()) return std::nullopt;
    const int status = changes_.front();
    changes_.pop_front();
    return status;
}

int TerminalRun::wait(int milliseconds) {
    const std::optional<int> status = nextChange(milliseconds);
    if (!status) throw std::runtime_error("the program neither ended nor stopped within the time limit");
    return *status;
}

bool TerminalRun::stillRunning() {
    readAvailable(0);
    return !ended_;
}

bool TerminalRun::takeTerminalBack(int milliseconds) {
    ::kill(shell_, SIGUSR1);
    const auto deadline = after(milliseconds);
    while (::tcgetpgrp(master_) != shell_) {  // the master side tells the slave's foreground group
        if (Clock::now() >= deadline) return false;
        readAvailable(10);
    }
    return true;
}

int TerminalRun::terminalFilesOpen() const {
    int count = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/fd", error)) {
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (target == slaveName_ || target == "/dev/tty") ++count;
    }
    return error ? -1 : count;
}

std::uint64_t TerminalRun::signalMask(const std::string& field) const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0) return std::stoull(line.substr(field.size() + 1), nullptr, 16);
    throw std::runtime_error("no " + field + " for the program");
}

bool TerminalRun::catches(int signalNumber) const {
    return (signalMask("SigCgt") >> (signalNumber - 1)) & 1;
}

bool TerminalRun::ignores(int signalNumber) const {
    return (signalMask("SigIgn") >> (signalNumber - 1)) & 1;
}

}  // namespace tarntest

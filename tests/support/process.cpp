#include "support/process.hpp"
#include "support/temp_folder.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tarntest {

namespace {

void closeQuietly(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

void addStatusFlag(int fd, int flag) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | flag);
}

// A started child: its id and the parent's ends of its pipes (-1 for none).
struct Started {
    pid_t pid = -1;
    int in = -1, out = -1, err = -1;
};

// Starts argv with standard error on a pipe, standard output on a pipe or
// the file that options name, and standard input from options.inputPath,
// a pipe (inputPipe) or /dev/null.
Started start(const std::vector<std::string>& argv, const ProcessOptions& options, bool inputPipe) {
    ::signal(SIGPIPE, SIG_IGN);
    int inPipe[2], outPipe[2], errPipe[2];
    if (::pipe2(inPipe, O_CLOEXEC) || ::pipe2(outPipe, O_CLOEXEC) || ::pipe2(errPipe, O_CLOEXEC))
        throw std::runtime_error("pipe");

    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        if (options.ignoredSignals) {
            for (int signal = 1; signal < NSIG; ++signal) ::signal(signal, SIG_DFL);
            for (int signal : *options.ignoredSignals) ::signal(signal, SIG_IGN);
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
        }
        if (options.newSession) ::setsid();
        if (options.umask) ::umask(*options.umask);
        const rlimit size{options.fileSizeLimit, options.fileSizeLimit};
        const rlimit space{options.addressSpaceLimit, options.addressSpaceLimit};
        if ((options.fileSizeLimit != RLIM_INFINITY && ::setrlimit(RLIMIT_FSIZE, &size) != 0) ||
            (options.addressSpaceLimit != RLIM_INFINITY && ::setrlimit(RLIMIT_AS, &space) != 0))
            ::_exit(126);
        if (!options.inputPath.empty()) {
            ::dup2(::open(options.inputPath.c_str(), options.inputOpenFlags | O_CLOEXEC), STDIN_FILENO);
        } else if (inputPipe) {
            ::dup2(inPipe[0], STDIN_FILENO);
        } else {
            ::dup2(::open("/dev/null", O_RDONLY | O_CLOEXEC), STDIN_FILENO);
        }
        if (options.outputFd >= 0) {
            ::dup2(options.outputFd, STDOUT_FILENO);
        } else if (!options.outputPath.empty()) {
            ::dup2(::open(options.outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644), STDOUT_FILENO);
        } else {
            ::dup2(outPipe[1], STDOUT_FILENO);
        }
        ::dup2(errPipe[1], STDERR_FILENO);
        if (options.closeInput) ::close(STDIN_FILENO);
        if (options.closeOutput) ::close(STDOUT_FILENO);
        if (options.nonBlockingInput) addStatusFlag(STDIN_FILENO, O_NONBLOCK);
        if (options.nonBlockingOutput) addStatusFlag(STDOUT_FILENO, O_NONBLOCK);
        if (options.user && (::setgroups(0, nullptr) != 0 || ::setgid(*options.user) != 0 || ::setuid(*options.user) != 0))
            ::_exit(126);
        ::close_range(3, ~0U, 0);
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }

    ::close(inPipe[0]);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    Started started{pid, inPipe[1], outPipe[0], errPipe[0]};
    if (!inputPipe || !options.inputPath.empty()) closeQuietly(started.in);
    if (options.outputFd >= 0 || !options.outputPath.empty()) closeQuietly(started.out);
    return started;
}

}  // namespace

namespace {

// The executable files of that name in the folders of PATH, in its order.
std::vector<std::string> onPath(const std::string& name) {
    std::vector<std::string> found;
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = (std::filesystem::path(folder.empty() ? "." : folder) / name).string();
        if (::access(candidate.c_str(), X_OK) == 0) found.push_back(candidate);
    }
    return found;
}

}  // namespace

std::string findProgram(const std::string& name) {
    const std::vector<std::string> found = onPath(name);
    return found.empty() ? "" : found.front();
}

std::string pythonWithModule(const std::string& module) {
    std::vector<std::string> candidates = onPath("python3");
    candidates.push_back("/usr/bin/python3");
    for (const std::string& candidate : candidates) {
        if (::access(candidate.c_str(), X_OK) != 0) continue;
        if (runProcess({candidate, "-c", "import " + module}).exitStatus == 0) return candidate;
    }
    return "";
}

ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
    const Started started = start(argv, options, options.input.has_value());
    const pid_t pid = started.pid;
    int inFd = started.in, outFd = started.out, errFd = started.err;
    const std::string input = options.input.value_or("");
    std::size_t inputSent = 0;
    if (input.empty()) closeQuietly(inFd);
    else ::fcntl(inFd, F_SETFL, O_NONBLOCK);

    ProcessResult result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    bool killed = false;
    while (outFd >= 0 || errFd >= 0) {
        pollfd fds[3];
        int count = 0;
        for (int fd : {outFd, errFd}) if (fd >= 0) fds[count++] = {fd, POLLIN, 0};
        if (inFd >= 0) fds[count++] = {inFd, POLLOUT, 0};
        const int ready = ::poll(fds, static_cast<nfds_t>(count), 100);
        if (ready < 0 && errno != EINTR) break;
        if (!killed && std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            killed = true;
        }
        for (int i = 0; i < count; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLOUT | POLLHUP | POLLERR))) continue;
            if (fds[i].fd == inFd) {
                const ssize_t sent = ::write(inFd, input.data() + inputSent, input.size() - inputSent);
                if (sent > 0) inputSent += static_cast<std::size_t>(sent);
                if (sent < 0 && errno != EAGAIN) closeQuietly(inFd);
                if (inputSent == input.size()) closeQuietly(inFd);
                continue;
            }
            char buffer[65536];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            std::string& sink = fds[i].fd == outFd ? result.out : result.err;
            if (got > 0) sink.append(buffer, static_cast<std::size_t>(got));
            else if (fds[i].fd == outFd) closeQuietly(outFd);
            else closeQuietly(errFd);
        }
    }
    closeQuietly(inFd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    if (killed) throw std::runtime_error("the program did not end within the time limit");
    return result;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const ProcessOptions& options)
    : timeoutSeconds_(options.timeoutSeconds) {
    const Started started = start(argv, options, true);
    pid_ = started.pid;
    in_ = started.in;
    out_ = started.out;
    err_ = started.err;
}

ChildProcess::~ChildProcess() {
    if (!reaped_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    closeQuietly(in_);
    closeQuietly(out_);
    closeQuietly(err_);
}

void ChildProcess::send(std::string_view text) {
    while (!text.empty()) {
        const ssize_t sent = ::write(in_, text.data(), text.size());
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && errno == EPIPE) return;  // it has stopped reading; its output tells what it took
        if (sent <= 0) throw std::runtime_error("the program's standard input refused the input");
        text.remove_prefix(static_cast<std::size_t>(sent));
    }
}

void ChildProcess::closeInput() {
    closeQuietly(in_);
}

bool ChildProcess::ended() {
    if (!reaped_ && ::waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
    return reaped_;
}

void ChildProcess::readAvailable(int waitMilliseconds, std::size_t chunk) {
    pollfd fds[2];
    nfds_t count = 0;
    for (int fd : {out_, err_}) if (fd >= 0) fds[count++] = {fd, POLLIN, 0};
    if (count == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMilliseconds));
        return;
    }
    if (::poll(fds, count, waitMilliseconds) <= 0) return;
    for (nfds_t i = 0; i < count; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        char buffer[65536];
        const ssize_t got = ::read(fds[i].fd, buffer, std::min(chunk, sizeof buffer));
        const bool isOut = fds[i].fd == out_;
        if (got > 0) (isOut ? result_.out : result_.err).append(buffer, static_cast<std::size_t>(got));
        else if (got == 0 || errno != EINTR) closeQuietly(isOut ? out_ : err_);
    }
}

bool ChildProcess::readUntil(const std::function<bool()>& condition, int milliseconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!condition() && std::chrono::steady_clock::now() < deadline) readAvailable(20, 65536);
    return condition();
}

bool ChildProcess::asleepOrEnded() {
    if (ended()) return true;
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    const std::string line((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t name = line.rfind(')');  // the state follows the command name
    return name != std::string::npos && line.size() > name + 2 && line[name + 2] == 'S';
}

bool ChildProcess::waitUntilAsleepOrEnded(int milliseconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (asleepOrEnded()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

ProcessResult ChildProcess::finish(std::size_t chunk, int pauseMilliseconds) {
    closeInput();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds_);
    while (out_ >= 0 || err_ >= 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            throw std::runtime_error("the program did not end within the time limit");
        }
        readAvailable(100, chunk);
        if (pauseMilliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMilliseconds));
    }
    if (!reaped_) {
        ::waitpid(pid_, &status_, 0);
        reaped_ = true;
    }
    if (WIFEXITED(status_)) result_.exitStatus = WEXITSTATUS(status_);
    if (WIFSIGNALED(status_)) result_.signal = WTERMSIG(status_);
    return result_;
}

std::string writeTempFile(const std::string& name, const std::string& content) {
    const std::filesystem::path path = processFolder() / name;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    return path.string();
}

std::string describeStatus(int status) {
    if (WIFEXITED(status)) return "exited with " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
    if (WIFSTOPPED(status)) return "stopped by signal " + std::to_string(WSTOPSIG(status));
    if (WIFCONTINUED(status)) return "continued";
    return "status " + std::to_string(status);
}

}  // namespace tarntest

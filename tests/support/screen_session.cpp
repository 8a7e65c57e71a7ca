#include "support/screen_session.hpp"

#include <vterm.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tarntest {

namespace {

using Clock = std::chrono::steady_clock;

void closeQuietly(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

void appendUtf8(std::string& text, std::uint32_t code) {
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x110000) {
        text += static_cast<char>(0xF0 | (code >> 18));
        text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The environment of the program: the test's own, without what would tell
// it about another terminal or locale, then ours.
std::vector<std::string> programEnvironment(const std::vector<std::string>& extra) {
    auto named = [](const std::string& entry, std::string_view name) {
        return entry.size() > name.size() && entry.compare(0, name.size(), name) == 0 && entry[name.size()] == '=';
    };
    std::vector<std::string> list;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string text = *entry;
        if (text.rfind("LC_", 0) == 0) continue;
        bool dropped = false;
        for (std::string_view name : {"TERM", "TERMINFO", "TERMINFO_DIRS", "LANG", "LANGUAGE", "COLUMNS", "LINES",
                                      "ESCDELAY", "NCURSES_NO_UTF8_ACS"})
            dropped = dropped || named(text, name);
        if (!dropped) list.push_back(text);
    }
    std::vector<std::string> ours = {"TERM=xterm-256color", "LANG=C.UTF-8"};
    ours.insert(ours.end(), extra.begin(), extra.end());
    for (const std::string& entry : ours) {
        const std::string name = entry.substr(0, entry.find('='));
        std::erase_if(list, [&](const std::string& old) { return named(old, name); });
        list.push_back(entry);
    }
    return list;
}

std::string flagDifference(const char* name, unsigned long before, unsigned long now) {
    if (before == now) return {};
    char text[96];
    std::snprintf(text, sizeof text, "%s 0x%lx -> 0x%lx; ", name, before, now);
    return text;
}

}  // namespace

ScreenSession::ScreenSession() = default;

ScreenSession::~ScreenSession() {
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, SIGKILL);
        while (::waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {}
    }
    for (int* fd : {&outputFd_, &slave_, &master_}) closeQuietly(*fd);
    if (vterm_) vterm_free(vterm_);
}

void ScreenSession::start(const std::vector<std::string>& argv, const ScreenOptions& options) {
    if (pid_ > 0) throw std::logic_error("ScreenSession started twice");
    ::signal(SIGPIPE, SIG_IGN);
    cols_ = options.cols;
    rows_ = options.rows;

    vterm_ = vterm_new(rows_, cols_);
    vterm_set_utf8(vterm_, 1);
    // What the terminal answers (to queries, and the keys of pressKey) goes
    // to the program.
    vterm_output_set_callback(
        vterm_,
        [](const char* bytes, std::size_t length, void* user) {
            static_cast<ScreenSession*>(user)->writeToTerminal(bytes, length);
        },
        this);
    screen_ = vterm_obtain_screen(vterm_);
    vterm_screen_enable_altscreen(screen_, 1);
    static const VTermScreenCallbacks callbacks = [] {
        VTermScreenCallbacks list{};
        list.settermprop = [](VTermProp property, VTermValue* value, void* user) {
            auto* self = static_cast<ScreenSession*>(user);
            if (property == VTERM_PROP_ALTSCREEN) self->altScreen_ = value->boolean != 0;
            if (property == VTERM_PROP_CURSORVISIBLE) self->cursorVisible_ = value->boolean != 0;
            return 1;
        };
        return list;
    }();
    vterm_screen_set_callbacks(screen_, &callbacks, this);
    vterm_screen_reset(screen_, 1);

    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) throw std::runtime_error("pty");
    const std::string slaveName = ::ptsname(master_);
    // Kept open for the whole run: the settings can be read after the
    // program has gone, and the master never reads an end.
    slave_ = ::open(slaveName.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0 || ::tcgetattr(slave_, &before_) != 0) throw std::runtime_error("pty slave");
    winsize size{};
    size.ws_col = static_cast<unsigned short>(cols_);
    size.ws_row = static_cast<unsigned short>(rows_);
    ::ioctl(slave_, TIOCSWINSZ, &size);

    int pipeFds[2] = {-1, -1};
    if (options.outputToPipe && ::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");

    // Everything the child needs, ready before the fork.
    std::vector<std::string> environment = programEnvironment(options.environment);
    std::vector<char*> args, envp;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    const char* directory = options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str();

    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
        ::setsid();
        const int terminal = ::open(slaveName.c_str(), O_RDWR);
        if (terminal < 0 || ::ioctl(terminal, TIOCSCTTY, 0) != 0) ::_exit(126);
        for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) ::signal(signalNumber, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        const int input = options.inputFromNull ? ::open("/dev/null", O_RDONLY) : terminal;
        ::dup2(input, STDIN_FILENO);
        ::dup2(options.outputToPipe ? pipeFds[1] : terminal, STDOUT_FILENO);
        ::dup2(terminal, STDERR_FILENO);
        if (directory && ::chdir(directory) != 0) ::_exit(126);
        ::close_range(3, ~0U, 0);
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    if (options.outputToPipe) {
        ::close(pipeFds[1]);
        outputFd_ = pipeFds[0];
    }
}

void ScreenSession::writeToTerminal(const char* bytes, std::size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(master_, bytes, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                readAvailable(10);  // the program may be waiting for us to read
                continue;
            }
            throw std::runtime_error("the terminal took no keys");
        }
        bytes += written;
        length -= static_cast<std::size_t>(written);
    }
}

void ScreenSession::press(std::string_view keys) {
    writeToTerminal(keys.data(), keys.size());
}

void ScreenSession::pressKey(Key key, int times) {
    VTermKey code = VTERM_KEY_NONE;
    switch (key) {
        case Key::Up: code = VTERM_KEY_UP; break;
        case Key::Down: code = VTERM_KEY_DOWN; break;
        case Key::Left: code = VTERM_KEY_LEFT; break;
        case Key::Right: code = VTERM_KEY_RIGHT; break;
        case Key::PageUp: code = VTERM_KEY_PAGEUP; break;
        case Key::PageDown: code = VTERM_KEY_PAGEDOWN; break;
        case Key::Home: code = VTERM_KEY_HOME; break;
        case Key::End: code = VTERM_KEY_END; break;
    }
    for (int i = 0; i < times; ++i) vterm_keyboard_key(vterm_, code, VTERM_MOD_NONE);
}

void ScreenSession::feed(const char* bytes, std::size_t length) {
    vterm_input_write(vterm_, bytes, length);
}

bool ScreenSession::readAvailable(int waitMilliseconds) {
    bool got = false;
    pollfd fds[2];
    nfds_t count = 0;
    fds[count++] = {master_, POLLIN, 0};
    if (outputFd_ >= 0) fds[count++] = {outputFd_, POLLIN, 0};
    if (::poll(fds, count, waitMilliseconds) <= 0) return false;
    for (nfds_t i = 0; i < count; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        char buffer[16384];
        const ssize_t length = ::read(fds[i].fd, buffer, sizeof buffer);
        if (length < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        got = got || length > 0;
        if (fds[i].fd == master_) {
            if (length > 0) feed(buffer, static_cast<std::size_t>(length));
        } else if (length > 0) {
            output_.append(buffer, static_cast<std::size_t>(length));
        } else {
            closeQuietly(outputFd_);
        }
    }
    return got;
}

void ScreenSession::settle() {
    // A redraw comes in a burst of writes: the screen is whole once the
    // program has been quiet for a moment.
    for (int bursts = 0; bursts < 1000 && readAvailable(QUIET_MILLISECONDS); ++bursts) {}
}

void ScreenSession::update() {
    readAvailable(0);
}

bool ScreenSession::waitUntil(const std::function<bool()>& condition, int milliseconds) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (condition()) {
            // Not half a redraw: the rest of it may change the answer.
            settle();
            if (condition()) return true;
        }
        if (Clock::now() >= deadline) return false;
        if (!reaped_ && pid_ > 0 && ::waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
        if (reaped_) {
            // Whatever it wrote before it ended is all there will be.
            for (int i = 0; i < 20; ++i) readAvailable(5);
            return condition();
        }
        readAvailable(20);
    }
}

bool ScreenSession::waitForText(std::string_view text, int milliseconds) {
    return waitUntil([&] { return this->text().find(text) != std::string::npos; }, milliseconds);
}

bool ScreenSession::waitUntilIdle(int milliseconds) {
    const std::string statPath = "/proc/" + std::to_string(pid_) + "/stat";
    auto idle = [&] {
        int unread = 0;
        if (::ioctl(slave_, FIONREAD, &unread) != 0 || unread != 0) return false;
        std::ifstream file(statPath);
        std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        // "PID (NAME) STATE ...": the name may hold anything but not the last ')'.
        const std::size_t close = stat.rfind(')');
        return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'S';
    };
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!reaped_ && Clock::now() < deadline) {
        if (idle()) {
            settle();
            if (idle()) return true;
        }
        if (::waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
        readAvailable(10);
    }
    return false;
}

std::optional<int> ScreenSession::waitForExit(int milliseconds) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!reaped_) {
        const pid_t got = ::waitpid(pid_, &status_, WNOHANG);
        if (got == pid_) reaped_ = true;
        else if (got < 0 && errno != EINTR) return std::nullopt;
        else if (Clock::now() >= deadline) return std::nullopt;
        else readAvailable(20);
    }
    // What it wrote last (the terminal given back) may still be in the pty.
    for (int i = 0; i < 20; ++i) readAvailable(5);
    return status_;
}

std::string ScreenSession::cell(int r, int c) const {
    VTermScreenCell content{};
    if (r < 0 || c < 0 || r >= rows_ || c >= cols_ || !vterm_screen_get_cell(screen_, VTermPos{r, c}, &content))
        return {};
    std::string text;
    for (std::uint32_t code : content.chars) {
        if (code == 0 || code == static_cast<std::uint32_t>(-1)) break;
        appendUtf8(text, code);
    }
    return text.empty() ? " " : text;
}

std::string ScreenSession::row(int r) const {
    std::string text;
    for (int c = 0; c < cols_; ++c) {
        VTermScreenCell content{};
        if (!vterm_screen_get_cell(screen_, VTermPos{r, c}, &content)) break;
        text += cell(r, c);
        if (content.width > 1) c += content.width - 1;
    }
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::string ScreenSession::text() const {
    std::string all;
    for (int r = 0; r < rows_; ++r) all += row(r) + "\n";
    return all;
}

CellAttributes ScreenSession::attributes(int r, int c) const {
    VTermScreenCell content{};
    if (!vterm_screen_get_cell(screen_, VTermPos{r, c}, &content)) return {};
    return {content.attrs.bold != 0, content.attrs.underline != 0, content.attrs.reverse != 0};
}

std::pair<int, int> ScreenSession::cursor() const {
    VTermPos position{};
    vterm_state_get_cursorpos(vterm_obtain_state(vterm_), &position);
    return {position.row, position.col};
}

void ScreenSession::resize(int cols, int rows) {
    cols_ = cols;
    rows_ = rows;
    vterm_set_size(vterm_, rows, cols);
    winsize size{};
    size.ws_col = static_cast<unsigned short>(cols);
    size.ws_row = static_cast<unsigned short>(rows);
    ::ioctl(master_, TIOCSWINSZ, &size);
}

void ScreenSession::signal(int signalNumber) const {
    if (pid_ > 0 && !reaped_) ::kill(pid_, signalNumber);
}

termios ScreenSession::settingsNow() const {
    termios now{};
    ::tcgetattr(slave_, &now);
    return now;
}

std::string ScreenSession::settingsDifference() const {
    const termios now = settingsNow();
    std::string text = flagDifference("c_iflag", before_.c_iflag, now.c_iflag) +
                       flagDifference("c_oflag", before_.c_oflag, now.c_oflag) +
                       flagDifference("c_lflag", before_.c_lflag, now.c_lflag) +
                       flagDifference("c_cflag", before_.c_cflag, now.c_cflag);
    for (std::size_t i = 0; i < NCCS; ++i)
        text += flagDifference(("c_cc[" + std::to_string(i) + "]").c_str(), before_.c_cc[i], now.c_cc[i]);
    return text;
}

}  // namespace tarntest

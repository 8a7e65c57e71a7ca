#include "host/terminal_keys.hpp"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <termios.h>
#include <unistd.h>

namespace tarnsim {

namespace {

// While the terminal is in single-key mode, a signal that ends the process
// must first give the terminal back its settings, and one that stops it
// (Ctrl-Z) must give them back for the time it is stopped. The handlers know
// the terminal through these; singleKeyFd is set last and cleared first, and
// singleKeyApplied tells whether single-key mode is in force: only then is
// there anything to give back.
volatile sig_atomic_t singleKeyFd = -1;
volatile sig_atomic_t singleKeyApplied = 0;
termios userSettings;
termios singleKeySettings;

constexpr int ENDING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int HANDLED_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};
struct sigaction previousActions[std::size(HANDLED_SIGNALS)];
bool installed[std::size(HANDLED_SIGNALS)];

bool inForeground(int fd) {
    return ::tcgetpgrp(fd) == ::getpgrp();
}

// Sets the terminal with SIGTTOU held back: a process that has meanwhile
// been moved out of the foreground must not be stopped for putting back
// what it changed itself. Safe in a signal handler.
void setHoldingTtou(int fd, const termios& settings) {
    sigset_t ttou, before;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    sigprocmask(SIG_BLOCK, &ttou, &before);
    ::tcsetattr(fd, TCSANOW, &settings);
    sigprocmask(SIG_SETMASK, &before, nullptr);
}

void setAction(int signalNumber, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (int other : HANDLED_SIGNALS) sigaddset(&action.sa_mask, other);
    ::sigaction(signalNumber, &action, nullptr);
}

// Gives the terminal back its settings if single-key mode is in force.
void giveBack(int fd) {
    if (fd < 0 || !singleKeyApplied) return;
    setHoldingTtou(fd, userSettings);
    singleKeyApplied = 0;
}

extern "C" void restoreAndEnd(int signalNumber) {
    giveBack(singleKeyFd);
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);  // delivered with its default action once the handler returns
}

extern "C" void restoreAndStop(int) {
    const int savedErrno = errno;
    const int fd = singleKeyFd;
    giveBack(fd);
    // Stop as SIGTSTP would: unblocked, with its default action.
    ::signal(SIGTSTP, SIG_DFL);
    sigset_t tstp;
    sigemptyset(&tstp);
    sigaddset(&tstp, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &tstp, nullptr);
    ::raise(SIGTSTP);
    // Continued: back to single-key mode, if the wait goes on in the foreground.
    setAction(SIGTSTP, restoreAndStop);
    if (fd >= 0 && inForeground(fd) && ::tcsetattr(fd, TCSANOW, &singleKeySettings) == 0) singleKeyApplied = 1;
    errno = savedErrno;
}

}  // namespace

void TerminalKeys::open() {
    opened_ = true;
    fd_ = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return;  // no controlling terminal: nobody to wait for
    // A signal the parent left ignored (SIGHUP under nohup) stays ignored.
    for (std::size_t i = 0; i < std::size(HANDLED_SIGNALS); ++i) {
        if (::sigaction(HANDLED_SIGNALS[i], nullptr, &previousActions[i]) != 0 ||
            previousActions[i].sa_handler == SIG_IGN)
            continue;
        const bool ends = i < std::size(ENDING_SIGNALS);
        setAction(HANDLED_SIGNALS[i], ends ? restoreAndEnd : restoreAndStop);
        installed[i] = true;
    }
}

TerminalKeys::~TerminalKeys() {
    if (fd_ < 0) return;
    for (std::size_t i = 0; i < std::size(HANDLED_SIGNALS); ++i)
        if (installed[i]) ::sigaction(HANDLED_SIGNALS[i], &previousActions[i], nullptr);
    ::close(fd_);
}

void TerminalKeys::waitForKey() {
    if (!opened_) open();
    // Outside the foreground group, setting the terminal would stop the
    // process (SIGTTOU), and nobody there would press a key.
    if (fd_ < 0 || !inForeground(fd_)) return;
    termios settings{};
    if (::tcgetattr(fd_, &settings) != 0) return;

    // One key, no Enter; the terminal echoes it, and Ctrl-C still interrupts.
    termios singleKey = settings;
    singleKey.c_lflag &= static_cast<tcflag_t>(~ICANON);
    singleKey.c_lflag |= ECHO | ISIG;
    singleKey.c_cc[VMIN] = 1;
    singleKey.c_cc[VTIME] = 0;
    userSettings = settings;
    singleKeySettings = singleKey;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    singleKeyFd = fd_;

    // Marked before it is set: a signal that comes just after would otherwise
    // find nothing to give back and leave single-key mode in force. Giving
    // back settings that were never changed does no harm.
    singleKeyApplied = 1;
    if (::tcsetattr(fd_, TCSANOW, &singleKey) == 0) {
        singleKeyApplied = 1;  // a stop and a continue in the meantime cleared it
        for (;;) {
            char key;
            if (::read(fd_, &key, 1) >= 0 || errno != EINTR) break;  // a key, or the terminal is gone
            // Interrupted, by a stop and a continue say: once in the
            // background, the wait is over.
            if (!inForeground(fd_)) break;
        }
    }
    giveBack(fd_);
    singleKeyFd = -1;
}

}  // namespace tarnsim

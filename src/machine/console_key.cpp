#include "machine/console_key.hpp"

#include <cerrno>
#include <csignal>
#include <iterator>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace tarn {

namespace {

// While the terminal is switched to single-key mode, a signal that ends the
// process must first give the terminal back its settings.
const char* keyDevice = "/dev/tty";
volatile sig_atomic_t terminalFd = -1;
termios savedSettings;

constexpr int ENDING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction previousActions[std::size(ENDING_SIGNALS)];

extern "C" void restoreAndEnd(int signalNumber) {
    if (terminalFd >= 0) ::tcsetattr(terminalFd, TCSANOW, &savedSettings);
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);  // delivered with its default action once the handler returns
}

void installHandlers() {
    struct sigaction action {};
    action.sa_handler = restoreAndEnd;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : ENDING_SIGNALS) sigaddset(&action.sa_mask, signalNumber);
    for (std::size_t i = 0; i < std::size(ENDING_SIGNALS); ++i)
        ::sigaction(ENDING_SIGNALS[i], &action, &previousActions[i]);
}

void removeHandlers() {
    for (std::size_t i = 0; i < std::size(ENDING_SIGNALS); ++i)
        ::sigaction(ENDING_SIGNALS[i], &previousActions[i], nullptr);
}

}  // namespace

void waitForKey() {
    if (keyDevice == nullptr) return;
    const int fd = ::open(keyDevice, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return;  // no controlling terminal: nobody to wait for
    if (::tcgetattr(fd, &savedSettings) != 0) {
        ::close(fd);
        return;
    }

    // One key, no Enter; the terminal echoes it, and Ctrl-C still interrupts.
    termios singleKey = savedSettings;
    singleKey.c_lflag &= static_cast<tcflag_t>(~ICANON);
    singleKey.c_lflag |= ECHO | ISIG;
    singleKey.c_cc[VMIN] = 1;
    singleKey.c_cc[VTIME] = 0;

    installHandlers();
    terminalFd = fd;
    if (::tcsetattr(fd, TCSANOW, &singleKey) == 0) {
        char key;
        while (::read(fd, &key, 1) < 0 && errno == EINTR) {
        }
        ::tcsetattr(fd, TCSANOW, &savedSettings);
    }
    terminalFd = -1;
    removeHandlers();
    ::close(fd);
}

void setKeyDevice(const char* path) {
    keyDevice = path;
}

}  // namespace tarn

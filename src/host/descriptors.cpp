#include "host/descriptors.hpp"

#include <cerrno>
#include <fcntl.h>
#include <csignal>
#include <poll.h>
#include <unistd.h>

namespace tarn {

int writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd ready{fd, POLLOUT, 0};
            ::poll(&ready, 1, -1);  // a reader that goes away shows up as the next write's error
            continue;
        }
        if (written < 0) return errno;
        if (written == 0) return EIO;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

void occupyClosedStandardStreams() {
    // Standard output is opened for reading, so that writes to it fail;
    // standard error takes its lines and drops them.
    const int modes[] = {O_RDONLY, O_RDONLY, O_WRONLY};
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int standIn = ::open("/dev/null", modes[fd]);
        if (standIn >= 0 && standIn != fd) {
            ::dup2(standIn, fd);
            ::close(standIn);
        }
    }
}

bool isTerminal(int fd) {
    return ::isatty(fd) == 1;
}

void ignoreBrokenPipe() {
    ::signal(SIGPIPE, SIG_IGN);
}

void endBySignal(int signal) {
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    ::sigaction(signal, &byDefault, nullptr);
    sigset_t self;
    sigemptyset(&self);
    sigaddset(&self, signal);
    ::sigprocmask(SIG_UNBLOCK, &self, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);  // not reached: the default action ends the program
}

}  // namespace tarn

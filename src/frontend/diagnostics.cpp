#include "frontend/diagnostics.hpp"

#include <cerrno>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace tarnsim {

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

void diagnose(std::string_view message) {
    std::string line = "tarnsim: ";
    line += message;
    line += '\n';
    writeAll(STDERR_FILENO, line);
}

}  // namespace tarnsim

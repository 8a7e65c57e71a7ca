#include "machine/console_input.hpp"

#include <cerrno>
#include <unistd.h>

namespace tarn {

namespace {

// Like any buffered stream, the reader keeps the part of a block not yet taken.
int inputFd = STDIN_FILENO;
char buffer[65536];
std::size_t position = 0;
std::size_t filled = 0;
bool ended = false;

bool refill() {
    while (!ended) {
        const ssize_t got = ::read(inputFd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {  // end of input; a read error ends it too
            ended = true;
            break;
        }
        position = 0;
        filled = static_cast<std::size_t>(got);
        return true;
    }
    return false;
}

}  // namespace

std::optional<char> nextInputChar() {
    if (position == filled && !refill()) return std::nullopt;
    return buffer[position++];
}

void ungetInputChar() {
    if (position > 0) --position;
}

void redirectInput(int fd) {
    inputFd = fd;
    position = filled = 0;
    ended = false;
}

}  // namespace tarn

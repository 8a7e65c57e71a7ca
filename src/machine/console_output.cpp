#include "machine/console_output.hpp"

#include <cerrno>
#include <unistd.h>

namespace tarn {

void writeOutput(std::string_view text) {
    const char* next = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, next, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        next += written;
        left -= static_cast<std::size_t>(written);
    }
}

}  // namespace tarn

#include "machine/console_output.hpp"

#include <cerrno>
#include <cstring>
#include <string>
#include <unistd.h>

namespace tarn {

namespace {

int outputFd = STDOUT_FILENO;
bool failed = false;

// Writes all of text, retrying short writes; returns 0 or the error.
int writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return errno;
        if (written == 0) return EIO;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

}  // namespace

void writeOutput(std::string_view text) {
    const int error = writeAll(outputFd, text);
    if (error == 0 || failed) return;
    failed = true;
    writeDiagnostic(std::string("impossibile scrivere sullo standard output: ") + std::strerror(error));
}

bool outputFailed() {
    return failed;
}

void writeDiagnostic(std::string_view message) {
    std::string line = "tarnsim: ";
    line += message;
    line += '\n';
    writeAll(STDERR_FILENO, line);
}

void redirectOutput(int fd) {
    outputFd = fd;
}

}  // namespace tarn

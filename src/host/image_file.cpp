#include "host/image_file.hpp"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tarn {

LoadReport loadProgram(const std::string& path, MachineState& state) {
    LoadReport report;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        report.error = errno;
        loadImage({}, state);
        return report;
    }
    report.opened = true;

    // One byte more than memory holds, to tell whether the image is longer.
    Byte buffer[257];
    std::size_t filled = 0;
    while (filled < sizeof buffer) {
        const ssize_t got = ::read(fd, buffer + filled, sizeof buffer - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            report.readFailed = true;
            report.error = errno;
            break;
        }
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
    }
    ::close(fd);

    report.truncated = !loadImage({buffer, filled}, state);
    return report;
}

}  // namespace tarn

#include "host/image_file.hpp"

#include "host/windows_system.hpp"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace tarn {

// The image is read in binary mode: in text mode a byte 0x1A would end it
// early, and every CR LF would lose its CR. Its name is opened as the wide
// string of its UTF-8.
LoadReport loadProgram(const std::string& path, MachineState& state) {
    LoadReport report;
    const std::wstring wide = windows::widened(path);
    const int fd = wide.empty() ? -1 : ::_wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        report.error = wide.empty() ? (path.empty() ? ENOENT : EINVAL) : errno;
        if (path.find_first_of("*?") != std::string::npos) report.reason = windows::pathReason(path, ERROR_INVALID_NAME);
        // A folder cannot be opened at all here; elsewhere it opens, and
        // its reading fails: the same message on both.
        const DWORD attributes = wide.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(wide.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            report.opened = true;
            report.readFailed = true;
            report.error = EISDIR;
        }
        loadImage({}, state);
        return report;
    }
    report.opened = true;

    // One byte more than memory holds, to tell whether the image is longer.
    Byte buffer[257];
    std::size_t filled = 0;
    while (filled < sizeof buffer) {
        const int got = ::_read(fd, buffer + filled, static_cast<unsigned>(sizeof buffer - filled));
        if (got < 0) {
            report.readFailed = true;
            report.error = errno;
            break;
        }
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
    }
    ::_close(fd);

    report.truncated = !loadImage({buffer, filled}, state);
    return report;
}

}  // namespace tarn

#include "host/descriptors.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace tarn {

// Written through the C library, so that a stream in text mode (the
// standard streams, as Windows gives them) gets its line ends as CR LF.
int writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(text.size(), INT_MAX / 2));
        const int written = ::_write(fd, text.data(), chunk);
        if (written < 0) return errno != 0 ? errno : EIO;
        if (written == 0) return EIO;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

void occupyClosedStandardStreams() {
    // Standard output is opened for reading, so that writes to it fail;
    // standard error takes its lines and drops them. A program started
    // without a console, or with a stream closed, has no handle there.
    const int modes[] = {_O_RDONLY, _O_RDONLY, _O_WRONLY};
    for (int fd = 0; fd <= 2; ++fd) {
        const std::intptr_t handle = ::_get_osfhandle(fd);
        if (handle != -1 && handle != -2) continue;
        const int standIn = ::_open("NUL", modes[fd] | _O_BINARY);
        if (standIn >= 0 && standIn != fd) {
            ::_dup2(standIn, fd);
            ::_close(standIn);
        }
    }
}

// A console by its mode: the C library's _isatty also says yes for NUL and
// other character devices.
bool isTerminal(int fd) {
    const std::intptr_t handle = ::_get_osfhandle(fd);
    DWORD mode = 0;
    return handle != -1 && handle != -2 && ::GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode) != 0;
}

// Windows has no such signal: the write fails.
void ignoreBrokenPipe() {}

void endBySignal(int signal) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    ::_exit(3);  // the status the default action gives, should it return
}

}  // namespace tarn

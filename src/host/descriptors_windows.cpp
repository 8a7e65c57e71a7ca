#include "host/descriptors.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <io.h>
#include <mutex>
#include <string>
#include <windows.h>

namespace tarn {

namespace {

// A console shows UTF-16: the UTF-8 text of the programs goes to it as such,
// whatever the console's code page (which would read the bytes as its own,
// "Niccolò" as "NiccolÃ²"). A character cut between two writes waits for
// its end. Standard output and standard error each have their own.
struct ConsoleStream {
    std::once_flag looked;
    HANDLE handle = nullptr;  // none: not a console
    std::mutex writing;
    std::string pending;  // the start of a character
};
ConsoleStream consoles[3];

// Where the last character of text starts when text ends before it does;
// text.size() otherwise.
std::size_t cutCharacter(std::string_view text) {
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const auto byte = static_cast<unsigned char>(text[text.size() - back]);
        if ((byte & 0xC0) == 0x80) continue;  // a continuation byte
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? text.size() - back : text.size();
    }
    return text.size();
}

int writeConsole(ConsoleStream& console, std::string_view text) {
    const std::lock_guard<std::mutex> held(console.writing);
    std::string whole = std::move(console.pending);
    console.pending.clear();
    whole.append(text);
    const std::size_t end = cutCharacter(whole);
    console.pending = whole.substr(end);
    whole.resize(end);
    // Bytes that are not UTF-8 show as U+FFFD.
    for (std::size_t start = 0; start < whole.size();) {
        std::size_t size = std::min<std::size_t>(whole.size() - start, 8192);
        if (start + size < whole.size()) size = cutCharacter(std::string_view(whole).substr(start, size));
        if (size == 0) size = std::min<std::size_t>(whole.size() - start, 4);
        wchar_t wide[8192];
        const int length = ::MultiByteToWideChar(CP_UTF8, 0, whole.data() + start, static_cast<int>(size), wide, 8192);
        start += size;
        for (DWORD done = 0; done < static_cast<DWORD>(length);) {
            DWORD written = 0;
            if (!::WriteConsoleW(console.handle, wide + done, static_cast<DWORD>(length) - done, &written, nullptr))
                return EIO;
            if (written == 0) return EIO;
            done += written;
        }
    }
    return 0;
}

}  // namespace

// Written through the C library, so that a stream in text mode (the
// standard streams, as Windows gives them) gets its line ends as CR LF; to
// a console, as UTF-16.
int writeAll(int fd, std::string_view text) {
    if (fd >= 0 && fd <= 2) {
        ConsoleStream& console = consoles[fd];
        std::call_once(console.looked, [&] {
            if (isTerminal(fd)) console.handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
        });
        if (console.handle != nullptr) return writeConsole(console, text);
    }
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

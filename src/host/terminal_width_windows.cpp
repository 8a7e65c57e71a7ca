#include "host/terminal_width.hpp"

#include <cstdint>
#include <io.h>
#include <windows.h>

namespace tarn {

// The window's width, not the screen buffer's: the buffer is often far
// wider than what shows.
std::size_t terminalColumns(int fd) {
    const std::intptr_t handle = ::_get_osfhandle(fd);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (handle == -1 || handle == -2 || ::GetConsoleScreenBufferInfo(reinterpret_cast<HANDLE>(handle), &info) == 0)
        return 0;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? static_cast<std::size_t>(columns) : 0;
}

}  // namespace tarn

#include "host/terminal_width.hpp"

#include <sys/ioctl.h>

namespace tarn {

std::size_t terminalColumns(int fd) {
    struct winsize size {};
    if (::ioctl(fd, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

}  // namespace tarn

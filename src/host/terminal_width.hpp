// How wide a terminal is, for a line that must stay on one row of it.
#pragma once

#include <cstddef>

namespace tarn {

// The columns of the terminal that fd writes to (on Windows, of the console
// window); 0 when fd is no terminal or the terminal does not say.
std::size_t terminalColumns(int fd);

}  // namespace tarn

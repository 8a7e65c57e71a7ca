// Standard output of the simulator: every piece of text reaches the system at
// once, in program order, whatever standard output is.
#pragma once

#include <string_view>

namespace tarn {

void writeOutput(std::string_view text);

}  // namespace tarn

// What every program but tarnsim answers on its command line before anything
// else: --version.
#pragma once

#include <string>
#include <string_view>

namespace tarn {

// The project's version, as "1.1".
std::string_view projectVersion();

// Whether an argument before any "--" is --version.
bool asksForVersion(int argc, const char* const* argv);

// "tarnasm (tarnsim) 1.1" and a line end.
std::string versionLine(std::string_view program);

}  // namespace tarn

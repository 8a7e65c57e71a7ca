#include "text/command_line.hpp"

namespace tarn {

std::string_view projectVersion() {
    return TARNSIM_VERSION;
}

bool asksForVersion(int argc, const char* const* argv) {
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (argument == "--") return false;
        if (argument == "--version") return true;
    }
    return false;
}

std::string versionLine(std::string_view program) {
    return std::string(program) + " (tarnsim) " + std::string(projectVersion()) + "\n";
}

}  // namespace tarn

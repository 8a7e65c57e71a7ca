#include "programs/tarnsim/diagnostics.hpp"

#include "host/descriptors.hpp"

#include <cerrno>
#include <string>
#include <unistd.h>

namespace tarnsim {

void diagnose(std::string_view message) {
    std::string line = "tarnsim: ";
    line += message;
    line += '\n';
    tarn::writeAll(STDERR_FILENO, line);
}

}  // namespace tarnsim

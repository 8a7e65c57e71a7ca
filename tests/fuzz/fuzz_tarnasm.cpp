// libFuzzer target: any bytes as an assembler source must give well-formed
// diagnostics, or an image that survives disassembling and assembling again,
// under AddressSanitizer and UndefinedBehaviorSanitizer.
#include "tool_checks.hpp"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string failure = tarnfuzz::checkAssembly(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "invariant broken: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}

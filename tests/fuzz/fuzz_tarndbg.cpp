// libFuzzer target: the debugger's session on any image, input and commands
// stays exactly where a plain run of the machine would be, under
// AddressSanitizer and UndefinedBehaviorSanitizer.
#include "debug_checks.hpp"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string failure = tarnfuzz::checkSession(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "invariant broken: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}

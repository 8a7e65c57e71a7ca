// libFuzzer target: any image with any input must keep every invariant of a
// checked run, under AddressSanitizer and UndefinedBehaviorSanitizer.
#include "checked_run.hpp"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string failure = tarnfuzz::checkedRun(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "invariant broken: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}

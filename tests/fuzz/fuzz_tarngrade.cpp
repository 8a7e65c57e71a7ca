// libFuzzer target: any bytes as an exercise file must be read into a valid
// exercise or a well-placed error, and any image with any input must be
// graded on a small case with a consistent verdict, under AddressSanitizer
// and UndefinedBehaviorSanitizer. The first byte chooses which (see
// grade_checks.hpp).
#include "fuzz/grade_checks.hpp"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string failure = tarnfuzz::checkGrading(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "invariant broken: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}

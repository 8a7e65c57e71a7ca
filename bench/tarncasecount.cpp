// tarncasecount IMMAGINE [CASI]: runs the image as tarngrade runs a case,
// CASI times (1 unless told), on the grader's console with the largest
// output limit an exercise allows and no input, and prints how many
// instructions it executed in all. Measured by callgrind.sh.
#include "grading/exercise.hpp"
#include "grading/grader.hpp"
#include "host/image_file.hpp"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

int main(int argc, char** argv) {
    unsigned long long cases = 1;
    if (argc >= 3) {
        const std::string_view text = argv[2];
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), cases);
        if (error != std::errc{} || end != text.data() + text.size() || cases == 0) argc = 0;
    }
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "uso: tarncasecount IMMAGINE [CASI]\n");
        return 2;
    }
    tarn::MachineState state{};
    if (!tarn::loadProgram(argv[1], state).opened) {
        std::fprintf(stderr, "tarncasecount: impossibile leggere %s\n", argv[1]);
        return 2;
    }
    const std::vector<tarn::Byte> image(std::begin(state.M), std::end(state.M));

    tarn::grading::Exercise exercise;
    tarn::grading::TestCase& testCase = exercise.cases.emplace_back();
    testCase.name = "stampa";
    testCase.instructionLimit = tarn::grading::MAX_INSTRUCTION_LIMIT;
    testCase.outputLimit = tarn::grading::MAX_OUTPUT_LIMIT;
    std::uint64_t executed = 0;
    for (unsigned long long run = 0; run < cases; ++run)
        executed += tarn::grading::runCase(exercise, testCase, image).result.instructions;
    std::printf("%llu\n", static_cast<unsigned long long>(executed));
    return 0;
}

// tarnloopcost IMMAGINE LIMITE [CASI]: what the search for an endless loop
// costs a case that reaches LIMITE without repeating. Runs the image as
// tarngrade runs a case, CASI times (10 unless told), with no input, and
// then the search alone as far as each bound would take it: the limit
// itself, as the grader searched before, loopSearchSteps (three times the
// limit, within the budget), as it searches now, and the whole budget.
// Prints, for each, the steps searched, the milliseconds of a case, and the
// seconds of a class of 200 submissions x 10 such cases on one core.
// Measured by loop_search.sh.
#include "grading/exercise.hpp"
#include "grading/grader.hpp"
#include "host/image_file.hpp"
#include "machine/loop_detection.hpp"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

namespace {

constexpr unsigned CLASS_CASES = 2000;

bool number(std::string_view text, unsigned long long& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() && value > 0;
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    unsigned long long limit = 0;
    unsigned long long cases = 10;
    if (argc < 3 || argc > 4 || !number(argv[2], limit) || limit > tarn::grading::MAX_INSTRUCTION_LIMIT ||
        (argc == 4 && !number(argv[3], cases))) {
        std::fprintf(stderr, "uso: tarnloopcost IMMAGINE LIMITE [CASI]\n");
        return 2;
    }
    tarn::MachineState state{};
    if (!tarn::loadProgram(argv[1], state).opened) {
        std::fprintf(stderr, "tarnloopcost: impossibile leggere %s\n", argv[1]);
        return 2;
    }
    const std::vector<tarn::Byte> image(std::begin(state.M), std::end(state.M));

    tarn::grading::Exercise exercise;
    tarn::grading::TestCase& testCase = exercise.cases.emplace_back();
    testCase.name = "limite";
    testCase.instructionLimit = limit;

    // The whole case, as the grader runs it now.
    auto start = std::chrono::steady_clock::now();
    bool proved = false;
    bool reached = true;
    for (unsigned long long run = 0; run < cases; ++run) {
        const tarn::grading::CaseResult result = tarn::grading::runCase(exercise, testCase, image).result;
        proved = proved || result.loop.has_value();
        reached = reached && result.limitReached;
    }
    const double graded = millisecondsSince(start) / static_cast<double>(cases);
    if (!reached || proved) {
        std::fprintf(stderr, "tarnloopcost: il programma deve arrivare al limite senza ripetersi\n");
        return 1;
    }
    std::printf("limite %llu: un caso, come lo valuta tarngrade: %.3f ms\n", limit, graded);

    const struct {
        const char* name;
        std::uint64_t steps;
    } bounds[] = {
        {"fino al limite", std::min<std::uint64_t>(limit, tarn::grading::LOOP_SEARCH_BUDGET)},
        {"tre volte il limite", tarn::grading::loopSearchSteps(limit)},
        {"tutto il budget", tarn::grading::LOOP_SEARCH_BUDGET},
    };
    for (const auto& bound : bounds) {
        start = std::chrono::steady_clock::now();
        std::uint64_t stepped = 0;
        for (unsigned long long run = 0; run < cases; ++run)
            stepped += tarn::findEndlessLoop({tarn::grading::machineBefore(testCase, image), "", 0, true}, bound.steps)
                           .stepped;
        const double searched = millisecondsSince(start) / static_cast<double>(cases);
        std::printf("  ricerca %-20s %10llu passi %10.3f ms a caso, %8.1f s per %u casi\n", bound.name,
                    static_cast<unsigned long long>(stepped / cases), searched, searched * CLASS_CASES / 1000,
                    CLASS_CASES);
    }
    return 0;
}

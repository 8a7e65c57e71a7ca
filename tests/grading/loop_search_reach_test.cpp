// How far past a case's limit the grader looks for an endless loop: far
// enough to prove every loop whose first round ends within the limit, and
// no further than the search's own bound.
#include "grading/grader.hpp"
#include "grading/exercise_builders.hpp"
#include "machine/loop_detection.hpp"
#include "support/loop_programs.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using namespace tarn;
using namespace tarn::grading;

namespace {

// Counts down `outer` times `inner` rounds of four instructions (both at
// most 127: DEC counts with a sign), then goes
// round `tail` for ever, from the label `fine`.
std::string countdownThen(unsigned outer, unsigned inner, const std::string& tail) {
    return "        VAL a, " + std::to_string(outer) + "\n" +
           "uno:    VAL b, " + std::to_string(inner) + "\n" +
           "due:    CLZ\n"
           "        DEC b\n"
           "        JPZ fineb\n"
           "        JMP due\n"
           "fineb:  CLZ\n"
           "        DEC a\n"
           "        JPZ fine\n"
           "        JMP uno\n"
           "a:      DB 0\n"
           "b:      DB 0\n"
           "fine:\n" +
           tail;
}

const std::string STAND_STILL = "qui:    JMP qui\n";
// X counts round from 0, two steps a count, touching no flag: the state
// comes back every 512 steps.
const std::string SPIN = "giro:   INCOFFST\n"
                         "        JMP giro\n";

}  // namespace

TEST(LoopSearchReach, EveryLoopWhoseFirstRoundEndsWithinTheLimitIsProved) {
    const struct {
        std::string name;
        std::string source;
        std::uint64_t limit;
        bool proved;
    } rows[] = {
        // From step 2500 or so: the watch's saved state stays at step 2047
        // until step 4095, past the limit.
        {"a standstill after the limit's last power of two", countdownThen(5, 122, STAND_STILL), 3000, true},
        {"a long round ending just within the limit", countdownThen(5, 120, SPIN), 3000, true},
        {"a loop from the start, of a round near the limit", SPIN, 600, true},
        // Nothing repeats within three times the limit: the case only
        // reached its limit.
        {"a standstill far past the limit", countdownThen(40, 125, STAND_STILL), 3000, false},
        {"a counter whose period is far past the limit", tarn::testing::TWO_BYTE_COUNTER, 1000, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Exercise exercise = exerciseWith({caseNamed("caso", row.limit)});
        const CaseResult result = runCase(exercise, exercise.cases.front(), imageOf(row.source)).result;
        EXPECT_TRUE(result.limitReached);
        EXPECT_EQ(result.instructions, row.limit);
        ASSERT_EQ(result.loop.has_value(), row.proved);
        EXPECT_EQ(caseOutcome(result), row.proved ? CaseOutcome::Loop : CaseOutcome::Limit);
        if (!row.proved) continue;
        // Its first round ends within the limit, yet a search bound to the
        // limit does not see it.
        EXPECT_LE(result.loop->start + result.loop->length, row.limit);
        const LoopSearchStart start{machineBefore(exercise.cases.front(), imageOf(row.source)), "", 0, true};
        EXPECT_FALSE(findEndlessLoop(start, row.limit).loop);
    }
}

TEST(LoopSearchReach, TheSearchGoesThreeTimesTheLimitAndNeverPastItsBudget) {
    const struct {
        std::uint64_t limit;
        std::uint64_t steps;
    } rows[] = {
        {1, 3},
        {3000, 9000},
        {LOOP_SEARCH_BUDGET / 3, LOOP_SEARCH_BUDGET - 2},
        {LOOP_SEARCH_BUDGET / 3 + 1, LOOP_SEARCH_BUDGET},
        {MAX_INSTRUCTION_LIMIT, LOOP_SEARCH_BUDGET},
    };
    for (const auto& row : rows) EXPECT_EQ(loopSearchSteps(row.limit), row.steps) << row.limit;
}

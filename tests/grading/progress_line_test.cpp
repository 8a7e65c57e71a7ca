// The words of tarngrade's progress line: the count and the time left,
// guessed from the pace since the first submission that ran.
#include "programs/tarngrade/progress.hpp"

#include <gtest/gtest.h>

#include <chrono>

namespace tarn::grading {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

TEST(ProgressLine, TimeLeftInSecondsMinutesAndHours) {
    const struct {
        long long seconds;
        const char* shown;
    } rows[] = {
        {-3, "meno di un secondo"}, {0, "meno di un secondo"}, {1, "circa 1 s"},          {59, "circa 59 s"},
        {60, "circa 1 min 00 s"},   {65, "circa 1 min 05 s"},  {3599, "circa 59 min 59 s"}, {3600, "circa 1 h 00 min"},
        {3720, "circa 1 h 02 min"}, {90000, "circa 25 h 00 min"},
    };
    for (const auto& row : rows) EXPECT_EQ(remainingTime(seconds(row.seconds)), row.shown) << row.seconds;
}

TEST(ProgressLine, TheCountAndThePaceOfWhatRan) {
    const struct {
        std::size_t graded, total, first;
        milliseconds elapsed;
        const char* shown;
    } rows[] = {
        {0, 8, 0, milliseconds(0), "tarngrade: valutate 0 su 8 consegne"},
        {0, 1, 0, milliseconds(0), "tarngrade: valutata 0 su 1 consegna"},
        // 2 in 4 s: 2 s each, 6 to go.
        {2, 8, 0, milliseconds(4000), "tarngrade: valutate 2 su 8 consegne; tempo restante: circa 12 s"},
        // Those that could not run took no time: the pace is the others'.
        {3, 8, 2, milliseconds(2000), "tarngrade: valutate 3 su 8 consegne; tempo restante: circa 10 s"},
        {2, 8, 2, milliseconds(2000), "tarngrade: valutate 2 su 8 consegne"},
        {8, 8, 0, milliseconds(9000), "tarngrade: valutate 8 su 8 consegne"},
        {1, 3, 0, milliseconds(100), "tarngrade: valutate 1 su 3 consegne; tempo restante: meno di un secondo"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(progressLine(row.graded, row.total, row.first, row.elapsed), row.shown) << row.shown;
}

}  // namespace
}  // namespace tarn::grading

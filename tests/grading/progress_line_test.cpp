// The words of tarngrade's progress line: the submissions and the cases, a
// long case's instructions out of its limit, and a time left only once there
// is enough to guess it from; all within the terminal's width.
#include "programs/tarngrade/progress.hpp"

#include <gtest/gtest.h>

#include <chrono>

namespace tarn::grading {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

TEST(ProgressLine, TimeLeftInSecondsMinutesHoursAndDays) {
    const struct {
        long long seconds;
        const char* shown;
    } rows[] = {
        {-3, "meno di un secondo"},  {0, "meno di un secondo"},      {1, "circa 1 s"},
        {59, "circa 59 s"},          {60, "circa 1 min 00 s"},       {65, "circa 1 min 05 s"},
        {3599, "circa 59 min 59 s"}, {3600, "circa 1 h 00 min"},     {3720, "circa 1 h 02 min"},
        {90000, "circa 25 h 00 min"}, {172799, "circa 47 h 59 min"}, {172800, "circa 2 giorni"},
        {1'000'000'000'000, "circa 11.574.074 giorni"},
    };
    for (const auto& row : rows) EXPECT_EQ(remainingTime(seconds(row.seconds)), row.shown) << row.seconds;
}

TEST(ProgressLine, InstructionsInTheLimitsUnitRoundedDown) {
    const struct {
        std::uint64_t executed, limit;
        const char* shown;
    } rows[] = {
        {45'000, 100'000, "45.000 su 100.000 istruzioni"},
        {999'999, 999'999, "999.999 su 999.999 istruzioni"},
        {150'000'000, 1'000'000'000'000, "0,1 su 1.000 miliardi di istruzioni"},
        {3'299'999'999, 1'000'000'000'000, "3,2 su 1.000 miliardi di istruzioni"},
        {12'000'000'000, 1'000'000'000'000, "12 su 1.000 miliardi di istruzioni"},
        {999'999'999'999, 1'000'000'000'000, "999 su 1.000 miliardi di istruzioni"},
        {700'000'000, 1'000'000'000, "0,7 su 1 miliardo di istruzioni"},
        {1'500'000, 1'000'000, "1,5 su 1 milione di istruzioni"},
        {120'000'000, 150'000'000, "120 su 150 milioni di istruzioni"},
        {2'500'000, 7'500'000, "2,5 su 7,5 milioni di istruzioni"},
    };
    for (const auto& row : rows) EXPECT_EQ(instructionsOutOf(row.executed, row.limit), row.shown) << row.shown;
}

GradingFigures figuresOf(std::size_t submissions, std::size_t graded, std::size_t cases, std::size_t runs,
                         std::size_t ended, std::vector<RunUnderWay> underWay = {}) {
    return {submissions, graded, cases, runs, ended, std::move(underWay)};
}

// One drawing, `at` after the start, on a terminal of `columns`.
struct Drawing {
    milliseconds at;
    GradingFigures figures;
    std::size_t columns;
    const char* shown;
};

void expectDrawings(const std::vector<Drawing>& drawings, const std::string& story) {
    const ProgressClock::time_point start{};
    ProgressText text(start);
    for (const Drawing& drawing : drawings)
        EXPECT_EQ(text.line(drawing.figures, start + drawing.at, drawing.columns), drawing.shown) << story;
}

TEST(ProgressLine, CountsAndAPaceOnlyOnceThereIsEnoughToGuessFrom) {
    const struct {
        const char* story;
        std::vector<Drawing> drawings;
    } stories[] = {
        {"una classe",
         {
             {milliseconds(0), figuresOf(8, 0, 3, 24, 0), 0, "tarngrade: valutate 0 su 8 consegne, 0 su 24 casi"},
             // One run ended, but not a second gone yet: no guess.
             {milliseconds(300), figuresOf(8, 0, 3, 24, 1), 0, "tarngrade: valutate 0 su 8 consegne, 1 su 24 casi"},
             // 6 runs in 2 s: 18 to go, 6 s.
             {milliseconds(2000), figuresOf(8, 2, 3, 24, 6), 0,
              "tarngrade: valutate 2 su 8 consegne, 6 su 24 casi; tempo restante: circa 6 s"},
             {milliseconds(9000), figuresOf(8, 8, 3, 24, 24), 0, "tarngrade: valutate 8 su 8 consegne, 24 su 24 casi"},
         }},
        {"un caso per consegna, e alcune che non si possono eseguire",
         {
             {milliseconds(0), figuresOf(8, 2, 1, 6, 0), 0, "tarngrade: valutate 2 su 8 consegne"},
             {milliseconds(1500), figuresOf(8, 3, 1, 6, 1), 0,
              "tarngrade: valutate 3 su 8 consegne; tempo restante: circa 7 s"},
         }},
        {"una consegna sola: i casi",
         {
             {milliseconds(0), figuresOf(1, 0, 6, 6, 0), 0, "tarngrade: 0 su 6 casi"},
             {milliseconds(1000), figuresOf(1, 0, 6, 6, 2), 0, "tarngrade: 2 su 6 casi; tempo restante: circa 2 s"},
             {milliseconds(1000), figuresOf(1, 0, 1, 1, 0), 0, "tarngrade: 0 su 1 caso"},
         }},
        {"una consegna che non si può eseguire", {{milliseconds(0), figuresOf(1, 1, 6, 0, 0), 0,
                                                    "tarngrade: valutata 1 su 1 consegna"}}},
        {"un terminale stretto: i casi, o il tempo, poi entrambi",
         {
             {milliseconds(2000), figuresOf(300, 120, 10, 3000, 1200), 90,
              "tarngrade: valutate 120 su 300 consegne, 1200 su 3000 casi; tempo restante: circa 3 s"},
             {milliseconds(2000), figuresOf(300, 120, 10, 3000, 1200), 70,
              "tarngrade: valutate 120 su 300 consegne; tempo restante: circa 3 s"},
             {milliseconds(2000), figuresOf(300, 120, 10, 3000, 1200), 60,
              "tarngrade: valutate 120 su 300 consegne, 1200 su 3000 casi"},
             {milliseconds(2000), figuresOf(300, 120, 10, 3000, 1200), 40, "tarngrade: valutate 120 su 300 consegne"},
             {milliseconds(2000), figuresOf(300, 120, 10, 3000, 1200), 20, "tarngrade: valutate"},
         }},
    };
    for (const auto& story : stories) expectDrawings(story.drawings, story.story);
}

TEST(ProgressLine, ALongCaseShowsItsInstructionsAndWhenItReachesItsLimit) {
    constexpr std::uint64_t TRILLION = 1'000'000'000'000;
    const struct {
        const char* story;
        std::vector<Drawing> drawings;
    } stories[] = {
        {"un limite di mille miliardi",
         {
             // Under way but not long yet: only the counts.
             {milliseconds(0), figuresOf(1, 0, 6, 6, 1, {{1, 50'000'000, TRILLION}}), 120, "tarngrade: 1 su 6 casi"},
             // Long: its instructions, and no time before it is watched for a second.
             {milliseconds(400), figuresOf(1, 0, 6, 6, 1, {{1, 200'000'000, TRILLION}}), 120,
              "tarngrade: 1 su 6 casi; in corso: 0,2 su 1.000 miliardi di istruzioni"},
             {milliseconds(900), figuresOf(1, 0, 6, 6, 1, {{1, 400'000'000, TRILLION}}), 120,
              "tarngrade: 1 su 6 casi; in corso: 0,4 su 1.000 miliardi di istruzioni"},
             // 400 million a second since it was seen long: 999.6 billion to go.
             {milliseconds(1400), figuresOf(1, 0, 6, 6, 1, {{1, 600'000'000, TRILLION}}), 120,
              "tarngrade: 1 su 6 casi; in corso: 0,6 su 1.000 miliardi di istruzioni, al limite tra circa 41 min "
              "38 s"},
             // On 80 columns the counts go first.
             {milliseconds(1400), figuresOf(1, 0, 6, 6, 1, {{1, 600'000'000, TRILLION}}), 80,
              "tarngrade: 0,6 su 1.000 miliardi di istruzioni, al limite tra circa 41 min 38 s"},
             {milliseconds(1400), figuresOf(1, 0, 6, 6, 1, {{1, 600'000'000, TRILLION}}), 50,
              "tarngrade: 0,6 su 1.000 miliardi di istruzioni"},
             // A next case that is long is watched afresh.
             {milliseconds(1600), figuresOf(1, 0, 6, 6, 2, {{2, 100'000'000, TRILLION}}), 120,
              "tarngrade: 2 su 6 casi; in corso: 0,1 su 1.000 miliardi di istruzioni"},
         }},
        {"due casi lunghi insieme",
         {
             {milliseconds(0), figuresOf(3, 0, 2, 6, 3, {{3, 300'000'000, 2'000'000'000}, {5, 100'000'000, TRILLION}}),
              200,
              "tarngrade: valutate 0 su 3 consegne, 3 su 6 casi; 2 in corso, il più lungo: 0,3 su 2 miliardi di "
              "istruzioni"},
             // The other one, the one furthest on now, was seen long at the start too.
             {milliseconds(1000),
              figuresOf(3, 0, 2, 6, 3, {{3, 400'000'000, 2'000'000'000}, {5, 1'100'000'000, TRILLION}}), 200,
              "tarngrade: valutate 0 su 3 consegne, 3 su 6 casi; 2 in corso, il più lungo: 1,1 su 1.000 miliardi di "
              "istruzioni, al limite tra circa 16 min 38 s"},
         }},
        {"un caso lungo che si è fermato: il passo degli altri",
         {
             {milliseconds(0), figuresOf(2, 0, 1, 2, 0, {{0, 150'000'000, 200'000'000}}), 0,
              "tarngrade: valutate 0 su 2 consegne; in corso: 150 su 200 milioni di istruzioni"},
             {milliseconds(1000), figuresOf(2, 1, 1, 2, 1), 0,
              "tarngrade: valutate 1 su 2 consegne; tempo restante: circa 1 s"},
         }},
    };
    for (const auto& story : stories) expectDrawings(story.drawings, story.story);
}

}  // namespace
}  // namespace tarn::grading

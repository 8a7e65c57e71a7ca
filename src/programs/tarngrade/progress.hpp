// The line that tells, on a terminal, how far grading has gone: the
// submissions graded and the cases run out of how many, the instructions of
// a long case out of its limit, and the time left where there is enough to
// guess it from; rewritten in place on standard error and cleared at the end.
#pragma once

#include "grading/grader.hpp"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace tarn::grading {

using ProgressClock = std::chrono::steady_clock;

// A run under way is long from this many instructions on (some tenths of a
// second): the line then shows how far it is from its limit.
constexpr std::uint64_t LONG_RUN_INSTRUCTIONS = 100'000'000;
// How long the grading, or a long run, must have been watched before the
// line guesses a time from it: before that, a pace is a wild guess.
constexpr std::chrono::seconds ESTIMATE_AFTER{1};
// The width the line keeps to when the terminal does not tell its own.
constexpr std::size_t DEFAULT_COLUMNS = 80;

// Time left, as the line shows it: "meno di un secondo", "circa 12 s",
// "circa 3 min 05 s", "circa 1 h 02 min", "circa 3 giorni".
std::string remainingTime(std::chrono::seconds left);

// Instructions out of a limit, both in the limit's unit: "45.000 su 100.000
// istruzioni", "3,2 su 1.000 miliardi di istruzioni".
std::string instructionsOutOf(std::uint64_t executed, std::uint64_t limit);

// What the line says at each drawing. A time left is guessed from the pace
// of the runs ended, once the grading has gone on for ESTIMATE_AFTER; while
// a long run is under way, from that run's own pace, once it has been seen
// long for ESTIMATE_AFTER, as the time it takes to reach its limit (it may
// end before); never otherwise.
class ProgressText {
public:
    explicit ProgressText(ProgressClock::time_point start);

    // The line for the figures at `now`, within `columns` characters (0:
    // DEFAULT_COLUMNS), the last column left free: the parts that matter
    // least are left out first.
    std::string line(const GradingFigures& figures, ProgressClock::time_point now, std::size_t columns);

private:
    struct Sighting {
        std::size_t run;
        ProgressClock::time_point at;
        std::uint64_t executed;
    };
    ProgressClock::time_point start_;
    std::vector<Sighting> sightings_;  // of the long runs under way, when first seen long
};

class ProgressLine {
public:
    // Shows nothing unless `shown` (standard error is a terminal).
    explicit ProgressLine(bool shown);
    ~ProgressLine();  // clears the line
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // From any thread, as gradeClass calls it: the line is drawn at most a
    // few times a second, and a thread that comes between two drawings, or
    // finds another one drawing, goes on at once without asking the count.
    void update(const GradingCount& count);
    // Clears the line, if one is shown, before anything else is written.
    void clear();

private:
    bool shown_;
    std::atomic<ProgressClock::rep> nextDrawing_{0};  // ticks since the clock's epoch
    std::mutex mutex_;
    ProgressText text_;
    std::size_t width_ = 0;  // of the line shown, in characters
    bool visible_ = false;
};

}  // namespace tarn::grading

// The line that tells, on a terminal, how far grading has gone: the
// submissions graded out of how many and the time left, rewritten in place on
// standard error and cleared at the end.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>

namespace tarn::grading {

// Time left, as the line shows it: "meno di un secondo", "circa 12 s",
// "circa 3 min 05 s", "circa 1 h 02 min".
std::string remainingTime(std::chrono::seconds left);

// The line for `graded` submissions out of `total`, `elapsed` after the start,
// when `first` were graded already (those that cannot run): the time left is
// guessed from the pace since, once there is one.
std::string progressLine(std::size_t graded, std::size_t total, std::size_t first,
                         std::chrono::steady_clock::duration elapsed);

class ProgressLine {
public:
    // Shows nothing unless `shown` (standard error is a terminal).
    explicit ProgressLine(bool shown);
    ~ProgressLine();  // clears the line
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // From any thread: a thread that finds another one drawing goes on
    // without waiting, and the line is drawn at most a few times a second.
    void update(std::size_t graded, std::size_t total);
    // Clears the line, if one is shown, before anything else is written.
    void clear();

private:
    bool shown_;
    std::mutex mutex_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point drawn_{};
    std::size_t graded_ = 0;
    std::optional<std::size_t> first_;  // graded when the first call came
    std::size_t width_ = 0;  // of the line shown: it is ASCII, a column a byte
    bool visible_ = false;
};

}  // namespace tarn::grading

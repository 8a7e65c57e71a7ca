#include "programs/tarngrade/progress.hpp"

#include "grading/wording.hpp"
#include "host/descriptors.hpp"

#include <algorithm>

namespace tarn::grading {

namespace {

// Between two drawings of the line, at least.
constexpr std::chrono::milliseconds REDRAW_INTERVAL{200};

std::string twoDigits(long long value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

}  // namespace

std::string remainingTime(std::chrono::seconds left) {
    const long long seconds = std::max<long long>(left.count(), 0);
    if (seconds == 0) return "meno di un secondo";
    if (seconds < 60) return "circa " + std::to_string(seconds) + " s";
    if (seconds < 3600) return "circa " + std::to_string(seconds / 60) + " min " + twoDigits(seconds % 60) + " s";
    return "circa " + std::to_string(seconds / 3600) + " h " + twoDigits(seconds / 60 % 60) + " min";
}

std::string progressLine(std::size_t graded, std::size_t total, std::size_t first,
                         std::chrono::steady_clock::duration elapsed) {
    std::string line = "tarngrade: " + std::string(total == 1 ? "valutata " : "valutate ") + std::to_string(graded) +
                       " su " + counted(total, "consegna", "consegne");
    if (graded > first && graded < total) {
        // The pace so far, for the submissions still to grade.
        const double perSubmission =
            std::chrono::duration<double>(elapsed).count() / static_cast<double>(graded - first);
        const double left = perSubmission * static_cast<double>(total - graded);
        line += "; tempo restante: " + remainingTime(std::chrono::seconds(static_cast<long long>(std::min(left, 1e9))));
    }
    return line;
}

ProgressLine::ProgressLine(bool shown) : shown_(shown), start_(std::chrono::steady_clock::now()) {}

ProgressLine::~ProgressLine() {
    clear();
}

void ProgressLine::update(std::size_t graded, std::size_t total) {
    if (!shown_) return;
    const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock()) return;
    // Calls from several threads may come out of their order.
    graded_ = std::max(graded_, graded);
    if (!first_) first_ = graded;
    const auto now = std::chrono::steady_clock::now();
    if (visible_ && graded_ < total && now - drawn_ < REDRAW_INTERVAL) return;
    drawn_ = now;
    visible_ = true;
    // Back to the line's start, and over the old line: blanks where the new
    // one is shorter (no escape sequence, which not every console knows).
    const std::string line = progressLine(graded_, total, *first_, now - start_);
    std::string text = "\r" + line;
    if (line.size() < width_) text.append(width_ - line.size(), ' ');
    width_ = line.size();
    // The line only informs: a terminal that refuses it changes nothing.
    (void)tarn::writeAll(2, text);
}

void ProgressLine::clear() {
    if (!shown_) return;
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!visible_) return;
    visible_ = false;
    (void)tarn::writeAll(2, "\r" + std::string(width_, ' ') + "\r");
    width_ = 0;
}

}  // namespace tarn::grading

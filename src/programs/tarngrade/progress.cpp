#include "programs/tarngrade/progress.hpp"

#include "grading/wording.hpp"
#include "host/descriptors.hpp"
#include "host/terminal_width.hpp"

#include <algorithm>

namespace tarn::grading {

namespace {

// Between two drawings of the line, at least.
constexpr std::chrono::milliseconds REDRAW_INTERVAL{200};

std::string twoDigits(long long value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

// "1.000.000": thousands apart, as Italian writes them.
std::string grouped(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ".");
    return digits;
}

// A count in a unit of at least a million: "3,2", "15", "1.000"; rounded
// down, so that a run short of its limit never shows the limit.
std::string inUnit(std::uint64_t value, std::uint64_t unit) {
    const std::uint64_t whole = value / unit;
    const std::uint64_t tenth = value / (unit / 10) % 10;
    if (whole >= 100 || tenth == 0) return grouped(whole);
    return std::to_string(whole) + "," + std::to_string(tenth);
}

// Characters of a UTF-8 text: the bytes that do not continue one.
std::size_t characters(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The text cut after `count` characters.
std::string firstCharacters(std::string text, std::size_t count) {
    std::size_t seen = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) continue;
        if (seen++ == count) {
            text.resize(at);
            break;
        }
    }
    return text;
}

std::chrono::seconds wholeSeconds(double seconds) {
    return std::chrono::seconds(static_cast<long long>(std::clamp(seconds, 0.0, 1e12)));
}

}  // namespace

std::string remainingTime(std::chrono::seconds left) {
    const long long seconds = std::max<long long>(left.count(), 0);
    if (seconds == 0) return "meno di un secondo";
    if (seconds < 60) return "circa " + std::to_string(seconds) + " s";
    if (seconds < 3600) return "circa " + std::to_string(seconds / 60) + " min " + twoDigits(seconds % 60) + " s";
    if (seconds < 48 * 3600)
        return "circa " + std::to_string(seconds / 3600) + " h " + twoDigits(seconds / 60 % 60) + " min";
    return "circa " + grouped(static_cast<std::uint64_t>(seconds / 86400)) + " giorni";
}

std::string instructionsOutOf(std::uint64_t executed, std::uint64_t limit) {
    if (limit < 1'000'000) return grouped(executed) + " su " + grouped(limit) + " istruzioni";
    const bool billions = limit >= 1'000'000'000;
    const std::uint64_t unit = billions ? 1'000'000'000 : 1'000'000;
    const std::string shownLimit = inUnit(limit, unit);
    const bool one = shownLimit == "1";
    return inUnit(executed, unit) + " su " + shownLimit + " " +
           (billions ? (one ? "miliardo" : "miliardi") : (one ? "milione" : "milioni")) + " di istruzioni";
}

ProgressText::ProgressText(ProgressClock::time_point start) : start_(start) {}

std::string ProgressText::line(const GradingFigures& figures, ProgressClock::time_point now, std::size_t columns) {
    // What has been graded: the cases alone for one submission (or for the
    // solution that --verifica tries), else the submissions and the cases.
    const std::string cases = std::to_string(figures.runsEnded) + " su " + counted(figures.runs, "caso", "casi");
    const std::string submissions = std::string(figures.submissions == 1 ? "valutata " : "valutate ") +
                                    std::to_string(figures.graded) + " su " +
                                    counted(figures.submissions, "consegna", "consegne");
    std::string counts = submissions;
    std::string shortCounts = submissions;
    if (figures.submissions == 1 && figures.runs > 0) counts = shortCounts = cases;
    else if (figures.cases > 1 && figures.runs > 0) counts += ", " + cases;

    // The long runs under way: the one furthest on is shown, the others
    // only counted. A sighting of a run that has ended goes.
    std::erase_if(sightings_, [&](const Sighting& sighting) {
        return std::none_of(figures.underWay.begin(), figures.underWay.end(),
                            [&](const RunUnderWay& run) { return run.run == sighting.run; });
    });
    const RunUnderWay* longest = nullptr;
    std::size_t longRuns = 0;
    for (const RunUnderWay& run : figures.underWay) {
        if (run.executed < LONG_RUN_INSTRUCTIONS) continue;
        ++longRuns;
        if (longest == nullptr || run.executed > longest->executed) longest = &run;
        if (std::none_of(sightings_.begin(), sightings_.end(),
                         [&](const Sighting& sighting) { return sighting.run == run.run; }))
            sightings_.push_back({run.run, now, run.executed});
    }

    std::vector<std::string> candidates;  // the fullest first
    const std::string head = "tarngrade: ";
    if (longest != nullptr) {
        std::string estimate;
        for (const Sighting& sighting : sightings_) {
            const double watched = std::chrono::duration<double>(now - sighting.at).count();
            if (sighting.run != longest->run || now - sighting.at < ESTIMATE_AFTER ||
                longest->executed <= sighting.executed)
                continue;
            const double pace = static_cast<double>(longest->executed - sighting.executed) / watched;
            const std::uint64_t left = longest->limit - std::min(longest->limit, longest->executed);
            estimate = ", al limite tra " + remainingTime(wholeSeconds(static_cast<double>(left) / pace));
        }
        const std::string figuresOfRun = instructionsOutOf(longest->executed, longest->limit);
        const std::string label =
            longRuns == 1 ? "in corso: " : std::to_string(longRuns) + " in corso, il più lungo: ";
        candidates = {head + counts + "; " + label + figuresOfRun + estimate,
                      head + shortCounts + "; " + label + figuresOfRun + estimate,
                      head + shortCounts + "; " + figuresOfRun + estimate, head + figuresOfRun + estimate,
                      head + figuresOfRun};
    } else {
        std::string estimate;
        const auto elapsed = now - start_;
        if (figures.runsEnded > 0 && figures.runsEnded < figures.runs && elapsed >= ESTIMATE_AFTER) {
            // The pace so far, for the runs still to end.
            const double perRun =
                std::chrono::duration<double>(elapsed).count() / static_cast<double>(figures.runsEnded);
            estimate = "; tempo restante: " +
                       remainingTime(wholeSeconds(perRun * static_cast<double>(figures.runs - figures.runsEnded)));
        }
        candidates = {head + counts + estimate, head + shortCounts + estimate, head + counts, head + shortCounts};
    }
    const std::size_t room = (columns == 0 ? DEFAULT_COLUMNS : columns) - 1;
    for (const std::string& candidate : candidates)
        if (characters(candidate) <= room) return candidate;
    return firstCharacters(candidates.back(), room);
}

ProgressLine::ProgressLine(bool shown) : shown_(shown), text_(ProgressClock::now()) {}

ProgressLine::~ProgressLine() {
    clear();
}

void ProgressLine::update(const GradingCount& count) {
    if (!shown_) return;
    const auto now = ProgressClock::now();
    if (now.time_since_epoch().count() < nextDrawing_.load(std::memory_order_relaxed)) return;
    const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock() || now.time_since_epoch().count() < nextDrawing_.load(std::memory_order_relaxed)) return;
    nextDrawing_.store((now + REDRAW_INTERVAL).time_since_epoch().count(), std::memory_order_relaxed);
    visible_ = true;
    // Back to the line's start, and over the old line: blanks where the new
    // one is shorter (no escape sequence, which not every console knows).
    const std::string line = text_.line(count.figures(), now, tarn::terminalColumns(2));
    const std::size_t width = characters(line);
    std::string text = "\r" + line;
    if (width < width_) text.append(width_ - width, ' ');
    width_ = width;
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

#include "machine/loop_detection.hpp"

#include "machine/instruction_set.hpp"
#include "machine/io_unit.hpp"

#include <algorithm>
#include <limits>
#include <utility>

namespace tarn {

QuietRun::QuietRun(std::string_view input, bool inputEnded)
    : input_(input), inputEnded_(inputEnded), console_(input) {}

QuietRun::Step QuietRun::advance(RunPoint& point) {
    const std::size_t taken = std::min(point.inputTaken, input_.size());
    if (!inputEnded_ && point.state.M[point.state.PC] == Op::Inp && !nextInputWord(input_.substr(taken)).whole)
        return Step::Starved;
    console_.moveTo(taken);
    if (!stepMachine(point.state, console_)) return Step::Stopped;
    point.inputTaken = console_.taken();
    ++point.at;
    ++stepped_;
    return Step::Ran;
}

LoopLocator::LoopLocator(std::string_view input, bool inputEnded, std::uint64_t length, const RunPoint& inside,
                         std::vector<RunPoint> earlier)
    : run_(input, inputEnded),
      length_(length),
      inside_(inside),
      earlier_(std::move(earlier)),
      high_(static_cast<std::ptrdiff_t>(earlier_.size())) {
    choose();
}

// The next point to try, or, once the search has narrowed enough, where
// the walk begins. Trying a point costs `length` steps and halves the walk
// at most: it is worth it only while the walk would be longer than that.
void LoopLocator::choose() {
    if (earlier_.empty() || high_ == 0) {
        // The first point is inside the loop, and lies at or before its
        // start: it is the start.
        tortoise_ = hare_ = earlier_.empty() ? inside_ : earlier_.front();
        phase_ = Phase::Listing;
        return;
    }
    const auto at = [this](std::ptrdiff_t index) {
        return index >= static_cast<std::ptrdiff_t>(earlier_.size()) ? inside_.at
                                                                      : earlier_[static_cast<std::size_t>(index)].at;
    };
    const bool halve = high_ - low_ > 1 && at(high_) - at(std::max<std::ptrdiff_t>(low_, 0)) > length_;
    if (halve || low_ < 0) {
        probe_ = halve ? low_ + (high_ - low_) / 2 : 0;
        tortoise_ = hare_ = earlier_[static_cast<std::size_t>(probe_)];
        ahead_ = 0;
        phase_ = Phase::Probing;
        return;
    }
    tortoise_ = beforeTortoise_;
    hare_ = beforeHare_;
    hareTurn_ = false;
    phase_ = Phase::Walking;
}

// One instruction of the locator's run. The points it goes through were all
// run through already, so nothing stops or starves on the way, unless the
// points it was given are not of one run: then the search gives up.
bool LoopLocator::step(RunPoint& point) {
    if (run_.advance(point) == QuietRun::Step::Ran) return true;
    phase_ = Phase::Done;
    failed_ = true;
    return false;
}

std::uint64_t LoopLocator::advance(std::uint64_t steps) {
    const std::uint64_t before = run_.stepped();
    const auto room = [&] { return run_.stepped() - before < steps; };
    while (phase_ != Phase::Done && room()) {
        switch (phase_) {
            case Phase::Probing:
                while (ahead_ < length_ && room() && step(hare_)) ++ahead_;
                if (ahead_ < length_) break;
                if (sameState(tortoise_, hare_)) {
                    high_ = probe_;
                } else {
                    low_ = probe_;
                    beforeTortoise_ = tortoise_;
                    beforeHare_ = hare_;
                }
                choose();
                break;
            case Phase::Walking:
                // The two go on by turns, one instruction each.
                while (room()) {
                    if (!hareTurn_) {
                        if (sameState(tortoise_, hare_)) {
                            hare_ = tortoise_;
                            phase_ = Phase::Listing;
                            break;
                        }
                        if (!step(tortoise_)) break;
                    } else if (!step(hare_)) {
                        break;
                    }
                    hareTurn_ = !hareTurn_;
                }
                break;
            case Phase::Listing:
                if (listed_ == 0) {
                    loop_.start = tortoise_.at;
                    loop_.length = length_;
                    loop_.first = tortoise_.state;
                    loop_.inputTaken = tortoise_.inputTaken;
                }
                while (listed_ < length_ && room()) {
                    loop_.instructions[hare_.state.PC] = true;
                    if (!step(hare_)) break;
                    ++listed_;
                }
                if (listed_ == length_) phase_ = Phase::Done;
                break;
            case Phase::Done:
                break;
        }
    }
    return run_.stepped() - before;
}

SlicedLoopSearch::SlicedLoopSearch(const LoopSearchStart& from, std::uint64_t budget, std::uint64_t at,
                                   std::vector<RunPoint> earlier)
    : input_(from.input),
      inputEnded_(from.inputEnded),
      budget_(budget),
      origin_{from.state, std::min(from.inputTaken, from.input.size()), at},
      earlier_(std::move(earlier)),
      run_(from.input, from.inputEnded),
      hare_(origin_),
      watch_(origin_) {}

std::uint64_t SlicedLoopSearch::advance(std::uint64_t steps) {
    std::uint64_t used = 0;
    while (!done_ && used < steps) {
        if (locator_) {
            used += locator_->advance(steps - used);
            done_ = locator_->done();
            if (locator_->found()) outcome_ = LoopSearch::Outcome::Endless;
            continue;
        }
        if (hare_.at - origin_.at >= budget_) {
            done_ = true;
            break;
        }
        const QuietRun::Step step = run_.advance(hare_);
        if (step == QuietRun::Step::Stopped || step == QuietRun::Step::Starved) {
            outcome_ = step == QuietRun::Step::Stopped ? LoopSearch::Outcome::Stopped : LoopSearch::Outcome::WaitsForInput;
            done_ = true;
            break;
        }
        ++used;
        if (!watch_.next(hare_.state, hare_.inputTaken)) continue;
        // The points to look back to: those given, and the origin, all
        // before the tortoise.
        std::vector<RunPoint> points;
        const RunPoint& inside = watch_.tortoise();
        for (const RunPoint& point : earlier_)
            if (point.at < origin_.at) points.push_back(point);
        if (origin_.at < inside.at) points.push_back(origin_);
        earlier_.clear();
        locator_.emplace(input_, inputEnded_, watch_.period(), inside, std::move(points));
    }
    return used;
}

LoopSearch SlicedLoopSearch::result() const {
    LoopSearch search;
    search.stepped = run_.stepped() + (locator_ ? locator_->stepped() : 0);
    if (!done_) return search;
    search.outcome = outcome_;
    if (outcome_ == LoopSearch::Outcome::Endless) search.loop = locator_->loop();
    return search;
}

LoopSearch findEndlessLoop(const LoopSearchStart& from, std::uint64_t budget) {
    SlicedLoopSearch search(from, budget);
    search.advance(std::numeric_limits<std::uint64_t>::max());
    return search.result();
}

std::string describeEndlessLoop(std::uint64_t start, std::uint64_t length) {
    return "ciclo infinito: dal passo " + std::to_string(start) + " la macchina ripete " +
           (length == 1 ? std::string("sempre lo stesso passo") : "gli stessi " + std::to_string(length) + " passi");
}

}  // namespace tarn

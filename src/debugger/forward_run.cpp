#include "debugger/forward_run.hpp"

#include "debugger/proved_loop.hpp"

#include <algorithm>
#include <utility>
#include <vector>

namespace tarn::debugger {

ForwardRun::ForwardRun(Session& session) : session_(session), from_(session.position()) {
    // A loop already proved is where the run is bound to go: a run that
    // starts inside it stops after one round, one that starts before it on
    // the loop's first return.
    if (const std::optional<ProvedLoop>& loop = session.loop_)
        stopAt_ = firstReturn(loop->start, loop->length);
    else
        watch_.emplace(RunPoint{session.state_, session.inputTaken_, from_});
}

std::uint64_t ForwardRun::searchSteps() const {
    return located_ + (locator_ ? locator_->stepped() : 0);
}

std::uint64_t ForwardRun::firstReturn(std::uint64_t start, std::uint64_t length) const {
    return std::max(start + length, from_ + length);
}

RunResult ForwardRun::stretch(std::uint64_t budget) {
    Session& s = session_;
    RunResult result;
    result.reason = StopReason::Budget;
    if (!locator_) {
        if (stopAt_ && *stopAt_ > s.position()) budget = std::min(budget, *stopAt_ - s.position());
        bool cameBack = false;
        result = s.runForward(budget, watch_ ? &*watch_ : nullptr, cameBack);
        if (result.reason != StopReason::Budget) return result;
        if (cameBack) {
            // A state has come back: where the loop began is looked for among
            // the snapshots before the tortoise, the first being the start.
            const RunPoint& inside = watch_->tortoise();
            std::vector<RunPoint> earlier;
            for (const Session::Snapshot& snapshot : s.snapshots_) {
                if (snapshot.position >= inside.at) break;
                earlier.push_back({snapshot.machine, snapshot.inputTaken, snapshot.position});
            }
            locator_.emplace(s.input_, s.inputEnded(), watch_->period(), inside, std::move(earlier));
            watch_.reset();
        }
    }
    if (locator_) {
        locator_->advance(std::max(budget * LOOP_SEARCH_SLICE, MIN_LOOP_SEARCH_SLICE));
        if (!locator_->done()) return result;
        located_ += locator_->stepped();
        if (locator_->found()) result = loopFound(locator_->loop(), result);
        locator_.reset();
        return result;
    }
    if (stopAt_ && s.position() >= *stopAt_) return stopAtReturn(result);
    return result;
}

RunResult ForwardRun::loopFound(const EndlessLoop& loop, RunResult result) {
    session_.loop_ = provedLoop(loop, session_.program_);
    stopAt_ = firstReturn(loop.start, loop.length);
    // The first return lies behind: the run found it when it was past it.
    return stopAtReturn(result);
}

RunResult ForwardRun::stopAtReturn(RunResult result) {
    Session& s = session_;
    // The return may lie before this stretch began: steps counts only forwards.
    const std::uint64_t began = s.position() - result.steps;
    result.steps = *stopAt_ > began ? *stopAt_ - began : 0;
    s.goTo(*stopAt_);
    result.reason = StopReason::EndlessLoop;
    return result;
}

}  // namespace tarn::debugger

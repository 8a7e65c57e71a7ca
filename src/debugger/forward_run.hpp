// A forward run of many stretches ("continua"): the caller draws the
// screen and looks at its keys between them, and nothing else moves the
// session meanwhile. Besides what stops runForward, it stops when the
// machine comes back to a state it has been in, with no input taken in
// between: the program will go round for ever. It stops on the first such
// return after its start (a run that starts inside a loop already proved
// goes round it once), and the session keeps the loop for the screen to
// mark and for runBackward to go back to.
//
// The proof costs one comparison a step: Brent's watch follows the
// session's own steps. Once a state comes back, the run stops moving while
// the locator finds where the loop began among the session's snapshots,
// at most LOOP_SEARCH_SLICE times the stretch's budget (and never fewer
// than MIN_LOOP_SEARCH_SLICE) instructions of its own run a stretch, however
// far the run has gone.
#pragma once

#include "debugger/session.hpp"
#include "machine/loop_detection.hpp"

#include <cstdint>
#include <optional>

namespace tarn::debugger {

// A stretch of a forward run may add this many instructions of the search's
// own run for each one of its budget, and at least MIN_LOOP_SEARCH_SLICE.
inline constexpr std::uint64_t LOOP_SEARCH_SLICE = 8;
inline constexpr std::uint64_t MIN_LOOP_SEARCH_SLICE = 4096;

class ForwardRun {
public:
    explicit ForwardRun(Session& session);
    // At most budget instructions (fewer when a loop is proved ahead), and
    // a bounded slice of the search.
    RunResult stretch(std::uint64_t budget);

    // The instructions the search has run on its own so far: how much work
    // it added to the session's steps.
    std::uint64_t searchSteps() const;

private:
    // The loop located: the session keeps it, and the run stops at its
    // first return.
    RunResult loopFound(const EndlessLoop& loop, RunResult result);
    // The first return of a loop from `start` of `length` states, after
    // this run's start.
    std::uint64_t firstReturn(std::uint64_t start, std::uint64_t length) const;
    // The run, whose last stretch went result.steps instructions, goes to
    // the first return, and stops there on the endless loop.
    RunResult stopAtReturn(RunResult result);

    Session& session_;
    std::uint64_t from_;
    std::optional<RepeatWatch> watch_;    // while no state has come back
    std::optional<LoopLocator> locator_;  // once one has, until the loop is located
    std::uint64_t located_ = 0;           // the instructions of a locator that is done
    std::optional<std::uint64_t> stopAt_;  // the first return, once known
};

}  // namespace tarn::debugger

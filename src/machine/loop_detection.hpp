// Proof that a run never ends: the machine comes back to a state it has
// already been in, input included, so it will go round the same steps for
// ever. Found with Brent's cycle detection, which keeps a single saved state
// however long the run, from any state the caller starts from: the start of
// a grader's case, the debugger's current state, the browser's.
//
// Every part of the search can be done a slice at a time, a bounded number
// of instructions per slice however far into the run it is, so that a
// debugger or a page that searches while it runs keeps answering.
#pragma once

#include "machine/console.hpp"
#include "machine/machine_state.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn {

// Where a search for an endless loop starts: the machine, the whole input
// and how much of it has been taken already.
struct LoopSearchStart {
    MachineState state{};
    std::string_view input;
    std::size_t inputTaken = 0;
    // Whether the input is all there is, with no more to come (a file, a
    // grader's case, or a console whose input has been closed): then an INP
    // that finds no word is a step like any other.
    bool inputEnded = false;
};

// A point of a run: the machine, the input it had taken, and the
// instructions executed before it.
struct RunPoint {
    MachineState state{};
    std::size_t inputTaken = 0;
    std::uint64_t at = 0;
};

// Whether the machine is in the same state at two points: every one of its
// 262 bytes and the input position. Every search compares with this alone.
inline bool sameState(const MachineState& a, std::size_t aTaken, const MachineState& b, std::size_t bTaken) {
    // PC first: two states of a run seldom differ in it alone, and comparing
    // it costs nothing.
    return a.PC == b.PC && aTaken == bTaken && std::memcmp(&a, &b, sizeof(MachineState)) == 0;
}

inline bool sameState(const RunPoint& a, const RunPoint& b) {
    return sameState(a.state, a.inputTaken, b.state, b.inputTaken);
}

// An endless loop: after `start` steps the machine is in a state that it
// reaches again every `length` steps, for ever.
struct EndlessLoop {
    std::uint64_t start = 0;   // instructions executed before the first state of the loop
    std::uint64_t length = 0;  // instructions of one period, at least 1
    MachineState first{};      // the machine at the loop's first state
    std::size_t inputTaken = 0;  // input taken by then; the loop takes no more
    // The addresses of the instructions that one period executes.
    std::array<bool, 256> instructions{};
};

struct LoopSearch {
    enum class Outcome {
        Endless,        // `loop` says where and how long
        Stopped,        // the program reached opcode 0 within the budget
        WaitsForInput,  // an INP found no word while more input may come
        Unknown,        // the budget ran out before anything was proved
    };
    Outcome outcome = Outcome::Unknown;
    std::optional<EndlessLoop> loop;
    // Instructions stepped in all, the second pass that locates the loop's
    // start included: at most three times the budget.
    std::uint64_t stepped = 0;
};

// Brent's watch over a run, fed one point after another: the tortoise waits
// at the latest point whose distance from the start is a power of two, and
// each new point is compared with it. The first point equal to it is the
// first return that the watch can see: the distance is then the loop's
// length, and the tortoise lies inside the loop. Costs one comparison a
// step, and is fed by the search's own run or by the debugger's steps.
class RepeatWatch {
public:
    explicit RepeatWatch(const RunPoint& start) : tortoise_(start) {}

    // The point one instruction after the last; true when the machine is
    // back in the tortoise's state (then stop feeding it).
    bool next(const MachineState& state, std::size_t inputTaken) {
        ++distance_;
        // PC first, then the byte where the last full comparison found the
        // two apart: in a loop that counts, they tell most states apart at
        // once. Only sameState says that two are the same.
        const auto* tortoise = reinterpret_cast<const unsigned char*>(&tortoise_.state);
        const auto* current = reinterpret_cast<const unsigned char*>(&state);
        if (tortoise_.state.PC == state.PC && tortoise[hint_] == current[hint_]) {
            if (sameState(tortoise_.state, tortoise_.inputTaken, state, inputTaken)) return true;
            // The first byte where they differ, if any (else only the input
            // position tells them apart).
            for (std::size_t at = 0; at < sizeof(MachineState); ++at)
                if (tortoise[at] != current[at]) {
                    hint_ = at;
                    break;
                }
        }
        if (distance_ == power_) {
            tortoise_ = {state, inputTaken, tortoise_.at + distance_};
            power_ *= 2;
            distance_ = 0;
        }
        return false;
    }

    // After a return: the loop's length, and a point inside the loop.
    std::uint64_t period() const { return distance_; }
    const RunPoint& tortoise() const { return tortoise_; }
    // The instructions executed before the last point fed.
    std::uint64_t at() const { return tortoise_.at + distance_; }

private:
    RunPoint tortoise_;
    std::uint64_t power_ = 1;
    std::uint64_t distance_ = 0;
    std::size_t hint_ = offsetof(MachineState, PC);  // an offset in the record
};

// The search's own run of the machine, one instruction at a time from any
// point, over the input of the run, printing nothing.
class QuietRun {
public:
    enum class Step {
        Ran,
        Stopped,  // opcode 0 at PC: nothing was executed
        Starved,  // an INP would find no word, and more input may come: nothing was executed
    };

    QuietRun(std::string_view input, bool inputEnded);
    QuietRun(const QuietRun&) = delete;
    QuietRun& operator=(const QuietRun&) = delete;

    Step advance(RunPoint& point);
    // Instructions executed in all.
    std::uint64_t stepped() const { return stepped_; }

private:
    class QuietConsole final : public Console {
    public:
        explicit QuietConsole(std::string_view input) { setInputBlock(input.data(), input.data() + input.size()); }
        void writeOutput(std::string_view) override {}
        void showTrace(std::string_view) override {}
        std::size_t taken() const { return inputBlockTaken(); }
        void moveTo(std::size_t taken) { setInputBlockTaken(taken); }

    private:
        bool readInputBlock() override { return false; }  // all of it was there from the start
    };

    std::string_view input_;
    bool inputEnded_;
    QuietConsole console_;
    std::uint64_t stepped_ = 0;
};

// Where a loop of known length begins, given a point inside it and earlier
// points of the same run (the debugger's snapshots, the start of the run):
// the loop's first state is the first point p whose state comes back at
// p + length, and once a point does, every later one does. So a binary
// search over the earlier points, each tried with `length` steps, narrows
// down where the loop begins, for as long as that costs less than walking;
// then a walk, the point before the loop and the one `length` ahead of it
// stepping together, finds the first state, and one period lists the
// loop's instructions. The work is about `length` times the log of the
// run's length, plus twice the distance between two snapshots.
class LoopLocator {
public:
    // `inside`: a point inside the loop. `earlier`: points of the run before
    // it, in order; the first of them (or `inside` itself, when there are
    // none) must lie at or before the loop's start: the start of the run,
    // or a point before the last input was read.
    LoopLocator(std::string_view input, bool inputEnded, std::uint64_t length, const RunPoint& inside,
                std::vector<RunPoint> earlier);

    // Goes on for at most `steps` instructions; returns how many it stepped.
    std::uint64_t advance(std::uint64_t steps);
    bool done() const { return phase_ == Phase::Done; }
    // Done, with the loop located (not so only when the points given were
    // not of one run).
    bool found() const { return done() && !failed_; }
    // Once found.
    const EndlessLoop& loop() const { return loop_; }
    std::uint64_t stepped() const { return run_.stepped(); }

private:
    enum class Phase { Probing, Walking, Listing, Done };

    void choose();
    bool step(RunPoint& point);

    QuietRun run_;
    std::uint64_t length_;
    RunPoint inside_;
    std::vector<RunPoint> earlier_;
    Phase phase_ = Phase::Probing;  // until the constructor chooses
    // The binary search: earlier_[low] is known to lie before the loop
    // (low = -1: none is yet), earlier_[high] inside it (high = size: only `inside`).
    std::ptrdiff_t low_ = -1;
    std::ptrdiff_t high_;
    std::ptrdiff_t probe_ = 0;
    RunPoint tortoise_{};  // the point probed, or walked from
    RunPoint hare_{};      // `length` steps ahead of the tortoise, once there
    std::uint64_t ahead_ = 0;  // steps the hare has made ahead of the tortoise
    // The pair of the last probe found before the loop: the walk goes on from it.
    RunPoint beforeTortoise_{};
    RunPoint beforeHare_{};
    bool hareTurn_ = false;  // in the walk, whose step comes next
    std::uint64_t listed_ = 0;
    bool failed_ = false;
    EndlessLoop loop_;
};

// A whole search, a slice at a time: Brent's watch on a run of its own from
// `from` (at most `budget` instructions ahead of it), then the locator.
class SlicedLoopSearch {
public:
    // `at`: the instructions executed before `from`, so that the loop's
    // start counts from the start of the run. `earlier`: points of the run
    // before `from`, as for LoopLocator; without them `from` is taken for
    // the start of the run. The input must outlive the search.
    SlicedLoopSearch(const LoopSearchStart& from, std::uint64_t budget, std::uint64_t at = 0,
                     std::vector<RunPoint> earlier = {});

    // Goes on for at most `steps` instructions; returns how many it stepped.
    std::uint64_t advance(std::uint64_t steps);
    bool done() const { return done_; }
    // What is known so far: Unknown until done.
    LoopSearch result() const;

private:
    std::string_view input_;
    bool inputEnded_;
    std::uint64_t budget_;
    RunPoint origin_;
    std::vector<RunPoint> earlier_;
    QuietRun run_;
    RunPoint hare_;
    RepeatWatch watch_;
    std::optional<LoopLocator> locator_;
    LoopSearch::Outcome outcome_ = LoopSearch::Outcome::Unknown;
    bool done_ = false;
};

// Runs from `from`, at most `budget` instructions ahead of it (nothing is
// printed anywhere; trace displays are skipped), looking for a state met
// twice. The state is the 262 bytes of the machine and the input position:
// a period that takes input never matches, since the position only grows.
// An INP that finds no word while more input may come ends the search
// (WaitsForInput): a console would wait there. When the input has ended
// for good (`inputEnded`), such an INP is a step like any other, and a loop
// that waits on input is endless.
LoopSearch findEndlessLoop(const LoopSearchStart& from, std::uint64_t budget);

// "ciclo infinito: dal passo N la macchina ripete gli stessi M passi" (for
// M = 1, "sempre lo stesso passo"): the words every program uses for a loop.
std::string describeEndlessLoop(std::uint64_t start, std::uint64_t length);

}  // namespace tarn

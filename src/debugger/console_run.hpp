// A run as tarnsim shows it, a slice at a time: for a front end that cannot
// wait inside the machine for a key or a line of input, and must hand over
// what the run prints as it goes.
//
// The console carries exactly tarnsim's standard output: the banner, the
// start lines, the trace displays, what WRT prints and the shutdown lines.
// While D is set, every instruction is fetched and its trace display shown,
// then the run pauses until the key that lets it execute. An INP that finds
// no whole word in the input typed so far pauses the run before it executes,
// until a line is typed or the input is ended; its word is then the one a
// whole input would have given it.
#pragma once

#include "machine/loop_detection.hpp"
#include "machine/machine_state.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::debugger {

// The input not yet read may grow up to this many bytes.
inline constexpr std::size_t MAX_PENDING_INPUT = std::size_t{1} << 20;

// A slice returns early once this much console output waits to be taken.
inline constexpr std::size_t CONSOLE_SLICE_OUTPUT = std::size_t{1} << 18;

// The points of its past that a run keeps for a search for an endless loop
// to look back to, at most, and how far ahead of where it was stopped such a
// search looks.
inline constexpr std::size_t MAX_RUN_POINTS = 64;
inline constexpr std::uint64_t RUN_LOOP_SEARCH_BUDGET = 20'000'000;

class ConsoleRun {
public:
    enum class State {
        Running,     // call runSlice again
        Trace,       // a trace display was shown: waiting for pressKey
        NeedsInput,  // the next instruction is INP without a whole word: giveInput or endInput
        Halted,      // opcode 0 at PC: the shutdown lines were shown
    };

    // The program's image (the first 256 bytes of it), the name the console
    // shows for it, and the input typed beforehand, if any: a line end is
    // added when it does not end with one. The input stays open for more.
    ConsoleRun(std::span<const Byte> image, std::string_view name, std::string_view input = {});

    // Runs at most budget instructions; returns early on a trace display, an
    // INP waiting for input, the halt, or console output waiting to be taken.
    State runSlice(std::uint64_t budget);
    State state() const { return state_; }

    // The key of the trace: the instruction shown runs on the next slice.
    void pressKey();
    // A typed line (a line end is added); false, adding nothing, when the
    // input not yet read would grow beyond MAX_PENDING_INPUT or has ended.
    bool giveInput(std::string_view line);
    // No more input: INP reads nothing from now on.
    void endInput();
    bool inputEnded() const { return inputEnded_; }

    // The console bytes, and the bytes WRT printed, since the last take.
    std::string takeConsole();
    std::string takeOutput();

    const MachineState& machine() const { return machine_; }
    // Instructions executed since the start.
    std::uint64_t executed() const { return executed_; }

private:
    class SliceConsole;
    friend class RunLoopSearch;

    // Whether an opcode is an INP that would find no whole word in the input
    // past the `taken` bytes read since inputTaken_.
    bool starves(Byte opcode, std::size_t taken) const;
    // Runs up to limit instructions one at a time, stopping before an INP
    // that starves (NeedsInput), a set D or opcode 0.
    std::uint64_t stepCarefully(std::uint64_t limit);
    void consumeInput(std::size_t taken);
    // Where the run stands, as a point of its past: before a stretch of it.
    RunPoint here() const { return {machine_, inputTaken_, executed_}; }
    // Keeps a point of the past: `before` when the stretch after it read
    // input (then no loop began before it), or `before` from time to time.
    void keepPoint(const RunPoint& before, bool readInput);

    MachineState machine_{};
    State state_ = State::Running;
    // An instruction fetched and shown in a trace, not yet executed.
    bool fetched_ = false;
    std::uint64_t executed_ = 0;

    std::string input_;
    std::size_t inputTaken_ = 0;
    bool inputEnded_ = false;

    std::string console_;
    std::string output_;

    // Points of the run for a search for an endless loop to look back to, in
    // order: the first is the start, or a point before the last input was
    // read (a loop reads none, so none began earlier); then one every
    // pointInterval_ instructions or so. Their input is kept.
    std::vector<RunPoint> points_;
    std::uint64_t pointInterval_ = 4096;
};

// The search for an endless loop from where a run stands, once "Ferma" has
// stopped it, a slice at a time: what describeStop says for a forward run's
// endless loop, from the same search. It keeps its own copy of what it needs
// of the run, which may go. The loop's start is the first state of the loop,
// counted from the start of the run, whether the run had come into the loop
// before it was stopped or would only have come into it later.
class RunLoopSearch {
public:
    // Whether the run stands where a search can start: between two
    // instructions, neither waiting for a key or a word nor halted.
    static bool canStart(const ConsoleRun& run);
    // Only where canStart says so.
    explicit RunLoopSearch(const ConsoleRun& run, std::uint64_t budget = RUN_LOOP_SEARCH_BUDGET);
    RunLoopSearch(const RunLoopSearch&) = delete;
    RunLoopSearch& operator=(const RunLoopSearch&) = delete;

    // At most `steps` instructions; returns how many it stepped.
    std::uint64_t advance(std::uint64_t steps) { return search_.advance(steps); }
    bool done() const { return search_.done(); }
    LoopSearch result() const { return search_.result(); }

private:
    std::string input_;  // before search_, which looks at it
    SlicedLoopSearch search_;
};

}  // namespace tarn::debugger

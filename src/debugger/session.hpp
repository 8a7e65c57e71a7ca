// A debugging session: one program run on one machine, forwards and
// backwards, with breakpoints, watchpoints, the last writer of every byte
// and the warnings that teach what the program is doing wrong.
//
// Positions count the instructions executed since the start: position 0 is
// the machine as loaded, position n the machine after n instructions. The
// instruction that leads from position n - 1 to n is step n.
//
// Going back is exact: the session keeps snapshots of the whole machine
// (and of what the debugger knows of it) every so many instructions, at
// most MAX_SNAPSHOTS of them, and re-executes from the nearest one. When the
// snapshots are full, every other one is dropped and the interval doubles,
// so memory stays bounded however long the run.
#pragma once

#include "debugger/byte_set.hpp"
#include "debugger/code_writes.hpp"
#include "debugger/program.hpp"
#include "debugger/proved_loop.hpp"
#include "debugger/warnings.hpp"
#include "machine/instruction_set.hpp"
#include "machine/loop_detection.hpp"
#include "machine/machine_state.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::debugger {

inline constexpr std::size_t MAX_SNAPSHOTS = 4096;
inline constexpr std::uint64_t FIRST_SNAPSHOT_INTERVAL = 256;  // a power of two, and so every later one
// What the program prints is kept up to this many bytes; beyond, it is only counted.
inline constexpr std::size_t MAX_KEPT_OUTPUT = std::size_t{1} << 20;
// Input typed in the session, all lines together.
inline constexpr std::size_t MAX_TYPED_INPUT = std::size_t{1} << 20;

// Who wrote a byte of memory last.
struct LastWrite {
    std::uint64_t step = 0;  // the step that wrote it; 0: no instruction has
    Byte address = 0;        // where that instruction was
};

// Why a run stopped.
enum class StopReason {
    None,         // nothing yet
    Budget,       // ran its instructions; nothing stopped it (call again)
    Breakpoint,   // the next instruction has a breakpoint
    Watchpoint,   // the last instruction changed a watched byte
    Warning,      // a teaching warning; see warnings()
    Halted,       // opcode 0 at PC: the machine has stopped
    NeedsInput,   // the next instruction is INP and no word has been typed
    Start,        // back at position 0
    Interrupted,  // a backward run given up: the machine is where it was
    EndlessLoop,  // the machine is back in a state it was in, and will go round for ever
    LoopStart,    // back where the endless loop begins
};

struct RunResult {
    StopReason reason = StopReason::None;
    std::uint64_t steps = 0;         // how far it moved
    std::optional<Byte> watched;     // for Watchpoint: the byte that changed
};

// The memory the next instruction uses, for the grid to mark.
struct NextAccess {
    std::optional<unsigned> effective;  // A + X (0..510), when it uses one
    std::optional<Byte> atB;            // the byte at B, when it uses it
    std::optional<Byte> fromA;          // INP and WRT: where they start
};

struct InstructionPlan;

class Session {
public:
    // input: the whole input of INP, from a file; nothing: the user types
    // it in the session (see needsInput and giveInput).
    Session(Program program, std::optional<std::string> input);

    const Program& program() const { return program_; }
    const MachineState& machine() const { return state_; }
    // The machine one step earlier; nothing at position 0.
    const MachineState* previous() const { return position_ > 0 ? &previous_ : nullptr; }
    std::uint64_t position() const { return position_; }
    // The furthest position reached so far.
    std::uint64_t furthest() const { return furthest_; }

    // Whether the machine has stopped: opcode 0 at PC.
    bool halted() const { return state_.M[state_.PC] == Op::Rst; }

    // What the program has printed up to here (at most MAX_KEPT_OUTPUT bytes
    // of it), and whether it printed more than that.
    std::string_view output() const;
    bool outputCut() const { return outputLength_ > output_.size(); }
    std::uint64_t outputLength() const { return outputLength_; }

    // The input not yet read by INP.
    std::string_view pendingInput() const;
    // The same as it was before the last step (what an INP there read
    // from); the input now at position 0.
    std::string_view inputBeforeLastStep() const;
    bool typedInput() const { return typed_; }
    bool inputEnded() const { return !typed_ || typedEnded_; }
    // Whether the next instruction is INP with no whole word left to read,
    // while the user may still type one.
    bool needsInput() const;
    // Adds a line the user typed (a line end is added). False when the
    // typed input would grow beyond MAX_TYPED_INPUT.
    bool giveInput(std::string_view line);
    // The user has no more input: INP reads nothing from now on.
    void endInput();

    // One instruction forwards; false, doing nothing, when the machine has
    // halted or needs input.
    bool step();
    // One instruction back; false at position 0.
    bool stepBack();
    // Runs forwards for at most budget instructions: stops after the first
    // one at a breakpoint, a changed watched byte, a warning, a halt, or an
    // INP waiting for input.
    RunResult runForward(std::uint64_t budget);
    // Goes back to the latest earlier position where runForward would have
    // stopped for a breakpoint, a watchpoint or a warning; to position 0
    // when there is none. A long history is searched stretch by stretch,
    // each one at most a snapshot interval: between two, keepGoing (when
    // given) is asked whether to go on; false leaves the machine where it was.
    RunResult runBackward(const std::function<bool()>& keepGoing = {});
    // Whether a word just given to the INP waiting at PC (see needsInput)
    // brings a warning about it: the run that the word was given for stops
    // first, so that the warning comes before the INP runs.
    bool inputBringsWarning() const;
    // Back to position 0.
    void restart();
    // To any position up to the furthest (stepping forwards past it when
    // asked for more); returns the position reached.
    std::uint64_t goTo(std::uint64_t position);

    bool toggleBreakpoint(Byte address);  // returns whether it is now set
    bool breakpoint(Byte address) const { return breakpoints_.test(address); }
    bool toggleWatchpoint(Byte address);
    bool watchpoint(Byte address) const { return watchpoints_.test(address); }

    // The last instruction that wrote the byte at address (0..255), up to
    // here; step 0 when none did.
    LastWrite lastWrite(Byte address) const { return { lastStep_[address], lastPc_[address] }; }
    // The instruction that step (1 up to the position) ran, its bytes as
    // they were then: done again from the snapshot before it. Past the
    // position, or for 0, the next instruction.
    RanInstruction instructionOfStep(std::uint64_t step) const;
    // Whether the last step wrote the byte.
    bool changedByLastStep(Byte address) const { return position_ > 0 && lastStep_[address] == position_; }
    // Whether the byte has a value from the image, the source or the program.
    bool everWritten(Byte address) const { return valued_.test(address); }

    // Code that rewrites itself on purpose: a write into the program's
    // instructions is warned of (and stops a run) before the first one of
    // each writing instruction only. The instructions that wrote the byte
    // at address, one of the program's instructions, up to here: their
    // writes there pass.
    ByteSet passingWritersOf(Byte address) const { return codeWrites_.writersOf(address, position_); }

    // The warnings where the machine stands: about the last instruction and
    // the next one.
    std::vector<Warning> warnings() const;

    NextAccess nextAccess() const;

    // The endless loop that a forward run (ForwardRun) has proved, if any:
    // it stays, since the run before it does not change.
    const std::optional<ProvedLoop>& endlessLoop() const { return loop_; }
    // Whether the instruction at address is one the proved loop goes through.
    bool inEndlessLoop(Byte address) const { return loop_ && loop_->instructions[address]; }

    // The line of the next instruction, as an index in program().lines, or -1.
    int currentLine() const { return program_.lineIndexOf(state_.PC); }

    // Memory of the history, for the figures of the manual.
    std::size_t snapshotCount() const { return snapshots_.size(); }
    std::uint64_t snapshotInterval() const { return interval_; }
    std::size_t historyBytes() const;

private:
    struct Snapshot {
        MachineState machine;
        std::uint64_t position;
        std::size_t inputTaken;
        std::uint64_t outputLength;
        std::array<std::uint64_t, 256> lastStep;
        std::array<Byte, 256> lastPc;
    };

    friend class ForwardRun;
    class StepConsole;
    // runForward, feeding the watch (when given) the machine after every
    // step that does not stop the run: once it sees a state come back, the
    // run ends there (reason Budget), with cameBack set.
    RunResult runForward(std::uint64_t budget, RepeatWatch* watch, bool& cameBack);
    struct Findings;

    // What the next instruction will do, worked out before it runs.
    InstructionPlan plan() const;
    // The same into a plan that a run keeps from step to step, at no copy.
    void plan(InstructionPlan& into) const;
    // Runs the next instruction, whose plan is given; the console holds the input.
    void advance(StepConsole& console, const InstructionPlan& plan);
    // Whether runForward stops on arriving here, and why; plan is the next
    // instruction's.
    StopReason stopsHere(const InstructionPlan& plan, std::optional<Byte>& watched) const;
    // What the warnings would be about, where the machine stands (see warnings.cpp).
    Findings findings(const InstructionPlan& plan) const;
    bool hasWarnings(const InstructionPlan& plan) const;
    // Halted or NeedsInput when the machine cannot go on by itself, else None.
    StopReason cannotGoOn() const;
    bool switchedOnTrace() const;
    void keepSnapshot();
    void restore(const Snapshot& snapshot);
    // The latest snapshot strictly before position (the first one for 0).
    const Snapshot& snapshotBefore(std::uint64_t position) const;
    void appendOutput(std::string_view text);
    bool wordWaiting() const;

    Program program_;
    MachineState state_{};
    MachineState previous_{};
    std::uint64_t position_ = 0;
    std::uint64_t furthest_ = 0;

    std::string input_;
    std::size_t inputTaken_ = 0;
    std::size_t inputTakenBefore_ = 0;  // inputTaken_ before the last step
    bool typed_ = false;
    bool typedEnded_ = false;

    std::string output_;
    std::uint64_t outputLength_ = 0;

    std::array<std::uint64_t, 256> lastStep_{};
    std::array<Byte, 256> lastPc_{};
    CodeWrites codeWrites_;

    // The bytes with a value: defined by the program, or written since.
    ByteSet valued_;
    ByteSet code_;  // the bytes of the program's instructions
    ByteSet breakpoints_;
    ByteSet watchpoints_;

    std::vector<Snapshot> snapshots_;
    std::uint64_t interval_ = FIRST_SNAPSHOT_INTERVAL;

    std::optional<ProvedLoop> loop_;
};

}  // namespace tarn::debugger

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

#include "machine/machine_state.hpp"
#include "machine/loop_detection.hpp"
#include "assembly/rewritten_code.hpp"
#include "debugger/program.hpp"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::debugger {

// A set of memory addresses, 0..255, kept as four words.
class ByteSet {
public:
    void set(unsigned address) { words_[address >> 6] |= std::uint64_t{1} << (address & 63); }
    void flip(unsigned address) { words_[address >> 6] ^= std::uint64_t{1} << (address & 63); }
    bool test(unsigned address) const { return (words_[address >> 6] >> (address & 63)) & 1; }
    bool any() const { return (words_[0] | words_[1] | words_[2] | words_[3]) != 0; }
    // The lowest address in the set; 256 when it is empty.
    unsigned first() const;
    std::size_t count() const;
    ByteSet operator&(const ByteSet& other) const;
    ByteSet without(const ByteSet& other) const;  // this minus other
    ByteSet& operator|=(const ByteSet& other);
    // Calls f with every address in the set, lowest first.
    template <typename F>
    void forEach(F f) const {
        for (unsigned word = 0; word < 4; ++word)
            for (std::uint64_t bits = words_[word]; bits != 0; bits &= bits - 1)
                f(word * 64 + static_cast<unsigned>(std::countr_zero(bits)));
    }

private:
    std::array<std::uint64_t, 4> words_{};
};

inline constexpr std::size_t MAX_SNAPSHOTS = 4096;
inline constexpr std::uint64_t FIRST_SNAPSHOT_INTERVAL = 256;  // a power of two, and so every later one
// What the program prints is kept up to this many bytes; beyond, it is only counted.
inline constexpr std::size_t MAX_KEPT_OUTPUT = std::size_t{1} << 20;
// Input typed in the session, all lines together.
inline constexpr std::size_t MAX_TYPED_INPUT = std::size_t{1} << 20;

// The teaching warnings, each about one instruction.
enum class WarningKind {
    ExecutesData,      // the next instruction is a byte the program defined as data
    ReadsUndefined,    // the next instruction reads a byte nobody ever gave a value
    AddressPastMemory, // the next instruction's effective address is above 255
    WritesCode,        // the next instruction writes into an instruction's bytes
    SwitchedOnTrace,   // the last instruction, VAL or CPY with B = 0, switched D on
    InputOverflows,    // the next INP stores its word past its label's data, into another label's bytes
    StringOverflows,   // the next WRT prints past its label's data, into another label's bytes
};

struct Warning {
    WarningKind kind;
    std::string text;  // Italian, one line
};

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

// An endless loop of the run, proved: from position `start` on, the machine
// goes through the same `length` states again and again.
struct ProvedLoop {
    std::uint64_t start = 0;
    std::uint64_t length = 0;
    std::array<bool, 256> instructions{};  // the addresses of the instructions of one period
    // Those of them whose bytes are not the ones the program placed, as
    // they stand at the loop's first state, by address.
    std::vector<RanInstruction> rewritten;
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
    bool halted() const { return state_.M[state_.PC] == 0; }

    // What the program has printed up to here (at most MAX_KEPT_OUTPUT bytes
    // of it), and whether it printed more than that.
    std::string_view output() const;
    bool outputCut() const { return outputLength_ > output_.size(); }
    std::uint64_t outputLength() const { return outputLength_; }

    // The input not yet read by INP.
    std::string_view pendingInput() const;
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
    // runForward, calling afterStep() after every step that does not stop
    // the run: when it returns true the run ends there (reason Budget).
    template <typename AfterStep>
    RunResult runForward(std::uint64_t budget, AfterStep afterStep);
    struct Plan;
    struct Findings;

    // What the next instruction will do, worked out before it runs.
    Plan plan() const;
    // Runs the next instruction, whose plan is given; the console holds the input.
    void advance(StepConsole& console, const Plan& plan);
    // Whether runForward stops on arriving here, and why; plan is the next
    // instruction's.
    StopReason stopsHere(const Plan& plan, std::optional<Byte>& watched) const;
    // What the warnings would be about, where the machine stands.
    Findings findings(const Plan& plan) const;
    bool hasWarnings(const Plan& plan) const;
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
    bool typed_ = false;
    bool typedEnded_ = false;

    std::string output_;
    std::uint64_t outputLength_ = 0;

    std::array<std::uint64_t, 256> lastStep_{};
    std::array<Byte, 256> lastPc_{};

    // The bytes with a value: defined by the program, or written since.
    ByteSet valued_;
    ByteSet code_;  // the bytes of the program's instructions
    ByteSet breakpoints_;
    ByteSet watchpoints_;

    std::vector<Snapshot> snapshots_;
    std::uint64_t interval_ = FIRST_SNAPSHOT_INTERVAL;

    std::optional<ProvedLoop> loop_;
};

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

    Session& session_;
    std::uint64_t from_;
    std::optional<RepeatWatch> watch_;    // while no state has come back
    std::optional<LoopLocator> locator_;  // once one has, until the loop is located
    std::uint64_t located_ = 0;           // the instructions of a locator that is done
    std::optional<std::uint64_t> stopAt_;  // the first return, once known
};

// A stretch of a forward run may add this many instructions of the search's
// own run for each one of its budget, and at least MIN_LOOP_SEARCH_SLICE.
inline constexpr std::uint64_t LOOP_SEARCH_SLICE = 8;
inline constexpr std::uint64_t MIN_LOOP_SEARCH_SLICE = 4096;

// "1 istruzione", "N istruzioni".
std::string instructionCount(std::uint64_t count);

// The message line for the end of a run, in Italian: where it stopped and why.
std::string describeStop(const Session& session, const RunResult& result);

// "che cosa ha scritto per ultimo" the byte at address: the instruction's
// address, its source line and the step, or that no instruction wrote it.
std::string describeLastWrite(const Session& session, Byte address);

// The numbers of the lines of the proved loop's instructions, in order.
std::vector<std::int64_t> loopLineNumbers(const Session& session);
std::vector<std::int64_t> loopLineNumbers(const Program& program, const ProvedLoop& loop);

// The lines of the proved loop, as "righe 7-9 e 12" (for the message).
std::string describeLoopLines(const Session& session);
std::string describeLoopLines(const Program& program, const ProvedLoop& loop);

// A loop found by a search from position `origin` of a run, told in the
// run's positions, with the instructions of it that the program rewrote.
ProvedLoop provedLoop(const EndlessLoop& found, std::uint64_t origin, const Program& program);

// "Ciclo infinito: dal passo N la macchina ripete gli stessi M passi (righe
// 7-9): il programma non finirebbe mai.", and the loop's rewritten
// instructions: what a forward run that stops on an endless loop says, and
// the page after "Ferma" stops a run in one.
std::string describeEndlessLoopStop(const Program& program, const ProvedLoop& loop);

// "JMP p (riscritta dal programma)": an instruction that ran rewritten, its
// operands named by the program's labels.
std::string rewrittenInstructionText(const Program& program, const RanInstruction& ran);

// The instructions of the proved loop that the program rewrote, as a
// sentence: "Alla riga 3 il ciclo esegue JMP p (riscritta dal programma).";
// empty when it runs its lines as the program placed them.
std::string describeLoopRewrites(const Program& program, const ProvedLoop& loop);

// The next instruction, when the program rewrote it: "La prossima
// istruzione, alla riga 3, è JMP p (riscritta dal programma)."; empty
// otherwise.
std::string describeRewrittenNext(const Session& session);

// What the user gives a command with, where a message says what to do next:
// a key in tarndbg, a button on the page.
struct CommandNames {
    std::string_view forward;   // runs on to the next stop
    std::string_view back;      // undoes one step
    std::string_view restart;   // goes back to the start
};

// What one step did, from runForward(1): "Eseguito il passo N." when nothing
// stopped it (arriving at an INP that waits included: the next step asks for
// the word), else describeStop.
std::string describeStep(const Session& session, const RunResult& result);

// A step asked of a machine that has stopped.
std::string describeStepWhenHalted(const Session& session, const CommandNames& names);

// After stepBack: whether it went back.
std::string describeStepBack(const Session& session, bool wentBack);

// After restart.
std::string describeRestart();

// After a breakpoint at address was set or taken away (as it is now).
std::string describeBreakpoint(const Session& session, Byte address);

// After a watchpoint at address was set or taken away (as it is now).
std::string describeWatch(const Session& session, Byte address, const CommandNames& names);

// A forward run given up by the user after steps instructions.
std::string describeInterrupted(std::uint64_t steps);

// A breakpoint asked on a line that has no instruction.
inline constexpr std::string_view LINE_WITHOUT_INSTRUCTIONS = "Questa riga non ha istruzioni.";
// A typed line refused by giveInput.
inline constexpr std::string_view TYPED_INPUT_FULL =
    "L'ingresso scritto ha raggiunto il limite di 1 MiB: non si può aggiungere altro.";

}  // namespace tarn::debugger

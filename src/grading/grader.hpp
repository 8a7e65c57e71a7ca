// Runs the cases of an exercise on submissions, each case on a fresh machine
// and a console over buffers, several at a time.
#pragma once

#include "machine/machine_state.hpp"
#include "assembly/rewritten_code.hpp"
#include "grading/exercise.hpp"
#include "grading/submission.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::grading {

// An expectation of memory, a register or a flag that the run did not meet.
struct Mismatch {
    enum class Kind { Memory, Register, Flag };
    Kind kind = Kind::Memory;
    unsigned address = 0;  // Memory: 0..255; Register: 256..260; Flag: its bit
    Byte expected = 0;     // Flag: 1, it had to be set
    Byte found = 0;        // Flag: 0
};

// The program was about to execute an opcode the exercise forbids; the run
// stopped before it.
struct ForbiddenUse {
    Byte opcode = 0;
    Byte address = 0;        // where it stood
    std::uint64_t step = 0;  // instructions executed before it
};

// A case that reached its limit in an endless loop: from step `start` on,
// the machine goes round the same `length` steps for ever.
struct LoopFound {
    std::uint64_t start = 0;   // instructions executed before the loop's first state
    std::uint64_t length = 0;  // instructions of one period
    // The period's instructions by address, ascending, with their bytes as
    // they stand at the loop's first state: those that every round runs,
    // unless a round rewrites its own code and puts it back.
    std::vector<RanInstruction> instructions;
};

// How far the grader looks for an endless loop in a case that reached its
// limit: LOOP_SEARCH_REACH times the limit, and never more than
// LOOP_SEARCH_BUDGET steps. Past that the case only says that it reached
// the limit.
//
// Brent's watch, which the search and the debuggers share, sees a loop that
// starts at step s and goes round in l steps by step 2s + l or 3l,
// whichever is later. So three times the limit proves every loop whose
// first round ends within the limit: every loop that tarndbg's c, run on
// the case, stops on before the limit. A search bound to the limit itself
// missed some of them: one from step 2461 at a limit of 3000, since the
// watch's saved state stays at step 2047 until step 4095. A search always
// up to the budget would prove more, but a case that never repeats would
// then cost 20 million steps whatever its limit, some tenths of a second,
// against hundredths of a millisecond at a limit of 3000 (see
// bench/loop_search.sh).
constexpr std::uint64_t LOOP_SEARCH_REACH = 3;
constexpr std::uint64_t LOOP_SEARCH_BUDGET = 20'000'000;

// The steps the search for an endless loop may take for a case of this limit.
constexpr std::uint64_t loopSearchSteps(std::uint64_t instructionLimit) {
    return instructionLimit > LOOP_SEARCH_BUDGET / LOOP_SEARCH_REACH ? LOOP_SEARCH_BUDGET
                                                                      : instructionLimit * LOOP_SEARCH_REACH;
}

// How many of the last instructions executed a case keeps, for showing
// where a run stopped by its limit or a forbidden instruction stood.
constexpr std::size_t RECENT_INSTRUCTIONS = 8;

struct CaseResult {
    bool passed = false;
    double points = 0;         // obtained: the case's points when passed, else 0
    bool ran = false;          // false when the submission could not run at all
    std::uint64_t instructions = 0;  // executed
    bool limitReached = false; // stopped by the instruction limit, not by opcode 0
    Byte finalPC = 0;
    // The instruction at PC where the run ended, its bytes as they stood:
    // for a run stopped by a forbidden instruction, that one.
    RanInstruction atEnd;
    std::string output;        // what WRT printed, up to the output limit
    // It printed more than the limit: the run stopped right after the
    // instruction that went past it, counted in `instructions`.
    bool outputCut = false;
    // Whether the output is the expected one: compared only when the case
    // expects one and the run ended normally (at opcode 0, within every
    // limit); nothing otherwise.
    std::optional<bool> outputMatches;
    std::size_t tracesShown = 0;  // trace displays the run skipped: D was left set
    std::size_t inputTaken = 0;   // bytes of input read
    std::optional<ForbiddenUse> forbidden;
    std::vector<Mismatch> mismatches;
    // Only when the limit was reached, and the loop proved; it may start past
    // the limit (see loopSearchSteps).
    std::optional<LoopFound> loop;
    // The last instructions executed, with their bytes as they ran, oldest
    // first, at most RECENT_INSTRUCTIONS: only when the limit was reached or
    // a forbidden instruction stopped the run.
    std::vector<RanInstruction> recent;
    // The addresses, ascending, where the case's memory was placed over the
    // program's instructions (see memoryOverProgram): the program that ran
    // was not quite the one handed in.
    std::vector<Byte> memoryOverProgram;
};

// What decided a case: the first of these that applies.
enum class CaseOutcome {
    NotRun,     // the submission could not run (did not assemble, too large, empty)
    Forbidden,  // stopped before a forbidden instruction
    Loop,       // reached its instruction limit in an endless loop, proved
    Limit,      // reached its instruction limit
    OutputCut,  // printed past the output limit
    Output,     // printed other than the expected output
    Memory,     // left a byte of memory, a register or a flag other than expected
    Passed,
};

CaseOutcome caseOutcome(const CaseResult& result);

// A case in full, for showing it to a student: the machine before the run
// (loaded, memory placed) and after.
struct CaseRun {
    CaseResult result;
    MachineState before{};
    MachineState after{};
};

// The machine of a case before its run: the image loaded, the case's memory placed.
MachineState machineBefore(const TestCase& testCase, std::span<const Byte> image);

// Runs one case on an image (which must be runnable). A case passes when the
// program stops at opcode 0 within the instruction limit, executes nothing
// forbidden, prints within the output limit what is expected, and leaves the
// memory, registers and flags expected. A run that breaks one of the first
// three stops there: at the limit, before the forbidden opcode, or after the
// instruction whose output went past the limit.
// The image is taken for an image handed in: its instructions, for
// memoryOverProgram, are those the run executed.
CaseRun runCase(const Exercise& exercise, const TestCase& testCase, const std::vector<Byte>& image);

// The same for a runnable submission: a source's instructions are those it
// assembles to.
CaseRun runCase(const Exercise& exercise, const TestCase& testCase, const Submission& submission);

// Whether an output matches the expected one under a comparison.
bool outputsMatch(std::string_view expected, std::string_view actual, Comparison comparison);

struct SubmissionResult {
    Submission submission;
    std::vector<CaseResult> cases;  // in the exercise's order
    double points = 0;

    bool allPassed() const;
};

// How far gradeClass has gone. A run is one case on one submission that
// can run; a run under way tells how many instructions it has executed every
// RUN_REPORT_INTERVAL instructions or so, and only from then on is it listed.
struct RunUnderWay {
    std::size_t run = 0;            // which: a number of its own within the grading
    std::uint64_t executed = 0;     // instructions, as last told
    std::uint64_t limit = 0;        // the case's instruction limit
};
struct GradingFigures {
    std::size_t submissions = 0;
    std::size_t graded = 0;         // submissions whose every run has ended, or that cannot run
    std::size_t cases = 0;          // the exercise's
    std::size_t runs = 0;           // in all
    std::size_t runsEnded = 0;
    std::vector<RunUnderWay> underWay;  // in no particular order
};

// A run under way tells its count at least this many instructions apart.
constexpr std::uint64_t RUN_REPORT_INTERVAL = std::uint64_t{1} << 22;

// What the progress callback is given: the figures, read when asked for
// (they are gathered from every grading thread, so only a caller that will
// show them should ask).
class GradingCount {
public:
    virtual GradingFigures figures() const = 0;

protected:
    ~GradingCount() = default;
};

// Called once before the first run, then each time a run ends and each
// time a run under way tells its count. Called from the grading threads, at
// the same time from several of them, so it must be thread-safe and quick:
// it runs on the grading's own time.
using GradingProgress = std::function<void(const GradingCount& count)>;

// Grades every submission on every case, with up to `jobs` threads (0: one
// per core). The results keep the submissions' order. Nothing one run does
// reaches another.
std::vector<SubmissionResult> gradeClass(const Exercise& exercise, std::vector<Submission> submissions,
                                         unsigned jobs, const GradingProgress& progress = {});

}  // namespace tarn::grading

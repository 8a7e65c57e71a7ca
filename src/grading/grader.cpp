#include "grading/grader.hpp"

#include "grading/memory_over_program.hpp"

#include "machine/console.hpp"
#include "machine/instruction_set.hpp"
#include "machine/loop_detection.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <span>
#include <system_error>
#include <thread>

namespace tarn::grading {

namespace {

constexpr std::size_t MEMORY_BYTES = 256;

bool anyForbidden(const Exercise& exercise) {
    return std::any_of(exercise.forbidden.begin(), exercise.forbidden.end(), [](bool forbidden) { return forbidden; });
}

// The console of a case: the input given whole, the output kept up to the
// case's limit, trace displays only counted. What it has taken and printed
// can be marked and gone back to, for a run done again from a mark.
class CaseConsole final : public Console {
public:
    CaseConsole(std::string_view input, std::size_t outputLimit) : input_(input), outputLimit_(outputLimit) {
        setInputBlock(input_.data(), input_.data() + input_.size());
    }
    CaseConsole(const CaseConsole&) = delete;
    CaseConsole& operator=(const CaseConsole&) = delete;

    // The output is kept in a block of the limit's size, made at the first
    // output: WRT puts what it prints there itself when it fits whole
    // (Console::outputRoom), and comes here only when it may not.
    void writeOutput(std::string_view text) override {
        if (!buffer_) {
            buffer_.reset(new char[outputLimit_]);  // left unset: only what is printed is read
            setOutputBlock(buffer_.get(), buffer_.get() + outputLimit_);
        }
        const OutputRoom room = outputRoom();
        if (text.size() > room.size) {
            outputCut_ = true;
            text = text.substr(0, room.size);
        }
        if (text.empty()) return;
        std::memcpy(room.next, text.data(), text.size());
        printedInPlace(text.size());
    }
    void showTrace(std::string_view) override { ++tracesShown_; }

    struct Mark {
        std::size_t inputTaken;
        std::size_t outputKept;
        std::size_t tracesShown;
    };
    Mark mark() const { return {inputTaken(), outputBlockUsed(), tracesShown_}; }
    // Back to the mark, which must come from before the output was cut.
    void rewind(const Mark& mark) {
        setInputBlockTaken(mark.inputTaken);
        setOutputBlockUsed(mark.outputKept);
        tracesShown_ = mark.tracesShown;
        outputCut_ = false;
    }

    std::string_view output() const { return {buffer_.get(), outputBlockUsed()}; }
    bool outputCut() const { return outputCut_; }
    std::size_t tracesShown() const { return tracesShown_; }
    std::size_t inputTaken() const { return inputBlockTaken(); }

private:
    bool readInputBlock() override { return false; }  // all of it was there from the start

    std::string_view input_;
    std::size_t outputLimit_;
    std::unique_ptr<char[]> buffer_;  // outputLimit_ bytes, from the first output on
    bool outputCut_ = false;
    std::size_t tracesShown_ = 0;
};

// The last instructions executed, kept as they go with their bytes as they ran.
class RecentInstructions {
public:
    void add(const RanInstruction& instruction) {
        instructions_[count_ % RECENT_INSTRUCTIONS] = instruction;
        ++count_;
    }
    // Oldest first.
    std::vector<RanInstruction> list() const {
        std::vector<RanInstruction> list;
        const std::size_t kept = std::min(count_, RECENT_INSTRUCTIONS);
        for (std::size_t index = count_ - kept; index < count_; ++index)
            list.push_back(instructions_[index % RECENT_INSTRUCTIONS]);
        return list;
    }

private:
    std::array<RanInstruction, RECENT_INSTRUCTIONS> instructions_{};
    std::size_t count_ = 0;
};

// The count of a class's grading as it goes: one lane for each grading
// thread, holding the run it is on. A lane is written by its own thread only,
// when a run starts and ends and every RUN_REPORT_INTERVAL instructions in
// between, and read only when the progress is shown.
class Tally final : public GradingCount {
public:
    Tally(std::size_t submissions, std::size_t graded, std::size_t cases, std::size_t runs, std::size_t lanes)
        : submissions_(submissions), cases_(cases), runs_(runs), graded_(graded), lanes_(new Lane[lanes]),
          laneCount_(lanes) {}

    GradingFigures figures() const override {
        GradingFigures figures{submissions_, graded_.load(std::memory_order_relaxed), cases_, runs_,
                               runsEnded_.load(std::memory_order_relaxed), {}};
        for (std::size_t index = 0; index < laneCount_; ++index) {
            const Lane& lane = lanes_[index];
            const std::lock_guard<std::mutex> lock(lane.mutex);
            if (lane.told) figures.underWay.push_back(lane.run);
        }
        return figures;
    }

    void started(std::size_t lane, std::size_t run, std::uint64_t limit) {
        const std::lock_guard<std::mutex> lock(lanes_[lane].mutex);
        lanes_[lane].run = {run, 0, limit};
        lanes_[lane].told = false;
    }
    void ran(std::size_t lane, std::uint64_t executed) {
        const std::lock_guard<std::mutex> lock(lanes_[lane].mutex);
        lanes_[lane].run.executed = executed;
        lanes_[lane].told = true;
    }
    // The run of the lane has ended, and with it, when `last`, its submission.
    void ended(std::size_t lane, bool last) {
        {
            const std::lock_guard<std::mutex> lock(lanes_[lane].mutex);
            lanes_[lane].told = false;
        }
        runsEnded_.fetch_add(1, std::memory_order_relaxed);
        if (last) graded_.fetch_add(1, std::memory_order_relaxed);
    }

private:
    struct alignas(64) Lane {
        mutable std::mutex mutex;
        RunUnderWay run;
        bool told = false;  // the run has told a count: it is listed
    };
    std::size_t submissions_, cases_, runs_;
    std::atomic<std::size_t> graded_;
    std::atomic<std::size_t> runsEnded_{0};
    std::unique_ptr<Lane[]> lanes_;
    std::size_t laneCount_;
};

// Where a run tells how far it has gone, between two stretches of
// instructions: nothing outside a class graded with a progress callback.
struct RunMeter {
    Tally* tally = nullptr;
    const GradingProgress* progress = nullptr;
    std::size_t lane = 0;

    void ran(std::uint64_t executed) const {
        if (tally == nullptr) return;
        tally->ran(lane, executed);
        (*progress)(*tally);
    }
};

// Instructions run at full speed between two looks at the output.
constexpr std::uint64_t STRETCH = 4096;

// Runs until opcode 0, the limit, or the instruction whose output goes past
// the console's limit: the case has failed there, and the run stops right
// after it. Returns how many instructions were executed. The run goes by
// stretches at full speed; a stretch that went past the limit is run again
// one instruction at a time from where it began.
std::uint64_t runStretches(MachineState& state, CaseConsole& console, std::uint64_t limit, const RunMeter& meter) {
    std::uint64_t executed = 0;
    std::uint64_t told = 0;
    while (executed < limit) {
        const std::uint64_t stretch = std::min(STRETCH, limit - executed);
        const MachineState start = state;
        const CaseConsole::Mark mark = console.mark();
        const std::uint64_t ran = runMachineFor(state, console, stretch);
        if (console.outputCut()) {
            state = start;
            console.rewind(mark);
            for (std::uint64_t step = 0; step < ran && !console.outputCut(); ++step) {
                stepMachine(state, console);
                ++executed;
            }
            return executed;
        }
        executed += ran;
        if (ran < stretch) break;  // opcode 0
        if (executed - told >= RUN_REPORT_INTERVAL) {
            meter.ran(executed);
            told = executed;
        }
    }
    return executed;
}

// The same, the last few instructions before the limit one at a time, their
// addresses kept in `recent`.
std::uint64_t runUntilOutputCut(MachineState& state, CaseConsole& console, std::uint64_t limit,
                                RecentInstructions& recent, const RunMeter& meter) {
    const std::uint64_t tail = std::min<std::uint64_t>(limit, RECENT_INSTRUCTIONS);
    std::uint64_t executed = runStretches(state, console, limit - tail, meter);
    if (executed < limit - tail || console.outputCut()) return executed;
    while (executed < limit && !console.outputCut()) {
        const RanInstruction instruction = ranInstruction(state, state.PC);
        if (!stepMachine(state, console)) break;
        recent.add(instruction);
        ++executed;
    }
    return executed;
}

// Runs instruction by instruction, looking at each opcode before it is
// executed: a forbidden one stops the run where it stands, and so does an
// output past the limit, after the instruction that printed it. Returns how
// many instructions were executed. The count is told to the meter every
// RUN_REPORT_INTERVAL instructions, between two stretches of that length.
std::uint64_t runWatched(const Exercise& exercise, MachineState& state, CaseConsole& console, std::uint64_t limit,
                         std::optional<ForbiddenUse>& forbidden, RecentInstructions& recent, const RunMeter& meter) {
    std::uint64_t executed = 0;
    bool stopped = false;
    while (!stopped && executed < limit && !console.outputCut()) {
        const std::uint64_t stretchEnd = limit - executed > RUN_REPORT_INTERVAL ? executed + RUN_REPORT_INTERVAL : limit;
        while (executed < stretchEnd && !console.outputCut()) {
            const Byte opcode = state.M[state.PC];
            stopped = opcode == Op::Rst;  // the end of the program, never executed
            if (stopped) break;
            if (exercise.forbidden[opcode]) {
                forbidden = ForbiddenUse{opcode, state.PC, executed};
                stopped = true;
                break;
            }
            const RanInstruction instruction = ranInstruction(state, state.PC);
            stopped = !stepMachine(state, console);
            if (stopped) break;
            recent.add(instruction);
            ++executed;
        }
        if (!stopped && executed < limit) meter.ran(executed);
    }
    return executed;
}

// The endless loop of a case that reached its limit, if one shows within the
// search's steps (loopSearchSteps), which go past the limit: the run is done
// again from the start, which gives the same steps, now compared with each
// other, and goes on where the case stopped. A case has all its
// input from the start, so its input has ended for good, as a file's has: a
// loop that waits on INP after the last word is endless.
std::optional<LoopFound> endlessLoop(const MachineState& before, const TestCase& testCase) {
    const LoopSearch search =
        findEndlessLoop({before, testCase.input, 0, true}, loopSearchSteps(testCase.instructionLimit));
    if (!search.loop) return std::nullopt;
    LoopFound loop{search.loop->start, search.loop->length, {}};
    for (unsigned address = 0; address < 256; ++address)
        if (search.loop->instructions[address])
            loop.instructions.push_back(ranInstruction(search.loop->first, static_cast<Byte>(address)));
    return loop;
}

// The instructions of a source, as it assembles; none for an image, whose
// instructions are those its run executes.
const InstructionBytes* instructionsOf(const Submission& submission) {
    return submission.kind == ProgramKind::Source ? &submission.instructionBytes : nullptr;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// The lines of an output without their trailing blanks, the empty lines at
// the very end left out.
std::vector<std::string_view> blankFreeLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        while (!line.empty() && isBlank(line.back())) line.remove_suffix(1);
        lines.push_back(line);
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

void checkExpectations(const TestCase& testCase, const MachineState& state, CaseResult& result) {
    for (const MemoryBytes& block : testCase.expectedMemory) {
        for (std::size_t i = 0; i < block.bytes.size(); ++i) {
            const std::size_t address = std::size_t{block.address} + i;
            if (address >= MEMORY_BYTES) break;
            const Byte found = state.M[address];
            if (found != block.bytes[i])
                result.mismatches.push_back(
                    {Mismatch::Kind::Memory, static_cast<unsigned>(address), block.bytes[i], found});
        }
    }
    for (const ExpectedRegister& expected : testCase.expectedRegisters) {
        const Byte found = readByte(state, expected.address);
        if (found != expected.value)
            result.mismatches.push_back({Mismatch::Kind::Register, expected.address, expected.value, found});
    }
    for (unsigned bit = 1; bit <= 0x80; bit <<= 1)
        if ((testCase.expectedFlags & bit) != 0 && (state.F & bit) == 0)
            result.mismatches.push_back({Mismatch::Kind::Flag, bit, 1, 0});
}

// One case with the exercise's forbidden opcodes already looked at.
CaseRun runPrepared(const Exercise& exercise, bool watched, const TestCase& testCase, const std::vector<Byte>& image,
                    const InstructionBytes* instructions, const RunMeter& meter) {
    CaseRun run;
    MachineState& state = run.after;
    state = machineBefore(testCase, image);
    run.before = state;

    CaseConsole console(testCase.input, testCase.outputLimit);
    CaseResult& result = run.result;
    const std::uint64_t limit = testCase.instructionLimit;
    RecentInstructions recent;
    result.instructions = watched ? runWatched(exercise, state, console, limit, result.forbidden, recent, meter)
                                  : runUntilOutputCut(state, console, limit, recent, meter);
    result.ran = true;
    result.outputCut = console.outputCut();
    result.limitReached =
        !result.forbidden && !result.outputCut && result.instructions >= limit && state.M[state.PC] != Op::Rst;
    result.finalPC = state.PC;
    result.atEnd = ranInstruction(state, state.PC);
    result.output = console.output();
    result.tracesShown = console.tracesShown();
    result.inputTaken = console.inputTaken();
    if (result.limitReached || result.forbidden) result.recent = recent.list();
    if (result.limitReached) result.loop = endlessLoop(run.before, testCase);
    // A loop proved has run all its instructions by the end of its first round.
    const std::uint64_t executed =
        result.loop ? std::min(result.instructions, result.loop->start + result.loop->length) : result.instructions;
    result.memoryOverProgram = memoryOverProgram(testCase, run.before, executed, instructions);

    // A run stopped halfway says nothing about its output or memory: the
    // reason it stopped is the one worth reading.
    const bool endedNormally = !result.limitReached && !result.forbidden && !result.outputCut;
    if (endedNormally) {
        if (testCase.output) result.outputMatches = outputsMatch(*testCase.output, result.output, testCase.comparison);
        checkExpectations(testCase, state, result);
    }
    result.passed = endedNormally && result.outputMatches.value_or(true) && result.mismatches.empty();
    result.points = result.passed ? testCase.points : 0;
    return run;
}

}  // namespace

MachineState machineBefore(const TestCase& testCase, std::span<const Byte> image) {
    MachineState state{};
    loadImage(image.first(std::min(image.size(), MEMORY_BYTES)), state);
    for (const MemoryBytes& block : testCase.memory) {
        const std::size_t start = std::min<std::size_t>(block.address, MEMORY_BYTES);
        const std::size_t count = std::min(block.bytes.size(), MEMORY_BYTES - start);
        std::copy_n(block.bytes.begin(), count, state.M + start);
    }
    return state;
}

CaseRun runCase(const Exercise& exercise, const TestCase& testCase, const std::vector<Byte>& image) {
    return runPrepared(exercise, anyForbidden(exercise), testCase, image, nullptr, RunMeter{});
}

CaseRun runCase(const Exercise& exercise, const TestCase& testCase, const Submission& submission) {
    return runPrepared(exercise, anyForbidden(exercise), testCase, submission.image, instructionsOf(submission),
                       RunMeter{});
}

bool outputsMatch(std::string_view expected, std::string_view actual, Comparison comparison) {
    if (comparison == Comparison::Exact) return expected == actual;
    return blankFreeLines(expected) == blankFreeLines(actual);
}

CaseOutcome caseOutcome(const CaseResult& result) {
    if (!result.ran) return CaseOutcome::NotRun;
    if (result.forbidden) return CaseOutcome::Forbidden;
    if (result.limitReached) return result.loop ? CaseOutcome::Loop : CaseOutcome::Limit;
    if (result.outputCut) return CaseOutcome::OutputCut;
    if (result.outputMatches == false) return CaseOutcome::Output;
    if (!result.mismatches.empty()) return CaseOutcome::Memory;
    return CaseOutcome::Passed;
}

bool SubmissionResult::allPassed() const {
    for (const CaseResult& result : cases)
        if (!result.passed) return false;
    return true;
}

std::vector<SubmissionResult> gradeClass(const Exercise& exercise, std::vector<Submission> submissions,
                                         unsigned jobs, const GradingProgress& progress) {
    const std::size_t caseCount = exercise.cases.size();
    std::vector<SubmissionResult> results;
    results.reserve(submissions.size());
    // The (submission, case) pairs to run, in order; a slot waits for each.
    std::vector<std::size_t> runnable;
    for (std::size_t i = 0; i < submissions.size(); ++i) {
        if (submissions[i].runnable()) runnable.push_back(i);
        results.push_back({std::move(submissions[i]), std::vector<CaseResult>(caseCount), 0});
    }
    const std::size_t items = runnable.size() * caseCount;
    unsigned wanted = jobs != 0 ? jobs : std::thread::hardware_concurrency();
    wanted = std::max(wanted, 1u);
    const std::size_t threads = std::min<std::size_t>(wanted, items);
    // For the progress: the cases each runnable submission still waits for,
    // and the count that the callback is given.
    std::vector<std::atomic<std::size_t>> casesLeft(progress ? runnable.size() : 0);
    for (std::atomic<std::size_t>& left : casesLeft) left.store(caseCount, std::memory_order_relaxed);
    std::optional<Tally> tally;
    if (progress) {
        tally.emplace(results.size(), caseCount == 0 ? results.size() : results.size() - runnable.size(), caseCount,
                      items, std::max<std::size_t>(threads, 1));
        progress(*tally);
    }

    const bool watched = anyForbidden(exercise);
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex failureMutex;
    std::exception_ptr failure;
    const auto work = [&](std::size_t lane) noexcept {
        const RunMeter meter{tally ? &*tally : nullptr, &progress, lane};
        for (;;) {
            if (stop.load(std::memory_order_relaxed)) return;
            const std::size_t item = next.fetch_add(1, std::memory_order_relaxed);
            if (item >= items) return;
            SubmissionResult& result = results[runnable[item / caseCount]];
            const std::size_t caseIndex = item % caseCount;
            try {
                const TestCase& testCase = exercise.cases[caseIndex];
                if (tally) tally->started(lane, item, testCase.instructionLimit);
                result.cases[caseIndex] = runPrepared(exercise, watched, testCase, result.submission.image,
                                                      instructionsOf(result.submission), meter)
                                              .result;
                if (tally) {
                    tally->ended(lane, casesLeft[item / caseCount].fetch_sub(1, std::memory_order_acq_rel) == 1);
                    progress(*tally);
                }
            } catch (...) {
                const std::lock_guard<std::mutex> lock(failureMutex);
                if (!failure) failure = std::current_exception();
                stop.store(true, std::memory_order_relaxed);
                return;
            }
        }
    };

    if (items > 0) {
        // The caller works too; a thread the system refuses only means fewer helpers.
        std::vector<std::thread> helpers;
        try {
            helpers.reserve(threads - 1);
            for (std::size_t i = 1; i < threads; ++i) helpers.emplace_back(work, i);
        } catch (const std::system_error&) {
        } catch (const std::bad_alloc&) {
        }
        work(0);
        for (std::thread& helper : helpers) helper.join();
        if (failure) std::rethrow_exception(failure);
    }

    for (SubmissionResult& result : results)
        for (const CaseResult& caseResult : result.cases) result.points += caseResult.points;
    return results;
}

}  // namespace tarn::grading

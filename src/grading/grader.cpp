#include "grading/grader.hpp"

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

// The addresses of the last instructions executed, kept as they go.
class RecentInstructions {
public:
    void add(Byte address) {
        addresses_[count_ % RECENT_INSTRUCTIONS] = address;
        ++count_;
    }
    // Oldest first.
    std::vector<Byte> list() const {
        std::vector<Byte> list;
        const std::size_t kept = std::min(count_, RECENT_INSTRUCTIONS);
        for (std::size_t index = count_ - kept; index < count_; ++index)
            list.push_back(addresses_[index % RECENT_INSTRUCTIONS]);
        return list;
    }

private:
    std::array<Byte, RECENT_INSTRUCTIONS> addresses_{};
    std::size_t count_ = 0;
};

// Instructions run at full speed between two looks at the output.
constexpr std::uint64_t STRETCH = 4096;

// Runs until opcode 0, the limit, or the instruction whose output goes past
// the console's limit: the case has failed there, and the run stops right
// after it. Returns how many instructions were executed. The run goes by
// stretches at full speed; a stretch that went past the limit is run again
// one instruction at a time from where it began.
std::uint64_t runStretches(MachineState& state, CaseConsole& console, std::uint64_t limit) {
    std::uint64_t executed = 0;
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
    }
    return executed;
}

// The same, the last few instructions before the limit one at a time, their
// addresses kept in `recent`.
std::uint64_t runUntilOutputCut(MachineState& state, CaseConsole& console, std::uint64_t limit,
                                RecentInstructions& recent) {
    const std::uint64_t tail = std::min<std::uint64_t>(limit, RECENT_INSTRUCTIONS);
    std::uint64_t executed = runStretches(state, console, limit - tail);
    if (executed < limit - tail || console.outputCut()) return executed;
    while (executed < limit && !console.outputCut()) {
        const Byte address = state.PC;
        if (!stepMachine(state, console)) break;
        recent.add(address);
        ++executed;
    }
    return executed;
}

// Runs instruction by instruction, looking at each opcode before it is
// executed: a forbidden one stops the run where it stands, and so does an
// output past the limit, after the instruction that printed it. Returns how
// many instructions were executed.
std::uint64_t runWatched(const Exercise& exercise, MachineState& state, CaseConsole& console, std::uint64_t limit,
                         std::optional<ForbiddenUse>& forbidden, RecentInstructions& recent) {
    std::uint64_t executed = 0;
    while (executed < limit && !console.outputCut()) {
        const Byte opcode = state.M[state.PC];
        if (opcode == 0) break;  // the end of the program, never executed
        if (exercise.forbidden[opcode]) {
            forbidden = ForbiddenUse{opcode, state.PC, executed};
            break;
        }
        const Byte address = state.PC;
        if (!stepMachine(state, console)) break;
        recent.add(address);
        ++executed;
    }
    return executed;
}

// The endless loop of a case that reached its limit, if one shows within the
// limit and the search's budget: the run is done again from the start, which
// gives the same steps, now compared with each other. A case has all its
// input from the start, so its input has ended for good, as a file's has: a
// loop that waits on INP after the last word is endless.
std::optional<LoopFound> endlessLoop(const MachineState& before, const TestCase& testCase) {
    const LoopSearch search =
        findEndlessLoop({before, testCase.input, 0, true}, std::min(testCase.instructionLimit, LOOP_SEARCH_BUDGET));
    if (!search.loop) return std::nullopt;
    LoopFound loop{search.loop->start, search.loop->length, {}};
    for (unsigned address = 0; address < 256; ++address)
        if (search.loop->instructions[address]) loop.instructions.push_back(static_cast<Byte>(address));
    return loop;
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
CaseRun runPrepared(const Exercise& exercise, bool watched, const TestCase& testCase, const std::vector<Byte>& image) {
    CaseRun run;
    MachineState& state = run.after;
    state = MachineState{};
    loadImage(std::span<const Byte>(image.data(), std::min(image.size(), MEMORY_BYTES)), state);
    for (const MemoryBytes& block : testCase.memory) {
        const std::size_t start = std::min<std::size_t>(block.address, MEMORY_BYTES);
        const std::size_t count = std::min(block.bytes.size(), MEMORY_BYTES - start);
        std::copy_n(block.bytes.begin(), count, state.M + start);
    }
    run.before = state;

    CaseConsole console(testCase.input, testCase.outputLimit);
    CaseResult& result = run.result;
    const std::uint64_t limit = testCase.instructionLimit;
    RecentInstructions recent;
    result.instructions = watched ? runWatched(exercise, state, console, limit, result.forbidden, recent)
                                  : runUntilOutputCut(state, console, limit, recent);
    result.ran = true;
    result.outputCut = console.outputCut();
    result.limitReached =
        !result.forbidden && !result.outputCut && result.instructions >= limit && state.M[state.PC] != 0;
    result.finalPC = state.PC;
    result.output = console.output();
    result.tracesShown = console.tracesShown();
    result.inputTaken = console.inputTaken();
    if (result.limitReached || result.forbidden) result.recent = recent.list();
    if (result.limitReached) result.loop = endlessLoop(run.before, testCase);

    // A run stopped halfway says nothing about its output or memory: the
    // reason it stopped is the one worth reading.
    const bool endedNormally = !result.limitReached && !result.forbidden && !result.outputCut;
    if (endedNormally) {
        if (testCase.output) result.outputMatches = outputsMatch(*testCase.output, result.output, testCase.comparison);
        checkExpectations(testCase, state, result);
    }
    result.passed = endedNormally && result.outputMatches && result.mismatches.empty();
    result.points = result.passed ? testCase.points : 0;
    return run;
}

}  // namespace

CaseRun runCase(const Exercise& exercise, const TestCase& testCase, const std::vector<Byte>& image) {
    return runPrepared(exercise, anyForbidden(exercise), testCase, image);
}

bool outputsMatch(std::string_view expected, std::string_view actual, Comparison comparison) {
    if (comparison == Comparison::Exact) return expected == actual;
    return blankFreeLines(expected) == blankFreeLines(actual);
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
    // For the progress: the cases each runnable submission still waits for,
    // and the submissions graded.
    std::vector<std::atomic<std::size_t>> casesLeft(progress ? runnable.size() : 0);
    for (std::atomic<std::size_t>& left : casesLeft) left.store(caseCount, std::memory_order_relaxed);
    std::atomic<std::size_t> graded{caseCount == 0 ? results.size() : results.size() - runnable.size()};
    if (progress) progress(graded.load(std::memory_order_relaxed), results.size());

    const bool watched = anyForbidden(exercise);
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex failureMutex;
    std::exception_ptr failure;
    const auto work = [&]() noexcept {
        for (;;) {
            if (stop.load(std::memory_order_relaxed)) return;
            const std::size_t item = next.fetch_add(1, std::memory_order_relaxed);
            if (item >= items) return;
            SubmissionResult& result = results[runnable[item / caseCount]];
            const std::size_t caseIndex = item % caseCount;
            try {
                result.cases[caseIndex] =
                    runPrepared(exercise, watched, exercise.cases[caseIndex], result.submission.image).result;
                if (progress && casesLeft[item / caseCount].fetch_sub(1, std::memory_order_acq_rel) == 1)
                    progress(graded.fetch_add(1, std::memory_order_relaxed) + 1, results.size());
            } catch (...) {
                const std::lock_guard<std::mutex> lock(failureMutex);
                if (!failure) failure = std::current_exception();
                stop.store(true, std::memory_order_relaxed);
                return;
            }
        }
    };

    if (items > 0) {
        unsigned wanted = jobs != 0 ? jobs : std::thread::hardware_concurrency();
        wanted = std::max(wanted, 1u);
        const std::size_t threads = std::min<std::size_t>(wanted, items);
        // The caller works too; a thread the system refuses only means fewer helpers.
        std::vector<std::thread> helpers;
        try {
            helpers.reserve(threads - 1);
            for (std::size_t i = 1; i < threads; ++i) helpers.emplace_back(work);
        } catch (const std::system_error&) {
        } catch (const std::bad_alloc&) {
        }
        work();
        for (std::thread& helper : helpers) helper.join();
        if (failure) std::rethrow_exception(failure);
    }

    for (SubmissionResult& result : results)
        for (const CaseResult& caseResult : result.cases) result.points += caseResult.points;
    return results;
}

}  // namespace tarn::grading

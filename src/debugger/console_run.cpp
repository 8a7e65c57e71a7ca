#include "debugger/console_run.hpp"

#include "machine/console.hpp"
#include "machine/instruction_set.hpp"
#include "machine/io_unit.hpp"
#include "machine/startup_messages.hpp"
#include "machine/trace_display.hpp"

#include <algorithm>

namespace tarn::debugger {

namespace {

// The run loop is entered for at most this many instructions at a time: an
// INP that starves costs at most this much work done again.
constexpr std::uint64_t CHUNK = 16384;

}  // namespace

// The console of one stretch of the run: the input not yet read, output into
// the run. Reaching the end of input that is still open means that an INP
// started on a word that may not be whole: the stretch is then done again
// with care.
class ConsoleRun::SliceConsole final : public Console {
public:
    explicit SliceConsole(ConsoleRun& run) : run_(run) {
        setInputBlock(run.input_.data() + run.inputTaken_, run.input_.data() + run.input_.size());
    }

    void writeOutput(std::string_view text) override {
        run_.console_ += text;
        run_.output_ += text;
    }
    void showTrace(std::string_view) override {}  // the run loop stops before any

    std::size_t taken() const { return inputBlockTaken(); }
    bool starved() const { return starved_; }

private:
    bool readInputBlock() override {
        if (!run_.inputEnded_) starved_ = true;
        return false;
    }

    ConsoleRun& run_;
    bool starved_ = false;
};

ConsoleRun::ConsoleRun(std::span<const Byte> image, std::string_view name, std::string_view input) {
    loadImage(image.first(std::min<std::size_t>(image.size(), 256)), machine_);
    input_ = input;
    if (!input_.empty() && input_.back() != '\n') input_ += '\n';
    console_ = startupBanner();
    console_ += loadingLines(name);
    console_ += RUN_STARTED_LINES;
    points_.push_back(here());
}

bool ConsoleRun::starves(Byte opcode, std::size_t taken) const {
    return (memoryUseByOpcode[opcode] & STORES_WORD_AT_A) && !inputEnded_ &&
           !nextInputWord(std::string_view(input_).substr(inputTaken_ + taken)).whole;
}

void ConsoleRun::consumeInput(std::size_t taken) {
    inputTaken_ += taken;
    // What was read before the first point goes, once it is most of what is
    // kept.
    const std::size_t read = points_.front().inputTaken;
    if (read > 4096 && read * 2 > input_.size()) {
        input_.erase(0, read);
        inputTaken_ -= read;
        for (RunPoint& point : points_) point.inputTaken -= read;
    }
}

void ConsoleRun::keepPoint(const RunPoint& before, bool readInput) {
    if (readInput) {
        points_.assign(1, before);
        return;
    }
    if (before.at < points_.back().at + pointInterval_) return;
    if (points_.size() == MAX_RUN_POINTS) {
        // Every other one goes, the first staying, and the interval doubles.
        std::size_t kept = 1;
        for (std::size_t at = 2; at < points_.size(); at += 2) points_[kept++] = points_[at];
        points_.resize(kept);
        pointInterval_ *= 2;
    }
    points_.push_back(before);
}

std::uint64_t ConsoleRun::stepCarefully(std::uint64_t limit) {
    std::uint64_t done = 0;
    const RunPoint before = here();
    SliceConsole console(*this);
    while (done < limit && machine_.M[machine_.PC] != Op::Rst && !(machine_.F & FLAG_D)) {
        if (starves(machine_.M[machine_.PC], console.taken())) {
            state_ = State::NeedsInput;
            break;
        }
        fetchInstruction(machine_);
        executeInstruction(machine_, console);
        ++done;
    }
    keepPoint(before, console.taken() > 0);
    consumeInput(console.taken());
    return done;
}

ConsoleRun::State ConsoleRun::runSlice(std::uint64_t budget) {
    std::uint64_t done = 0;
    while (state_ == State::Running && done < budget && console_.size() < CONSOLE_SLICE_OUTPUT) {
        if (fetched_) {
            // The instruction of the trace, once its key was pressed.
            if (starves(machine_.IR, 0)) {
                state_ = State::NeedsInput;
                break;
            }
            SliceConsole console(*this);
            executeInstruction(machine_, console);
            fetched_ = false;
            ++done;
            ++executed_;
            // The point after the INP: no loop began before it.
            if (console.taken() > 0) keepPoint({machine_, inputTaken_ + console.taken(), executed_}, true);
            consumeInput(console.taken());
            continue;
        }
        if (machine_.M[machine_.PC] == Op::Rst) {
            console_ += SHUTDOWN_LINES;
            state_ = State::Halted;
            break;
        }
        if (machine_.F & FLAG_D) {
            fetchInstruction(machine_);
            console_ += traceDisplay(machine_);
            fetched_ = true;
            state_ = State::Trace;
            break;
        }
        const std::uint64_t limit = std::min(budget - done, CHUNK);
        const MachineState start = machine_;
        const std::size_t consoleLength = console_.size();
        const std::size_t outputLength = output_.size();
        SliceConsole console(*this);
        std::uint64_t ran = runMachineUntilTrace(machine_, console, limit);
        if (console.starved()) {
            // An INP reached the end of input that is still open: the stretch
            // again, one instruction at a time, to stop before that INP.
            machine_ = start;
            console_.resize(consoleLength);
            output_.resize(outputLength);
            ran = stepCarefully(limit);
        } else {
            keepPoint({start, inputTaken_, executed_}, console.taken() > 0);
            consumeInput(console.taken());
        }
        done += ran;
        executed_ += ran;
    }
    return state_;
}

void ConsoleRun::pressKey() {
    if (state_ == State::Trace) state_ = State::Running;
}

bool ConsoleRun::giveInput(std::string_view line) {
    if (inputEnded_ || input_.size() - inputTaken_ + line.size() + 1 > MAX_PENDING_INPUT) return false;
    input_ += line;
    input_ += '\n';
    if (state_ == State::NeedsInput) state_ = State::Running;
    return true;
}

void ConsoleRun::endInput() {
    inputEnded_ = true;
    if (state_ == State::NeedsInput) state_ = State::Running;
}

std::string ConsoleRun::takeConsole() {
    std::string taken;
    taken.swap(console_);
    return taken;
}

std::string ConsoleRun::takeOutput() {
    std::string taken;
    taken.swap(output_);
    return taken;
}

bool RunLoopSearch::canStart(const ConsoleRun& run) {
    return run.state_ == ConsoleRun::State::Running && !run.fetched_;
}

RunLoopSearch::RunLoopSearch(const ConsoleRun& run, std::uint64_t budget)
    : input_(run.input_),
      search_({run.machine_, input_, run.inputTaken_, run.inputEnded_}, budget, run.executed_,
              std::vector<RunPoint>(run.points_.begin(), run.points_.end())) {}

}  // namespace tarn::debugger

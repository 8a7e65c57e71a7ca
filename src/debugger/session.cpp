#include "debugger/session.hpp"

#include "debugger/instruction_plan.hpp"
#include "machine/console.hpp"
#include "machine/instruction_set.hpp"
#include "machine/io_unit.hpp"

#include <algorithm>

namespace tarn::debugger {

InstructionPlan Session::plan() const {
    InstructionPlan next;
    plan(next);
    return next;
}

void Session::plan(InstructionPlan& into) const {
    planInstruction(state_, input_, inputTaken_, into);
}

// The console of a stretch of steps: input from where the session stands,
// output into the session, trace displays left out (the screen shows the
// machine whole anyway).
class Session::StepConsole final : public Console {
public:
    explicit StepConsole(Session& session) : session_(session), start_(session.inputTaken_) {}

    void writeOutput(std::string_view text) override { session_.appendOutput(text); }
    void showTrace(std::string_view) override {}

    std::size_t taken() const { return start_ + inputBlockTaken(); }

private:
    bool readInputBlock() override {
        if (started_ || start_ >= session_.input_.size()) return false;
        started_ = true;
        setInputBlock(session_.input_.data() + start_, session_.input_.data() + session_.input_.size());
        return true;
    }

    Session& session_;
    std::size_t start_;
    bool started_ = false;
};

Session::Session(Program program, std::optional<std::string> input) : program_(std::move(program)) {
    loadImage(program_.image, state_);
    for (unsigned address = 0; address < 256; ++address)
        if (program_.placed[address]) state_.M[address] = program_.placedValue[address];
    typed_ = !input.has_value();
    if (input) input_ = std::move(*input);
    for (unsigned address = 0; address < 256; ++address) {
        if (program_.defined(address)) valued_.set(address);
        const CellRole role = program_.roles[address];
        if (role == CellRole::Instruction || role == CellRole::Operand) code_.set(address);
    }
    snapshots_.reserve(64);
    keepSnapshot();
}

std::string_view Session::output() const {
    return std::string_view(output_).substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(outputLength_, output_.size())));
}

std::string_view Session::pendingInput() const {
    return std::string_view(input_).substr(std::min(inputTaken_, input_.size()));
}

std::string_view Session::inputBeforeLastStep() const {
    if (position_ == 0) return pendingInput();
    return std::string_view(input_).substr(std::min(inputTakenBefore_, input_.size()));
}

bool Session::wordWaiting() const {
    return nextInputWord(pendingInput()).whole;
}

bool Session::needsInput() const {
    return typed_ && !typedEnded_ && !halted() && (memoryUseByOpcode[state_.M[state_.PC]] & STORES_WORD_AT_A) &&
           !wordWaiting();
}

bool Session::giveInput(std::string_view line) {
    if (!typed_ || typedEnded_ || input_.size() + line.size() + 1 > MAX_TYPED_INPUT) return false;
    input_.append(line);
    input_ += '\n';
    return true;
}

void Session::endInput() {
    typedEnded_ = true;
}

void Session::appendOutput(std::string_view text) {
    const std::uint64_t at = outputLength_;
    outputLength_ += text.size();
    // Going forwards again over printed output finds it already kept.
    if (outputLength_ <= output_.size() || output_.size() >= MAX_KEPT_OUTPUT || at > output_.size()) return;
    const std::size_t already = static_cast<std::size_t>(output_.size() - at);
    const std::size_t room = MAX_KEPT_OUTPUT - output_.size();
    output_.append(text.substr(already, room));
}

void Session::advance(StepConsole& console, const InstructionPlan& plan) {
    previous_ = state_;
    inputTakenBefore_ = inputTaken_;
    state_ = plan.decoded;  // the fetch, done already
    executeInstruction(state_, console);
    inputTaken_ = console.taken();
    ++position_;

    // The plan knows what the instruction writes, a byte written with the
    // value it had included, but for an address in the registers: there B or
    // A can change in the middle of the instruction, and only the bytes
    // themselves tell what it changed.
    ByteSet written = plan.writes;
    if ((plan.usesEffective && plan.effective > 255) || plan.stringPastMemory) {
        written = ByteSet{};
        for (unsigned address = 0; address < 256; ++address)
            if (previous_.M[address] != state_.M[address]) written.set(address);
    }
    written.forEach([this](unsigned address) {
        lastStep_[address] = position_;
        lastPc_[address] = previous_.PC;
    });
    valued_ |= written;
    // What the warning looks at: the plan's writes.
    const ByteSet intoCode = plan.writes & code_;
    if (intoCode.any()) codeWrites_.keep(position_, previous_.PC, intoCode);

    if (position_ > furthest_) {
        furthest_ = position_;
        if ((position_ & (interval_ - 1)) == 0) keepSnapshot();  // the interval is a power of two
    }
}

void Session::keepSnapshot() {
    // Full: every other one goes, before the vector would grow past the bound.
    if (snapshots_.size() == MAX_SNAPSHOTS) {
        interval_ *= 2;
        std::erase_if(snapshots_, [this](const Snapshot& snapshot) { return snapshot.position % interval_ != 0; });
        if (position_ % interval_ != 0) return;
    }
    snapshots_.push_back({state_, position_, inputTaken_, outputLength_, lastStep_, lastPc_});
}

void Session::restore(const Snapshot& snapshot) {
    state_ = snapshot.machine;
    position_ = snapshot.position;
    inputTaken_ = snapshot.inputTaken;
    outputLength_ = snapshot.outputLength;
    lastStep_ = snapshot.lastStep;
    lastPc_ = snapshot.lastPc;
    valued_ = ByteSet{};
    for (unsigned address = 0; address < 256; ++address)
        if (program_.defined(address) || lastStep_[address] != 0) valued_.set(address);
}

const Session::Snapshot& Session::snapshotBefore(std::uint64_t position) const {
    auto after = std::lower_bound(snapshots_.begin(), snapshots_.end(), position,
                                  [](const Snapshot& snapshot, std::uint64_t p) { return snapshot.position < p; });
    return after == snapshots_.begin() ? snapshots_.front() : *(after - 1);
}

bool Session::step() {
    if (halted() || needsInput()) return false;
    StepConsole console(*this);
    advance(console, plan());
    return true;
}

bool Session::stepBack() {
    if (position_ == 0) return false;
    goTo(position_ - 1);
    return true;
}

void Session::restart() {
    goTo(0);
}

std::uint64_t Session::goTo(std::uint64_t position) {
    if (position == position_) return position_;
    if (position > furthest_) {
        goTo(furthest_);
        while (position_ < position && step()) {
        }
        return position_;
    }
    // Within the history: from the nearest snapshot, unless the machine
    // stands nearer already.
    const Snapshot& nearest = snapshotBefore(position);
    if (position < position_ || nearest.position > position_) restore(nearest);
    StepConsole console(*this);
    while (position_ < position) advance(console, plan());
    return position_;
}

namespace {

// The console of a replay that only looks at the machine: the input from
// where a snapshot had taken it, nothing shown.
class ReplayConsole final : public Console {
public:
    ReplayConsole(std::string_view input, std::size_t taken) {
        input = input.substr(std::min(taken, input.size()));
        setInputBlock(input.data(), input.data() + input.size());
    }
    void writeOutput(std::string_view) override {}
    void showTrace(std::string_view) override {}

private:
    bool readInputBlock() override { return false; }
};

}  // namespace

RanInstruction Session::instructionOfStep(std::uint64_t step) const {
    if (step == 0 || step > position_) return ranInstruction(state_, state_.PC);
    if (step == position_) return ranInstruction(previous_, previous_.PC);
    const Snapshot& from = snapshotBefore(step);
    MachineState machine = from.machine;
    ReplayConsole console(input_, from.inputTaken);
    for (std::uint64_t at = from.position; at + 1 < step; ++at) stepMachine(machine, console);
    return ranInstruction(machine, machine.PC);
}

bool Session::toggleBreakpoint(Byte address) {
    breakpoints_.flip(address);
    return breakpoints_.test(address);
}

bool Session::toggleWatchpoint(Byte address) {
    watchpoints_.flip(address);
    return watchpoints_.test(address);
}

StopReason Session::stopsHere(const InstructionPlan& plan, std::optional<Byte>& watched) const {
    if (position_ > 0) {
        bool found = false;
        watchpoints_.forEach([&](unsigned address) {
            if (!found && previous_.M[address] != state_.M[address]) {
                watched = static_cast<Byte>(address);
                found = true;
            }
        });
        if (found) return StopReason::Watchpoint;
    }
    if (!halted() && breakpoints_.test(state_.PC)) return StopReason::Breakpoint;
    if (hasWarnings(plan)) return StopReason::Warning;
    return StopReason::None;
}

StopReason Session::cannotGoOn() const {
    if (halted()) return StopReason::Halted;
    if (needsInput()) return StopReason::NeedsInput;
    return StopReason::None;
}

RunResult Session::runForward(std::uint64_t budget) {
    bool cameBack = false;
    return runForward(budget, nullptr, cameBack);
}

RunResult Session::runForward(std::uint64_t budget, RepeatWatch* watch, bool& cameBack) {
    RunResult result;
    result.reason = cannotGoOn();
    if (result.reason != StopReason::None) return result;
    StepConsole console(*this);
    InstructionPlan next = plan();
    while (result.steps < budget) {
        advance(console, next);
        ++result.steps;
        plan(next);
        result.reason = stopsHere(next, result.watched);
        if (result.reason == StopReason::None) result.reason = cannotGoOn();
        if (result.reason != StopReason::None) return result;
        if (watch && watch->next(state_, inputTaken_)) {
            cameBack = true;
            break;
        }
    }
    result.reason = StopReason::Budget;
    return result;
}

RunResult Session::runBackward(const std::function<bool()>& keepGoing) {
    RunResult result;
    const std::uint64_t from = position_;
    if (from == 0) {
        result.reason = StopReason::Start;
        return result;
    }
    // Scans stretch by stretch from the nearest snapshot, latest first: each
    // stretch checks the arrivals after its snapshot up to where the later
    // one began.
    std::size_t index = static_cast<std::size_t>(&snapshotBefore(from) - snapshots_.data());
    std::uint64_t last = from - 1;
    std::optional<std::uint64_t> found;
    // Where a proved endless loop begins is a stop too.
    const std::optional<std::uint64_t> loopStart =
        loop_ && loop_->start < from ? std::optional<std::uint64_t>(loop_->start) : std::nullopt;
    for (;;) {
        restore(snapshots_[index]);
        StepConsole console(*this);
        const std::uint64_t first = position_;
        InstructionPlan next = plan();
        while (position_ < last) {
            advance(console, next);
            plan(next);
            std::optional<Byte> watched;
            if (stopsHere(next, watched) != StopReason::None) found = position_;
        }
        if (found || index == 0 || (loopStart && snapshots_[index].position <= *loopStart)) break;
        if (keepGoing && !keepGoing()) {
            goTo(from);
            result.reason = StopReason::Interrupted;
            return result;
        }
        --index;
        last = first;
    }
    if (loopStart && (!found || *found <= *loopStart)) {
        goTo(*loopStart);
        result.steps = from - position_;
        result.reason = StopReason::LoopStart;
        return result;
    }
    goTo(found.value_or(0));
    result.steps = from - position_;
    result.reason = found ? stopsHere(plan(), result.watched) : StopReason::Start;
    return result;
}

NextAccess Session::nextAccess() const {
    NextAccess access;
    if (halted()) return access;
    const InstructionPlan plan = this->plan();
    if (plan.usesEffective) access.effective = plan.effective;
    if ((plan.uses & (READS_AT_B | WRITES_AT_B)) != 0) access.atB = plan.decoded.B;
    if ((plan.uses & (PRINTS_FROM_A | STORES_WORD_AT_A)) != 0) access.fromA = plan.decoded.A;
    return access;
}

std::size_t Session::historyBytes() const {
    return snapshots_.capacity() * sizeof(Snapshot) + input_.capacity() + output_.capacity() + codeWrites_.bytes();
}

}  // namespace tarn::debugger

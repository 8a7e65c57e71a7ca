#include "debugger/session.hpp"

#include "machine/console.hpp"
#include "machine/instruction_set.hpp"
#include "machine/io_unit.hpp"
#include "assembly/rewritten_code.hpp"
#include "text/numbers.hpp"
#include "text/utf8.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tarn::debugger {

namespace {

constexpr Byte STD_OPCODE = findInstruction("STD")->opcode;

std::string_view mnemonicOf(Byte opcode) {
    const Instruction* instruction = findInstruction(opcode);
    return instruction ? instruction->mnemonic : std::string_view{"NOP"};
}

// The program's labels as the assembler lists them, for naming the operands
// of an instruction that the program rewrote.
std::vector<LabelEntry> labelEntries(const Program& program) {
    std::vector<LabelEntry> labels;
    for (const ProgramLabel& label : program.labels)
        labels.push_back({label.name, label.line, static_cast<int>(label.address)});
    return labels;
}

// The memory a run starts with: the image, and the bytes placed over it.
std::array<Byte, 256> memoryAtStart(const Program& program) {
    std::array<Byte, 256> memory{};
    std::copy_n(program.image.begin(), std::min<std::size_t>(program.image.size(), 256), memory.begin());
    for (unsigned address = 0; address < 256; ++address)
        if (program.placed[address]) memory[address] = program.placedValue[address];
    return memory;
}

// Whether the program rewrote an instruction before it ran.
bool rewritten(const Program& program, const RanInstruction& ran) {
    return rewrittenByProgram(ran, memoryAtStart(program));
}

// "ADD (riga 7, indirizzo 0x0A)": the instruction at an address, by the
// opcode it has there now. When its bytes are not those the run started
// with, the line tells nothing of it: "JMP p (riga 3, indirizzo 0x03, riscritta
// dal programma)".
std::string instructionAt(const Program& program, const MachineState& state, Byte address) {
    const RanInstruction ran = ranInstruction(state, address);
    const bool isRewritten = rewritten(program, ran);
    std::string text =
        (isRewritten ? ranInstructionText(ran, labelEntries(program)) : std::string(mnemonicOf(state.M[address]))) + " (";
    if (const ProgramLine* line = program.lineAt(address)) text += "riga " + std::to_string(line->number) + ", ";
    text += "indirizzo " + hexAddress(address);
    if (isRewritten) text += ", " + std::string(REWRITTEN_NOTE);
    return text + ")";
}

// "alla riga 3", or "all'indirizzo 0x40" where no line placed the byte.
std::string placeOf(const Program& program, Byte address) {
    const ProgramLine* line = program.lineAt(address);
    return line ? "alla riga " + std::to_string(line->number) : "all'indirizzo " + hexAddress(address);
}

// "il byte 0x1F (31)", "i byte 0x1F (31) e altri 2".
std::string byteList(const ByteSet& bytes) {
    const std::string first = addressText(bytes.first());
    const std::size_t others = bytes.count() - 1;
    if (others == 1) return "i byte " + first + " e un altro";
    if (others > 1) return "i byte " + first + " e altri " + std::to_string(others);
    return "il byte " + first;
}

// ", riga 12" for the line that defined the byte at address, or nothing.
std::string lineNote(const Program& program, unsigned address) {
    const ProgramLine* line = program.lineAt(address);
    return line ? ", riga " + std::to_string(line->number) : std::string();
}

// A source line without its comment: from the first ';' outside quotes.
std::string_view withoutComment(std::string_view text) {
    char quote = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (quote != 0) {
            if (c == '\\') ++at;
            else if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            return text.substr(0, at);
        }
    }
    return text;
}

std::string trimmed(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string_view::npos) return {};
    const std::size_t end = text.find_last_not_of(' ');
    return std::string(text.substr(begin, end - begin + 1));
}

// The label that the instruction at pc writes to or prints from, starting
// at `from`: of several labels at that address, the one its source line
// names (which may own no bytes); else the label whose bytes these are.
const ProgramLabel* labelNamed(const Program& program, Byte pc, unsigned from) {
    const ProgramLabel* owner = program.labelAt(from);
    const ProgramLine* line = program.lineAt(pc);
    if (owner == nullptr || line == nullptr) return owner;
    const std::string_view text = withoutComment(line->text);
    const auto isNameCharacter = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    };
    for (const ProgramLabel& label : program.labels) {
        if (label.address != from || &label == owner) continue;
        for (std::size_t at = text.find(label.name); at != std::string_view::npos; at = text.find(label.name, at + 1)) {
            const std::size_t end = at + label.name.size();
            if ((at == 0 || !isNameCharacter(text[at - 1])) && (end == text.size() || !isNameCharacter(text[end])))
                return &label;
        }
    }
    return owner;
}

// A string of INP or WRT that runs on into another label's bytes.
struct Overflow {
    const ProgramLabel* own = nullptr;    // the label it starts at (nothing: none)
    bool ownHasNoBytes = false;           // own stands on a line of its own, before another label's data
    const ProgramLabel* other = nullptr;  // the label whose bytes it runs into
};

// Whether the string that the instruction at pc starts at `from`, over the
// bytes `taken`, runs past the data the source defined there into another
// label's bytes. Only a string that starts in data counts.
std::optional<Overflow> intoAnotherLabel(const Program& program, Byte pc, unsigned from, const ByteSet& taken) {
    if (from > 255 || program.roles[from] != CellRole::Data) return std::nullopt;
    Overflow overflow;
    overflow.own = labelNamed(program, pc, from);
    overflow.ownHasNoBytes = overflow.own != program.labelAt(from);
    taken.forEach([&](unsigned address) {
        if (overflow.other || address < from || program.roles[address] == CellRole::Undefined) return;
        const ProgramLabel* label = program.labelAt(address);
        if (label != nullptr && label != overflow.own) overflow.other = label;
    });
    if (overflow.other == nullptr) return std::nullopt;
    return overflow;
}

constexpr std::string_view REGISTER_NAMES[] = {"PC", "IR", "A", "B", "X"};

}  // namespace

unsigned ByteSet::first() const {
    for (unsigned word = 0; word < 4; ++word)
        if (words_[word] != 0) return word * 64 + static_cast<unsigned>(std::countr_zero(words_[word]));
    return 256;
}

std::size_t ByteSet::count() const {
    std::size_t count = 0;
    for (const std::uint64_t word : words_) count += static_cast<std::size_t>(std::popcount(word));
    return count;
}

ByteSet ByteSet::operator&(const ByteSet& other) const {
    ByteSet both;
    for (unsigned word = 0; word < 4; ++word) both.words_[word] = words_[word] & other.words_[word];
    return both;
}

ByteSet ByteSet::without(const ByteSet& other) const {
    ByteSet rest;
    for (unsigned word = 0; word < 4; ++word) rest.words_[word] = words_[word] & ~other.words_[word];
    return rest;
}

ByteSet& ByteSet::operator|=(const ByteSet& other) {
    for (unsigned word = 0; word < 4; ++word) words_[word] |= other.words_[word];
    return *this;
}

// What the next instruction will do with memory, worked out on a decoded
// copy of the machine before it runs.
struct Session::Plan {
    MachineState decoded;           // the machine after the fetch
    Byte uses = 0;                  // its Instruction::memory bits
    bool usesEffective = false;     // reads or writes A + X
    unsigned effective = 0;
    bool stringPastMemory = false;  // INP or WRT runs on past address 255
    ByteSet string;                 // the bytes INP stores or WRT prints (its 0 left out)
    ByteSet reads;
    ByteSet writes;
};

Session::Plan Session::plan() const {
    Plan plan;
    plan.decoded = state_;
    fetchInstruction(plan.decoded);
    const MachineState& d = plan.decoded;
    const unsigned length = instructionLength(d.IR);
    // The operand bytes are read by the fetch (four-byte instructions skip theirs).
    if ((length == 2 || length == 3) && state_.PC + 1u < 256) plan.reads.set(state_.PC + 1u);
    if (length == 3 && state_.PC + 2u < 256) plan.reads.set(state_.PC + 2u);

    plan.uses = memoryUseByOpcode[d.IR];
    if (plan.uses == 0) return plan;
    const bool skipped = (plan.uses & SKIPPED_IF_ZERO_AT_B) && d.M[d.B] == 0;  // a division by 0
    if (plan.uses & READS_AT_B) plan.reads.set(d.B);
    if ((plan.uses & WRITES_AT_B) && !skipped) plan.writes.set(d.B);
    if ((plan.uses & (READS_EFFECTIVE | WRITES_EFFECTIVE)) && !skipped) {
        plan.usesEffective = true;
        plan.effective = effectiveAddress(d);
        if (plan.effective < 256) {
            if (plan.uses & READS_EFFECTIVE) plan.reads.set(plan.effective);
            if (plan.uses & WRITES_EFFECTIVE) plan.writes.set(plan.effective);
        }
    }
    if (plan.uses & PRINTS_FROM_A) {
        unsigned address = d.A;
        for (; address < 256; ++address) {
            plan.reads.set(address);
            if (d.M[address] == 0) break;
            plan.string.set(address);
        }
        plan.stringPastMemory = address >= 256;
    }
    if (plan.uses & STORES_WORD_AT_A) {
        const InputWord word = nextInputWord(pendingInput());
        std::size_t copied = 0;
        while (copied < word.text.size() && word.text[copied] != '\0') ++copied;
        for (std::size_t i = 0; i < copied && d.A + i < 256; ++i) plan.writes.set(static_cast<unsigned>(d.A + i));
        plan.string = plan.writes;
        plan.stringPastMemory = copied > 0 && d.A + copied > 256;
    }
    return plan;
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

void Session::advance(StepConsole& console, const Plan& plan) {
    previous_ = state_;
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

// VAL or CPY with B = 0 sets D as a side effect; STD sets it on purpose.
bool Session::switchedOnTrace() const {
    return position_ > 0 && !(previous_.F & FLAG_D) && (state_.F & FLAG_D) && state_.IR != STD_OPCODE;
}

// What is wrong where the machine stands, before it is put into words: the
// one place that says what each warning is about.
struct Session::Findings {
    bool switchedOnTrace = false;
    bool executesData = false;
    ByteSet undefinedReads;
    bool effectivePastMemory = false;
    bool stringPastMemory = false;
    ByteSet codeWrites;
    std::optional<Overflow> inputOverflow;   // INP would write another label's bytes
    std::optional<Overflow> stringOverflow;  // WRT would print another label's bytes

    bool any() const {
        return switchedOnTrace || executesData || undefinedReads.any() || effectivePastMemory || stringPastMemory ||
               codeWrites.any() || inputOverflow || stringOverflow;
    }
};

Session::Findings Session::findings(const Plan& plan) const {
    Findings found;
    found.switchedOnTrace = switchedOnTrace();
    if (halted()) return found;  // no next instruction
    found.executesData = program_.roles[state_.PC] == CellRole::Data;
    found.undefinedReads = plan.reads.without(valued_);
    found.effectivePastMemory = plan.usesEffective && plan.effective > 255;
    found.stringPastMemory = plan.stringPastMemory;
    found.codeWrites = plan.writes & code_;
    if (plan.uses & STORES_WORD_AT_A)
        found.inputOverflow = intoAnotherLabel(program_, state_.PC, plan.decoded.A, plan.string);
    if (plan.uses & PRINTS_FROM_A)
        found.stringOverflow = intoAnotherLabel(program_, state_.PC, plan.decoded.A, plan.string);
    return found;
}

bool Session::hasWarnings(const Plan& plan) const {
    return findings(plan).any();
}

StopReason Session::stopsHere(const Plan& plan, std::optional<Byte>& watched) const {
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
    return runForward(budget, [] { return false; });
}

template <typename AfterStep>
RunResult Session::runForward(std::uint64_t budget, AfterStep afterStep) {
    RunResult result;
    result.reason = cannotGoOn();
    if (result.reason != StopReason::None) return result;
    StepConsole console(*this);
    Plan next = plan();
    while (result.steps < budget) {
        advance(console, next);
        ++result.steps;
        next = plan();
        result.reason = stopsHere(next, result.watched);
        if (result.reason == StopReason::None) result.reason = cannotGoOn();
        if (result.reason != StopReason::None) return result;
        if (afterStep()) break;
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
        Plan next = plan();
        while (position_ < last) {
            advance(console, next);
            next = plan();
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

ForwardRun::ForwardRun(Session& session) : session_(session), from_(session.position()) {
    // A loop already proved is where the run is bound to go: a run that
    // starts inside it stops after one round, one that starts before it on
    // the loop's first return.
    if (const std::optional<ProvedLoop>& loop = session.loop_)
        stopAt_ = std::max(loop->start + loop->length, from_ + loop->length);
    else
        watch_.emplace(RunPoint{session.state_, session.inputTaken_, from_});
}

std::uint64_t ForwardRun::searchSteps() const {
    return located_ + (locator_ ? locator_->stepped() : 0);
}

RunResult ForwardRun::stretch(std::uint64_t budget) {
    Session& s = session_;
    RunResult result;
    result.reason = StopReason::Budget;
    if (!locator_) {
        if (stopAt_ && *stopAt_ > s.position()) budget = std::min(budget, *stopAt_ - s.position());
        bool cameBack = false;
        if (watch_) {
            RepeatWatch& watch = *watch_;
            result = s.runForward(budget, [&] { return cameBack = watch.next(s.state_, s.inputTaken_); });
        } else {
            result = s.runForward(budget);
        }
        if (result.reason != StopReason::Budget) return result;
        if (cameBack) {
            // A state has come back: where the loop began is looked for among
            // the snapshots before the tortoise, the first being the start.
            const RunPoint& inside = watch_->tortoise();
            std::vector<RunPoint> earlier;
            for (const Session::Snapshot& snapshot : s.snapshots_) {
                if (snapshot.position >= inside.at) break;
                earlier.push_back({snapshot.machine, snapshot.inputTaken, snapshot.position});
            }
            locator_.emplace(s.input_, s.inputEnded(), watch_->period(), inside, std::move(earlier));
            watch_.reset();
        }
    }
    if (locator_) {
        locator_->advance(std::max(budget * LOOP_SEARCH_SLICE, MIN_LOOP_SEARCH_SLICE));
        if (!locator_->done()) return result;
        located_ += locator_->stepped();
        if (locator_->found()) result = loopFound(locator_->loop(), result);
        locator_.reset();
        return result;
    }
    if (stopAt_ && s.position() >= *stopAt_) {
        // The return may lie before this stretch began: steps counts only forwards.
        const std::uint64_t began = s.position() - result.steps;
        result.steps = *stopAt_ > began ? *stopAt_ - began : 0;
        s.goTo(*stopAt_);
        result.reason = StopReason::EndlessLoop;
    }
    return result;
}

ProvedLoop provedLoop(const EndlessLoop& found, std::uint64_t origin, const Program& program) {
    ProvedLoop loop{origin + found.start, found.length, found.instructions, {}};
    for (unsigned address = 0; address < 256; ++address) {
        if (!found.instructions[address]) continue;
        const RanInstruction ran = ranInstruction(found.first, static_cast<Byte>(address));
        if (rewritten(program, ran)) loop.rewritten.push_back(ran);
    }
    return loop;
}

RunResult ForwardRun::loopFound(const EndlessLoop& loop, RunResult result) {
    Session& s = session_;
    s.loop_ = provedLoop(loop, 0, s.program_);
    stopAt_ = std::max(loop.start + loop.length, from_ + loop.length);
    // The first return lies behind: the run found it when it was past it.
    const std::uint64_t began = s.position() - result.steps;
    result.steps = *stopAt_ > began ? *stopAt_ - began : 0;
    s.goTo(*stopAt_);
    result.reason = StopReason::EndlessLoop;
    return result;
}

std::vector<Warning> Session::warnings() const {
    std::vector<Warning> list;
    const Plan planned = plan();
    const Findings found = findings(planned);
    if (found.switchedOnTrace)
        list.push_back({WarningKind::SwitchedOnTrace,
                        instructionAt(program_, previous_, previous_.PC) +
                            " con B = 0 ha acceso il flag D: tarnsim da qui mostrerebbe la traccia a ogni istruzione."});
    const Byte pc = state_.PC;
    const std::string instruction = instructionAt(program_, state_, pc);
    if (found.executesData)
        list.push_back({WarningKind::ExecutesData, "La macchina sta per eseguire un dato: il byte " + addressText(pc) +
                                                       " è definito con DB" +
                                                       (program_.lineAt(pc) ? " alla riga " + std::to_string(program_.lineAt(pc)->number) : "") +
                                                       ", ma ora vale come " + std::string(mnemonicOf(state_.M[pc])) + "."});
    if (found.undefinedReads.any()) {
        const char* by = program_.fromSource ? "né il sorgente né il programma" : "né l'immagine né il programma";
        list.push_back({WarningKind::ReadsUndefined, instruction + " sta per leggere " + byteList(found.undefinedReads) +
                                                          ", a cui " + by + " hanno mai dato un valore."});
    }
    if (found.effectivePastMemory) {
        std::string text = "L'indirizzo effettivo di " + instruction + " è A + X = " + hexAddress(planned.decoded.A) +
                           " + " + hexAddress(planned.decoded.X) + " = " + addressText(planned.effective) +
                           ", oltre 0xFF (255): ";
        if (planned.effective <= 260)
            text += "tocca il registro " + std::string(REGISTER_NAMES[planned.effective - 256]) + ", non la memoria.";
        else
            text += "è fuori dalla macchina (si legge 0, non si scrive nulla).";
        list.push_back({WarningKind::AddressPastMemory, text});
    }
    if (found.stringPastMemory) {
        const bool prints = planned.uses & PRINTS_FROM_A;
        list.push_back({WarningKind::AddressPastMemory,
                        std::string(prints ? "La stringa di " : "La parola letta da ") + instruction +
                            " va oltre l'indirizzo 0xFF (255), nei registri PC, IR, A, B e X."});
    }
    const auto labelText = [](const ProgramLabel& label) {
        return label.name + " (riga " + std::to_string(label.line) + ", indirizzo " + hexAddress(label.address) + ")";
    };
    if (found.inputOverflow) {
        const Overflow& overflow = *found.inputOverflow;
        // The word as a person counts it, in characters; its bytes beside
        // them when they differ ("città": 5 characters, 6 bytes).
        const std::size_t bytes = planned.string.count();
        const std::size_t characters = characterCount(nextInputWord(pendingInput()).text.substr(0, bytes));
        std::string text = instruction + " sta per scrivere una parola di " + std::to_string(characters) +
                           (characters == 1 ? " carattere" : " caratteri") +
                           (bytes != characters ? " (" + std::to_string(bytes) + " byte)" : "") + " da " +
                           addressText(planned.decoded.A);
        if (overflow.ownHasNoBytes)
            text += ", ma l'etichetta " + overflow.own->name + " non ha byte suoi: scrive nei byte di " +
                    labelText(*overflow.other) + ".";
        else
            text += ": va oltre la fine dei dati di " + (overflow.own ? overflow.own->name : std::string("quel punto")) +
                    " e scrive nei byte di " + labelText(*overflow.other) + ".";
        list.push_back({WarningKind::InputOverflows, text});
    }
    if (found.stringOverflow) {
        const Overflow& overflow = *found.stringOverflow;
        std::string text = instruction + " sta per stampare la stringa di " +
                           (overflow.own ? overflow.own->name : std::string("quel punto")) + " da " +
                           addressText(planned.decoded.A);
        if (overflow.ownHasNoBytes)
            text += ", ma l'etichetta " + overflow.own->name + " non ha byte suoi: stamperebbe i byte di " +
                    labelText(*overflow.other) + ".";
        else
            text += ", ma nessuno 0 la chiude: andrebbe avanti nei byte di " + labelText(*overflow.other) + ".";
        list.push_back({WarningKind::StringOverflows, text});
    }
    if (found.codeWrites.any()) {
        const unsigned first = found.codeWrites.first();
        list.push_back({WarningKind::WritesCode,
                        instruction + " sta per scrivere nel byte " + addressText(first) + ", parte di un'istruzione" +
                            (program_.lineAt(first) ? " della riga " + std::to_string(program_.lineAt(first)->number) : "") +
                            ": è codice che modifica se stesso. La macchina lo permette: puoi proseguire."});
    }
    return list;
}

bool Session::inputBringsWarning() const {
    if (halted() || !(memoryUseByOpcode[state_.M[state_.PC]] & STORES_WORD_AT_A)) return false;
    // Only what depends on the word: the rest was said on arriving at the INP.
    const Findings found = findings(plan());
    return found.inputOverflow || found.stringPastMemory || found.codeWrites.any();
}

NextAccess Session::nextAccess() const {
    NextAccess access;
    if (halted()) return access;
    const Plan plan = this->plan();
    if (plan.usesEffective) access.effective = plan.effective;
    if ((plan.uses & (READS_AT_B | WRITES_AT_B)) != 0) access.atB = plan.decoded.B;
    if ((plan.uses & (PRINTS_FROM_A | STORES_WORD_AT_A)) != 0) access.fromA = plan.decoded.A;
    return access;
}

std::size_t Session::historyBytes() const {
    return snapshots_.capacity() * sizeof(Snapshot) + input_.capacity() + output_.capacity();
}

std::string instructionCount(std::uint64_t count) {
    return std::to_string(count) + (count == 1 ? " istruzione" : " istruzioni");
}

std::string describeStop(const Session& session, const RunResult& result) {
    const Program& program = session.program();
    const MachineState& state = session.machine();
    const std::string next = instructionAt(program, state, state.PC);
    switch (result.reason) {
        case StopReason::None:
        case StopReason::Budget:
            return "In esecuzione: " + instructionCount(session.position()) + " eseguite finora.";
        case StopReason::Breakpoint:
            return "Punto di arresto: la prossima istruzione è " + next + ".";
        case StopReason::Watchpoint: {
            const Byte address = result.watched.value_or(0);
            const MachineState* before = session.previous();
            std::string text = "Il byte " + addressText(address) + " è cambiato";
            if (before)
                text += ": da " + byteText(before->M[address]) + " a " + byteText(state.M[address]) + ", per " +
                        instructionAt(program, *before, before->PC);
            return text + " al passo " + std::to_string(session.position()) + ".";
        }
        case StopReason::Warning: {
            const std::vector<Warning> warnings = session.warnings();
            return warnings.empty() ? std::string("Avviso.") : "Avviso: " + warnings.front().text;
        }
        case StopReason::Halted: {
            // A line whose instruction the program turned into 0 says so.
            const bool turned = program.lineAt(state.PC) && rewritten(program, ranInstruction(state, state.PC));
            return "La macchina si è fermata: codice operativo 0 all'indirizzo " + addressText(state.PC) +
                   lineNote(program, state.PC) + (turned ? " (" + std::string(REWRITTEN_NOTE) + ")" : "") + ", dopo " +
                   instructionCount(session.position()) + ".";
        }
        case StopReason::NeedsInput:
            return next + " aspetta una parola: scrivila e premi Invio.";
        case StopReason::Start:
            return "Sei all'inizio: prima di qui nessun punto di arresto, osservazione o avviso.";
        case StopReason::Interrupted:
            return "Ricerca all'indietro interrotta: la macchina resta dov'era.";
        case StopReason::EndlessLoop:
        case StopReason::LoopStart: {
            const std::optional<ProvedLoop>& loop = session.endlessLoop();
            if (!loop) return {};
            if (result.reason == StopReason::EndlessLoop) return describeEndlessLoopStop(program, *loop);
            const std::string rewrites = describeLoopRewrites(program, *loop);
            return "Sei dove comincia il " + describeEndlessLoop(loop->start, loop->length) + " (" +
                   describeLoopLines(program, *loop) + ")." + (rewrites.empty() ? "" : " " + rewrites);
        }
    }
    return {};
}

std::vector<std::int64_t> loopLineNumbers(const Session& session) {
    const std::optional<ProvedLoop>& loop = session.endlessLoop();
    if (!loop) return {};
    return loopLineNumbers(session.program(), *loop);
}

std::vector<std::int64_t> loopLineNumbers(const Program& program, const ProvedLoop& loop) {
    std::vector<std::int64_t> numbers;
    for (unsigned address = 0; address < 256; ++address)
        if (loop.instructions[address])
            if (const ProgramLine* line = program.lineAt(address)) numbers.push_back(line->number);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

std::string describeLoopLines(const Session& session) {
    if (!session.endlessLoop()) return {};
    return describeLoopLines(session.program(), *session.endlessLoop());
}

std::string describeLoopLines(const Program& program, const ProvedLoop& loop) {
    // The numbers of the lines as ranges of consecutive ones.
    const std::vector<std::int64_t> numbers = loopLineNumbers(program, loop);
    if (numbers.empty()) return "nessuna riga";
    std::vector<std::string> ranges;
    for (std::size_t i = 0; i < numbers.size();) {
        std::size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
        ranges.push_back(std::to_string(numbers[i]) + (j > i ? "-" + std::to_string(numbers[j]) : ""));
        i = j + 1;
    }
    std::string text = numbers.size() == 1 ? "riga " : "righe ";
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (i > 0) text += i + 1 == ranges.size() ? " e " : ", ";
        text += ranges[i];
    }
    return text;
}

std::string rewrittenInstructionText(const Program& program, const RanInstruction& ran) {
    return ranInstructionText(ran, labelEntries(program)) + " (" + std::string(REWRITTEN_NOTE) + ")";
}

std::string describeLoopRewrites(const Program& program, const ProvedLoop& loop) {
    if (loop.rewritten.empty()) return {};
    std::string text;
    for (const RanInstruction& ran : loop.rewritten)
        text += (text.empty() ? "" : "; ") + placeOf(program, ran.address) + " il ciclo esegue " +
                rewrittenInstructionText(program, ran);
    text.front() = 'A';  // "alla riga", "all'indirizzo": the sentence begins with a capital
    return text + ".";
}

std::string describeRewrittenNext(const Session& session) {
    const MachineState& state = session.machine();
    if (session.halted()) return {};
    const RanInstruction next = ranInstruction(state, state.PC);
    if (!rewritten(session.program(), next)) return {};
    return "La prossima istruzione, " + placeOf(session.program(), state.PC) + ", è " +
           rewrittenInstructionText(session.program(), next) + ".";
}

std::string describeEndlessLoopStop(const Program& program, const ProvedLoop& loop) {
    const std::string text = describeEndlessLoop(loop.start, loop.length);
    const std::string rewrites = describeLoopRewrites(program, loop);
    return "C" + text.substr(1) + " (" + describeLoopLines(program, loop) + "): il programma non finirebbe mai." +
           (rewrites.empty() ? "" : " " + rewrites);
}

std::string describeLastWrite(const Session& session, Byte address) {
    const Program& program = session.program();
    const LastWrite write = session.lastWrite(address);
    std::string text = "Il byte " + addressText(address) + ", che vale " + byteText(session.machine().M[address]) + ",";
    if (write.step != 0) {
        text += " è stato scritto per ultimo dall'istruzione all'indirizzo " + hexAddress(write.address);
        const ProgramLine* line = program.lineAt(write.address);
        // The instruction as it ran then: its line tells nothing of it when the program had rewritten it.
        const RanInstruction ran = session.instructionOfStep(write.step);
        if (rewritten(program, ran))
            text += " (" + (line ? "riga " + std::to_string(line->number) + ": " : std::string()) +
                    rewrittenLineText(ran, line ? line->number : 0, labelEntries(program)) + ")";
        else if (line)
            text += " (riga " + std::to_string(line->number) + ": " + trimmed(withoutComment(line->text)) + ")";
        return text + ", al passo " + std::to_string(write.step) + ".";
    }
    if (program.placed[address])
        return text + " non è stato scritto da nessuna istruzione fin qui: il valore è stato posto in memoria prima "
                      "dell'esecuzione.";
    if (program.defined(address)) {
        text += " non è stato scritto da nessuna istruzione fin qui: il valore viene ";
        if (!program.fromSource) return text + "dall'immagine.";
        const ProgramLine* line = program.lineAt(address);
        return text + "dal sorgente" + (line ? " (riga " + std::to_string(line->number) + ")" : "") + ".";
    }
    return text + " non è mai stato scritto: né " + (program.fromSource ? "il sorgente" : "l'immagine") +
           " né alcuna istruzione fin qui gli hanno dato un valore.";
}

std::string describeStep(const Session& session, const RunResult& result) {
    if (result.reason == StopReason::Budget || result.reason == StopReason::None ||
        result.reason == StopReason::NeedsInput) {
        const std::string next = describeRewrittenNext(session);
        return "Eseguito il passo " + std::to_string(session.position()) + "." + (next.empty() ? "" : " " + next);
    }
    return describeStop(session, result);
}

std::string describeStepWhenHalted(const Session& session, const CommandNames& names) {
    return "La macchina è ferma (codice operativo 0 all'indirizzo " + addressText(session.machine().PC) +
           "): non c'è altro da eseguire. " + std::string(names.back) + " torna indietro, " +
           std::string(names.restart) + " all'inizio.";
}

std::string describeStepBack(const Session& session, bool wentBack) {
    if (!wentBack) return "Sei già all'inizio.";
    return "Un passo indietro: annullato il passo " + std::to_string(session.position() + 1) + ".";
}

std::string describeRestart() {
    return "Di nuovo all'inizio: la macchina è come appena caricata.";
}

std::string describeBreakpoint(const Session& session, Byte address) {
    if (!session.breakpoint(address))
        return "Punto di arresto tolto dall'indirizzo " + addressText(address) + lineNote(session.program(), address) + ".";
    return "Punto di arresto sull'indirizzo " + addressText(address) + lineNote(session.program(), address) + ".";
}

std::string describeWatch(const Session& session, Byte address, const CommandNames& names) {
    if (!session.watchpoint(address)) return "Non osservo più il byte " + addressText(address) + ".";
    return "Osservo il byte " + addressText(address) + ", che ora vale " + byteText(session.machine().M[address]) +
           ": " + std::string(names.forward) + " si fermerà quando cambia.";
}

std::string describeInterrupted(std::uint64_t steps) {
    return "Interrotto dopo " + instructionCount(steps) + ".";
}

}  // namespace tarn::debugger

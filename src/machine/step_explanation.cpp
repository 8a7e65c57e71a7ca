#include "machine/step_explanation.hpp"

#include "machine/arithmetic_unit.hpp"
#include "machine/control_unit.hpp"
#include "machine/io_unit.hpp"

namespace tarn {

namespace {

// Words land at addresses A + i; the copy ends before i reaches this.
constexpr std::size_t MOST_CHARACTERS_COPIED = 261;

// A copy of the machine that the explanation steps through as the machine
// would, noting every byte read and written. Each step reads A, B and X
// afresh, as the machine does, so a write to a register shows in what follows.
class Walk {
public:
    Walk(const MachineState& state, std::vector<ByteAccess>& accesses) : state_(state), accesses_(&accesses) {}

    void noteInto(std::vector<ByteAccess>& accesses) { accesses_ = &accesses; }

    Byte read(unsigned address) {
        const Byte value = readByte(state_, address);
        accesses_->push_back({false, locationOf(address), value, value});
        return value;
    }

    void write(unsigned address, Byte value) {
        accesses_->push_back({true, locationOf(address), readByte(state_, address), value});
        writeByte(state_, address, value);
    }

    Byte readFlags() {
        accesses_->push_back({false, FLAGS_LOCATION, state_.F, state_.F});
        return state_.F;
    }

    void writeFlags(Byte value) {
        accesses_->push_back({true, FLAGS_LOCATION, state_.F, value});
        state_.F = value;
    }

    // The registers, by the addresses that name them.
    Byte readA() { return read(258); }
    Byte readB() { return read(259); }
    Byte readX() { return read(260); }

    // A + X, each read as the step uses it.
    EffectiveAddress effectiveAddress() {
        const Byte a = readA();
        const Byte x = readX();
        return {a, x, unsigned{a} + unsigned{x}};
    }

    const MachineState& state() const { return state_; }

private:
    MachineState state_;
    std::vector<ByteAccess>* accesses_;
};

constexpr unsigned PC_ADDRESS = 256;
constexpr unsigned IR_ADDRESS = 257;
constexpr unsigned A_ADDRESS = 258;
constexpr unsigned B_ADDRESS = 259;
constexpr unsigned X_ADDRESS = 260;

void fetch(Walk& walk, FetchPhase& phase) {
    const Byte pc = walk.state().PC;
    phase.pc = pc;
    phase.opcode = walk.read(pc);
    if (phase.opcode == Op::Rst) {
        phase.halts = true;
        phase.nextPc = pc;
        return;
    }
    phase.lengthBits = static_cast<Byte>(phase.opcode >> 6);
    phase.length = instructionLength(phase.opcode);
    walk.write(IR_ADDRESS, phase.opcode);
    // Operand addresses are not reduced modulo 256: past 255 they are the
    // registers, PC (not yet advanced) and then IR (just written).
    const auto load = [&](unsigned offset, unsigned into) {
        const unsigned from = unsigned{pc} + offset;
        const Byte value = walk.read(from);
        phase.operands.push_back({from, value});
        walk.write(into, value);
    };
    if (phase.length == 2 || phase.length == 3) load(1, A_ADDRESS);
    if (phase.length == 3) load(2, B_ADDRESS);
    phase.wraps = unsigned{pc} + phase.length > 255;
    phase.nextPc = static_cast<Byte>(pc + phase.length);
    walk.write(PC_ADDRESS, phase.nextPc);
}

void decode(Walk& walk, const FetchPhase& fetched, DecodePhase& phase) {
    if (!fetched.halts) walk.read(IR_ADDRESS);
    const Instruction* instruction = findInstruction(fetched.opcode);
    phase.assigned = instruction != nullptr;
    phase.mnemonic = instruction ? instruction->mnemonic : std::string_view{"NOP"};
    phase.length = instructionLength(fetched.opcode);
    phase.unit = instruction ? instruction->unit : Unit::None;
    phase.meaning = instruction ? instruction->meaning : std::string_view{};
}

// The flag that STx sets, CLx clears or JPx tests.
Byte flagOf(Op op) {
    switch (op) {
        case Op::Std: case Op::Cld: case Op::Jpd: return FLAG_D;
        case Op::Stz: case Op::Clz: case Op::Jpz: return FLAG_Z;
        case Op::Sto: case Op::Clo: case Op::Jpo: return FLAG_O;
        case Op::Stp: case Op::Clp: case Op::Jpp: return FLAG_P;
        case Op::Stn: case Op::Cln: case Op::Jpn: return FLAG_N;
        default: return 0;
    }
}

// Adds bits to F, as every instruction but CLx does.
void raiseFlags(Walk& walk, ExecutePhase& phase, Byte flags) {
    phase.flagsRaised = flags;
    walk.writeFlags(static_cast<Byte>(walk.state().F | flags));
}

// INC, DEC, ADD, SUB, MUL: the signed result at A + X, 0 and O on overflow.
void calculate(Walk& walk, ExecutePhase& phase, Op op) {
    using namespace arithmetic;
    Calculation& c = phase.calculation;
    phase.effective = walk.effectiveAddress();
    const unsigned ea = phase.effective->address;
    c.left = signedValue(walk.read(ea));
    switch (op) {
        case Op::Inc:
            c.right = 1;
            c.exact = c.left + 1;
            c.overflow = c.left == 127;
            break;
        case Op::Dec:
            c.right = 1;
            c.exact = c.left - 1;
            c.overflow = c.left == -128;
            break;
        default: {
            c.right = signedValue(walk.read(walk.readB()));
            // Overflow is one-sided: ADD and MUL catch only results above
            // 127, SUB only results below -128.
            if (op == Op::Add) c.exact = c.left + c.right;
            if (op == Op::Sub) c.exact = c.left - c.right;
            if (op == Op::Mul) c.exact = c.left * c.right;
            c.overflow = op == Op::Sub ? c.exact < -128 : c.exact > 127;
            break;
        }
    }
    c.result = c.overflow ? 0 : wrap(c.exact);
    walk.write(ea, static_cast<Byte>(c.result & 0xFF));
    raiseFlags(walk, phase, static_cast<Byte>(RESULT_FLAG[static_cast<Byte>(c.result & 0xFF)] | (c.overflow ? FLAG_O : 0)));
}

// DIV: nothing at all when the byte at B is 0; else the quotient at A + X,
// then the remainder at B read afresh, flags by the quotient.
void divide(Walk& walk, ExecutePhase& phase) {
    using namespace arithmetic;
    Calculation& c = phase.calculation;
    const Byte divisor = walk.read(walk.readB());
    if (divisor == 0) {
        c.byZero = true;
        return;
    }
    phase.effective = walk.effectiveAddress();
    c.left = signedValue(walk.read(phase.effective->address));
    c.right = signedValue(divisor);
    c.exact = c.left / c.right;  // truncated toward zero
    c.result = wrap(c.exact);
    c.remainder = c.left % c.right;  // takes the dividend's sign
    walk.write(phase.effective->address, static_cast<Byte>(c.result & 0xFF));
    phase.secondB = walk.readB();
    walk.write(phase.secondB, static_cast<Byte>(c.remainder & 0xFF));
    raiseFlags(walk, phase, RESULT_FLAG[static_cast<Byte>(c.result & 0xFF)]);
}

// CMP: the two bytes unsigned; memory does not change.
void compare(Walk& walk, ExecutePhase& phase) {
    using namespace arithmetic;
    Calculation& c = phase.calculation;
    phase.effective = walk.effectiveAddress();
    c.left = walk.read(phase.effective->address);
    c.right = walk.read(walk.readB());
    c.exact = c.left - c.right;
    raiseFlags(walk, phase, COMPARE_FLAG[static_cast<std::size_t>(c.exact + 255)]);
}

// CPY and VAL: D when B is 0, else P.
void flagByB(Walk& walk, ExecutePhase& phase) {
    raiseFlags(walk, phase, walk.readB() == 0 ? FLAG_D : FLAG_P);
}

// CPY: the byte at A + X and the byte at B change places, in three steps.
void exchange(Walk& walk, ExecutePhase& phase) {
    phase.effective = walk.effectiveAddress();
    const Byte saved = walk.read(phase.effective->address);
    walk.write(phase.effective->address, walk.read(walk.readB()));
    phase.secondB = walk.readB();
    walk.write(phase.secondB, saved);
    flagByB(walk, phase);
}

// INP: the word's characters from A on, A read afresh for each.
void input(Walk& walk, ExecutePhase& phase, std::string_view pending) {
    TakenWord& word = phase.word;
    std::size_t at = 0;
    while (at < pending.size() && isInputBlank(pending[at])) ++at;
    if (at == pending.size()) {
        word.taken = at;  // the blanks are taken, and nothing is stored
        return;
    }
    const std::string_view text = nextInputWord(pending.substr(at)).text;
    word.found = true;
    word.length = text.size();
    word.taken = at + text.size();  // the blank after it stays for the next INP
    word.text = std::string(text.substr(0, MOST_CHARACTERS_COPIED));
    for (const char c : word.text) {
        if (c == '\0') {
            word.cutByZero = true;
            break;
        }
        walk.write(unsigned{walk.readA()} + static_cast<unsigned>(word.copied), static_cast<Byte>(c));
        ++word.copied;
    }
}

// WRT: from A up to the first 0, which address 261 always gives.
void output(Walk& walk, ExecutePhase& phase) {
    for (unsigned address = walk.readA();; ++address) {
        const Byte byte = walk.read(address);
        if (byte == 0) break;
        phase.output += static_cast<char>(byte);
    }
}

void execute(Walk& walk, const FetchPhase& fetched, ExecutePhase& phase, std::string_view pending) {
    phase.flagsBefore = walk.state().F;
    phase.a = walk.state().A;
    phase.b = walk.state().B;
    phase.x = walk.state().X;
    const Op op = static_cast<Op>(fetched.opcode);
    phase.flag = flagOf(op);
    switch (op) {
        case Op::Rst: phase.action = StepAction::Halt; break;
        case Op::Std: case Op::Stz: case Op::Sto: case Op::Stp: case Op::Stn:
            phase.action = StepAction::SetFlag;
            raiseFlags(walk, phase, phase.flag);
            break;
        case Op::Cld: case Op::Clz: case Op::Clo: case Op::Clp: case Op::Cln: {
            phase.action = StepAction::ClearFlag;
            const Byte kept = control::keptByClear(phase.flag);
            phase.flagsCleared = static_cast<Byte>(walk.state().F & ~kept);
            walk.writeFlags(static_cast<Byte>(walk.state().F & kept));
            break;
        }
        case Op::Jmp: case Op::Jpd: case Op::Jpo: case Op::Jpz: case Op::Jpp: case Op::Jpn:
            phase.action = StepAction::Jump;
            phase.jump.flagSet = phase.flag != 0 && (walk.readFlags() & phase.flag) != 0;
            phase.jump.taken = op == Op::Jmp || phase.jump.flagSet;
            phase.jump.target = walk.state().A;
            if (phase.jump.taken) walk.write(PC_ADDRESS, walk.readA());
            break;
        case Op::ValOffst:
            phase.action = StepAction::SetOffset;
            walk.write(X_ADDRESS, walk.readA());
            break;
        case Op::IncOffst:
        case Op::DecOffst:
            phase.action = StepAction::SetOffset;
            walk.write(X_ADDRESS, static_cast<Byte>(walk.readX() + (op == Op::IncOffst ? 1 : -1)));
            break;
        case Op::Inc: case Op::Dec: case Op::Add: case Op::Sub: case Op::Mul:
            phase.action = StepAction::Arithmetic;
            calculate(walk, phase, op);
            break;
        case Op::Div:
            phase.action = StepAction::Divide;
            divide(walk, phase);
            break;
        case Op::Cmp:
            phase.action = StepAction::Compare;
            compare(walk, phase);
            break;
        case Op::Cpy:
            phase.action = StepAction::Exchange;
            exchange(walk, phase);
            break;
        case Op::Val:
            phase.action = StepAction::Store;
            phase.effective = walk.effectiveAddress();
            walk.write(phase.effective->address, walk.readB());
            flagByB(walk, phase);
            break;
        case Op::Inp:
            phase.action = StepAction::Input;
            input(walk, phase, pending);
            break;
        case Op::Wrt:
            phase.action = StepAction::Output;
            output(walk, phase);
            break;
        case Op::Nop:
        default: phase.action = StepAction::Nothing; break;
    }
    phase.flagsAfter = walk.state().F;
}

}  // namespace

ByteLocation locationOf(unsigned address) {
    if (address < 256) return {ByteLocation::Kind::Memory, address};
    if (address <= X_ADDRESS) return {ByteLocation::Kind::Register, address};
    return {ByteLocation::Kind::Outside, address};
}

std::string_view registerName(const ByteLocation& location) {
    switch (location.kind) {
        case ByteLocation::Kind::Flags: return "F";
        case ByteLocation::Kind::Register: {
            constexpr std::string_view NAMES[] = {"PC", "IR", "A", "B", "X"};
            return NAMES[location.address - PC_ADDRESS];
        }
        case ByteLocation::Kind::Memory:
        case ByteLocation::Kind::Outside: break;
    }
    return {};
}

StepExplanation explainStep(const MachineState& state, std::string_view input) {
    StepExplanation explanation;
    Walk walk(state, explanation.fetch.accesses);
    fetch(walk, explanation.fetch);
    walk.noteInto(explanation.decode.accesses);
    decode(walk, explanation.fetch, explanation.decode);
    walk.noteInto(explanation.execute.accesses);
    execute(walk, explanation.fetch, explanation.execute, input);
    return explanation;
}

}  // namespace tarn

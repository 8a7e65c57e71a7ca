#include "reference/reference_machine.hpp"

#include <string>

namespace tarnref {

namespace {

// The opcodes by name.
enum Opcode : Byte {
    RST = 0,
    STD = 1, STZ = 2, STO = 3, STP = 4, STN = 5,
    NOP = 6,
    CLD = 7, CLZ = 8, CLO = 9, CLP = 10, CLN = 11,
    INCOFFST = 12, DECOFFST = 13,
    JMP = 64, JPD = 65, JPO = 66, JPZ = 67, JPP = 68, JPN = 69,
    INP = 70, WRT = 71,
    INC = 72, DEC = 73,
    VALOFFST = 74,
    CMP = 128, ADD = 129, SUB = 130, MUL = 131, DIV = 132,
    CPY = 133, VAL = 134,
};

// The flag bits of F.
constexpr Byte D_BIT = 0x01;
constexpr Byte Z_BIT = 0x02;
constexpr Byte O_BIT = 0x04;
constexpr Byte P_BIT = 0x08;
constexpr Byte N_BIT = 0x10;

// A byte read as a two's-complement number.
int signedOf(Byte value) {
    if (value < 128) return value;
    return value - 256;
}

// Any integer brought back into -128..127 by adding or taking away 256.
int wrapSigned(int value) {
    while (value > 127) value -= 256;
    while (value < -128) value += 256;
    return value;
}

// The byte that holds a number of -128..127 (two's complement).
Byte byteOf(int value) {
    if (value < 0) return static_cast<Byte>(value + 256);
    return static_cast<Byte>(value);
}

// The effective address: A + X, both as they stand now, never reduced.
unsigned effective(const tarn::MachineState& state) {
    return unsigned{state.A} + unsigned{state.X};
}

// Zero, Positive or Negative for a result, added to what F holds.
void addResultFlag(tarn::MachineState& state, int result) {
    if (result == 0) state.F = static_cast<Byte>(state.F | Z_BIT);
    if (result > 0) state.F = static_cast<Byte>(state.F | P_BIT);
    if (result < 0) state.F = static_cast<Byte>(state.F | N_BIT);
}

void setFlag(tarn::MachineState& state, Byte flag) {
    state.F = static_cast<Byte>(state.F | flag);
}

void keepOnlyFlags(tarn::MachineState& state, Byte mask) {
    state.F = static_cast<Byte>(state.F & mask);
}

void jumpWhen(tarn::MachineState& state, bool condition) {
    if (condition) state.PC = state.A;
}

bool flagIsSet(const tarn::MachineState& state, Byte flag) {
    return (state.F & flag) != 0;
}

// The memory byte that the register B names (B is a byte, so always memory).
Byte memoryAtB(const tarn::MachineState& state) {
    return state.M[state.B];
}

// The last step of INC, DEC, ADD, SUB and MUL: store the result at A + X and flag it.
void storeAndFlag(tarn::MachineState& state, int result) {
    writeAddress(state, effective(state), byteOf(result));
    addResultFlag(state, result);
}

void increment(tarn::MachineState& state) {
    const int a = signedOf(readAddress(state, effective(state)));
    int result;
    if (a == 127) {
        setFlag(state, O_BIT);
        result = 0;
    } else {
        result = a + 1;
    }
    storeAndFlag(state, result);
}

void decrement(tarn::MachineState& state) {
    const int a = signedOf(readAddress(state, effective(state)));
    int result;
    if (a == -128) {
        setFlag(state, O_BIT);
        result = 0;
    } else {
        result = a - 1;
    }
    storeAndFlag(state, result);
}

void add(tarn::MachineState& state) {
    const int a = signedOf(readAddress(state, effective(state)));
    const int b = signedOf(memoryAtB(state));
    const int sum = a + b;
    int result;
    if (sum > 127) {  // only the top is watched: -100 + -100 wraps to 56
        setFlag(state, O_BIT);
        result = 0;
    } else {
        result = wrapSigned(sum);
    }
    storeAndFlag(state, result);
}

void subtract(tarn::MachineState& state) {
    const int a = signedOf(readAddress(state, effective(state)));
    const int b = signedOf(memoryAtB(state));
    const int difference = a - b;
    int result;
    if (difference < -128) {  // only the bottom is watched: 100 - -100 wraps to -56
        setFlag(state, O_BIT);
        result = 0;
    } else {
        result = wrapSigned(difference);
    }
    storeAndFlag(state, result);
}

void multiply(tarn::MachineState& state) {
    const int a = signedOf(readAddress(state, effective(state)));
    const int b = signedOf(memoryAtB(state));
    const int product = a * b;
    int result;
    if (product > 127) {  // only the top is watched: -16 * 9 wraps to 112
        setFlag(state, O_BIT);
        result = 0;
    } else {
        result = wrapSigned(product);
    }
    storeAndFlag(state, result);
}

void divide(tarn::MachineState& state) {
    if (memoryAtB(state) == 0) return;  // nothing at all happens
    const int a = signedOf(readAddress(state, effective(state)));
    const int b = signedOf(memoryAtB(state));
    const int quotient = a / b;  // C++ division truncates toward zero
    const int remainder = a - quotient * b;
    const int storedQuotient = wrapSigned(quotient);  // -128 / -1 gives -128 again
    writeAddress(state, effective(state), byteOf(storedQuotient));
    // B read again: the quotient may just have been written into B itself.
    state.M[state.B] = byteOf(remainder);
    addResultFlag(state, storedQuotient);
}

void compare(tarn::MachineState& state) {
    const unsigned left = readAddress(state, effective(state));
    const unsigned right = memoryAtB(state);
    if (left == right) setFlag(state, Z_BIT);
    if (left > right) setFlag(state, P_BIT);
    if (left < right) setFlag(state, N_BIT);
}

// CPY and VAL: B = 0 switches the tracer on, anything else sets Positive.
void flagByRegisterB(tarn::MachineState& state) {
    if (state.B == 0) setFlag(state, D_BIT);
    else setFlag(state, P_BIT);
}

void exchange(tarn::MachineState& state) {
    const Byte saved = readAddress(state, effective(state));
    writeAddress(state, effective(state), memoryAtB(state));
    state.M[state.B] = saved;  // B as it is now, after the write above
    flagByRegisterB(state);
}

void storeImmediate(tarn::MachineState& state) {
    writeAddress(state, effective(state), state.B);
    flagByRegisterB(state);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void inputWord(ReferenceRun& run) {
    const std::string& in = run.input;
    std::size_t& at = run.inputPosition;
    while (at < in.size() && isBlank(in[at])) ++at;
    if (at == in.size()) return;  // the input has ended: nothing is stored
    const std::size_t start = at;
    while (at < in.size() && !isBlank(in[at])) ++at;  // the blank after it stays

    for (std::size_t i = 0; start + i < at; ++i) {
        const char c = in[start + i];
        if (c == '\0') break;
        const std::size_t address = run.state.A + i;  // A as it is now: the word may rewrite it
        if (address <= 260) writeAddress(run.state, static_cast<unsigned>(address), static_cast<Byte>(c));
    }
}

void writeString(ReferenceRun& run) {
    // Address 261 and beyond read as 0, so the string always ends.
    for (unsigned address = run.state.A; readAddress(run.state, address) != 0; ++address)
        run.output += static_cast<char>(readAddress(run.state, address));
}

void execute(ReferenceRun& run) {
    tarn::MachineState& s = run.state;
    switch (s.IR) {
        case STD: setFlag(s, D_BIT); break;
        case STZ: setFlag(s, Z_BIT); break;
        case STO: setFlag(s, O_BIT); break;
        case STP: setFlag(s, P_BIT); break;
        case STN: setFlag(s, N_BIT); break;
        case NOP: break;
        // Each clear keeps the other four flags and drops every bit above Negative.
        case CLD: keepOnlyFlags(s, Z_BIT | O_BIT | P_BIT | N_BIT); break;
        case CLZ: keepOnlyFlags(s, D_BIT | O_BIT | P_BIT | N_BIT); break;
        case CLO: keepOnlyFlags(s, D_BIT | Z_BIT | P_BIT | N_BIT); break;
        case CLP: keepOnlyFlags(s, D_BIT | Z_BIT | O_BIT | N_BIT); break;
        case CLN: keepOnlyFlags(s, D_BIT | Z_BIT | O_BIT | P_BIT); break;
        case INCOFFST: s.X = static_cast<Byte>((s.X + 1) % 256); break;
        case DECOFFST: s.X = static_cast<Byte>((s.X + 255) % 256); break;
        case JMP: jumpWhen(s, true); break;
        case JPD: jumpWhen(s, flagIsSet(s, D_BIT)); break;
        case JPO: jumpWhen(s, flagIsSet(s, O_BIT)); break;
        case JPZ: jumpWhen(s, flagIsSet(s, Z_BIT)); break;
        case JPP: jumpWhen(s, flagIsSet(s, P_BIT)); break;
        case JPN: jumpWhen(s, flagIsSet(s, N_BIT)); break;
        case INP: inputWord(run); break;
        case WRT: writeString(run); break;
        case INC: increment(s); break;
        case DEC: decrement(s); break;
        case VALOFFST: s.X = s.A; break;
        case CMP: compare(s); break;
        case ADD: add(s); break;
        case SUB: subtract(s); break;
        case MUL: multiply(s); break;
        case DIV: divide(s); break;
        case CPY: exchange(s); break;
        case VAL: storeImmediate(s); break;
        default: break;  // every other opcode does nothing
    }
}

void fetch(tarn::MachineState& s) {
    const Byte opcode = s.M[s.PC];
    const unsigned length = opcode / 64u + 1u;
    s.IR = opcode;
    // PC + 1 and PC + 2 are not reduced: past 255 they read PC, then IR.
    if (length == 2 || length == 3) s.A = readAddress(s, s.PC + 1u);
    if (length == 3) s.B = readAddress(s, s.PC + 2u);
    s.PC = static_cast<Byte>((s.PC + length) % 256);
}

// A byte in decimal, without leading zeros.
void appendDecimal(std::string& out, Byte value) {
    if (value >= 100) out += static_cast<char>('0' + value / 100);
    if (value >= 10) out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
}

void appendDisplay(const tarn::MachineState& s, std::string& out) {
    out += "\n";
    out += "----------------------------- Virtual Processor State ------------------------\n";
    out += "PROSSIMA ISTRUZIONE         = ";
    appendDecimal(out, s.PC);
    out += "\n";
    out += "REGISTRO DEI FLAGS          = ";
    if (s.F & 0x01) out += "Debug ";
    if (s.F & 0x02) out += "Zero ";
    if (s.F & 0x04) out += "Overflow ";
    if (s.F & 0x08) out += "Positive ";
    if (s.F & 0x10) out += "Negative ";
    if (s.F & 0x20) out += "dIv_x_ZeRo!!! ";  // nothing sets it, but it has a name
    out += "\n";
    out += "ISTRUZIONE DA ESEGUIRE      = ";
    out += mnemonicName(s.IR);
    out += "\n";
    out += "OPERANDO A                  = ";
    appendDecimal(out, s.A);
    out += "\n";
    out += "OPERANDO B                  = ";
    appendDecimal(out, s.B);
    out += "\n";
    out += "REGISTRO DI SPIAZZAMENTO    = ";
    appendDecimal(out, s.X);
    out += "\n";
    out += "------------------------------------------------------------------------------\n";
    out += "\n";
}

}  // namespace

void loadReference(ReferenceRun& run, const Byte* image, std::size_t length) {
    run.state.F = 0;
    run.state.PC = 0;
    run.state.A = 0;
    run.state.B = 0;
    run.state.X = 0;
    for (std::size_t i = 0; i < length && i < 256; ++i) run.state.M[i] = image[i];
}

Byte readAddress(const tarn::MachineState& state, unsigned address) {
    if (address < 256) return state.M[address];
    if (address == 256) return state.PC;
    if (address == 257) return state.IR;
    if (address == 258) return state.A;
    if (address == 259) return state.B;
    if (address == 260) return state.X;
    return 0;
}

void writeAddress(tarn::MachineState& state, unsigned address, Byte value) {
    if (address < 256) state.M[address] = value;
    else if (address == 256) state.PC = value;
    else if (address == 257) state.IR = value;
    else if (address == 258) state.A = value;
    else if (address == 259) state.B = value;
    else if (address == 260) state.X = value;
}

std::string_view mnemonicName(Byte opcode) {
    switch (opcode) {
        case RST: return "RST";
        case STD: return "STD";
        case STZ: return "STZ";
        case STO: return "STO";
        case STP: return "STP";
        case STN: return "STN";
        case NOP: return "NOP";
        case CLD: return "CLD";
        case CLZ: return "CLZ";
        case CLO: return "CLO";
        case CLP: return "CLP";
        case CLN: return "CLN";
        case INCOFFST: return "INCOFFST";
        case DECOFFST: return "DECOFFST";
        case JMP: return "JMP";
        case JPD: return "JPD";
        case JPO: return "JPO";
        case JPZ: return "JPZ";
        case JPP: return "JPP";
        case JPN: return "JPN";
        case INP: return "INP";
        case WRT: return "WRT";
        case INC: return "INC";
        case DEC: return "DEC";
        case VALOFFST: return "VALOFFST";
        case CMP: return "CMP";
        case ADD: return "ADD";
        case SUB: return "SUB";
        case MUL: return "MUL";
        case DIV: return "DIV";
        case CPY: return "CPY";
        case VAL: return "VAL";
        default: return "NOP";
    }
}

std::string displayText(const tarn::MachineState& state) {
    std::string text;
    appendDisplay(state, text);
    return text;
}

bool referenceStep(ReferenceRun& run) {
    if (run.state.M[run.state.PC] == 0) return false;
    fetch(run.state);
    if (run.state.F & D_BIT) appendDisplay(run.state, run.output);
    execute(run);
    return true;
}

std::uint64_t runReference(ReferenceRun& run, std::uint64_t limit) {
    std::uint64_t executed = 0;
    while (executed < limit && referenceStep(run)) ++executed;
    return executed;
}

}  // namespace tarnref

// The control and arithmetic units, one rule at a time: every instruction is
// run through the dispatcher on a machine whose every other byte is known, and
// the whole machine afterwards is compared with the one expected. Each unit
// is also handed, directly, every opcode that is not its own, which it must
// ignore.
#include "machine/arithmetic_unit.hpp"
#include "machine/control_unit.hpp"
#include "machine/instruction_set.hpp"

#include "support/machine_differences.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>

using namespace tarn;
using tarntest::differences;
using tarntest::hex;

namespace {

Byte byteOf(int value) {
    return static_cast<Byte>(value & 0xFF);
}

// Runs the instruction `opcode` with the operands A and B already decoded,
// as the run loop does right after the fetch.
void execute(MachineState& state, Byte opcode, Byte a = 0, Byte b = 0) {
    state.IR = opcode;
    state.A = a;
    state.B = b;
    MemoryConsole console;
    executeInstruction(state, console);
}

// The machine the unit tests start from: EA = A + X = 6 + 4 = 10, B = 20.
// Memory holds a pattern, so that a byte read from or written to the wrong
// address shows, with decoys where the likeliest wrong addresses land: A
// alone (6) and B + X (24). PC is 40, which a jump not taken must keep.
constexpr Byte OPERAND_A = 6, OFFSET = 4, EA = 10, OPERAND_B = 20;

MachineState unitMachine(Byte flags) {
    MachineState state{};
    for (unsigned address = 0; address < 256; ++address) state.M[address] = byteOf(0xA0 + static_cast<int>(address));
    state.M[OPERAND_A] = 0x5A;
    state.M[OPERAND_B + OFFSET] = 0x5B;
    state.F = flags;
    state.PC = 40;
    state.IR = 0x99;
    state.A = OPERAND_A;
    state.B = OPERAND_B;
    state.X = OFFSET;
    return state;
}

// The flag starts every table below is run from: nothing set (the flags
// must come out exactly), and everything set (nothing may be cleared).
constexpr Byte NO_FLAGS = 0x00, ALL_FLAGS = 0xFF;

// Runs `unit` directly on every opcode that `isOwn` rejects: the machine must
// come out as it went in.
template <typename Unit, typename Own>
void expectIgnoresOtherOpcodes(Unit unit, Own isOwn) {
    for (unsigned opcode = 0; opcode < 256; ++opcode) {
        if (isOwn(opcode)) continue;
        for (const Byte before : {NO_FLAGS, ALL_FLAGS}) {
            MachineState state = unitMachine(before);
            state.IR = static_cast<Byte>(opcode);
            const MachineState expected = state;
            unit(state);
            EXPECT_EQ("", differences(expected, state)) << "opcode " << opcode << ", F before " << hex(before);
        }
    }
}

}  // namespace

// ---------------------------------------------------------------- arithmetic

namespace {

struct ArithmeticCase {
    const char* what;
    Byte opcode;
    int a, b;          // M[EA] and M[B] before (signed or unsigned: stored modulo 256)
    int result, rest;  // M[EA] and M[B] after
    Byte flags;        // the bits the instruction adds to F
};

// Runs each case from both flag starts with EA = A + X and B not offset, and
// compares the whole machine.
void expectArithmetic(std::initializer_list<ArithmeticCase> cases) {
    for (const ArithmeticCase& c : cases) {
        for (const Byte before : {NO_FLAGS, ALL_FLAGS}) {
            MachineState state = unitMachine(before);
            state.M[EA] = byteOf(c.a);
            state.M[OPERAND_B] = byteOf(c.b);
            MachineState expected = state;
            expected.IR = c.opcode;
            expected.M[EA] = byteOf(c.result);
            expected.M[OPERAND_B] = byteOf(c.rest);
            expected.F = static_cast<Byte>(before | c.flags);
            execute(state, c.opcode, OPERAND_A, OPERAND_B);
            EXPECT_EQ("", differences(expected, state)) << c.what << ", F before " << hex(before);
        }
    }
}

constexpr Byte INC = 72, DEC = 73, CMP = 128, ADD = 129, SUB = 130, MUL = 131, DIV = 132;
constexpr Byte OZ = FLAG_O | FLAG_Z;

}  // namespace

TEST(ArithmeticUnit, IncOverflowsOnlyFrom127AndDecOnlyFromMinus128) {
    expectArithmetic({
        {"INC 0", INC, 0, 33, 1, 33, FLAG_P},
        {"INC 126", INC, 126, 33, 127, 33, FLAG_P},
        {"INC 127", INC, 127, 33, 0, 33, OZ},
        {"INC -1", INC, -1, 33, 0, 33, FLAG_Z},
        {"INC -128", INC, -128, 33, -127, 33, FLAG_N},
        {"INC -2", INC, -2, 33, -1, 33, FLAG_N},
        {"DEC 1", DEC, 1, 33, 0, 33, FLAG_Z},
        {"DEC 0", DEC, 0, 33, -1, 33, FLAG_N},
        {"DEC 127", DEC, 127, 33, 126, 33, FLAG_P},
        {"DEC -127", DEC, -127, 33, -128, 33, FLAG_N},
        {"DEC -128", DEC, -128, 33, 0, 33, OZ},
    });
}

TEST(ArithmeticUnit, AddOverflowsOnlyAbove127AndWrapsBelowMinus128) {
    expectArithmetic({
        {"ADD 100+27", ADD, 100, 27, 127, 27, FLAG_P},
        {"ADD 100+28", ADD, 100, 28, 0, 28, OZ},
        {"ADD 127+1", ADD, 127, 1, 0, 1, OZ},
        {"ADD 127+127", ADD, 127, 127, 0, 127, OZ},
        {"ADD -64+-64", ADD, -64, -64, -128, -64, FLAG_N},
        {"ADD -128+-1", ADD, -128, -1, 127, -1, FLAG_P},
        {"ADD -100+-100", ADD, -100, -100, 56, -100, FLAG_P},
        {"ADD -128+-128", ADD, -128, -128, 0, -128, FLAG_Z},
        {"ADD 5+-5", ADD, 5, -5, 0, -5, FLAG_Z},
        {"ADD 3+-5", ADD, 3, -5, -2, -5, FLAG_N},
    });
}

TEST(ArithmeticUnit, SubOverflowsOnlyBelowMinus128AndWrapsAbove127) {
    expectArithmetic({
        {"SUB -127-1", SUB, -127, 1, -128, 1, FLAG_N},
        {"SUB -1-127", SUB, -1, 127, -128, 127, FLAG_N},
        {"SUB -128-1", SUB, -128, 1, 0, 1, OZ},
        {"SUB -128-127", SUB, -128, 127, 0, 127, OZ},
        {"SUB 127--1", SUB, 127, -1, -128, -1, FLAG_N},
        {"SUB 100--100", SUB, 100, -100, -56, -100, FLAG_N},
        {"SUB 127--128", SUB, 127, -128, -1, -128, FLAG_N},
        {"SUB 5--3", SUB, 5, -3, 8, -3, FLAG_P},
        {"SUB 3-5", SUB, 3, 5, -2, 5, FLAG_N},
        {"SUB 5-5", SUB, 5, 5, 0, 5, FLAG_Z},
    });
}

TEST(ArithmeticUnit, MulOverflowsOnlyAbove127AndWrapsBelowMinus128) {
    expectArithmetic({
        {"MUL 127*1", MUL, 127, 1, 127, 1, FLAG_P},
        {"MUL 16*8", MUL, 16, 8, 0, 8, OZ},
        {"MUL 64*2", MUL, 64, 2, 0, 2, OZ},
        {"MUL -16*-8", MUL, -16, -8, 0, -8, OZ},
        {"MUL -128*-1", MUL, -128, -1, 0, -1, OZ},
        {"MUL -16*8", MUL, -16, 8, -128, 8, FLAG_N},
        {"MUL -128*1", MUL, -128, 1, -128, 1, FLAG_N},
        {"MUL -16*9", MUL, -16, 9, 112, 9, FLAG_P},
        {"MUL -128*2", MUL, -128, 2, 0, 2, FLAG_Z},
        {"MUL -100*3", MUL, -100, 3, -44, 3, FLAG_N},
        {"MUL -1*-1", MUL, -1, -1, 1, -1, FLAG_P},
        {"MUL 11*11", MUL, 11, 11, 121, 11, FLAG_P},
        {"MUL 0*-5", MUL, 0, -5, 0, -5, FLAG_Z},
    });
}

TEST(ArithmeticUnit, DivTruncatesAndTheRemainderTakesTheDividendsSign) {
    expectArithmetic({
        {"DIV 7/2", DIV, 7, 2, 3, 1, FLAG_P},
        {"DIV -7/2", DIV, -7, 2, -3, -1, FLAG_N},
        {"DIV 7/-2", DIV, 7, -2, -3, 1, FLAG_N},
        {"DIV -7/-2", DIV, -7, -2, 3, -1, FLAG_P},
        {"DIV 6/3", DIV, 6, 3, 2, 0, FLAG_P},
        {"DIV 1/2", DIV, 1, 2, 0, 1, FLAG_Z},
        {"DIV 0/5", DIV, 0, 5, 0, 0, FLAG_Z},
        {"DIV 127/-1", DIV, 127, -1, -127, 0, FLAG_N},
        {"DIV -128/1", DIV, -128, 1, -128, 0, FLAG_N},
        // The quotient 128 wraps to -128 and is flagged as the byte it is.
        {"DIV -128/-1", DIV, -128, -1, -128, 0, FLAG_N},
        // By zero: nothing at all changes, not even a flag.
        {"DIV 7/0", DIV, 7, 0, 7, 0, 0},
        {"DIV 0/0", DIV, 0, 0, 0, 0, 0},
        {"DIV -128/0", DIV, -128, 0, -128, 0, 0},
    });
}

TEST(ArithmeticUnit, CmpComparesUnsignedAndChangesNoMemory) {
    expectArithmetic({
        {"CMP 5,5", CMP, 5, 5, 5, 5, FLAG_Z},
        {"CMP 6,5", CMP, 6, 5, 6, 5, FLAG_P},
        {"CMP 5,6", CMP, 5, 6, 5, 6, FLAG_N},
        {"CMP 0x80,0x7F", CMP, 0x80, 0x7F, 0x80, 0x7F, FLAG_P},
        {"CMP 0x7F,0x80", CMP, 0x7F, 0x80, 0x7F, 0x80, FLAG_N},
        {"CMP 0x01,0xFF", CMP, 0x01, 0xFF, 0x01, 0xFF, FLAG_N},
        {"CMP 0xFF,0x00", CMP, 0xFF, 0x00, 0xFF, 0x00, FLAG_P},
        {"CMP 0xFF,0xFF", CMP, 0xFF, 0xFF, 0xFF, 0xFF, FLAG_Z},
    });
}

TEST(ArithmeticUnit, FlagsOnlyEverGainBits) {
    // Two compares with different outcomes leave both flags set.
    MachineState state = unitMachine(NO_FLAGS);
    state.M[EA] = 5;
    state.M[OPERAND_B] = 6;
    execute(state, CMP, OPERAND_A, OPERAND_B);
    state.M[OPERAND_B] = 4;
    execute(state, CMP, OPERAND_A, OPERAND_B);
    EXPECT_EQ(FLAG_N | FLAG_P, state.F);

    // An overflow after a negative result keeps N and adds O and Z.
    state = unitMachine(NO_FLAGS);
    state.M[EA] = byteOf(-3);
    state.M[OPERAND_B] = 100;
    execute(state, MUL, OPERAND_A, OPERAND_B);  // -300 wraps to -44
    execute(state, MUL, OPERAND_A, OPERAND_B);  // -44 * 100 wraps too
    state.M[EA] = 127;
    execute(state, INC, OPERAND_A);
    EXPECT_EQ(FLAG_N | FLAG_O | FLAG_Z, state.F);
}

TEST(ArithmeticUnit, OffsetStepsWrapAndTouchNothingElse) {
    struct Case {
        Byte opcode, x, after;
    };
    const Case cases[] = {
        {12, 0, 1}, {12, 7, 8}, {12, 127, 128}, {12, 254, 255}, {12, 255, 0},
        {13, 1, 0}, {13, 8, 7}, {13, 128, 127}, {13, 0, 255},
    };
    for (const Case& c : cases) {
        for (const Byte before : {NO_FLAGS, ALL_FLAGS}) {
            MachineState state = unitMachine(before);
            state.X = c.x;
            MachineState expected = state;
            expected.IR = c.opcode;
            expected.X = c.after;
            execute(state, c.opcode, OPERAND_A, OPERAND_B);
            EXPECT_EQ("", differences(expected, state))
                << int{c.opcode} << " from X=" << int{c.x} << ", F before " << hex(before);
        }
    }
}

TEST(ArithmeticUnit, DivWithEffectiveAddressEqualToBKeepsTheRemainder) {
    // EA = B = 10: the quotient 1 is written first, then the remainder 0 over
    // it; the flags come from the quotient all the same.
    MachineState state = unitMachine(NO_FLAGS);
    state.M[EA] = byteOf(-7);
    MachineState expected = state;
    expected.IR = DIV;
    expected.B = EA;
    expected.M[EA] = 0;
    expected.F = FLAG_P;
    execute(state, DIV, OPERAND_A, EA);
    EXPECT_EQ("", differences(expected, state));
}

TEST(ArithmeticUnit, EffectiveAddressMayNameARegister) {
    // DIV with EA = 259, B itself: the dividend is B (21); the quotient 10
    // replaces B, and the remainder 1 follows the new B to M[10].
    MachineState state = unitMachine(NO_FLAGS);
    state.X = 9;
    state.M[21] = 2;
    MachineState expected = state;
    expected.IR = DIV;
    expected.A = 250;
    expected.B = 10;
    expected.M[10] = 1;
    expected.F = FLAG_P;
    execute(state, DIV, 250, 21);
    EXPECT_EQ("", differences(expected, state)) << "DIV into B";

    // ADD with EA = 258, A itself: 250 reads as -6, plus 10 gives 4, stored in A.
    state = unitMachine(NO_FLAGS);
    state.X = 8;
    state.M[OPERAND_B] = 10;
    expected = state;
    expected.IR = ADD;
    expected.A = 4;
    expected.F = FLAG_P;
    execute(state, ADD, 250, OPERAND_B);
    EXPECT_EQ("", differences(expected, state)) << "ADD into A";

    // INC with EA = 256 and 260: PC and X themselves.
    state = unitMachine(NO_FLAGS);
    state.X = 6;
    execute(state, INC, 250);
    EXPECT_EQ(41, state.PC);
    state = unitMachine(NO_FLAGS);
    state.X = 10;
    execute(state, DEC, 250);
    EXPECT_EQ(9, state.X);
    EXPECT_EQ(FLAG_P, state.F);
}

TEST(ArithmeticUnit, EffectiveAddressAbove260ReadsZeroAndKeepsNothing) {
    struct Case {
        const char* what;
        Byte opcode, a, x;
        Byte rest;   // M[B] after; it held 5
        Byte flags;  // what 0 op 5 gives
    };
    const Case cases[] = {
        {"INC 261", INC, 255, 6, 5, FLAG_P},
        {"DEC 510", DEC, 255, 255, 5, FLAG_N},
        {"ADD 300", ADD, 255, 45, 5, FLAG_P},
        {"SUB 261", SUB, 251, 10, 5, FLAG_N},
        {"MUL 261", MUL, 251, 10, 5, FLAG_Z},
        {"CMP 261", CMP, 251, 10, 5, FLAG_N},
        {"DIV 261", DIV, 251, 10, 0, FLAG_Z},  // 0 / 5: the remainder 0 still reaches M[B]
    };
    for (const Case& c : cases) {
        MachineState state = unitMachine(NO_FLAGS);
        state.X = c.x;
        state.M[OPERAND_B] = 5;
        MachineState expected = state;
        expected.IR = c.opcode;
        expected.A = c.a;
        expected.M[OPERAND_B] = c.rest;
        expected.F = c.flags;
        execute(state, c.opcode, c.a, OPERAND_B);
        EXPECT_EQ("", differences(expected, state)) << c.what;
    }
}

TEST(ArithmeticUnit, IgnoresEveryOpcodeThatIsNotItsOwn) {
    expectIgnoresOtherOpcodes([](MachineState& state) { arithmeticUnit(state); }, [](unsigned opcode) {
        return opcode == 12 || opcode == 13 || opcode == 72 || opcode == 73 || (opcode >= 128 && opcode <= 132);
    });
}

// ------------------------------------------------------------------ control

namespace {

constexpr Byte VALOFFST = 74, CPY = 133, VAL = 134;
constexpr Byte FLAG_BITS[] = {FLAG_D, FLAG_Z, FLAG_O, FLAG_P, FLAG_N};

// Runs an instruction that should change F alone, from several flag starts.
void expectFlagsOnly(Byte opcode, Byte before, Byte after) {
    MachineState state = unitMachine(before);
    MachineState expected = state;
    expected.IR = opcode;
    expected.F = after;
    execute(state, opcode, OPERAND_A, OPERAND_B);
    EXPECT_EQ("", differences(expected, state)) << "opcode " << int{opcode} << ", F before " << hex(before);
}

}  // namespace

TEST(ControlUnit, EachSetInstructionSetsExactlyItsOwnBit) {
    for (Byte opcode = 1; opcode <= 5; ++opcode) {
        const Byte bit = FLAG_BITS[opcode - 1];
        for (const Byte before : {Byte{0x00}, Byte{0xFF}, Byte{0xE0}, static_cast<Byte>(0xFF & ~bit)})
            expectFlagsOnly(opcode, before, static_cast<Byte>(before | bit));
    }
}

TEST(ControlUnit, EachClearInstructionClearsItsOwnBitAndTheTopThree) {
    for (Byte opcode = 7; opcode <= 11; ++opcode) {
        const Byte bit = FLAG_BITS[opcode - 7];
        for (const Byte before : {Byte{0x00}, Byte{0xFF}, Byte{0x1F}, Byte{0xE0}, bit, static_cast<Byte>(0xE0 | bit)})
            expectFlagsOnly(opcode, before, static_cast<Byte>(before & 0x1F & ~bit));
    }
}

TEST(ControlUnit, IgnoresEveryOpcodeThatIsNotItsOwn) {
    // NOP (6) is among the ignored: it leaves the machine as it is.
    expectIgnoresOtherOpcodes([](MachineState& state) { controlUnit(state); }, [](unsigned opcode) {
        return (opcode >= 1 && opcode <= 11 && opcode != 6) || (opcode >= 64 && opcode <= 69) || opcode == 74 ||
               opcode == 133 || opcode == 134;
    });
}

TEST(ControlUnit, EachJumpIsTakenExactlyForItsOwnFlag) {
    // 66 tests O (0x04) and 67 tests Z (0x02); JMP tests nothing.
    struct Jump {
        Byte opcode, flag;
    };
    const Jump jumps[] = {{64, 0}, {65, FLAG_D}, {66, FLAG_O}, {67, FLAG_Z}, {68, FLAG_P}, {69, FLAG_N}};
    for (const Jump& jump : jumps) {
        for (unsigned flags : {0x00u, 0x01u, 0x02u, 0x04u, 0x08u, 0x10u, 0x20u, 0x40u, 0x80u, 0xFFu,
                               0xFFu & ~unsigned{jump.flag}}) {
            const bool taken = jump.flag == 0 || (flags & jump.flag) != 0;
            MachineState state = unitMachine(static_cast<Byte>(flags));  // X = 4: jumps ignore it
            MachineState expected = state;
            expected.IR = jump.opcode;
            expected.A = 77;
            if (taken) expected.PC = 77;
            execute(state, jump.opcode, 77, OPERAND_B);
            EXPECT_EQ("", differences(expected, state)) << "opcode " << int{jump.opcode} << ", F " << hex(flags);
        }
    }
}

TEST(ControlUnit, ValoffstLoadsXWithA) {
    for (const Byte before : {NO_FLAGS, ALL_FLAGS}) {
        MachineState state = unitMachine(before);
        MachineState expected = state;
        expected.IR = VALOFFST;
        expected.A = 3;
        expected.X = 3;
        execute(state, VALOFFST, 3, OPERAND_B);
        EXPECT_EQ("", differences(expected, state)) << "F before " << hex(before);
    }

    // VALOFFST 3 then VAL 10, 7 stores 7 at 13.
    MachineState state{};
    execute(state, VALOFFST, 3);
    execute(state, VAL, 10, 7);
    EXPECT_EQ(7, state.M[13]);
    EXPECT_EQ(FLAG_P, state.F);
}

TEST(ControlUnit, ValStoresBAtTheEffectiveAddressAndFlagsByB) {
    // B = 0 sets D (never Z); any other B sets P, 128..255 included (never N).
    struct Case {
        Byte b, flag;
    };
    const Case cases[] = {{0, FLAG_D}, {1, FLAG_P}, {127, FLAG_P}, {128, FLAG_P}, {200, FLAG_P}, {255, FLAG_P}};
    for (const Case& c : cases) {
        for (const Byte before : {NO_FLAGS, ALL_FLAGS}) {
            MachineState state = unitMachine(before);
            MachineState expected = state;
            expected.IR = VAL;
            expected.B = c.b;
            expected.M[EA] = c.b;
            expected.F = static_cast<Byte>(before | c.flag);
            execute(state, VAL, OPERAND_A, c.b);
            EXPECT_EQ("", differences(expected, state)) << "VAL B=" << int{c.b} << ", F before " << hex(before);
        }
    }
}

TEST(ControlUnit, ValReachesTheRegistersAndNothingAbove260) {
    // A = 250: X = 6 .. 10 name PC, IR, A, B and X; above 260 nothing is written.
    for (Byte x = 6; x <= 16; ++x) {
        MachineState state = unitMachine(NO_FLAGS);
        state.X = x;
        MachineState expected = state;
        expected.IR = VAL;
        expected.A = 250;
        expected.B = 77;
        expected.F = FLAG_P;
        switch (x) {
            case 6: expected.PC = 77; break;
            case 7: expected.IR = 77; break;
            case 8: expected.A = 77; break;
            case 10: expected.X = 77; break;
            default: break;  // B already holds 77; 261 and above keep nothing
        }
        execute(state, VAL, 250, 77);
        EXPECT_EQ("", differences(expected, state)) << "VAL at " << 250 + x;
    }

    // 510, the largest effective address, with B = 0: still D and nothing stored.
    MachineState state = unitMachine(NO_FLAGS);
    state.X = 255;
    MachineState expected = state;
    expected.IR = VAL;
    expected.A = 255;
    expected.B = 0;
    expected.F = FLAG_D;
    execute(state, VAL, 255, 0);
    EXPECT_EQ("", differences(expected, state)) << "VAL at 510";
}

TEST(ControlUnit, CpyExchangesAndFlagsByTheRegisterB) {
    struct Case {
        const char* what;
        Byte b;
        Byte atEa, atB;  // M[EA] and M[B] before
        Byte flag;
    };
    const Case cases[] = {
        {"B = 0", 0, 0x11, 0x22, FLAG_D},
        {"B = 20", OPERAND_B, 0x11, 0xC8, FLAG_P},
        {"B = 20, moving zeros", OPERAND_B, 0x00, 0x00, FLAG_P},
        {"B = 200", 200, 0x00, 0x80, FLAG_P},
        {"B = 0, moving non-zeros", 0, 0x80, 0x7F, FLAG_D},
    };
    for (const Case& c : cases) {
        for (const Byte before : {NO_FLAGS, ALL_FLAGS}) {
            MachineState state = unitMachine(before);
            state.M[EA] = c.atEa;
            state.M[c.b] = c.atB;
            MachineState expected = state;
            expected.IR = CPY;
            expected.B = c.b;
            expected.M[EA] = c.atB;
            expected.M[c.b] = c.atEa;
            expected.F = static_cast<Byte>(before | c.flag);
            execute(state, CPY, OPERAND_A, c.b);
            EXPECT_EQ("", differences(expected, state)) << "CPY " << c.what << ", F before " << hex(before);
        }
    }

    // EA equal to B: the byte is exchanged with itself.
    MachineState state = unitMachine(NO_FLAGS);
    MachineState expected = state;
    expected.IR = CPY;
    expected.B = EA;
    expected.F = FLAG_P;
    execute(state, CPY, OPERAND_A, EA);
    EXPECT_EQ("", differences(expected, state)) << "CPY with EA = B";
}

TEST(ControlUnit, CpyWithARegisterReadsEachOperandAfresh) {
    // EA = 259 is B: step 2 replaces B with M[B] (0), so the old B (5) goes
    // to M[0], M[5] keeps its value, and the new B, 0, sets D.
    MachineState state = unitMachine(NO_FLAGS);
    state.X = 9;
    state.M[5] = 0;
    MachineState expected = state;
    expected.IR = CPY;
    expected.A = 250;
    expected.B = 0;
    expected.M[0] = 5;
    expected.F = FLAG_D;
    execute(state, CPY, 250, 5);
    EXPECT_EQ("", differences(expected, state)) << "CPY with B";

    // EA = 258 is A: A and M[B] trade places.
    state = unitMachine(NO_FLAGS);
    state.X = 8;
    state.M[OPERAND_B] = 0x33;
    expected = state;
    expected.IR = CPY;
    expected.A = 0x33;
    expected.M[OPERAND_B] = 250;
    expected.F = FLAG_P;
    execute(state, CPY, 250, OPERAND_B);
    EXPECT_EQ("", differences(expected, state)) << "CPY with A";

    // EA = 256 is PC.
    state = unitMachine(NO_FLAGS);
    state.X = 6;
    state.M[OPERAND_B] = 0x33;
    expected = state;
    expected.IR = CPY;
    expected.A = 250;
    expected.PC = 0x33;
    expected.M[OPERAND_B] = 40;
    expected.F = FLAG_P;
    execute(state, CPY, 250, OPERAND_B);
    EXPECT_EQ("", differences(expected, state)) << "CPY with PC";

    // Above 260 reads 0 and keeps nothing: M[B] receives 0.
    state = unitMachine(NO_FLAGS);
    state.X = 11;
    expected = state;
    expected.IR = CPY;
    expected.A = 250;
    expected.M[OPERAND_B] = 0;
    expected.F = FLAG_P;
    execute(state, CPY, 250, OPERAND_B);
    EXPECT_EQ("", differences(expected, state)) << "CPY at 261";
}

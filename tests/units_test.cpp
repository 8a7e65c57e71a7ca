// The control and arithmetic units: flag rules, wraps and overflow.
#include "machine/arithmetic_unit.hpp"
#include "machine/control_unit.hpp"
#include "machine/instruction_set.hpp"

#include <gtest/gtest.h>

using namespace tarn;

namespace {

// Executes one decoded instruction on a machine.
void execute(MachineState& state, Byte opcode, Byte a, Byte b = 0) {
    state.IR = opcode;
    state.A = a;
    state.B = b;
    MemoryConsole console;
    executeInstruction(state, console);
}

int asSigned(Byte value) {
    return value < 128 ? value : value - 256;
}

}  // namespace

TEST(ArithmeticUnit, ResultsFlagsAndOneSidedOverflow) {
    struct Case {
        const char* what;
        Byte opcode;
        int a, b;          // M[10] and M[20] before, as signed bytes
        int result, rest;  // M[10] and M[20] after
        Byte flags;
    };
    const Case cases[] = {
        {"INC 127", 72, 127, 0, 0, 0, FLAG_O | FLAG_Z},
        {"INC -1", 72, -1, 0, 0, 0, FLAG_Z},
        {"INC 5", 72, 5, 0, 6, 0, FLAG_P},
        {"DEC -128", 73, -128, 0, 0, 0, FLAG_O | FLAG_Z},
        {"DEC 0", 73, 0, 0, -1, 0, FLAG_N},
        {"ADD 100+27", 129, 100, 27, 127, 27, FLAG_P},
        {"ADD 100+28", 129, 100, 28, 0, 28, FLAG_O | FLAG_Z},
        {"ADD -128+-1", 129, -128, -1, 127, -1, FLAG_P},
        {"ADD -100+-100", 129, -100, -100, 56, -100, FLAG_P},
        {"SUB -128-1", 130, -128, 1, 0, 1, FLAG_O | FLAG_Z},
        {"SUB 5--3", 130, 5, -3, 8, -3, FLAG_P},
        {"SUB 100--100", 130, 100, -100, -56, -100, FLAG_N},
        {"MUL 16*8", 131, 16, 8, 0, 8, FLAG_O | FLAG_Z},
        {"MUL -16*8", 131, -16, 8, -128, 8, FLAG_N},
        {"MUL -1*-1", 131, -1, -1, 1, -1, FLAG_P},
        {"MUL -16*9", 131, -16, 9, 112, 9, FLAG_P},
        {"DIV 7/2", 132, 7, 2, 3, 1, FLAG_P},
        {"DIV -7/2", 132, -7, 2, -3, -1, FLAG_N},
        {"DIV 7/-2", 132, 7, -2, -3, 1, FLAG_N},
        {"DIV 1/2", 132, 1, 2, 0, 1, FLAG_Z},
        {"DIV 7/0", 132, 7, 0, 7, 0, 0},
        {"DIV -128/-1", 132, -128, -1, -128, 0, FLAG_N},
        {"CMP 5,5", 128, 5, 5, 5, 5, FLAG_Z},
        {"CMP 0x80,0x7F", 128, -128, 127, -128, 127, FLAG_P},
        {"CMP 0x01,0xFF", 128, 1, -1, 1, -1, FLAG_N},
    };
    for (const Case& c : cases) {
        MachineState state{};
        state.M[10] = static_cast<Byte>(c.a & 0xFF);
        state.M[20] = static_cast<Byte>(c.b & 0xFF);
        execute(state, c.opcode, 10, 20);
        EXPECT_EQ(c.result, asSigned(state.M[10])) << c.what;
        EXPECT_EQ(c.rest, asSigned(state.M[20])) << c.what;
        EXPECT_EQ(c.flags, state.F) << c.what;
    }
}

TEST(ArithmeticUnit, FlagsAreStickyAndOffsetWraps) {
    MachineState state{};
    state.M[10] = 5;
    state.M[20] = 6;
    execute(state, 128, 10, 20);
    state.M[20] = 4;
    execute(state, 128, 10, 20);
    EXPECT_EQ(FLAG_N | FLAG_P, state.F);

    state = MachineState{};
    execute(state, 13, 0);
    EXPECT_EQ(255, state.X);
    execute(state, 12, 0);
    execute(state, 12, 0);
    EXPECT_EQ(1, state.X);
    EXPECT_EQ(0, state.F);

    state.X = 5;
    execute(state, 72, 10);
    EXPECT_EQ(1, state.M[15]);
}

TEST(ArithmeticUnit, EffectiveAddressMayNameARegister) {
    // DIV with EA = 259 (B itself): the quotient lands in B, the remainder
    // then follows the new B.
    // The dividend is B itself (20): 20 / 2 = 10 goes to B, the remainder 0 to M[10].
    MachineState state{};
    state.M[20] = 2;
    state.M[10] = 0x55;
    state.X = 9;
    execute(state, 132, 250, 20);
    EXPECT_EQ(10, state.B);
    EXPECT_EQ(0, state.M[10]);
    EXPECT_EQ(FLAG_P, state.F);

    // INC of an address above 260 reads 0 and stores nothing.
    state = MachineState{};
    state.X = 255;
    execute(state, 72, 255);
    EXPECT_EQ(FLAG_P, state.F);
    EXPECT_EQ(255, state.X);
}

TEST(ControlUnit, FlagsAndJumps) {
    MachineState state{};
    for (Byte opcode = 1; opcode <= 5; ++opcode) execute(state, opcode, 0);
    EXPECT_EQ(0x1F, state.F);
    execute(state, 8, 0);
    EXPECT_EQ(0x1D, state.F);
    state.F = 0xFF;
    execute(state, 7, 0);
    EXPECT_EQ(0x1E, state.F);

    struct Jump {
        Byte opcode, flags;
        bool taken;
    };
    const Jump jumps[] = {
        {64, 0, true},      {65, FLAG_D, true}, {65, 0x1E, false}, {66, FLAG_O, true},
        {66, FLAG_Z, false}, {67, FLAG_Z, true}, {67, FLAG_O, false}, {68, FLAG_P, true},
        {68, 0x17, false},   {69, FLAG_N, true}, {69, 0x0F, false},
    };
    for (const Jump& jump : jumps) {
        MachineState machine{};
        machine.PC = 2;
        machine.F = jump.flags;
        machine.X = 3;
        execute(machine, jump.opcode, 10);
        EXPECT_EQ(jump.taken ? 10 : 2, machine.PC) << int{jump.opcode} << " F=" << int{jump.flags};
    }
}

TEST(ControlUnit, ValAndCpyStoreAndFlagByB) {
    MachineState state{};
    execute(state, 74, 3);  // VALOFFST 3
    execute(state, 134, 10, 7);
    EXPECT_EQ(7, state.M[13]);
    EXPECT_EQ(FLAG_P, state.F);

    state = MachineState{};
    execute(state, 134, 10, 0);
    EXPECT_EQ(FLAG_D, state.F);
    execute(state, 134, 11, 200);
    EXPECT_EQ(200, state.M[11]);
    EXPECT_EQ(FLAG_D | FLAG_P, state.F);

    state = MachineState{};
    state.M[0] = 1;
    state.M[20] = 2;
    state.M[21] = 3;
    execute(state, 133, 20, 0);
    EXPECT_EQ(2, state.M[0]);
    EXPECT_EQ(1, state.M[20]);
    EXPECT_EQ(FLAG_D, state.F);
    execute(state, 133, 20, 21);
    EXPECT_EQ(3, state.M[20]);
    EXPECT_EQ(1, state.M[21]);
    EXPECT_EQ(FLAG_D | FLAG_P, state.F);
    execute(state, 133, 21, 21);  // EA equal to B
    EXPECT_EQ(1, state.M[21]);

    // A = 250, X = 10: VAL writes B into X itself.
    state = MachineState{};
    state.X = 10;
    execute(state, 134, 250, 77);
    EXPECT_EQ(77, state.X);
}

TEST(ControlUnit, CpyIntoRegisterBUsesTheNewB) {
    // EA = 259 is B: step 2 replaces B with M[B], steps 3 and 4 use the new B.
    MachineState state{};
    state.M[5] = 0;  // new B
    state.M[0] = 0x33;
    state.X = 9;
    execute(state, 133, 250, 5);
    EXPECT_EQ(0, state.B);
    EXPECT_EQ(5, state.M[0]);    // the old B went to M[new B]
    EXPECT_EQ(FLAG_D, state.F);  // flagged by the new B, which is 0
}

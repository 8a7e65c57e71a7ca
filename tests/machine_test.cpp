// The machine record, loading, fetch and the run loop.
#include "machine/instruction_set.hpp"
#include "machine/machine_state.hpp"
#include "support/process.hpp"

#include <gtest/gtest.h>

#include <cstring>

using namespace tarn;
using tarntest::bytes;
using tarntest::writeTempFile;

namespace {

// A machine holding the given image from address 0, every other byte 0.
MachineState machineWith(const std::string& image) {
    MachineState state{};
    std::memcpy(state.M, image.data(), std::min(image.size(), sizeof state.M));
    return state;
}

}  // namespace

TEST(Loading, CopiesBytesUnalteredAndResetsRegisters) {
    std::string image(256, '\0');
    for (int i = 0; i < 256; ++i) image[static_cast<std::size_t>(i)] = static_cast<char>(255 - i);
    image[10] = '\r';
    image[11] = '\n';
    image[12] = '\x1a';
    MachineState state{};
    state.F = 0x1F;
    state.PC = 7;
    state.A = state.B = state.X = 9;
    const LoadReport report = loadProgram(writeTempFile("full.bin", image), state);
    EXPECT_TRUE(report.opened);
    EXPECT_FALSE(report.truncated);
    EXPECT_EQ(0, std::memcmp(state.M, image.data(), 256));
    EXPECT_EQ(0, state.F | state.PC | state.A | state.B | state.X);
}

TEST(Loading, LongerImageLoadsOnlyItsFirst256Bytes) {
    std::string image(300, '\x06');
    image[256] = '\x47';
    MachineState state{};
    const LoadReport report = loadProgram(writeTempFile("long.bin", image), state);
    EXPECT_TRUE(report.truncated);
    EXPECT_EQ(0x06, state.M[255]);
    EXPECT_EQ(0, state.PC | state.IR | state.A | state.B | state.X);
}

TEST(Loading, MissingFileAndEmptyFileLeaveMemoryAlone) {
    MachineState state{};
    state.M[0] = 0x42;
    state.F = 3;
    LoadReport report = loadProgram("/nonexistent/prog.bin", state);
    EXPECT_FALSE(report.opened);
    EXPECT_EQ("No such file or directory", report.reason);
    EXPECT_EQ(0x42, state.M[0]);
    EXPECT_EQ(0, state.F);

    report = loadProgram(writeTempFile("empty.bin", ""), state);
    EXPECT_TRUE(report.opened);
    EXPECT_EQ(0x42, state.M[0]);
}

TEST(Addressing, RegistersFollowMemoryAndNothingLiesBeyond) {
    MachineState state{};
    for (unsigned address = 256; address <= 260; ++address)
        writeByte(state, address, static_cast<Byte>(address - 200));
    EXPECT_EQ(56, state.PC);
    EXPECT_EQ(57, state.IR);
    EXPECT_EQ(58, state.A);
    EXPECT_EQ(59, state.B);
    EXPECT_EQ(60, state.X);
    const MachineState before = state;
    for (unsigned address : {261u, 300u, 510u}) {
        writeByte(state, address, 0xAA);
        EXPECT_EQ(0, readByte(state, address));
    }
    EXPECT_EQ(0, std::memcmp(&before, &state, sizeof state));
}

TEST(Fetch, LoadsOperandsByLengthAndAdvancesPc) {
    struct Case {
        Byte opcode;
        Byte pc, a, b;  // after the fetch
    };
    const Case cases[] = {
        {0x06, 1, 0xEE, 0xFF},  // one byte: A and B stale
        {0x47, 2, 0x11, 0xFF},  // two bytes: A only
        {0x8A, 3, 0x11, 0x22},  // three bytes, unassigned: still loads both
        {0xC5, 4, 0xEE, 0xFF},  // four bytes: skipped
    };
    for (const Case& c : cases) {
        MachineState state = machineWith(bytes({c.opcode, 0x11, 0x22, 0x33}));
        state.A = 0xEE;
        state.B = 0xFF;
        fetchInstruction(state);
        EXPECT_EQ(c.opcode, state.IR);
        EXPECT_EQ(c.pc, state.PC) << int{c.opcode};
        EXPECT_EQ(c.a, state.A) << int{c.opcode};
        EXPECT_EQ(c.b, state.B) << int{c.opcode};
    }
}

TEST(Fetch, OperandsPastAddress255ComeFromTheRegisters) {
    MachineState state{};
    state.PC = 255;
    state.M[255] = 0x86;  // three bytes: A <- PC, B <- IR
    fetchInstruction(state);
    EXPECT_EQ(255, state.A);
    EXPECT_EQ(0x86, state.B);
    EXPECT_EQ(2, state.PC);

    state.PC = 255;
    state.M[255] = 0x40;  // two bytes
    fetchInstruction(state);
    EXPECT_EQ(255, state.A);
    EXPECT_EQ(1, state.PC);

    state.PC = 254;
    state.M[254] = 0x81;
    state.M[255] = 0x07;
    fetchInstruction(state);
    EXPECT_EQ(7, state.A);
    EXPECT_EQ(254, state.B);
    EXPECT_EQ(1, state.PC);
}

TEST(RunLoop, StopsOnOpcodeZeroAndFollowsJumps) {
    MemoryConsole console;
    MachineState state = machineWith(bytes({0x06, 0x00}));
    runMachine(state, console);
    EXPECT_EQ(1, state.PC);

    state = machineWith(bytes({0x40, 0x05, 0x00, 0x00, 0x00, 0x00}));
    runMachine(state, console);
    EXPECT_EQ(5, state.PC);

    state = machineWith(bytes({0x00}));
    EXPECT_FALSE(stepMachine(state, console));
    EXPECT_EQ(0, state.PC);

    // An unassigned four-byte opcode changes nothing but PC.
    state = machineWith(bytes({0xC5, 0x01, 0x02, 0x03, 0x00}));
    state.A = 9;
    runMachine(state, console);
    EXPECT_EQ(4, state.PC);
    EXPECT_EQ(9, state.A);
    EXPECT_EQ(0, state.F);
}

TEST(RunLoop, CountdownImageStopsWithZeroFlag) {
    MemoryConsole console;
    std::string image = bytes({0x86, 0x1E, 0x03, 0x47, 0x1F, 0x08, 0x49, 0x1E, 0x43, 0x0C, 0x40, 0x03, 0x00});
    image.resize(30, '\0');
    image += bytes({0x00, 0x2A, 0x00});
    MachineState state = machineWith(image);
    runMachine(state, console);
    EXPECT_EQ(12, state.PC);
    EXPECT_EQ(0, state.M[30]);
    EXPECT_TRUE(state.F & FLAG_Z);
}

TEST(InstructionTable, DrivesLengthsAndUnits) {
    for (const Instruction& instruction : instructionTable) {
        EXPECT_LE(instructionLength(instruction.opcode), 3u) << instruction.mnemonic;
        EXPECT_EQ(&instruction, findInstruction(instruction.mnemonic));
        EXPECT_EQ(&instruction, findInstruction(instruction.opcode));
    }
    EXPECT_EQ(Unit::None, unitByOpcode[0x0E]);
    EXPECT_EQ(Unit::None, unitByOpcode[0x87]);
    EXPECT_EQ(Unit::InputOutput, unitByOpcode[0x47]);
    EXPECT_EQ(nullptr, findInstruction("HLT"));
}

TEST(RunLoop, SelfModifyingCodeRunsAsWritten) {
    MemoryConsole console;
    // INC 6 turns the STN at 6 into a NOP; INC 10 turns the immediate 7 of
    // the VAL at 8 into 8; the run loop and single steps must both see it.
    const std::string image = bytes({0x48, 0x06, 0x48, 0x0A, 0x40, 0x06, 0x05, 0x06, 0x86, 20, 7, 0x00});
    MachineState looped = machineWith(image);
    runMachine(looped, console);
    MachineState stepped = machineWith(image);
    while (stepMachine(stepped, console)) {
    }
    for (const MachineState* state : {&looped, &stepped}) {
        EXPECT_EQ(FLAG_P, state->F);  // no N: the STN never ran
        EXPECT_EQ(8, state->M[20]);
        EXPECT_EQ(11, state->PC);
    }
    EXPECT_EQ(0, std::memcmp(&looped, &stepped, sizeof looped));

    // A write to PC through address 256 redirects the run at once.
    MachineState jumped = machineWith(bytes({0x86, 0xFF, 0x05, 0x00, 0x00, 0x00}));
    jumped.X = 1;  // VAL 255, 5 with X = 1 writes 5 into PC
    runMachine(jumped, console);
    EXPECT_EQ(5, jumped.PC);

    // A bounded run of a program that never stops.
    MachineState endless = machineWith(bytes({0x40, 0x00}));
    EXPECT_EQ(1000u, runMachineFor(endless, console, 1000));
}

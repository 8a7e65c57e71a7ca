// The machine record, loading an image, addressing, fetch, dispatch and the run loop.
#include "machine/instruction_set.hpp"
#include "machine/machine_state.hpp"
#include "support/machine_differences.hpp"
#include "support/program_bytes.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

using namespace tarn;
using tarntest::differences;
using tarntest::hex;
using tarntest::bytes;
using tarntest::patternedMachine;
using tarntest::expectRegistersReset;

namespace {

std::span<const Byte> asImage(const std::string& image) {
    return {reinterpret_cast<const Byte*>(image.data()), image.size()};
}

// A machine holding the given image from address 0, every other byte 0.
MachineState machineWith(const std::string& image) {
    MachineState state{};
    std::memcpy(state.M, image.data(), std::min(image.size(), sizeof state.M));
    return state;
}

// The opcodes the machine assigns; every other one does nothing.
bool isAssigned(unsigned opcode) {
    return opcode <= 13 || (opcode >= 64 && opcode <= 74) || (opcode >= 128 && opcode <= 134);
}


}  // namespace

// ------------------------------------------------------------------ loading

TEST(Loading, CopiesBytesUnalteredAndResetsRegistersButIR) {
    std::string image(256, '\0');
    for (int i = 0; i < 256; ++i) image[static_cast<std::size_t>(i)] = static_cast<char>(255 - i);
    MachineState state = patternedMachine();
    EXPECT_TRUE(loadImage(asImage(image), state));
    EXPECT_EQ(0, std::memcmp(state.M, image.data(), 256));
    expectRegistersReset(state, "full image");
    EXPECT_EQ(0x99, state.IR);  // the first fetch overwrites it
}

TEST(Loading, ShortOrEmptyImageLeavesTheRestOfMemoryAsItWas) {
    for (const std::string& image : {std::string("\x06\x00", 2), std::string()}) {
        MachineState state = patternedMachine();
        MachineState expected = state;
        std::memcpy(expected.M, image.data(), image.size());
        expected.F = expected.PC = expected.A = expected.B = expected.X = 0;
        EXPECT_TRUE(loadImage(asImage(image), state));
        EXPECT_EQ("", differences(expected, state)) << image.size() << " bytes";
    }
}

TEST(Loading, LongerImageLoadsOnlyItsFirst256Bytes) {
    std::string image(300, '\x06');
    image[256] = '\x47';
    MachineState state{};
    EXPECT_FALSE(loadImage(asImage(image), state));
    EXPECT_EQ(0x06, state.M[255]);
    EXPECT_EQ(0, state.PC | state.IR | state.A | state.B | state.X);
}

// --------------------------------------------------------------- addressing

TEST(Addressing, RegistersFollowMemoryAndNothingLiesBeyond) {
    MachineState state = patternedMachine();
    const Byte* registers[] = {&state.PC, &state.IR, &state.A, &state.B, &state.X};
    for (unsigned i = 0; i < 5; ++i) EXPECT_EQ(*registers[i], readByte(state, 256 + i)) << 256 + i;
    for (unsigned i = 0; i < 5; ++i) writeByte(state, 256 + i, static_cast<Byte>(0x30 + i));
    EXPECT_EQ(0x30, state.PC);
    EXPECT_EQ(0x31, state.IR);
    EXPECT_EQ(0x32, state.A);
    EXPECT_EQ(0x33, state.B);
    EXPECT_EQ(0x34, state.X);

    // Above 260: every read gives 0, and every write is dropped.
    const MachineState before = state;
    for (unsigned address = 261; address <= 510; ++address) {
        EXPECT_EQ(0, readByte(state, address)) << address;
        writeByte(state, address, 0xAA);
    }
    EXPECT_EQ("", differences(before, state));

    // Memory itself, for contrast.
    writeByte(state, 255, 0x44);
    EXPECT_EQ(0x44, state.M[255]);
    EXPECT_EQ(0x44, readByte(state, 255));
}

TEST(Addressing, EffectiveAddressIsAPlainSum) {
    MachineState state{};
    state.A = 250;
    state.X = 10;
    EXPECT_EQ(260u, effectiveAddress(state));
    state.A = 255;
    state.X = 255;
    EXPECT_EQ(510u, effectiveAddress(state));
}

// -------------------------------------------------------------------- fetch

TEST(Fetch, LengthFollowsTheTopTwoBitsOfEveryOpcode) {
    for (unsigned opcode = 0; opcode < 256; ++opcode) {
        const unsigned length = opcode < 0x40 ? 1 : opcode < 0x80 ? 2 : opcode < 0xC0 ? 3 : 4;
        MachineState state = patternedMachine();
        state.PC = 10;
        state.M[10] = static_cast<Byte>(opcode);
        state.M[11] = 0x11;
        state.M[12] = 0x22;
        state.M[13] = 0x33;
        MachineState expected = state;
        expected.IR = static_cast<Byte>(opcode);
        expected.PC = static_cast<Byte>(10 + length);
        if (length == 2 || length == 3) expected.A = 0x11;  // lengths 1 and 4 leave A and B stale
        if (length == 3) expected.B = 0x22;
        fetchInstruction(state);
        EXPECT_EQ("", differences(expected, state)) << "opcode " << hex(opcode);
    }
}

TEST(Fetch, OperandsPastAddress255ComeFromTheRegistersAndPcWraps) {
    struct Case {
        const char* what;
        Byte pc, opcode;
        Byte pcAfter, a, b;
    };
    // The pattern keeps M[0] and M[1] non-zero and IR at 0x99 before the
    // fetch: an operand read modulo 256, or before IR is written, shows.
    const Case cases[] = {
        {"one byte at 255", 255, 0x06, 0, 0xEE, 0xDD},
        {"two bytes at 255: A is PC", 255, 0x40, 1, 255, 0xDD},
        {"three bytes at 255: A is PC, B is IR", 255, 0x86, 2, 255, 0x86},
        {"three bytes at 254: B is PC", 254, 0x81, 1, 0x07, 254},
        {"four bytes at 253", 253, 0xC5, 1, 0xEE, 0xDD},
        {"four bytes at 255", 255, 0xC5, 3, 0xEE, 0xDD},
    };
    for (const Case& c : cases) {
        MachineState state = patternedMachine();
        state.PC = c.pc;
        state.M[c.pc] = c.opcode;
        state.M[255] = c.pc == 255 ? c.opcode : 0x07;
        MachineState expected = state;
        expected.IR = c.opcode;
        expected.PC = c.pcAfter;
        expected.A = c.a;
        expected.B = c.b;
        fetchInstruction(state);
        EXPECT_EQ("", differences(expected, state)) << c.what;
    }
}

// ----------------------------------------------------------------- run loop

TEST(RunLoop, UnassignedOpcodesDoNothing) {
    for (unsigned opcode = 0; opcode < 256; ++opcode) {
        if (isAssigned(opcode)) continue;
        for (const Byte flags : {Byte{0x00}, Byte{0xFF}}) {
            MachineState state = patternedMachine();
            state.F = flags;
            state.IR = static_cast<Byte>(opcode);
            state.A = 10;
            state.B = 20;
            const MachineState expected = state;
            MemoryConsole console("word");
            executeInstruction(state, console);
            EXPECT_EQ("", differences(expected, state)) << "opcode " << hex(opcode) << ", F " << hex(flags);
            EXPECT_EQ("", console.output());
            EXPECT_EQ(0u, console.inputTaken());
        }
    }
}

TEST(RunLoop, StopsOnOpcodeZeroWithoutTouchingAnything) {
    MachineState state = patternedMachine();
    state.PC = 0x40;
    state.M[0x40] = 0x00;
    for (const Byte flags : {Byte{0x00}, FLAG_D}) {
        state.F = flags;
        const MachineState expected = state;
        MemoryConsole console;
        runMachine(state, console);
        EXPECT_EQ("", differences(expected, state)) << "runMachine";
        EXPECT_EQ(0u, runMachineFor(state, console, 10));
        EXPECT_EQ("", differences(expected, state)) << "runMachineFor";
        EXPECT_FALSE(stepMachine(state, console));
        EXPECT_EQ("", differences(expected, state)) << "stepMachine";
        EXPECT_EQ(0u, console.tracesShown());
    }
}

TEST(RunLoop, StopsWhereTheProgramMeetsOpcodeZero) {
    MemoryConsole console;
    MachineState state = machineWith(bytes({0x06, 0x00}));
    runMachine(state, console);
    EXPECT_EQ(1, state.PC);

    state = machineWith(bytes({0x40, 0x05, 0x00, 0x00, 0x00, 0x00}));
    runMachine(state, console);
    EXPECT_EQ(5, state.PC);

    // An unassigned four-byte opcode changes nothing but PC.
    state = machineWith(bytes({0xC5, 0x01, 0x02, 0x03, 0x00}));
    state.A = 9;
    state.B = 8;
    runMachine(state, console);
    EXPECT_EQ(4, state.PC);
    EXPECT_EQ(9, state.A);
    EXPECT_EQ(8, state.B);
    EXPECT_EQ(0, state.F);

    // WRT 3 prints ciao and a line feed.
    state = machineWith(bytes({0x47, 0x03, 0x00, 0x63, 0x69, 0x61, 0x6F, 0x0A, 0x00}));
    runMachine(state, console);
    EXPECT_EQ(2, state.PC);
    EXPECT_EQ("ciao\n", console.output());
}

TEST(RunLoop, InpAndWrtReachTheConsole) {
    // INP 20 reads the word ok, WRT 20 prints it back.
    MemoryConsole console("ok\n");
    MachineState state = machineWith(bytes({0x46, 20, 0x47, 20, 0x00}));
    runMachine(state, console);
    EXPECT_EQ('o', state.M[20]);
    EXPECT_EQ('k', state.M[21]);
    EXPECT_EQ("ok", console.output());
    EXPECT_EQ(4, state.PC);
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
    EXPECT_EQ(FLAG_P | FLAG_Z, state.F);
    EXPECT_EQ("***", console.output());
}

TEST(RunLoop, EachOpcodeRunsAlikeInTheLoopAndInSingleSteps) {
    // One instruction with operands 30 and 40, from flags that take every
    // conditional jump and from flags that take none; at the start of memory
    // and near its end, where the operands and the next PC reach past address
    // 255; with an effective address in memory and one in the registers. Then
    // one instruction more, from wherever the first one left PC.
    for (unsigned opcode = 1; opcode < 256; ++opcode) {
        for (const unsigned at : {0u, 250u, 251u, 252u, 253u, 254u, 255u}) {
            for (const Byte flags : {Byte{0x00}, Byte{0x1E}}) {
                for (const Byte offset : {Byte{2}, Byte{220}}) {
                    MachineState image = patternedMachine();
                    image.M[at] = static_cast<Byte>(opcode);
                    if (at + 1 < 256) image.M[at + 1] = 30;
                    if (at + 2 < 256) image.M[at + 2] = 40;
                    image.PC = static_cast<Byte>(at);
                    image.F = flags;
                    image.X = offset;
                    MachineState looped = image;
                    MachineState stepped = image;
                    MemoryConsole loopConsole("word"), stepConsole("word");
                    const std::uint64_t executed = runMachineFor(looped, loopConsole, 2);
                    std::uint64_t steps = 0;
                    while (steps < 2 && stepMachine(stepped, stepConsole)) ++steps;
                    const std::string where = "opcode " + hex(opcode) + " at " + std::to_string(at) + ", F " +
                                              hex(flags) + ", X " + std::to_string(offset);
                    EXPECT_EQ(steps, executed) << where;
                    EXPECT_EQ("", differences(stepped, looped)) << where;
                    EXPECT_EQ(stepConsole.output(), loopConsole.output()) << where;
                    EXPECT_EQ(stepConsole.inputTaken(), loopConsole.inputTaken()) << where;
                }
            }
        }
    }
}

TEST(RunLoop, TraceIsShownBeforeEachInstructionWhileDIsSet) {
    struct Case {
        const char* what;
        std::string image;
        std::size_t traces;
    };
    const Case cases[] = {
        {"STD is not shown itself", bytes({0x01, 0x06, 0x06, 0x00}), 2},
        {"VAL with B = 0 sets D", bytes({0x86, 30, 0, 0x06, 0x06, 0x00}), 2},
        {"CPY with B = 0 sets D", bytes({0x85, 30, 0, 0x06, 0x06, 0x00}), 2},
        {"VAL with B = 5 sets P only", bytes({0x86, 30, 5, 0x06, 0x06, 0x00}), 0},
        {"CLD is shown, what follows it not", bytes({0x01, 0x06, 0x07, 0x06, 0x06, 0x00}), 2},
        {"D back on after CLD", bytes({0x01, 0x07, 0x06, 0x01, 0x06, 0x06, 0x00}), 3},
        {"STZ, STO, STP, STN set no D", bytes({0x02, 0x03, 0x04, 0x05, 0x06, 0x00}), 0},
    };
    for (const Case& c : cases) {
        MachineState looped = machineWith(c.image);
        MemoryConsole loopConsole;
        runMachine(looped, loopConsole);
        EXPECT_EQ(c.traces, loopConsole.tracesShown()) << c.what << ": runMachine";

        MachineState bounded = machineWith(c.image);
        MemoryConsole boundedConsole;
        runMachineFor(bounded, boundedConsole, 1000);
        EXPECT_EQ(c.traces, boundedConsole.tracesShown()) << c.what << ": runMachineFor";

        MachineState stepped = machineWith(c.image);
        MemoryConsole stepConsole;
        while (stepMachine(stepped, stepConsole)) {
        }
        EXPECT_EQ(c.traces, stepConsole.tracesShown()) << c.what << ": stepMachine";
        EXPECT_EQ("", differences(stepped, looped)) << c.what;
        EXPECT_EQ("", differences(stepped, bounded)) << c.what;
    }
}

TEST(RunLoop, BoundedRunCountsWhatItExecutes) {
    MemoryConsole console;
    const std::string twoNops = bytes({0x06, 0x06, 0x00});
    struct Case {
        std::uint64_t limit, executed;
        Byte pc;
    };
    for (const Case& c : {Case{0, 0, 0}, Case{1, 1, 1}, Case{2, 2, 2}, Case{3, 2, 2}, Case{100, 2, 2}}) {
        MachineState state = machineWith(twoNops);
        EXPECT_EQ(c.executed, runMachineFor(state, console, c.limit)) << "limit " << c.limit;
        EXPECT_EQ(c.pc, state.PC) << "limit " << c.limit;
    }

    // A program that never stops, untraced and traced (STD, then JMP 1).
    MachineState endless = machineWith(bytes({0x40, 0x00}));
    EXPECT_EQ(1000u, runMachineFor(endless, console, 1000));
    MachineState traced = machineWith(bytes({0x01, 0x40, 0x01}));
    MemoryConsole traceConsole;
    EXPECT_EQ(10u, runMachineFor(traced, traceConsole, 10));
    EXPECT_EQ(9u, traceConsole.tracesShown());
    EXPECT_EQ(1, traced.PC);
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
    EXPECT_EQ("", differences(stepped, looped));

    // A write to PC through address 256 redirects the run at once.
    MachineState jumped = machineWith(bytes({0x86, 0xFF, 0x05, 0x00, 0x00, 0x00}));
    jumped.X = 1;  // VAL 255, 5 with X = 1 writes 5 into PC
    runMachine(jumped, console);
    EXPECT_EQ(5, jumped.PC);
}

// ---------------------------------------------------------------- the table

TEST(InstructionTable, NamesEveryAssignedOpcodeAndNoOther) {
    const std::pair<unsigned, std::string_view> assigned[] = {
        {0, "RST"},       {1, "STD"},       {2, "STZ"},    {3, "STO"},   {4, "STP"},   {5, "STN"},
        {6, "NOP"},       {7, "CLD"},       {8, "CLZ"},    {9, "CLO"},   {10, "CLP"},  {11, "CLN"},
        {12, "INCOFFST"}, {13, "DECOFFST"}, {64, "JMP"},   {65, "JPD"},  {66, "JPO"},  {67, "JPZ"},
        {68, "JPP"},      {69, "JPN"},      {70, "INP"},   {71, "WRT"},  {72, "INC"},  {73, "DEC"},
        {74, "VALOFFST"}, {128, "CMP"},     {129, "ADD"},  {130, "SUB"}, {131, "MUL"}, {132, "DIV"},
        {133, "CPY"},     {134, "VAL"},
    };
    for (const auto& [opcode, mnemonic] : assigned) {
        const Instruction* byOpcode = findInstruction(static_cast<Byte>(opcode));
        ASSERT_NE(nullptr, byOpcode) << opcode;
        EXPECT_EQ(mnemonic, byOpcode->mnemonic) << opcode;
        const Instruction* byName = findInstruction(mnemonic);
        ASSERT_NE(nullptr, byName) << mnemonic;
        EXPECT_EQ(opcode, byName->opcode) << mnemonic;
    }
    for (unsigned opcode = 0; opcode < 256; ++opcode) {
        if (isAssigned(opcode)) continue;
        EXPECT_EQ(nullptr, findInstruction(static_cast<Byte>(opcode))) << opcode;
    }
    EXPECT_EQ(nullptr, findInstruction("HLT"));
    EXPECT_EQ(nullptr, findInstruction("jmp"));
}

// The run loop looks at D again only after the instructions whose row says
// they may set it: a row that said otherwise would let a program run on
// untraced once D is set.
TEST(InstructionTable, MaySetDIsTrueExactlyForTheInstructionsThatSetIt) {
    for (unsigned opcode = 1; opcode < 256; ++opcode) {
        bool set = false;
        for (const Byte b : {Byte{0}, Byte{1}}) {
            MachineState state = patternedMachine();
            state.F = 0;
            state.IR = static_cast<Byte>(opcode);
            state.A = 0x10;
            state.B = b;
            state.X = 0;
            MemoryConsole console("parola");
            executeInstruction(state, console);
            set = set || (state.F & FLAG_D);
        }
        EXPECT_EQ(set, maySetDebugByOpcode[opcode]) << "opcode " << hex(opcode);
    }
}

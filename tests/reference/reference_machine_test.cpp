// The reference model on its own, on small programs whose outcome is known by
// hand: the fuzz harness trusts it, so it is checked here without the machine.
#include "reference/reference_machine.hpp"
#include "support/program_bytes.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

using tarnref::Byte;
using tarnref::ReferenceRun;
using tarntest::traceDisplay;

namespace {

// A run of the model on an image (the rest of memory 0) and an input, for at
// most `limit` instructions.
ReferenceRun run(std::initializer_list<int> image, std::string input = {}, std::uint64_t limit = 1000) {
    ReferenceRun r;
    r.input = std::move(input);
    std::vector<Byte> bytes;
    for (const int b : image) bytes.push_back(static_cast<Byte>(b));
    tarnref::loadReference(r, bytes.data(), bytes.size());
    tarnref::runReference(r, limit);
    return r;
}

// A program that sets M[10] and M[20], runs one three-byte instruction on
// them (EA 10, B 20) and stops.
ReferenceRun arithmetic(int opcode, int a, int b, Byte flags = 0) {
    ReferenceRun r;
    r.state.M[0] = static_cast<Byte>(opcode);
    r.state.M[1] = 10;
    r.state.M[2] = 20;
    r.state.M[10] = static_cast<Byte>(a & 0xFF);
    r.state.M[20] = static_cast<Byte>(b & 0xFF);
    r.state.F = flags;
    tarnref::runReference(r, 10);
    return r;
}

}  // namespace

TEST(ReferenceModel, FetchLengthsAndWrap) {
    EXPECT_EQ(1, run({0x06, 0x00}).state.PC);
    EXPECT_EQ(5, run({0x40, 0x05, 0, 0, 0, 0}).state.PC);
    const ReferenceRun skipped = run({0xC5, 9, 9, 9, 0});
    EXPECT_EQ(4, skipped.state.PC);
    EXPECT_EQ(0, skipped.state.A);

    // A three-byte opcode at 255 loads PC (255) into A and the opcode into B.
    ReferenceRun top;
    top.state.PC = 255;
    top.state.M[255] = 0x8A;
    tarnref::referenceStep(top);
    EXPECT_EQ(255, top.state.A);
    EXPECT_EQ(0x8A, top.state.B);
    EXPECT_EQ(2, top.state.PC);

    // A two-byte instruction at 255 leaves PC at 1.
    ReferenceRun two;
    two.state.PC = 255;
    two.state.M[255] = 0x47;
    tarnref::referenceStep(two);
    EXPECT_EQ(1, two.state.PC);
    EXPECT_EQ(255, two.state.A);
}

TEST(ReferenceModel, AddressesPastMemory) {
    tarn::MachineState s{};
    s.PC = 1, s.IR = 2, s.A = 3, s.B = 4, s.X = 5;
    for (unsigned a = 256; a <= 260; ++a) EXPECT_EQ(a - 255, tarnref::readAddress(s, a));
    EXPECT_EQ(0, tarnref::readAddress(s, 261));
    EXPECT_EQ(0, tarnref::readAddress(s, 510));
    const tarn::MachineState before = s;
    tarnref::writeAddress(s, 261, 9);
    tarnref::writeAddress(s, 510, 9);
    EXPECT_EQ(0, std::memcmp(&before, &s, sizeof s));

    // VALOFFST 10, VAL 250, 7: A + X = 260 is X itself.
    EXPECT_EQ(7, run({0x4A, 10, 0x86, 250, 7, 0}).state.X);
}

TEST(ReferenceModel, ControlUnit) {
    EXPECT_EQ(0x1D, run({1, 2, 3, 4, 5, 8, 0}).state.F);
    EXPECT_EQ(0x17, run({1, 2, 3, 4, 5, 10, 0}).state.F);
    EXPECT_EQ(0x0F, run({1, 2, 3, 4, 5, 11, 0}).state.F);
    EXPECT_EQ(0x1E, run({1, 2, 3, 4, 5, 7, 0}).state.F);
    EXPECT_EQ(0x1B, run({1, 2, 3, 4, 5, 9, 0}).state.F);
    // JPO tests O, JPZ tests Z.
    EXPECT_EQ(3, run({2, 0x42, 10, 0}).state.PC);   // STZ, JPO 10: not taken
    EXPECT_EQ(10, run({2, 0x43, 10, 0}).state.PC);  // STZ, JPZ 10: taken
    EXPECT_EQ(10, run({3, 0x42, 10, 0}).state.PC);  // STO, JPO 10: taken
    // VALOFFST 3, VAL 10, 7.
    const ReferenceRun val = run({0x4A, 3, 0x86, 10, 7, 0});
    EXPECT_EQ(7, val.state.M[13]);
    EXPECT_EQ(0x08, val.state.F);
    EXPECT_EQ(0x08, run({0x86, 10, 200, 0}).state.F);
    // CPY 20, 21 exchanges and sets P; CPY 20, 0 sets D.
    ReferenceRun cpy = run({0x85, 20, 21, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x11, 0x22});
    EXPECT_EQ(0x22, cpy.state.M[20]);
    EXPECT_EQ(0x11, cpy.state.M[21]);
    EXPECT_EQ(0x08, cpy.state.F);
    EXPECT_EQ(0x01, run({0x85, 20, 0, 0}, {}, 1).state.F);
    // CPY with A + X = 259 (B): B takes M[B], then the old B goes to M[new B].
    ReferenceRun regs;
    regs.state.M[0] = 0x85, regs.state.M[1] = 250, regs.state.M[2] = 30;
    regs.state.M[30] = 40;
    regs.state.X = 9;
    tarnref::referenceStep(regs);
    EXPECT_EQ(40, regs.state.B);
    EXPECT_EQ(30, regs.state.M[40]);
    EXPECT_EQ(0x08, regs.state.F);
}

TEST(ReferenceModel, ArithmeticUnit) {
    struct Case {
        int opcode, a, b, result, rest, flags;
    };
    const Case cases[] = {
        {72, 127, 0, 0, 0, 0x06},    {72, -1, 0, 0, 0, 0x02},      {73, -128, 0, 0, 0, 0x06},
        {73, 0, 0, 0xFF, 0, 0x10},   {129, 100, 27, 127, 27, 0x08}, {129, 100, 28, 0, 28, 0x06},
        {129, -128, -1, 127, 0xFF, 0x08}, {129, -100, -100, 56, -100, 0x08},
        {130, -128, 1, 0, 1, 0x06},  {130, 5, -3, 8, -3, 0x08},    {130, 100, -100, -56, -100, 0x10},
        {131, 16, 8, 0, 8, 0x06},    {131, -16, 8, 0x80, 8, 0x10}, {131, -1, -1, 1, -1, 0x08},
        {131, -16, 9, 112, 9, 0x08},
        {132, 7, 2, 3, 1, 0x08},     {132, -7, 2, -3, -1, 0x10},   {132, 7, -2, -3, 1, 0x10},
        {132, 1, 2, 0, 1, 0x02},     {132, 7, 0, 7, 0, 0x00},      {132, -128, -1, 0x80, 0, 0x10},
        {128, 5, 5, 5, 5, 0x02},     {128, 0x80, 0x7F, 0x80, 0x7F, 0x08}, {128, 1, 0xFF, 1, 0xFF, 0x10},
    };
    for (const Case& c : cases) {
        const ReferenceRun r = arithmetic(c.opcode, c.a, c.b);
        EXPECT_EQ(c.result & 0xFF, r.state.M[10]) << c.opcode << " " << c.a << " " << c.b;
        EXPECT_EQ(c.rest & 0xFF, r.state.M[20]) << c.opcode << " " << c.a << " " << c.b;
        EXPECT_EQ(c.flags, r.state.F) << c.opcode << " " << c.a << " " << c.b;
    }
    // Flags are only ever added.
    EXPECT_EQ(0x1F, arithmetic(129, 1, 1, 0x17).state.F);
    // DIV with A + X = B: the remainder is what stays.
    const ReferenceRun same = run({0x84, 20, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7});
    EXPECT_EQ(0, same.state.M[20]);
    EXPECT_EQ(0x08, same.state.F);
    // INCOFFST at 255, DECOFFST at 0, no flags.
    EXPECT_EQ(0, run({0x4A, 255, 0x0C, 0}).state.X);
    const ReferenceRun down = run({0x0D, 0});
    EXPECT_EQ(255, down.state.X);
    EXPECT_EQ(0, down.state.F);
    // With X = 5, INC 10 increments address 15.
    EXPECT_EQ(1, run({0x4A, 5, 0x48, 10, 0}).state.M[15]);
}

TEST(ReferenceModel, InputWords) {
    ReferenceRun r = run({0x46, 100, 0x46, 120, 0}, "ciao mondo");
    EXPECT_EQ("ciao", std::string(reinterpret_cast<const char*>(&r.state.M[100]), 4));
    EXPECT_EQ(0, r.state.M[104]);
    EXPECT_EQ("mondo", std::string(reinterpret_cast<const char*>(&r.state.M[120]), 5));
    EXPECT_EQ(10u, r.inputPosition);

    // The delimiter stays; leading blanks of every kind go.
    r = run({0x46, 100, 0}, " \t\n\v\f\rab cd");
    EXPECT_EQ(8u, r.inputPosition);
    // X plays no part.
    EXPECT_EQ('z', run({0x4A, 7, 0x46, 100, 0}, "z").state.M[100]);
    // A 0 ends the copy but the word is consumed whole.
    r = run({0x46, 100, 0}, std::string("ab\0cd ef", 8));
    EXPECT_EQ('b', r.state.M[101]);
    EXPECT_EQ(0, r.state.M[102]);
    EXPECT_EQ(0, r.state.M[103]);
    EXPECT_EQ(5u, r.inputPosition);
    // End of input: nothing stored, all of it taken.
    r = run({0x46, 100, 0}, "   ");
    EXPECT_EQ(0, r.state.M[100]);
    EXPECT_EQ(3u, r.inputPosition);

    // A word at 250 runs through PC, IR, A: from the new A on, the rest
    // follows it. Characters 0..5 go to 250..255, 'G' to PC, 'H' to IR, 'I'
    // (73) to A, then character 9 goes to 73 + 9 = 82.
    ReferenceRun top;
    top.input = "ABCDEFGHIJ";
    top.state.M[0] = 0x46;
    top.state.M[1] = 250;
    tarnref::referenceStep(top);
    EXPECT_EQ('F', top.state.M[255]);
    EXPECT_EQ('G', top.state.PC);
    EXPECT_EQ('H', top.state.IR);
    EXPECT_EQ('I', top.state.A);
    EXPECT_EQ('J', top.state.M[82]);
}

TEST(ReferenceModel, WriteStrings) {
    EXPECT_EQ("ciao\n", run({0x47, 3, 0, 'c', 'i', 'a', 'o', '\n', 0}).output);
    EXPECT_EQ("", run({0x47, 50, 0}).output);
    // Past 255 the string goes on through PC, IR, A, B, X and stops at 261.
    ReferenceRun r;
    r.state.M[0] = 0x4A, r.state.M[1] = 'x';        // VALOFFST 'x'
    r.state.M[2] = 0x86, r.state.M[3] = 'y', r.state.M[4] = 'b';  // VAL: B = 'b'
    r.state.M[5] = 0x40, r.state.M[6] = '>';        // JMP to address 62
    r.state.M[62] = 0x47, r.state.M[63] = 250;  // WRT 250 (62 is '>')
    for (int a = 250; a < 256; ++a) r.state.M[a] = '.';
    tarnref::runReference(r, 10);
    EXPECT_EQ(std::string("......") + char(64) + char(0x47) + char(250) + "bx", r.output);
}

TEST(ReferenceModel, TraceDisplay) {
    // STD, STZ, STP, 8A 05 07, CLD, NOP.
    const ReferenceRun r = run({0x01, 0x02, 0x04, 0x8A, 0x05, 0x07, 0x07, 0x06, 0x00});
    EXPECT_EQ(traceDisplay(2, "Debug ", "STZ", 0, 0, 0) + traceDisplay(3, "Debug Zero ", "STP", 0, 0, 0) +
                  traceDisplay(6, "Debug Zero Positive ", "NOP", 5, 7, 0) +
                  traceDisplay(7, "Debug Zero Positive ", "CLD", 5, 7, 0),
              r.output);
    tarn::MachineState s{};
    s.F = 0x3F;
    s.IR = 12;
    EXPECT_EQ(traceDisplay(0, "Debug Zero Overflow Positive Negative dIv_x_ZeRo!!! ", "INCOFFST", 0, 0, 0),
              tarnref::displayText(s));
    EXPECT_EQ("RST", tarnref::mnemonicName(0));
    EXPECT_EQ("DECOFFST", tarnref::mnemonicName(13));
    EXPECT_EQ("NOP", tarnref::mnemonicName(14));
    EXPECT_EQ("VALOFFST", tarnref::mnemonicName(74));
    EXPECT_EQ("NOP", tarnref::mnemonicName(75));
    EXPECT_EQ("VAL", tarnref::mnemonicName(134));
    EXPECT_EQ("NOP", tarnref::mnemonicName(135));
    EXPECT_EQ("NOP", tarnref::mnemonicName(255));
}

TEST(ReferenceModel, ThreeAsterisks) {
    ReferenceRun r = run({0x86, 0x1E, 0x03, 0x47, 0x1F, 0x08, 0x49, 0x1E, 0x43, 0x0C, 0x40, 0x03, 0x00, 0, 0, 0,
                          0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x2A, 0x00});
    EXPECT_EQ("***", r.output);
    EXPECT_EQ(12, r.state.PC);
}

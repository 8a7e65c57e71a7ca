// The disassembler: its sources assemble back into the very same image, and
// it tells code from data by following the control flow.
#include "machine/instruction_set.hpp"
#include "tools/assembler.hpp"
#include "tools/disassembler.hpp"
#include "tools/instruction_forms.hpp"

#include <gtest/gtest.h>

#include <random>

using namespace tarn;

namespace {

// Disassembles and assembles again; the image must come back unchanged.
void expectRoundTrip(const std::vector<Byte>& image, const std::string& what) {
    const std::string source = disassemble(image);
    const Assembly assembly = assemble(source);
    std::string errors;
    for (const Diagnostic& diagnostic : assembly.diagnostics) errors += formatDiagnostic("dis", diagnostic) + "\n";
    ASSERT_TRUE(assembly.diagnostics.empty()) << what << "\n" << errors << source;
    ASSERT_EQ(image, assembly.image) << what << "\n" << source;
}

std::string listBytes(const std::vector<Byte>& image) {
    std::string text;
    for (Byte byte : image) text += std::to_string(byte) + " ";
    return text;
}

// The statement lines of a disassembly, comments left out and blanks squeezed:
// "L_03: JMP L_03".
std::vector<std::string> statementsOf(const std::string& source) {
    std::vector<std::string> statements;
    std::size_t start = 0;
    while (start < source.size()) {
        const std::size_t end = source.find('\n', start);
        std::string line = source.substr(start, end - start);
        start = end + 1;
        line = line.substr(0, line.find(';'));
        const std::size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos) continue;
        line = line.substr(first, line.find_last_not_of(' ') - first + 1);
        std::string squeezed;
        for (char c : line)
            if (c != ' ' || squeezed.back() != ' ') squeezed += c;
        statements.push_back(squeezed);
    }
    return statements;
}

}  // namespace

TEST(DisassemblerRoundTrip, RandomImagesOfEveryLength) {
    std::mt19937 random(20240521);
    for (int round = 0; round < 3000; ++round) {
        const auto length = std::uniform_int_distribution<std::size_t>(0, 256)(random);
        std::vector<Byte> image(length);
        // Some images draw from a few opcodes and small values, so that long
        // stretches decode as code; some end in a run of zeros.
        const int style = round % 4;
        for (Byte& byte : image) {
            const auto value = static_cast<unsigned>(random());
            if (style == 1) {
                const Instruction& instruction = instructionTable[value % instructionTable.size()];
                byte = (value >> 8) % 3 == 0 ? static_cast<Byte>((value >> 16) % length) : instruction.opcode;
            } else {
                byte = static_cast<Byte>(value);
            }
        }
        if (style == 2)
            for (std::size_t i = length / 2; i < length; ++i) image[i] = 0;
        expectRoundTrip(image, "image " + std::to_string(round) + ": " + listBytes(image));
    }
}

TEST(DisassemblerRoundTrip, RandomValidProgramsDecodeEntirelyAsCode) {
    // Straight-line programs from the instruction table: a JMP goes to the
    // instruction after it, the other jumps to the start of any instruction,
    // and only the last one is RST, so every instruction is reached and must
    // come back as itself.
    std::mt19937 random(7);
    for (int round = 0; round < 500; ++round) {
        std::vector<const Instruction*> program;
        std::vector<unsigned> starts;
        unsigned size = 0;
        const unsigned wanted = std::uniform_int_distribution<unsigned>(1, 80)(random);
        while (program.size() < wanted) {
            const Instruction& instruction = instructionTable[1 + random() % (instructionTable.size() - 1)];
            if (size + instructionLength(instruction.opcode) + 1 > 256) break;
            program.push_back(&instruction);
            starts.push_back(size);
            size += instructionLength(instruction.opcode);
        }
        std::vector<Byte> image;
        std::vector<std::string> expected;
        for (const Instruction* instruction : program) {
            image.push_back(instruction->opcode);
            expected.push_back(std::string(instruction->mnemonic));
            const unsigned next = static_cast<unsigned>(image.size()) + operandCount(instruction->opcode);
            for (unsigned index = 0; index < operandCount(instruction->opcode); ++index) {
                auto value = static_cast<unsigned>(random());
                if (flowOf(*instruction) == Flow::Jumps) value = next;
                if (flowOf(*instruction) == Flow::Branches) value = starts[value % starts.size()];
                image.push_back(static_cast<Byte>(value));
            }
        }
        image.push_back(0);
        expected.push_back("RST");
        const std::size_t dataBytes = random() % 20;
        for (std::size_t i = 0; i < dataBytes && image.size() < 256; ++i) image.push_back(static_cast<Byte>(random()));

        const std::string what = "program " + std::to_string(round) + ": " + listBytes(image);
        expectRoundTrip(image, what);
        const std::vector<std::string> statements = statementsOf(disassemble(image));
        ASSERT_GE(statements.size(), expected.size()) << what;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            std::string statement = statements[i];
            if (statement.find(':') != std::string::npos) statement = statement.substr(statement.find(':') + 2);
            ASSERT_EQ(expected[i], statement.substr(0, statement.find(' '))) << what;
        }
    }
}

TEST(Disassembler, FollowsJumpsAndLabelsTheAddressesInstructionsUse) {
    // The asterischi program: code up to the RST at 12, zeros, a counter at
    // 30 and the string "*" at 31.
    std::vector<Byte> image = {0x86, 0x1E, 0x03, 0x47, 0x1F, 0x08, 0x49, 0x1E, 0x43, 0x0C, 0x40, 0x03, 0x00};
    image.resize(33);
    image[31] = '*';
    EXPECT_EQ((std::vector<std::string>{"VAL D_1E, 3", "L_03: WRT D_1F", "CLZ", "DEC D_1E", "JPZ L_0C", "JMP L_03",
                                        "L_0C: RST",
                                        "DB 0, 0, 0, 0, 0, 0, 0, 0", "DB 0, 0, 0, 0, 0, 0, 0, 0", "DB 0",
                                        "D_1E: DB 0", "D_1F: DB 42, 0"}),
              statementsOf(disassemble(image)));
}

TEST(Disassembler, WhatControlFlowReachesOrNot) {
    struct Case {
        const char* what;
        std::vector<Byte> image;
        std::vector<std::string> statements;
    };
    const Case cases[] = {
        {"an empty image", {}, {}},
        {"text after the code becomes a string",
         {0x47, 0x03, 0x00, 'c', 'i', 'a', 'o', '\n', 0},
         {"WRT D_03", "RST", "D_03: DB \"ciao\\n\", 0"}},
        {"an unassigned opcode is kept as DB and the flow goes on after it",
         {0x0E, 0xC0, 1, 2, 3, 0x06, 0x00},
         {"DB 14", "DB 192, 1, 2, 3", "NOP", "RST"}},
        {"JMP follows only its target",
         {0x40, 0x03, 0x06, 0x00},
         {"JMP L_03", "DB 6", "L_03: RST"}},
        {"a branch follows its target and the next instruction",
         {0x43, 0x04, 0x06, 0x00, 0x08, 0x00},
         {"JPZ L_04", "NOP", "RST", "L_04: CLZ", "RST"}},
        {"an instruction that runs past the image end stays data",
         {0x06, 0x86, 0x01},
         {"NOP", "DB 134, 1"}},
        {"a target inside another instruction gets a label with an offset",
         {0x86, 0x02, 0x00, 0x40, 0x01},
         {"L_00: VAL L_00+2, 0", "JMP L_00+1"}},
        {"a target beyond the image is a number",
         {0x40, 0xC8},
         {"JMP 200"}},
        {"VALOFFST and the immediate of VAL are values, not addresses",
         {0x4A, 0x00, 0x86, 0x07, 0x00, 0x00, 0x00, 0x00},
         {"VALOFFST 0", "VAL D_07, 0", "RST", "DB 0", "D_07: DB 0"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.statements, statementsOf(disassemble(c.image))) << c.what;
        expectRoundTrip(c.image, c.what);
    }
}

TEST(Disassembler, FullImageWithAnInstructionSplitByTheEnd) {
    // 254 NOPs then a VAL at 254 whose second operand would be address 256:
    // the VAL cannot be written as an instruction. Then the same with the
    // image wrapping: a NOP at 255 falls through to address 0.
    std::vector<Byte> image(256, 0x06);
    image[254] = 0x86;
    expectRoundTrip(image, "VAL at 254");
    EXPECT_EQ("DB 134, 6", statementsOf(disassemble(image)).back());

    image[254] = 0x06;
    expectRoundTrip(image, "NOPs all round");
    EXPECT_EQ("NOP", statementsOf(disassemble(image)).back());
}

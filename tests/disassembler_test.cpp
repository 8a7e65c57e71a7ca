// The disassembler: its sources assemble back into the very same image, it
// tells code from data by following the control flow, and it writes data the
// way the program uses it. In process through the library; end to end through
// the real tarndis and tarnasm in tarndis_output_test.cpp.
#include "machine/instruction_set.hpp"
#include "assembly/assembler.hpp"
#include "assembly/disassembler.hpp"
#include "assembly/instruction_forms.hpp"

#include <gtest/gtest.h>

#include <random>

using namespace tarn;

namespace {

// Disassembles and assembles again; the image must come back unchanged.
void expectRoundTrip(const std::vector<Byte>& image, const std::string& what) {
    const std::string source = disassemble(image);
    const Assembly assembly = assemble(source);
    std::string errors;
    for (const std::string& line : formatReport("dis", assembly)) errors += line + "\n";
    // Warnings are fine (VAL x, 0 gets one), errors are not.
    ASSERT_FALSE(assembly.failed()) << what << "\n" << errors << source;
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
        // The address comment is the last thing on every line, and has no ';'
        // of its own (strings and characters before it may).
        line = line.substr(0, line.rfind(';'));
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
                                        "L_0C: RST", "ORG 30", "D_1E: DB 0", "D_1F: DB \"*\", 0"}),
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
        {"an unassigned opcode that a jump reaches is code: its label is L_xx",
         {0x40, 0x02, 0x0E, 0x00},
         {"JMP L_02", "L_02: DB 14", "RST"}},
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
        {"a target beyond the image gets a label after an ORG at the end",
         {0x40, 0xC8},
         {"JMP B_C8", "ORG 200", "B_C8:"}},
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

struct CommentCase {
    const char* what;
    std::vector<Byte> image;
    std::string text;
};

// Each line's comment gives its address as the debugger writes addresses:
// hexadecimal first, the decimal in parentheses; from 0x00 to 0xFF, a
// skipped run from its first to its last address, the label past the end.
TEST(Disassembler, EachCommentGivesTheAddressInHexadecimalThenInDecimal) {
    std::vector<Byte> full(256, 0);
    full[1] = 135;
    full[255] = 0xFF;
    const std::string header = " byte. Etichette: L_xx istruzioni, D_xx dati, B_xx oltre l'immagine"
                               " (xx: indirizzo esadecimale).\n";
    const CommentCase cases[] = {
        {"the first and the last address", full,
         "; 256" + header +
             "        RST                                     ; 0x00 (0)\n"
             "        DB        135                           ; 0x01 (1)\n"
             "        ORG       255                           ; 0x02 (2) .. 0xFE (254): 253 byte a 0\n"
             "        DB        255                           ; 0xFF (255)\n"},
        {"an unassigned code and a label past the end", {0x0E, 0x46, 0x06, 0x00, 0x00, 0x00},
         "; 6" + header +
             "        DB        14                            ; 0x00 (0) codice operativo non assegnato: non fa nulla\n"
             "        INP       B_06                          ; 0x01 (1)\n"
             "        RST                                     ; 0x03 (3)\n"
             "        DB        0, 0                          ; 0x04 (4)\n"
             "        ORG       6                             ; dopo la fine dell'immagine: nessun byte scritto\n"
             "B_06:                                           ; 0x06 (6)\n"},
    };
    for (const CommentCase& c : cases) {
        EXPECT_EQ(c.text, disassemble(c.image)) << c.what;
        expectRoundTrip(c.image, c.what);
    }
}

namespace {

struct DataCase {
    const char* what;
    std::vector<Byte> image;
    std::vector<std::string> statements;
};

void expectStatements(const DataCase& c) {
    EXPECT_EQ(c.statements, statementsOf(disassemble(c.image))) << c.what;
    expectRoundTrip(c.image, c.what);
}

// The bytes of a string.
std::vector<Byte> text(std::string_view characters) {
    return {characters.begin(), characters.end()};
}

std::string repeated(const std::string& piece, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += piece;
    return text;
}

std::vector<Byte> operator+(std::vector<Byte> left, const std::vector<Byte>& right) {
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

}  // namespace

TEST(DisassemblerData, WhatWrtPrintsIsAStringUpToItsZero) {
    const DataCase cases[] = {
        {"a single character", {0x47, 0x03, 0x00, '*', 0}, {"WRT D_03", "RST", "D_03: DB \"*\", 0"}},
        {"a line end alone", {0x47, 0x03, 0x00, '\n', 0}, {"WRT D_03", "RST", "D_03: DB \"\\n\", 0"}},
        {"every escape, and \\xHH for the bytes that are not printable",
         {0x47, 0x03, 0x00, 0x01, '"', '\\', '\r', '\t', 0xFF, 'A', 0x7F, 0},
         {"WRT D_03", "RST", "D_03: DB \"\\x01\\\"\\\\\\r\\t\\xFFA\\x7F\", 0"}},
        {"only up to the 0: what follows is data of its own",
         {0x47, 0x03, 0x00, '*', 0, 7, 8},
         {"WRT D_03", "RST", "D_03: DB \"*\", 0, 7, 8"}},
        {"a string without 0 runs to the end of the image",
         {0x47, 0x03, 0x00, 'o', 1},
         {"WRT D_03", "RST", "D_03: DB \"o\\x01\""}},
        {"a WRT of a 0 prints nothing: no string",
         {0x47, 0x03, 0x00, 0, '*'},
         {"WRT D_03", "RST", "D_03: DB 0, 42"}},
        {"a label inside the string cuts it in two strings",
         {0x47, 0x05, 0x46, 0x07, 0x00, '?', '+', '?', '\n', 0},
         {"WRT D_05", "INP D_07", "RST", "D_05: DB \"?+\"", "D_07: DB \"?\\n\", 0"}},
        {"text that no WRT prints is a string from three printable characters",
         {0x00, 'a', 'b', 0, 'a', 'b', 'c', 0},
         {"RST", "DB 97, 98, 0, \"abc\", 0"}},
    };
    for (const DataCase& c : cases) expectStatements(c);
}

TEST(DisassemblerData, CharactersWhereTheProgramUsesThemAsSuch) {
    const DataCase cases[] = {
        {"a byte compared with text that WRT prints",
         {0x47, 0x07, 0x80, 0x07, 0x09, 0x00, 0x00, '9', 0, '0'},
         {"WRT D_07", "CMP D_07, D_09", "RST", "DB 0", "D_07: DB \"9\", 0", "D_09: DB '0'"}},
        {"a byte compared with what INP reads, either way round",
         {0x46, 0x09, 0x80, 0x0A, 0x09, 0x00, 0x00, 0x00, 0x00, 0, 'q'},
         {"INP D_09", "CMP D_0A, D_09", "RST", "DB 0, 0, 0", "D_09: DB 0", "D_0A: DB 'q'"}},
        {"a byte compared with a number stays a number",
         {0x80, 0x04, 0x05, 0x00, '0', '0'},
         {"CMP D_04, D_05", "RST", "D_04: DB 48", "D_05: DB 48"}},
        {"a character compared with text that is not printable stays a number",
         {0x47, 0x06, 0x80, 0x06, 0x08, 0x00, '9', 0, 0x01},
         {"WRT D_06", "CMP D_06, D_08", "RST", "D_06: DB \"9\", 0", "D_08: DB 1"}},
        {"VAL stores characters into what WRT prints, but a 0 stays a number",
         {0x86, 0x0A, '*', 0x86, 0x0A, 0, 0x47, 0x0A, 0x00, 0x00, '?', 0},
         {"VAL D_0A, '*'", "VAL D_0A, 0", "WRT D_0A", "RST", "DB 0", "D_0A: DB \"?\", 0"}},
        {"VAL into a byte that is not text stores a number",
         {0x86, 0x04, '*', 0x00, 0},
         {"VAL D_04, 42", "RST", "D_04: DB 0"}},
        {"the apostrophe and the backslash are escaped",
         {0x86, 0x09, '\'', 0x86, 0x09, '\\', 0x47, 0x09, 0x00, '?', 0},
         {"VAL D_09, '\\''", "VAL D_09, '\\\\'", "WRT D_09", "RST", "D_09: DB \"?\", 0"}},
        {"a line end stored into text",
         {0x86, 0x06, '\n', 0x47, 0x06, 0x00, '?', 0},
         {"VAL D_06, '\\n'", "WRT D_06", "RST", "D_06: DB \"?\", 0"}},
        {"VAL into text past the end of the image",
         {0x86, 0x06, ';', 0x47, 0x06, 0x00},
         {"VAL B_06, ';'", "WRT B_06", "RST", "ORG 6", "B_06:"}},
    };
    for (const DataCase& c : cases) expectStatements(c);
}

TEST(DisassemblerData, AddressesPastTheEndShareOneLabelAfterTheImage) {
    const DataCase cases[] = {
        {"the first address after the image",
         {0x46, 0x03, 0x00},
         {"INP B_03", "RST", "ORG 3", "B_03:"}},
        {"the lowest address named is the label, the others are offsets from it",
         {0x47, 0x2A, 0x46, 0x28, 0x86, 0xFF, 0x01, 0x43, 0xC8, 0x00},
         {"WRT B_28+2", "INP B_28", "VAL B_28+215, 1", "JPZ B_28+160", "RST", "ORG 40", "B_28:"}},
        {"an address inside the image keeps its own label", {0x46, 0x02, 0x00}, {"INP L_02", "L_02: RST"}},
    };
    for (const DataCase& c : cases) expectStatements(c);
}

TEST(DisassemblerData, LongRunsOfZerosAreSkippedWithOrg) {
    std::vector<Byte> eight = {0x47, 0x0B, 0x00};
    eight.resize(11);
    std::vector<Byte> seven = {0x47, 0x0A, 0x00};
    seven.resize(10);
    std::vector<Byte> split = {0x47, 0x15, 0x49, 0x0A, 0x00};  // a label at 10 inside the zeros
    split.resize(21);
    std::vector<Byte> atTheEnd = {0x00};
    atTheEnd.resize(20);
    const DataCase cases[] = {
        {"eight zeros before more of the image", eight + text("*") + std::vector<Byte>{0},
         {"WRT D_0B", "RST", "ORG 11", "D_0B: DB \"*\", 0"}},
        {"seven zeros are written", seven + text("*") + std::vector<Byte>{0},
         {"WRT D_0A", "RST", "DB 0, 0, 0, 0, 0, 0, 0", "D_0A: DB \"*\", 0"}},
        {"a label cuts the run: five zeros before it, ten after", split + text("*") + std::vector<Byte>{0},
         {"WRT D_15", "DEC D_0A", "RST", "DB 0, 0, 0, 0, 0", "D_0A: DB 0", "ORG 21", "D_15: DB \"*\", 0"}},
        {"zeros at the end of the image are written, or the image would be shorter", atTheEnd,
         {"RST", "DB 0, 0, 0, 0, 0, 0, 0, 0", "DB 0, 0, 0, 0, 0, 0, 0, 0", "DB 0, 0, 0"}},
        {"zeros among other data", std::vector<Byte>{0x00, 5} + std::vector<Byte>(9, 0) + std::vector<Byte>{6},
         {"RST", "DB 5", "ORG 11", "DB 6"}},
    };
    for (const DataCase& c : cases) expectStatements(c);
}

TEST(DisassemblerData, LongStringsAreCutBetweenWords) {
    const std::vector<Byte> code = {0x47, 0x03, 0x00};
    const DataCase cases[] = {
        {"after the last blank that fits",
         code + text("Ciao, mondo! Sono un programma per tarnsim.\n") + std::vector<Byte>{0},
         {"WRT D_03", "RST", "D_03: DB \"Ciao, mondo! Sono un programma per \"", "DB \"tarnsim.\\n\", 0"}},
        {"after a line end",
         code + text("Prima riga di prova, abbastanza lunga.\nSeconda riga.") + std::vector<Byte>{0},
         {"WRT D_03", "RST", "D_03: DB \"Prima riga di prova, abbastanza lunga.\\n\"", "DB \"Seconda riga.\", 0"}},
        {"a word longer than a line is cut where the line is full",
         code + text(std::string(45, 'x')) + std::vector<Byte>{0},
         {"WRT D_03", "RST", "D_03: DB \"" + std::string(40, 'x') + "\"", "DB \"xxxxx\", 0"}},
        {"escapes count with their width",
         code + std::vector<Byte>(12, 0x01) + std::vector<Byte>{0},
         {"WRT D_03", "RST", "D_03: DB \"" + repeated("\\x01", 10) + "\"", "DB \"\\x01\\x01\", 0"}},
        {"a blank too early in the line does not count",
         code + text("ab " + std::string(42, 'y')) + std::vector<Byte>{0},
         {"WRT D_03", "RST", "D_03: DB \"ab " + std::string(37, 'y') + "\"", "DB \"yyyyy\", 0"}},
    };
    for (const DataCase& c : cases) expectStatements(c);
}

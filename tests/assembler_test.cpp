// The assembler in-process: what each construct of the language assembles
// to, and where each kind of error is reported.
#include "machine/instruction_set.hpp"
#include "tools/assembler.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace tarn;

namespace {

std::string describe(const std::vector<Diagnostic>& diagnostics) {
    std::string text;
    for (const Diagnostic& diagnostic : diagnostics) text += formatDiagnostic("src", diagnostic) + "\n";
    return text;
}

// The image of a source that must assemble without errors.
std::vector<Byte> imageOf(std::string_view source) {
    const Assembly assembly = assemble(source);
    EXPECT_TRUE(assembly.diagnostics.empty()) << source << "\n" << describe(assembly.diagnostics);
    return assembly.image;
}

std::string readText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

}  // namespace

TEST(Assembler, EveryMnemonicOfTheTableInAnyCaseWithItsOperands) {
    std::string source;
    std::vector<Byte> expected;
    bool lower = false;
    for (const Instruction& instruction : instructionTable) {
        std::string mnemonic(instruction.mnemonic);
        if (lower)
            for (char& c : mnemonic) c = static_cast<char>(c - 'A' + 'a');
        lower = !lower;
        source += "  " + mnemonic;
        expected.push_back(instruction.opcode);
        const unsigned length = instructionLength(instruction.opcode);
        if (length >= 2) {
            source += " 200";
            expected.push_back(200);
        }
        if (length == 3) {
            source += ", 7";
            expected.push_back(7);
        }
        source += "\n";
    }
    EXPECT_EQ(expected, imageOf(source));
    EXPECT_EQ((std::vector<Byte>{0}), imageOf("RST"));
}

TEST(Assembler, OperandsAreSumsOfNumbersCharactersAndLabels) {
    struct Case {
        const char* source;
        std::vector<Byte> bytes;
    };
    const Case cases[] = {
        {"VAL 0x1f, 0B101", {0x86, 0x1F, 5}},
        {"VAL 0XFF, 0b0", {0x86, 0xFF, 0}},
        {"VAL 'A', '\\n'", {0x86, 65, 10}},
        {"VAL ';', '\\''   ; a comment after a quoted semicolon", {0x86, 59, 39}},
        {"VAL -1, -128", {0x86, 255, 128}},
        {"VAL 300 - 100, +5", {0x86, 200, 5}},
        {"VAL 'a' - 'A' + 1, '\\x7F'", {0x86, 33, 127}},
        {"here: VAL here + 2, here-1+1", {0x86, 2, 0}},
        {"JMP end - 1\nend: RST", {0x40, 1, 0}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.bytes, imageOf(c.source)) << c.source;
}

TEST(Assembler, LabelsAreCaseSensitiveAndTakeTheAddressOfTheNextByte) {
    const char* source =
        "        jmp Start\n"
        "start:  DB 1\n"  // a different label from Start
        "Start:\n"
        "\n"
        "        ; a comment line\n"
        "        JMP start\n"
        "before_org:\n"
        "        ORG 10\n"
        "        JMP before_org\n"
        "        JMP after\n"
        "after:\n";
    EXPECT_EQ((std::vector<Byte>{0x40, 3, 1, 0x40, 2, 0, 0, 0, 0, 0, 0x40, 10, 0x40, 14}), imageOf(source));
}

TEST(Assembler, DataStringsKeepEveryByteWithoutTerminator) {
    EXPECT_EQ((std::vector<Byte>{'a', ';', 'b', ';', '\n', '\t', '\r', 0, '\\', '"', '\'', 'A', 0xE9, 'x', 1}),
              imageOf("DB \"a;b\", ';', \"\\n\\t\\r\\0\\\\\\\"\\'\\x41\\xe9\", 'x', 1 ; end"));
    EXPECT_EQ((std::vector<Byte>{0xC3, 0xA8}), imageOf("DB \"\xC3\xA8\""));  // UTF-8 passes through
    EXPECT_EQ((std::vector<Byte>{0x86, 0x03, 0x07, 'o', 'k', 0}), imageOf("VAL ok, 7\nok: DB \"ok\", 0\r\n"));
}

TEST(Assembler, ImageRunsFromZeroToTheHighestByteWritten) {
    EXPECT_EQ(std::vector<Byte>{}, imageOf(""));
    EXPECT_EQ(std::vector<Byte>{}, imageOf("; nothing but a comment\n  ORG 100\nlabel:\n"));
    EXPECT_EQ((std::vector<Byte>{0, 0, 2, 0, 0, 1}), imageOf("ORG 5\nDB 1\nORG 2\nDB 2"));
    EXPECT_EQ((std::vector<Byte>{6, 0, 0, 0}), imageOf("NOP\nDB 0, 0\nRST"));

    // Exactly 256 bytes fit, ending at address 255; a label after them is 256.
    const std::vector<Byte> full = imageOf("ORG 250\nDB \"abcde\"\nlast: DB 255\nend:\nORG 0\nVAL last, 9");
    ASSERT_EQ(256u, full.size());
    EXPECT_EQ((std::vector<Byte>{0x86, 255, 9, 0}), std::vector<Byte>(full.begin(), full.begin() + 4));
    EXPECT_EQ(255, full[255]);
}

TEST(Assembler, ExamplesAssembleCleanlyAndAsterischiIsTheKnownImage) {
    const std::filesystem::path folder = std::filesystem::path(TARNSIM_SOURCE_DIR) / "examples";
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".asm") continue;
        ++count;
        const Assembly assembly = assemble(readText(entry.path()));
        EXPECT_TRUE(assembly.diagnostics.empty()) << entry.path() << "\n" << describe(assembly.diagnostics);
        EXPECT_FALSE(assembly.image.empty()) << entry.path();
    }
    EXPECT_GE(count, 6);
    const std::string known = readText(folder / "asterischi.bin");
    EXPECT_EQ(std::vector<Byte>(known.begin(), known.end()), imageOf(readText(folder / "asterischi.asm")));
}

TEST(Assembler, ListingShowsAddressBytesAndSourceLine) {
    const char* source =
        "; prova\n"
        "inizio: VAL dato, 3\n"
        "        ORG 16\n"
        "dato:   DB \"abcdef\"\n";
    const Assembly assembly = assemble(source);
    ASSERT_TRUE(assembly.diagnostics.empty());
    EXPECT_EQ("                 ; prova\n"
              "00  86 10 03     inizio: VAL dato, 3\n"
              "                         ORG 16\n"
              "10  61 62 63 64  dato:   DB \"abcdef\"\n"
              "14  65 66\n",
              formatListing(source, assembly));
}

// ---------------------------------------------------------------------------
// Errors: one case per kind, with the position it is reported at.

struct ErrorCase {
    const char* name;
    const char* source;
    int line;
    int column;
    const char* message;
};

class AssemblerError : public testing::TestWithParam<ErrorCase> {};

TEST_P(AssemblerError, IsReportedAtItsLineAndColumn) {
    const ErrorCase& c = GetParam();
    const Assembly assembly = assemble(c.source);
    ASSERT_EQ(1u, assembly.diagnostics.size()) << describe(assembly.diagnostics);
    const Diagnostic& diagnostic = assembly.diagnostics.front();
    EXPECT_EQ(c.line, diagnostic.line);
    EXPECT_EQ(c.column, diagnostic.column);
    EXPECT_EQ(c.message, diagnostic.message);
    EXPECT_TRUE(assembly.image.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, AssemblerError,
    testing::Values(
        ErrorCase{"UnknownMnemonic", "  NOP\n  PUSH 1\n", 2, 3, "mnemonico sconosciuto 'PUSH'"},
        ErrorCase{"WrongNumberOfOperands", "x:\tADD x", 1, 4, "ADD richiede 2 operandi, qui ne ha 1"},
        ErrorCase{"MissingOperandAfterComma", "VAL 1,", 1, 7,
                  "atteso un numero, un carattere o un'etichetta, trovato la fine della riga"},
        ErrorCase{"MissingComma", "VAL 1 2", 1, 7, "atteso ',' o la fine della riga, trovato un numero"},
        ErrorCase{"UndefinedLabel", "NOP\n  JMP  fine ; oops", 2, 8, "etichetta non definita 'fine'"},
        ErrorCase{"LabelsAreCaseSensitive", "Fine: RST\nJMP fine", 2, 5, "etichetta non definita 'fine'"},
        ErrorCase{"LabelDefinedTwice", "a: NOP\n\n  a: RST", 3, 3, "etichetta 'a' gia' definita alla riga 1"},
        ErrorCase{"TwoLabelsOnALine", "a: b: NOP", 1, 4, "una riga puo' avere una sola etichetta"},
        ErrorCase{"ValueAbove255", "VAL 1, 250 + 6", 1, 8, "valore 256 fuori dall'intervallo -128..255"},
        ErrorCase{"ValueBelowMinus128", "DB 0, -129", 1, 7, "valore -129 fuori dall'intervallo -128..255"},
        ErrorCase{"HugeValue", "DB 99999999999999999999", 1, 4, "valore fuori dall'intervallo -128..255"},
        ErrorCase{"LabelValueOutOfRange", "JMP end\nORG 255\nDB 1\nend:", 1, 5,
                  "valore 256 fuori dall'intervallo -128..255"},
        ErrorCase{"OrgOutOfRange", "ORG -1", 1, 5, "valore -1 fuori dall'intervallo 0..255 di ORG"},
        ErrorCase{"OrgBeforeItsLabel", "ORG later\nlater: RST", 1, 5,
                  "l'etichetta 'later' e' definita piu' avanti: ORG usa solo etichette gia' definite"},
        ErrorCase{"MalformedHexNumber", "DB 0x", 1, 4, "numero non valido '0x'"},
        ErrorCase{"MalformedDecimalNumber", "JMP 12ab", 1, 5, "numero non valido '12ab'"},
        ErrorCase{"UnclosedString", "DB 1, \"abc ; no end", 1, 7, "stringa non chiusa: manca '\"'"},
        ErrorCase{"BadEscape", "DB \"ab\\q\"", 1, 7, "sequenza di escape non valida '\\q'"},
        ErrorCase{"ShortHexEscape", "DB '\\x4'", 1, 5, "sequenza di escape non valida '\\x4'"},
        ErrorCase{"LongCharacter", "DB 'ab'", 1, 4, "tra gli apici ci va un solo carattere (un byte)"},
        ErrorCase{"EmptyCharacter", "DB ''", 1, 4, "carattere vuoto: tra gli apici serve un carattere"},
        ErrorCase{"UnclosedCharacter", "DB 'a", 1, 4, "carattere non chiuso: manca '''"},
        ErrorCase{"StringAsOperand", "WRT \"ciao\"", 1, 5,
                  "atteso un numero, un carattere o un'etichetta, trovato una stringa"},
        ErrorCase{"UnexpectedCharacter", "NOP\nVAL 1, 2 * 3", 2, 10, "carattere inatteso '*'"},
        ErrorCase{"EmptyDb", "x: DB ; nothing", 1, 4, "DB richiede almeno un valore"},
        ErrorCase{"Overlap", "ORG 5\nDB 1, 2\nORG 6\n  DB 3", 4, 3, "l'indirizzo 6 e' gia' occupato dalla riga 2"},
        ErrorCase{"PastAddress255", "ORG 254\n  VAL 1, 2\n  NOP", 2, 3, "il programma va oltre l'indirizzo 255"}),
    [](const testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

TEST(AssemblerErrors, EveryErrorIsReportedInLineOrderWithoutCascades) {
    // A bad instruction still takes its room, so the label after it keeps its
    // address and nothing downstream is reported twice.
    const char* source =
        "      FOO 1\n"           // unknown: takes no room
        "      JMP 1, 2\n"        // wrong count: still two bytes
        "      VAL x, 0x\n"       // malformed number: still three bytes
        "x:    DB 300, \"a\\q\"\n"  // two errors on one line
        "      JMP nowhere\n"
        "x:    RST\n"
        "      ORG 2\n"
        "      DB 9\n";           // overlaps the VAL of line 3
    const Assembly assembly = assemble(source);
    EXPECT_EQ("src:1:7: errore: mnemonico sconosciuto 'FOO'\n"
              "src:2:7: errore: JMP richiede 1 operando, qui ne ha 2\n"
              "src:3:14: errore: numero non valido '0x'\n"
              "src:4:10: errore: valore 300 fuori dall'intervallo -128..255\n"
              "src:4:17: errore: sequenza di escape non valida '\\q'\n"
              "src:5:11: errore: etichetta non definita 'nowhere'\n"
              "src:6:1: errore: etichetta 'x' gia' definita alla riga 4\n"
              "src:8:7: errore: l'indirizzo 2 e' gia' occupato dalla riga 3\n",
              describe(assembly.diagnostics));
    EXPECT_TRUE(assembly.image.empty());
}

TEST(ManualPage, TarnsimListsEveryInstructionOfTheTable) {
    const std::string page = readText(std::filesystem::path(TARNSIM_SOURCE_DIR) / "man" / "tarnsim.1");
    for (const Instruction& instruction : instructionTable) {
        const std::string row = std::to_string(instruction.opcode) + "\t" + std::string(instruction.mnemonic) + "\t" +
                                std::to_string(instructionLength(instruction.opcode)) + "\t";
        EXPECT_NE(std::string::npos, page.find("\n" + row)) << row;
    }
}

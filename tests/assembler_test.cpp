// The assembler in-process: what each construct of the language assembles
// to, and where each kind of error is reported.
#include "machine/instruction_set.hpp"
#include "assembly/assembler.hpp"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

using namespace tarn;

namespace {

std::string describe(const std::vector<Diagnostic>& diagnostics) {
    std::string text;
    for (const Diagnostic& diagnostic : diagnostics) text += formatDiagnostic("src", diagnostic) + "\n";
    return text;
}

// The image of a source that must assemble without errors (warnings aside).
std::vector<Byte> imageOf(std::string_view source) {
    const Assembly assembly = assemble(source, {.warnings = false});
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
        // Every term is exact up to 64 bits, and so are the sums.
        {"DB 1099511627777 - 1099511627776", {1}},
        {"DB 9223372036854775807 - 9223372036854775806, -9223372036854775807 + 9223372036854775807 + 7", {1, 7}},
        {"DB 0x7FFFFFFFFFFFFFFF - 0x7ffffffffffffff0, 0b111111111111111111111111111111111111111111111111111111111111111 - "
         "9223372036854775807",
         {15, 0}},
        {"DB 9223372036854775807 + 9223372036854775807 - 9223372036854775807 - 9223372036854775807 + 3", {3}},
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
        // traccia.asm turns tracing on with VAL on purpose: its one warning is right.
        const std::string expected =
            entry.path().filename() == "traccia.asm"
                ? "src:14:20: avviso: con B = 0 VAL accende il flag D: da qui la macchina mostra la traccia a ogni "
                  "istruzione\n"
                : "";
        EXPECT_EQ(expected, describe(assembly.diagnostics)) << entry.path();
        EXPECT_FALSE(assembly.image.empty()) << entry.path();
    }
    EXPECT_GE(count, 6);
    const std::string known = readText(folder / "asterischi.bin");
    EXPECT_EQ(std::vector<Byte>(known.begin(), known.end()), imageOf(readText(folder / "asterischi.asm")));
}

namespace {

// The words of a line that end in a vowel and an apostrophe, as "e'" and
// "unita'" do: not those quoted in apostrophes ('messaggio').
std::vector<std::string> truncatedWords(const std::string& line) {
    const auto letter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
    const auto inWord = [&](char c) { return letter(c) || std::isdigit(static_cast<unsigned char>(c)) != 0 || c == '_'; };
    std::vector<std::string> words;
    for (std::size_t i = 1; i < line.size(); ++i) {
        if (line[i] != '\'' || std::string_view("aeiouAEIOU").find(line[i - 1]) == std::string_view::npos) continue;
        std::size_t start = i;
        while (start > 0 && letter(line[start - 1])) --start;
        const bool alone = (start == 0 || (!inWord(line[start - 1]) && line[start - 1] != '\'')) &&
                           (i + 1 == line.size() || !inWord(line[i + 1]));
        if (alone) words.push_back(line.substr(start, i - start));
    }
    return words;
}

}  // namespace

// The examples, which students read in the editor, in listings and in the
// manual pages, write Italian with its accents: "è", "unità", never "e'",
// "unita'". A word quoted in apostrophes ('messaggio') and "po'" are right.
TEST(Assembler, ExamplesWriteAccentsNotApostrophes) {
    EXPECT_EQ(truncatedWords("e' unita' di 'conta', un po'"), (std::vector<std::string>{"e", "unita", "po"}));
    int files = 0;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(std::filesystem::path(TARNSIM_SOURCE_DIR) / "examples")) {
        if (entry.path().extension() != ".asm" && entry.path().extension() != ".toml") continue;
        ++files;
        std::istringstream lines(readText(entry.path()));
        int number = 0;
        for (std::string line; std::getline(lines, line);) {
            ++number;
            for (const std::string& word : truncatedWords(line))
                EXPECT_EQ("po", word) << entry.path().filename() << ":" << number << ": " << line;
        }
    }
    EXPECT_GE(files, 12);
}

TEST(Assembler, ListingShowsAddressBytesAndSourceLine) {
    const char* source =
        "; prova\n"
        "inizio: VAL dato, 3\n"
        "        ORG 16\n"
        "dato:   DB \"abcdef\"\r\n"
        "        DB \"\", \"\"   \n"  // no bytes: no address either
        "  \n"
        "        RST";
    const Assembly assembly = assemble(source, {.warnings = false});
    ASSERT_TRUE(assembly.diagnostics.empty()) << describe(assembly.diagnostics);
    // Every line has its number, the empty one too; the bytes past the
    // fourth continue on a row without one.
    EXPECT_EQ("  1                   ; prova\n"
              "  2  00  86 10 03     inizio: VAL dato, 3\n"
              "  3                           ORG 16\n"
              "  4  10  61 62 63 64  dato:   DB \"abcdef\"\n"
              "     14  65 66\n"
              "  5                           DB \"\", \"\"\n"
              "  6\n"
              "  7  16  00                   RST\n",
              formatListing(source, assembly));

    // With an error there is nothing to list but the lines.
    const Assembly failed = assemble("NOP\nFOO");
    EXPECT_TRUE(failed.listing.empty());
    EXPECT_EQ("  1                   NOP\n  2                   FOO\n", formatListing("NOP\nFOO", failed));
}

struct NumberColumnCase {
    std::size_t lines;
    std::size_t width;
};

// The numbers are right-aligned as wide as the last one, three columns at
// least; a row that continues a DB's bytes leaves the column blank.
TEST(Assembler, ListingNumbersTakeTheWidthOfTheLastLine) {
    for (const NumberColumnCase c : {NumberColumnCase{1, 3}, {9, 3}, {999, 3}, {1000, 4}}) {
        std::string source;
        for (std::size_t line = 1; line < c.lines; ++line) source += ";\n";
        source += "        DB \"abcdef\"\n";
        const Assembly assembly = assemble(source);
        ASSERT_FALSE(assembly.failed()) << describe(assembly.diagnostics);
        const std::string last = std::to_string(c.lines);
        const std::string rows = std::string(c.width - last.size(), ' ') + last +
                                 "  00  61 62 63 64          DB \"abcdef\"\n" + std::string(c.width + 2, ' ') +
                                 "04  65 66\n";
        const std::string listing = formatListing(source, assembly);
        ASSERT_GE(listing.size(), rows.size()) << c.lines;
        EXPECT_EQ(rows, listing.substr(listing.size() - rows.size())) << c.lines;
        if (c.lines > 1) {
            EXPECT_EQ(std::string(c.width - 1, ' ') + "1" + std::string(19, ' ') + ";\n",
                      listing.substr(0, c.width + 21))
                << c.lines;
        }
    }
}

TEST(Assembler, ListingRowsForLineEndsAndEmptyLines) {
    // "\r\n" ends a line as "\n" does; a last line without its end is a line
    // all the same; an empty line is its number alone, with no blank after it.
    const std::string rows = "  1                   ; uno\n"
                             "  2\n"
                             "  3  00  00                   RST\n"
                             "  4\n"
                             "  5                   ; fine\n";
    for (const char* source : {"; uno\r\n\r\n        RST\r\n\r\n; fine\r\n", "; uno\n\n        RST  \n\r\n; fine",
                               "; uno\r\n  \r\n        RST\n\n; fine\n"}) {
        const Assembly assembly = assemble(source);
        ASSERT_FALSE(assembly.failed()) << describe(assembly.diagnostics);
        EXPECT_EQ(rows, formatListing(source, assembly)) << source;
    }
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

// The case's name, for the test's name in CTest's list.
void PrintTo(const ErrorCase& c, std::ostream* out) {
    *out << c.name;
}

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
                  "atteso un numero, un carattere o un'etichetta, trovata la fine della riga"},
        ErrorCase{"MissingComma", "VAL 1 2", 1, 7, "atteso ',' o la fine della riga, trovato un numero"},
        ErrorCase{"UndefinedLabel", "NOP\n  JMP  fine ; oops", 2, 8, "etichetta non definita 'fine'"},
        ErrorCase{"LabelsAreCaseSensitive", "Fine: RST\nJMP fine", 2, 5,
                  "etichetta non definita 'fine': forse intendevi 'Fine'?"},
        ErrorCase{"LabelOneLetterOff", "ciclo: NOP\nJMP cilco\nRST", 2, 5,
                  "etichetta non definita 'cilco': forse intendevi 'ciclo'?"},
        ErrorCase{"UnknownMnemonicNearAKnownOne", "  wtr 5", 1, 3, "mnemonico sconosciuto 'wtr': forse intendevi WRT?"},
        ErrorCase{"NoOperandsWanted", "RST 1", 1, 1, "RST non vuole operandi, qui ne ha 1"},
        ErrorCase{"OperandMissing", "JMP ; where?", 1, 1, "JMP richiede 1 operando, qui non ne ha"},
        ErrorCase{"OrgWithoutOperand", "ORG", 1, 1, "ORG richiede 1 operando, qui non ne ha"},
        ErrorCase{"ColonAsOperand", "VAL 1, :", 1, 8, "atteso un numero, un carattere o un'etichetta, trovato ':'"},
        ErrorCase{"LabelWithoutColon", "fine    RST", 1, 5, "manca ':' dopo l'etichetta 'fine'"},
        // Nothing else is reported on that line, and the label is defined.
        ErrorCase{"LabelWithoutColonBeforeBadOperands", "ciclo inc 1, 'ab', nowhere\nJMP ciclo", 1, 6,
                  "manca ':' dopo l'etichetta 'ciclo'"},
        ErrorCase{"LabelWithoutColonBeforeDb", "JMP fine\nfine DB 300", 2, 5, "manca ':' dopo l'etichetta 'fine'"},
        ErrorCase{"LabelWithoutColonDefinedTwice", "fine: RST\nfine ORG 5", 2, 5, "manca ':' dopo l'etichetta 'fine'"},
        ErrorCase{"OrgOnItsOwnLabel", "here: ORG here", 1, 11,
                  "l'etichetta 'here' vale l'indirizzo del prossimo byte scritto, che ORG non conosce ancora"},
        ErrorCase{"OrgOnALabelWaitingForItsByte", "NOP\nhere:\nORG here + 1", 3, 5,
                  "l'etichetta 'here' vale l'indirizzo del prossimo byte scritto, che ORG non conosce ancora"},
        ErrorCase{"LargestNumber", "DB 9223372036854775807", 1, 4,
                  "valore 9223372036854775807 fuori dall'intervallo -128..255"},
        ErrorCase{"NumberBeyond64Bits", "DB 9223372036854775808 - 9223372036854775807", 1, 4,
                  "valore 9223372036854775808 fuori dall'intervallo -128..255"},
        ErrorCase{"NegatedHugeTerm", "VAL 1, 2 - 0x10000000000000000", 1, 8,
                  "valore -0x10000000000000000 fuori dall'intervallo -128..255"},
        ErrorCase{"SumBeyond64Bits", "DB 9223372036854775807 + 9223372036854775807 + 2", 1, 4,
                  "valore 18446744073709551616 fuori dall'intervallo -128..255"},
        ErrorCase{"DifferenceBelow64Bits", "DB -9223372036854775807 - 9223372036854775807 - 3", 1, 4,
                  "valore -18446744073709551617 fuori dall'intervallo -128..255"},
        ErrorCase{"HugeOrg", "ORG 99999999999999999999", 1, 5,
                  "valore 99999999999999999999 fuori dall'intervallo 0..255 di ORG"},
        ErrorCase{"LabelDefinedTwice", "a: NOP\n\n  a: RST", 3, 3, "etichetta 'a' già definita alla riga 1"},
        ErrorCase{"TwoLabelsOnALine", "a: b: NOP", 1, 4, "una riga può avere una sola etichetta"},
        ErrorCase{"ValueAbove255", "VAL 1, 250 + 6", 1, 8, "valore 256 fuori dall'intervallo -128..255"},
        ErrorCase{"ValueBelowMinus128", "DB 0, -129", 1, 7, "valore -129 fuori dall'intervallo -128..255"},
        ErrorCase{"HugeValue", "DB 99999999999999999999", 1, 4,
                  "valore 99999999999999999999 fuori dall'intervallo -128..255"},
        ErrorCase{"LabelValueOutOfRange", "JMP end\nORG 255\nDB 1\nend:", 1, 5,
                  "valore 256 fuori dall'intervallo -128..255"},
        ErrorCase{"OrgOutOfRange", "ORG -1", 1, 5, "valore -1 fuori dall'intervallo 0..255 di ORG"},
        ErrorCase{"OrgBeforeItsLabel", "ORG later\nlater: RST", 1, 5,
                  "l'etichetta 'later' è definita più avanti: ORG usa solo etichette già definite"},
        ErrorCase{"MalformedHexNumber", "DB 0x", 1, 4, "numero non valido '0x'"},
        ErrorCase{"MalformedDecimalNumber", "JMP 12ab", 1, 5, "numero non valido '12ab'"},
        ErrorCase{"UnclosedString", "DB 1, \"abc ; no end", 1, 7, "stringa non chiusa: manca '\"'"},
        ErrorCase{"BadEscape", "DB \"ab\\q\"", 1, 7, "sequenza di escape non valida '\\q'"},
        ErrorCase{"UnprintableEscape", "DB \"\\\t\"", 1, 5,
                  "sequenza di escape non valida: '\\' seguito dal carattere \\x09"},
        ErrorCase{"ShortHexEscape", "DB '\\x4'", 1, 5, "sequenza di escape non valida '\\x4'"},
        ErrorCase{"LongCharacter", "DB 'ab'", 1, 4, "tra gli apici ci va un solo carattere (un byte)"},
        ErrorCase{"EmptyCharacter", "DB ''", 1, 4, "carattere vuoto: tra gli apici serve un carattere"},
        ErrorCase{"UnclosedCharacter", "DB 'a", 1, 4, "carattere non chiuso: manca '''"},
        ErrorCase{"StringAsOperand", "WRT \"ciao\"", 1, 5,
                  "atteso un numero, un carattere o un'etichetta, trovata una stringa"},
        ErrorCase{"UnexpectedCharacter", "NOP\nVAL 1, 2 * 3", 2, 10, "carattere inatteso '*'"},
        // A character past ASCII is one character: one error that names it,
        // at a column counted in characters, and nothing else on its account.
        ErrorCase{"AccentInALabel", "più: RST", 1, 3,
                  "carattere 'ù' in 'più': le etichette si scrivono con lettere ASCII senza accenti, cifre e '_' "
                  "(per esempio 'piu')"},
        ErrorCase{"AccentInAUsedLabel", "JMP città\nRST", 1, 9,
                  "carattere 'à' in 'città': le etichette si scrivono con lettere ASCII senza accenti, cifre e '_' "
                  "(per esempio 'citta')"},
        ErrorCase{"AccentInALabelWithoutColon", "città RST", 1, 5,
                  "carattere 'à' in 'città': le etichette si scrivono con lettere ASCII senza accenti, cifre e '_' "
                  "(per esempio 'citta')"},
        ErrorCase{"AccentInAMnemonic", "  stampà x", 1, 8,
                  "carattere 'à' in 'stampà': le etichette si scrivono con lettere ASCII senza accenti, cifre e '_' "
                  "(per esempio 'stampa')"},
        ErrorCase{"AccentedLetterAlone", "DB 1, è", 1, 7,
                  "carattere 'è': le etichette si scrivono con lettere ASCII senza accenti, cifre e '_' "
                  "(per esempio 'e')"},
        ErrorCase{"LetterWithoutAnAsciiOne", "x: DB 1, straße", 1, 14,
                  "carattere 'ß' in 'straße': le etichette si scrivono con lettere ASCII senza accenti, cifre e '_'"},
        ErrorCase{"LatinOneByteInAName", "JMP citt\xE0", 1, 9,
                  "byte \\xE0, che non è UTF-8, in 'citt\\xE0': le etichette si scrivono con lettere ASCII senza "
                  "accenti, cifre e '_'"},
        ErrorCase{"AccentAfterALongName", "JMP aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaè", 1, 55,
                  "carattere 'è' in 'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa'…: le etichette si scrivono con lettere ASCII "
                  "senza accenti, cifre e '_'"},
        ErrorCase{"SymbolPastAscii", "VAL 1, € + 2", 1, 8, "carattere inatteso '€'"},
        ErrorCase{"SpacePastAscii", "DB 1,\u00A02", 1, 6,
                  "carattere inatteso U+00A0 (uno spazio che non è ASCII: scrivi uno spazio normale)"},
        ErrorCase{"ColumnAfterAccentsInAString", "DB \"città è\", 300", 1, 15,
                  "valore 300 fuori dall'intervallo -128..255"},
        ErrorCase{"ColumnAfterAnEmoji", "DB \"😀\", 0, -200", 1, 12, "valore -200 fuori dall'intervallo -128..255"},
        ErrorCase{"CharacterOfTwoBytes", "DB 'è'", 1, 4,
                  "tra gli apici ci va un carattere di un byte, ma 'è' in UTF-8 ne ha 2: per scriverne i byte usa una "
                  "stringa, come DB \"è\""},
        ErrorCase{"EscapedAccent", "DB \"\\è\"", 1, 5, "sequenza di escape non valida '\\è'"},
        // What a copy from a page or a word processor brings into a source
        // is named so that it can be told apart from what was meant.
        ErrorCase{"CurlyDoubleQuote", "DB \u201Cciao", 1, 4,
                  "carattere inatteso '\u201C' (una stringa si scrive tra virgolette diritte: \"ciao\")"},
        ErrorCase{"CurlySingleQuote", "DB \u2018a", 1, 4,
                  "carattere inatteso '\u2018' (un carattere si scrive tra apici diritti: 'a')"},
        ErrorCase{"ByteOrderMark", "\uFEFFRST", 1, 1,
                  "carattere inatteso U+FEFF (il segno BOM: salva il file in UTF-8 senza BOM)"},
        ErrorCase{"ZeroWidthSpace", "RST\u200B", 1, 4, "carattere inatteso U+200B (un carattere che non si vede)"},
        ErrorCase{"BidirectionalControl", "RST \u202E", 1, 5,
                  "carattere inatteso U+202E (un carattere che non si vede)"},
        ErrorCase{"IdeographicSpace", "DB 1,\u3000 2", 1, 6,
                  "carattere inatteso U+3000 (uno spazio che non è ASCII: scrivi uno spazio normale)"},
        ErrorCase{"MultiplicationSign", "DB 1 \u00D7 2", 1, 6, "carattere inatteso '\u00D7'"},
        ErrorCase{"ControlCharacterOfC1", "DB 1, \xC2\x85", 1, 7, "carattere inatteso U+0085"},
        ErrorCase{"Utf8CutShort", "DB 1, \xC3", 1, 7, "carattere inatteso \\xC3"},
        ErrorCase{"EmptyDb", "x: DB ; nothing", 1, 4, "DB richiede almeno un valore"},
        ErrorCase{"Overlap", "ORG 5\nDB 1, 2\nORG 6\n  DB 3", 4, 3, "l'indirizzo 6 è già occupato dalla riga 2"},
        ErrorCase{"PastAddress255", "ORG 254\n  VAL 1, 2\n  NOP", 2, 3, "il programma va oltre l'indirizzo 255"},
        // Labels past the end of a program that crossed 255 have addresses
        // that are only a consequence of it: their uses are not reported.
        ErrorCase{"LabelsPastTheCrossingAreNotReported",
                  "ORG 252\nVAL x, 1\nVAL x, 2\nx: DB 0\nJMP x\nORG x\nVAL y, 0\ny:", 3, 1,
                  "il programma va oltre l'indirizzo 255"},
        ErrorCase{"LabelAtTheCrossingIsNotReported", "ORG 255\nDB 1\nend: DB 2\nJMP end", 3, 6,
                  "il programma va oltre l'indirizzo 255"}),
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
              "src:6:1: errore: etichetta 'x' già definita alla riga 4\n"
              "src:8:7: errore: l'indirizzo 2 è già occupato dalla riga 3\n",
              describe(assembly.diagnostics));
    EXPECT_TRUE(assembly.image.empty());
}

TEST(AssemblerErrors, OnlyTheFirstOnesByPositionAreKeptWhicheverReadingFindsThem) {
    // Odd lines: an undefined label, found once every label is known; even
    // lines: an unknown mnemonic, found while reading.
    std::string source;
    for (int line = 1; line <= 30; ++line) source += line % 2 != 0 ? "JMP nowhere\n" : "FOO\n";
    const Assembly assembly = assemble(source);
    ASSERT_EQ(MAX_REPORTED_DIAGNOSTICS, assembly.diagnostics.size());
    for (std::size_t index = 0; index < assembly.diagnostics.size(); ++index) {
        const Diagnostic& diagnostic = assembly.diagnostics[index];
        EXPECT_EQ(static_cast<std::int64_t>(index) + 1, diagnostic.line);
        EXPECT_EQ(index % 2 == 0 ? "etichetta non definita 'nowhere'" : "mnemonico sconosciuto 'FOO'",
                  diagnostic.message);
    }
    EXPECT_EQ(10u, assembly.omittedErrors);
    EXPECT_EQ(0u, assembly.omittedWarnings);
    EXPECT_TRUE(assembly.failed());
}

TEST(AssemblerErrors, AnyBytesGiveBoundedWellFormedErrors) {
    const std::string source(MAX_SOURCE_BYTES, '\xFF');
    const Assembly assembly = assemble(source);
    ASSERT_EQ(MAX_REPORTED_DIAGNOSTICS, assembly.diagnostics.size());
    for (std::size_t index = 0; index < assembly.diagnostics.size(); ++index)
        EXPECT_EQ("src:1:" + std::to_string(index + 1) + ": errore: carattere inatteso \\xFF",
                  formatDiagnostic("src", assembly.diagnostics[index]));
    EXPECT_EQ(MAX_SOURCE_BYTES - MAX_REPORTED_DIAGNOSTICS, assembly.omittedErrors);
    EXPECT_TRUE(assembly.image.empty());
}

TEST(AssemblerErrors, ManyUndefinedLabelsInOneExpressionAreAllCounted) {
    std::string source = "DB 0";
    for (int term = 0; term < 100; ++term) source += " + u" + std::to_string(term);
    source += "\nFOO";
    const Assembly assembly = assemble(source);
    ASSERT_EQ(MAX_REPORTED_DIAGNOSTICS, assembly.diagnostics.size());
    EXPECT_EQ("etichetta non definita 'u19'", assembly.diagnostics.back().message);
    EXPECT_EQ(81u, assembly.omittedErrors);  // the other 80 labels and FOO
}

TEST(AssemblerReport, CountsWhatIsLeftOutInGoodItalian) {
    Assembly assembly;
    assembly.diagnostics.push_back({3, 7, Severity::Error, "mnemonico sconosciuto 'FOO'"});
    assembly.diagnostics.push_back({4, 1, Severity::Warning, "l'etichetta 'add' ha il nome del mnemonico ADD"});
    EXPECT_EQ((std::vector<std::string>{"p.asm:3:7: errore: mnemonico sconosciuto 'FOO'",
                                        "p.asm:4:1: avviso: l'etichetta 'add' ha il nome del mnemonico ADD"}),
              formatReport("p.asm", assembly));
    assembly.omittedErrors = 1;
    assembly.omittedWarnings = 1;
    EXPECT_EQ("p.asm: un altro errore non mostrato", formatReport("p.asm", assembly)[2]);
    EXPECT_EQ("p.asm: un altro avviso non mostrato", formatReport("p.asm", assembly)[3]);
    assembly.omittedErrors = 12345678901;
    assembly.omittedWarnings = 2;
    EXPECT_EQ("p.asm: altri 12345678901 errori non mostrati", formatReport("p.asm", assembly)[2]);
    EXPECT_EQ("p.asm: altri 2 avvisi non mostrati", formatReport("p.asm", assembly)[3]);
}

// The peak memory of this process so far, in bytes. In WebAssembly, the
// linear memory, which grows and never shrinks.
std::int64_t peakMemory() {
#ifdef __EMSCRIPTEN__
    return static_cast<std::int64_t>(__builtin_wasm_memory_size(0)) * 65536;
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<std::int64_t>(usage.ru_maxrss) * 1024;
#endif
}

TEST(AssemblerMemory, GrowsWithWhatTheProgramDefinesNotWithTheLines) {
    // Before the new code a source of a million empty lines took over 200 MB.
    std::string newlines(MAX_SOURCE_BYTES, '\n');
    std::string comments;
    while (comments.size() + 3 <= MAX_SOURCE_BYTES) comments += ";\r\n";
    std::string sums = "DB 0";
    while (sums.size() + 4 <= MAX_SOURCE_BYTES) sums += "+1-1";
    const std::int64_t before = peakMemory();
    for (const std::string* source : {&newlines, &comments, &sums}) {
        const Assembly assembly = assemble(*source);
        EXPECT_FALSE(assembly.failed()) << describe(assembly.diagnostics);
    }
    // Each empty line is a row with its number alone: 1048576 lines, numbers
    // of up to 7 digits, 8 characters a row.
    const std::string listing = formatListing(newlines, assemble(newlines));
    EXPECT_EQ(MAX_SOURCE_BYTES * 8, listing.size());
    EXPECT_EQ("      1\n      2\n", listing.substr(0, 16));
    EXPECT_EQ("   1000\n", listing.substr(999 * 8, 8));
    EXPECT_EQ("1048575\n1048576\n", listing.substr(listing.size() - 16));
    EXPECT_LT(peakMemory() - before, std::int64_t{16} << 20);
}

// ---------------------------------------------------------------------------
// Warnings: each kind, and when there are none.

struct WarningCase {
    const char* name;
    const char* source;
    const char* report;  // every diagnostic, as describe() gives them
};

void PrintTo(const WarningCase& c, std::ostream* out) {
    *out << c.name;
}

class AssemblerWarning : public testing::TestWithParam<WarningCase> {};

TEST_P(AssemblerWarning, IsReportedOnlyWhereItIsRight) {
    const WarningCase& c = GetParam();
    const Assembly assembly = assemble(c.source);
    EXPECT_EQ(c.report, describe(assembly.diagnostics));
    EXPECT_FALSE(assembly.failed());
    EXPECT_EQ(0u, assembly.omittedWarnings);
    EXPECT_EQ(assemble(c.source, {.warnings = false}).image, assembly.image);
    EXPECT_FALSE(assembly.image.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, AssemblerWarning,
    testing::Values(
        WarningCase{"ValWithZero", "VAL x, 0\nRST\nx: DB 1",
                    "src:1:8: avviso: con B = 0 VAL accende il flag D: da qui la macchina mostra la traccia a ogni "
                    "istruzione\n"},
        WarningCase{"CpyWithAnExpressionWorthZero", "CPY x, x - x\nRST\nx: DB 1",
                    "src:1:8: avviso: con B = 0 CPY accende il flag D: da qui la macchina mostra la traccia a ogni "
                    "istruzione\n"},
        WarningCase{"ValWithoutZero", "VAL x, 1\nCPY 0, x\nVALOFFST 0\nRST\nx: DB 0", ""},
        WarningCase{"FallsPastTheLastInstruction", "  NOP",
                    "src:1:3: avviso: l'esecuzione prosegue oltre questa istruzione: manca RST?\n"},
        WarningCase{"FallsIntoAGap", "WRT msg\nORG 10\nmsg: DB \"ok\", 0",
                    "src:1:1: avviso: l'esecuzione prosegue oltre questa istruzione: manca RST?\n"},
        WarningCase{"FallsIntoData", "WRT msg\nmsg: DB \"ok\", 0",
                    "src:1:1: avviso: l'esecuzione prosegue nei dati dopo questa istruzione: manca RST?\n"},
        WarningCase{"FallsPastAddress255", "JMP fine\nORG 253\nfine: VAL 200, 1",
                    "src:3:7: avviso: l'esecuzione prosegue oltre l'indirizzo 255 e ricomincia da 0: manca RST?\n"},
        WarningCase{"BranchFallsThrough", "ciclo: JPZ ciclo",
                    "src:1:8: avviso: l'esecuzione prosegue oltre questa istruzione: manca RST?\n"},
        WarningCase{"FollowsTheJumps", "JMP b\na: NOP\nDB 7\nb: JPZ a\nRST",
                    "src:2:4: avviso: l'esecuzione prosegue nei dati dopo questa istruzione: manca RST?\n"},
        WarningCase{"UnreachedAndJumpsIntoDataAreNotFollowed", "JMP fine\nNOP\nfine: JMP dati\ndati: DB 5", ""},
        WarningCase{"NothingToRunAtZero", "ORG 10\nNOP", ""},
        WarningCase{"StringWithoutZero", "WRT msg\nRST\nmsg: DB \"ciao\"",
                    "src:1:5: avviso: dopo la stringa manca uno 0: WRT stampa fino al primo byte 0\n"},
        WarningCase{"StringRunningIntoCode", "JMP go\nmsg: DB \"ciao\"\ngo: WRT msg + 2\nRST",
                    "src:3:9: avviso: dopo la stringa manca uno 0: WRT stampa fino al primo byte 0\n"},
        WarningCase{"StringEndedByALaterZero", "WRT msg\nRST\nmsg: DB \"ciao\", '!'\nDB \"\\n\"\n  DB 0", ""},
        WarningCase{"StringWithZeroInside", "WRT msg\nRST\nmsg: DB \"a\\0b\"", ""},
        WarningCase{"NumbersAndBuffersAreNoStrings", "WRT n\nWRT buffer\nRST\nn: DB 1\nbuffer:", ""},
        WarningCase{"LabelNamedAfterAMnemonic", "jmp Add\nAdd: RST",
                    "src:2:1: avviso: l'etichetta 'Add' ha il nome del mnemonico ADD\n"},
        WarningCase{"LabelNamedAfterADirective", "RST\norg: DB 1\nDb: DB 2",
                    "src:2:1: avviso: l'etichetta 'org' ha il nome della direttiva ORG\n"
                    "src:3:1: avviso: l'etichetta 'Db' ha il nome della direttiva DB\n"}),
    [](const testing::TestParamInfo<WarningCase>& info) { return std::string(info.param.name); });

TEST(AssemblerWarnings, NoneWhenSilencedOrWhenThereAreErrors) {
    const char* source = "nop: VAL x, 0\nx: DB \"a\"\n";
    EXPECT_EQ(3u, assemble(source).diagnostics.size());
    const Assembly silent = assemble(source, {.warnings = false});
    EXPECT_TRUE(silent.diagnostics.empty()) << describe(silent.diagnostics);
    EXPECT_EQ((std::vector<Byte>{0x86, 3, 0, 'a'}), silent.image);

    const Assembly failed = assemble(std::string(source) + "FOO");
    EXPECT_EQ("src:3:1: errore: mnemonico sconosciuto 'FOO'\n", describe(failed.diagnostics));
    EXPECT_EQ(0u, failed.omittedWarnings);
}

TEST(AssemblerWarnings, AreCappedAndCountedLikeErrors) {
    std::string source;
    for (int line = 0; line < 22; ++line) source += "VAL x, 0\n";
    source += "RST\nx: DB 1\n";
    const Assembly assembly = assemble(source);
    ASSERT_EQ(MAX_REPORTED_DIAGNOSTICS, assembly.diagnostics.size());
    EXPECT_EQ(20, assembly.diagnostics.back().line);
    EXPECT_EQ(Severity::Warning, assembly.diagnostics.back().severity);
    EXPECT_EQ(2u, assembly.omittedWarnings);
    EXPECT_FALSE(assembly.failed());
    EXPECT_EQ(68u, assembly.image.size());
}

TEST(ManualPage, TarnsimListsEveryInstructionOfTheTable) {
    const std::string page = readText(std::filesystem::path(TARNSIM_SOURCE_DIR) / "man" / "tarnsim.1");
    for (const Instruction& instruction : instructionTable) {
        const std::string row = std::to_string(instruction.opcode) + "\t" + std::string(instruction.mnemonic) + "\t" +
                                std::to_string(instructionLength(instruction.opcode)) + "\t";
        EXPECT_NE(std::string::npos, page.find("\n" + row)) << row;
    }
}

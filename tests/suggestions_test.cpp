// The suggestions the assembler makes for an unknown mnemonic and for an
// undefined label.
#include "machine/instruction_set.hpp"
#include "assembly/suggestions.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tarn;

namespace {

struct KeywordCase {
    const char* word;
    const char* expected;  // nullptr: no suggestion
};

struct NameCase {
    const char* name;
    std::vector<std::string_view> names;
    const char* expected;  // nullptr: no suggestion
};

std::string shown(const std::optional<std::string_view>& suggestion) {
    return suggestion ? std::string(*suggestion) : "(nessuno)";
}

std::string shown(const std::optional<std::string>& suggestion) {
    return suggestion ? *suggestion : "(nessuno)";
}

}  // namespace

TEST(NearestKeyword, SlipsOfOneOrTwoEdits) {
    const KeywordCase cases[] = {
        {"WTR", "WRT"},            // two neighbours swapped
        {"wtr", "WRT"},            // without case
        {"Wrt", "WRT"},            // a keyword itself
        {"JPM", nullptr},          // JMP swapped, but also JPD JPO ... one change away
        {"ADD1", "ADD"},           // a letter added
        {"SU", "SUB"},             // a letter removed
        {"MUK", "MUL"},            // a letter changed
        {"VALOFFSET", "VALOFFST"}, // long mnemonics
        {"incofst", "INCOFFST"},
        {"DECOFF", "DECOFFST"},    // two edits on a long word
        {"VALOFFSTXX", "VALOFFST"},
        {"ORIG", "ORG"},           // the directives are keywords too
        {"DW", "DB"},
    };
    for (const KeywordCase& c : cases)
        EXPECT_EQ(shown(nearestKeyword(c.word)), c.expected ? c.expected : "(nessuno)") << c.word;
}

TEST(NearestKeyword, NothingWhenTooFar) {
    const KeywordCase cases[] = {
        {"XYZ", nullptr},         // two changes on three letters
        {"SUMA", nullptr},        // SUB is two edits away, and has three letters
        {"MOVE", nullptr},
        {"VALOF", nullptr},       // three letters short of VALOFFST, two more than VAL
        {"VALOFFSTXYZ", nullptr}, // three letters past the longest
        {"D", nullptr},           // one letter is near nothing
        {"", nullptr},
    };
    for (const KeywordCase& c : cases) EXPECT_EQ(shown(nearestKeyword(c.word)), "(nessuno)") << c.word;
}

TEST(NearestKeyword, TiesGoToTheOneKeepingTheFirstLetterOrToNone) {
    const KeywordCase cases[] = {
        {"ADB", "ADD"},   // ADD and DB are both one edit away; ADD starts with A
        {"INV", nullptr}, // INC and INP, both with I
        {"CLX", nullptr}, // CLD CLZ CLO CLP CLN
        {"SRT", nullptr}, // RST and WRT, neither with S
        {"JMPP", nullptr} // JMP and JPP
    };
    for (const KeywordCase& c : cases)
        EXPECT_EQ(shown(nearestKeyword(c.word)), c.expected ? c.expected : "(nessuno)") << c.word;
}

TEST(NearestKeyword, EveryMnemonicOfTheTable) {
    for (const Instruction& instruction : instructionTable) {
        const std::string mnemonic(instruction.mnemonic);
        std::string lower;
        for (char c : mnemonic) lower += static_cast<char>(c - 'A' + 'a');
        EXPECT_EQ(shown(nearestKeyword(lower)), mnemonic);
        // The long ones, with the last letter doubled.
        if (mnemonic.size() > 3) {
            EXPECT_EQ(shown(nearestKeyword(mnemonic + mnemonic.back())), mnemonic);
        }
    }
}

TEST(NearestKeyword, AnAbsurdlyLongWordHasNone) {
    EXPECT_FALSE(nearestKeyword(std::string(1 << 20, 'A')));
    EXPECT_FALSE(nearestKeyword("WRT" + std::string(1 << 20, 'T')));
}

TEST(SimilarName, CaseOrOneLetter) {
    const std::vector<std::string_view> labels{"ciclo", "fine", "somma"};
    const NameCase cases[] = {
        {"Ciclo", labels, "ciclo"},  // case only
        {"CICLO", labels, "ciclo"},
        {"cilco", labels, "ciclo"},  // two neighbours swapped
        {"icclo", labels, "ciclo"},
        {"cicol", labels, "ciclo"},
        {"cicla", labels, "ciclo"},  // one letter changed
        {"xiclo", labels, "ciclo"},
        {"cicl", labels, "ciclo"},   // one letter missing
        {"iclo", labels, "ciclo"},
        {"ciclo1", labels, "ciclo"}, // one letter more
        {"cciclo", labels, "ciclo"},
        {"Cilco", labels, "ciclo"},  // case aside, one swap
        {"SOMA", labels, "somma"},
    };
    for (const NameCase& c : cases) EXPECT_EQ(shown(similarName(c.name, c.names)), c.expected) << c.name;
}

TEST(SimilarName, NothingWhenFarOrAmbiguous) {
    const NameCase cases[] = {
        {"clico", {"ciclo"}, nullptr},           // three letters out of place
        {"cacla", {"ciclo"}, nullptr},           // two changed
        {"cic", {"ciclo"}, nullptr},             // two missing
        {"badc", {"abcd"}, nullptr},             // two swaps
        {"fine", {"fina", "fin1"}, nullptr},     // two at one letter
        {"fine", {"FINE", "Fine"}, nullptr},     // two differing in case only
        {"ciclo", {"ciclo"}, nullptr},           // the name itself is no suggestion
        {"", {"a"}, nullptr},
        {"a", {}, nullptr},
    };
    for (const NameCase& c : cases) EXPECT_EQ(shown(similarName(c.name, c.names)), "(nessuno)") << c.name;
}

TEST(SimilarName, CaseOnlyWinsAndRepeatsCountOnce) {
    EXPECT_EQ(shown(similarName("Fine", {"fina", "fine", "Fina"})), "fine");
    EXPECT_EQ(shown(similarName("Fine", {"fina", "Fina"})), "(nessuno)");
    EXPECT_EQ(shown(similarName("cicla", {"ciclo", "ciclo"})), "ciclo");
    EXPECT_EQ(shown(similarName("ab", {"ba"})), "ba");
}

TEST(SimilarName, LongNames) {
    const std::string defined(1 << 20, 'a');
    std::string changed = defined;
    changed[changed.size() / 2] = 'b';
    std::string twice = changed;
    twice[1] = 'b';
    const std::vector<std::string_view> names{defined};
    EXPECT_EQ(similarName(changed, names), defined);
    EXPECT_EQ(similarName(defined + "x", names), defined);
    EXPECT_EQ(similarName(twice, names), std::nullopt);
}

// The option an unknown one meant: the same word with other dashes, or one
// letter off for words of three letters or more; never a guess below that,
// and whatever follows '=' left out. Names are shown without control bytes.
TEST(UnknownOption, SuggestsTheOptionItMeant) {
    const std::vector<std::string_view> options{"-j", "--json", "--junit", "--somiglianze", "-h", "--help"};
    const struct {
        std::string argument;
        std::string message;
    } cases[] = {
        {"-junit", "opzione sconosciuta '-junit': forse intendevi --junit?"},
        {"--j", "opzione sconosciuta '--j': forse intendevi -j?"},
        {"--jsno=x.json", "opzione sconosciuta '--jsno=x.json': forse intendevi --json?"},
        {"--somiglianza", "opzione sconosciuta '--somiglianza': forse intendevi --somiglianze?"},
        {"--HELP", "opzione sconosciuta '--HELP': forse intendevi --help?"},
        {"-x", "opzione sconosciuta '-x'"},
        {"--jx", "opzione sconosciuta '--jx'"},
        {"--vai", "opzione sconosciuta '--vai'"},
        {"--\x1b[2J\n", "opzione sconosciuta '--\\x1B[2J\\n'"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.message, tarn::unknownOptionMessage(c.argument, options)) << c.argument;
}

TEST(OptionLikeValue, SaysHowToGiveSuchANameAllTheSame) {
    EXPECT_EQ("l'opzione --caso vuole il nome di un caso, ma '-j' sembra un'opzione: per un caso con questo nome "
              "scrivi --caso=-j",
              tarn::optionLikeValueMessage("--caso", "il nome di un caso", "un caso", "-j", "--caso=-j"));
    EXPECT_EQ("l'opzione -o vuole un nome di file, ma '-\\n' sembra un'opzione: per un file con questo nome "
              "scrivi ./-\\n",
              tarn::optionLikeValueMessage("-o", "un nome di file", "un file", "-\n", "./-\n"));
}

// Distances count characters of UTF-8, not bytes: an accent left out or
// put in is one edit, as a person sees it.
TEST(SimilarName, CountsCharactersNotBytes) {
    const NameCase cases[] = {
        {"tre piu quattro", {"tre più quattro", "due"}, "tre più quattro"},  // ù for u: one change
        {"tre più quattro", {"tre piu quattro"}, "tre piu quattro"},
        {"citta", {"città"}, "città"},
        {"cità", {"città"}, "città"},                 // one letter missing before the accent
        {"perche", {"perché", "perciò"}, "perché"},
        {"CITTÀ", {"città"}, "città"},                // case only, in Latin-1 too
        {"Città", {"CITTA"}, "CITTA"},                // case aside, one change
        {"😀x", {"😁x"}, "😁x"},                       // four bytes each, one character changed
        {"ab\xFF", {"ab"}, "ab"},                     // a byte that is not UTF-8 is one character
        {"citt\xE0", {"città"}, "città"},             // one changed
        {"ciò", {"cià", "ciù"}, nullptr},             // two at one character
        {"più", {"pippo"}, nullptr},
    };
    for (const NameCase& c : cases)
        EXPECT_EQ(shown(similarName(c.name, c.names)), c.expected ? c.expected : "(nessuno)") << c.name;
}

TEST(NearestKeyword, CountsCharactersNotBytes) {
    const KeywordCase cases[] = {
        {"MÙL", "MUL"},    // one character changed, two bytes
        {"wrtè", "WRT"},   // one added
        {"DÈC", "DEC"},
        {"ÀÀÀ", nullptr},  // three changes
        {"VALÒFFST", "VALOFFST"},
        {"VALOFFSTÈ", "VALOFFST"},  // nine characters, ten bytes: within the longest keyword and its edits
    };
    for (const KeywordCase& c : cases)
        EXPECT_EQ(shown(nearestKeyword(c.word)), c.expected ? c.expected : "(nessuno)") << c.word;
}

#include "grading/wording.hpp"

#include "machine/instruction_set.hpp"

#include <gtest/gtest.h>

#include <string>

namespace tarn::grading {
namespace {

TEST(Wording, PointsAreWrittenWithAtMostTwoDecimals) {
    const struct {
        double points;
        const char* italian;
        const char* plain;
    } cases[] = {
        {0, "0", "0"},       {2, "2", "2"},           {1.5, "1,5", "1.5"},   {0.25, "0,25", "0.25"},
        {2.999, "3", "3"},   {10.05, "10,05", "10.05"}, {1e6, "1000000", "1000000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatPoints(c.points), c.italian) << c.points;
        EXPECT_EQ(formatPointsPlain(c.points), c.plain) << c.points;
    }
}

TEST(Wording, VisibleTextKeepsUtf8AndEscapesEverythingElse) {
    const struct {
        std::string bytes;
        const char* shown;
    } cases[] = {
        {"ciao\n", "ciao\n"},
        {"più è", "più è"},
        {"a\tb\rc", "a\\tb\\rc"},
        {"\\", "\\\\"},
        {"\x1b[2J", "\\x1B[2J"},
        {std::string("\0x", 2), "\\x00x"},
        {"\x7f", "\\x7F"},
        {"\xff\xfe", "\\xFF\\xFE"},
        {"\xc3", "\\xC3"},                  // cut sequence
        {"\xc0\xaf", "\\xC0\\xAF"},         // overlong
        {"\xed\xa0\x80", "\\xED\\xA0\\x80"},  // surrogate
        {"\xef\xbf\xbf", "\\xEF\\xBF\\xBF"},  // U+FFFF, refused by XML
        {"\xc2\x85", "\\xC2\\x85"},         // C1 control
        {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
    };
    for (const auto& c : cases) EXPECT_EQ(visibleText(c.bytes), c.shown) << c.bytes;
}

TEST(Wording, ReasonsSayWhyACaseFailedMostImportantFirst) {
    Exercise exercise;
    TestCase testCase;
    testCase.outputLimit = 4096;
    Submission submission;
    CaseResult result;
    result.ran = true;
    result.outputMatches = false;
    result.ran = true;
    result.outputMatches = false;
    result.mismatches = {{Mismatch::Kind::Memory, 0xF0, 21, 20},
                         {Mismatch::Kind::Register, 260, 3, 2},
                         {Mismatch::Kind::Flag, FLAG_Z, 1, 0}};
    testCase.comparison = Comparison::Blanks;
    EXPECT_EQ(failureReasons(exercise, testCase, submission, result),
              (std::vector<std::string>{"uscita diversa da quella attesa (senza contare gli spazi a fine riga)",
                                        "memoria all'indirizzo 0xF0: atteso 21, trovato 20",
                                        "registro X: atteso 3, trovato 2", "flag Z spento: doveva essere acceso"}));

    result.passed = true;
    EXPECT_TRUE(failureReasons(exercise, testCase, submission, result).empty());
}

// A byte from 128 on is also the negative number it stands for in two's
// complement, as the exercise file may write it.
TEST(Wording, ABytePast127IsShownBothWays) {
    const struct {
        Byte value;
        const char* shown;
    } numbers[] = {{0, "0"}, {127, "127"}, {128, "128 (-128)"}, {251, "251 (-5)"}, {255, "255 (-1)"}};
    for (const auto& number : numbers) EXPECT_EQ(byteNumber(number.value), number.shown);

    CaseResult result;
    result.ran = true;
    result.mismatches = {{Mismatch::Kind::Memory, 0xF0, 251, 5}, {Mismatch::Kind::Register, 258, 3, 255}};
    EXPECT_EQ(failureReasons(Exercise{}, TestCase{}, Submission{}, result),
              (std::vector<std::string>{"memoria all'indirizzo 0xF0: atteso 251 (-5), trovato 5",
                                        "registro A: atteso 3, trovato 255 (-1)"}));
}

// Why a run stopped, with the count of instructions in the singular for one.
TEST(Wording, AStoppedRunSaysWhereAndAfterHowManyInstructions) {
    TestCase testCase;
    testCase.outputLimit = 4096;
    enum class Stop { Forbidden, Limit, Output };
    const struct {
        Stop stop;
        std::uint64_t count;
        const char* reason;
    } rows[] = {
        {Stop::Forbidden, 0, "istruzione proibita MUL all'indirizzo 0x0C, prima di ogni altra: l'esecuzione si è fermata lì"},
        {Stop::Forbidden, 1, "istruzione proibita MUL all'indirizzo 0x0C, dopo 1 istruzione: l'esecuzione si è fermata lì"},
        {Stop::Forbidden, 57, "istruzione proibita MUL all'indirizzo 0x0C, dopo 57 istruzioni: l'esecuzione si è fermata lì"},
        {Stop::Limit, 1, "limite di istruzioni superato: PC = 0x12 dopo 1 istruzione"},
        {Stop::Limit, 100000, "limite di istruzioni superato: PC = 0x12 dopo 100000 istruzioni"},
        {Stop::Output, 1, "uscita oltre il limite di 4096 byte: l'esecuzione si è fermata lì, dopo 1 istruzione"},
        {Stop::Output, 201, "uscita oltre il limite di 4096 byte: l'esecuzione si è fermata lì, dopo 201 istruzioni"},
    };
    for (const auto& row : rows) {
        CaseResult result;
        result.ran = true;
        result.instructions = row.count;
        result.finalPC = 0x12;
        if (row.stop == Stop::Forbidden) result.forbidden = ForbiddenUse{findInstruction("MUL")->opcode, 0x0C, row.count};
        result.limitReached = row.stop == Stop::Limit;
        result.outputCut = row.stop == Stop::Output;
        EXPECT_EQ(failureReasons({}, testCase, {}, result), std::vector<std::string>{row.reason});
    }
    EXPECT_EQ(counted(0, "caso", "casi"), "0 casi");
    EXPECT_EQ(counted(1, "caso", "casi"), "1 caso");
}

TEST(Wording, ManyWrongCellsAreCountedAfterTheFirstEight) {
    CaseResult result;
    result.ran = true;
    for (unsigned address = 0; address < 11; ++address)
        result.mismatches.push_back({Mismatch::Kind::Memory, address, 1, 0});
    const std::vector<std::string> reasons = failureReasons({}, {}, {}, result);
    ASSERT_EQ(reasons.size(), 9u);
    EXPECT_EQ(reasons[7], "memoria all'indirizzo 0x07: atteso 1, trovato 0");
    EXPECT_EQ(reasons[8], "e altre 3 celle di memoria diverse");
    result.mismatches.resize(9);
    EXPECT_EQ(failureReasons({}, {}, {}, result).back(), "e un'altra cella di memoria diversa");
}

TEST(Wording, ASubmissionThatCannotRunFailsWithItsProblems) {
    Submission submission;
    submission.problems = {"rossi.asm:3:1: errore: mnemonico sconosciuto 'WTR': forse intendevi WRT?"};
    CaseResult result;
    EXPECT_EQ(failureReasons({}, {}, submission, result),
              (std::vector<std::string>{"programma non eseguito", submission.problems[0]}));
}

TEST(Wording, NotesCountTheTraceDisplaysSkipped) {
    CaseResult result;
    EXPECT_TRUE(caseNotes(result).empty());
    result.tracesShown = 1;
    EXPECT_EQ(caseNotes(result), (std::vector<std::string>{
                                     "il programma lascia acceso il flag D: una visualizzazione della traccia è stata saltata"}));
    result.tracesShown = 40;
    EXPECT_EQ(caseNotes(result), (std::vector<std::string>{
                                     "il programma lascia acceso il flag D: 40 visualizzazioni della traccia sono state saltate"}));
}

TEST(Wording, ReplayCommandsSurviveAnyShell) {
    const struct {
        const char* exercise;
        const char* submission;
        const char* name;
        const char* command;
    } cases[] = {
        {"es1.toml", "consegne/rossi", "tre", "tarngrade es1.toml consegne/rossi --caso tre"},
        {"es1.toml", "consegne/d'amico", "tre più quattro",
         "tarngrade es1.toml 'consegne/d'\\''amico' --caso 'tre più quattro'"},
        {"-es.toml", "-x.asm", "-caso", "tarngrade ./-es.toml ./-x.asm --caso -caso"},
        {"es.toml", "a\nb", "$(rm)", "tarngrade es.toml $'a\\x0Ab' --caso '$(rm)'"},
        {"es.toml", "", "x", "tarngrade es.toml '' --caso x"},
        // Bytes that are not UTF-8, and characters no report shows as they
        // are, go as \xHH; the rest of the word as it is.
        {"es.toml", "\xff\xfe.asm", "x", "tarngrade es.toml $'\\xFF\\xFE.asm' --caso x"},
        {"es.toml", "più\xe8 l'ultimo\\", "x", "tarngrade es.toml $'più\\xE8 l\\'ultimo\\\\' --caso x"},
        {"es.toml", "c1\xc2\x85.asm", "x", "tarngrade es.toml $'c1\\xC2\\x85.asm' --caso x"},
        {"es.toml", "\xef\xbf\xbf", "x", "tarngrade es.toml $'\\xEF\\xBF\\xBF' --caso x"},
        {"\xc3", "-\x7f", "x", "tarngrade $'\\xC3' $'./-\\x7F' --caso x"},
        {"es.toml", "più è", "x", "tarngrade es.toml 'più è' --caso x"},
    };
    for (const auto& c : cases) EXPECT_EQ(replayCommand(c.exercise, c.submission, c.name), c.command);
}

TEST(Wording, DebuggerCommandsSurviveAnyShell) {
    const struct {
        const char* program;
        const char* exercise;
        const char* name;
        const char* command;
    } cases[] = {
        {"consegne/rossi/somma.asm", "es1.toml", "tre", "tarndbg consegne/rossi/somma.asm --esercizio es1.toml --caso tre"},
        {"consegne/d'amico.bin", "es1.toml", "tre più quattro",
         "tarndbg 'consegne/d'\\''amico.bin' --esercizio es1.toml --caso 'tre più quattro'"},
        // What begins with '-' never reads as an option.
        {"-x.asm", "-es.toml", "-caso", "tarndbg ./-x.asm --esercizio ./-es.toml --caso=-caso"},
        {"a\nb.asm", "es.toml", "$(rm)", "tarndbg $'a\\x0Ab.asm' --esercizio es.toml --caso '$(rm)'"},
    };
    for (const auto& c : cases) EXPECT_EQ(debuggerCommand(c.program, c.exercise, c.name), c.command);
}

TEST(Wording, ACaseIsRefusedWhenMissingOrHidden) {
    Exercise exercise;
    exercise.cases.resize(3);
    exercise.cases[0].name = "tre più quattro";
    exercise.cases[1].name = "segreto";
    exercise.cases[1].hidden = true;
    exercise.cases[2].name = "zero";
    EXPECT_EQ(caseRefusal(exercise, "tre più quattro"), std::nullopt);
    EXPECT_EQ(caseRefusal(exercise, "segreto"), "il caso 'segreto' è nascosto: se ne vede solo l'esito");
    EXPECT_EQ(caseRefusal(exercise, "tre più quatro"),
              "l'esercizio non ha un caso 'tre più quatro': forse intendevi 'tre più quattro'?");
    // The accent left out is one character, not the two bytes of 'ù'.
    EXPECT_EQ(caseRefusal(exercise, "tre piu quattro"),
              "l'esercizio non ha un caso 'tre piu quattro': forse intendevi 'tre più quattro'?");
    EXPECT_EQ(caseRefusal(exercise, "dieci"), "l'esercizio non ha un caso 'dieci'");
}

}  // namespace
}  // namespace tarn::grading

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

// A name shows a backslash doubled on POSIX, where a name may hold one; on
// Windows, where it separates folders, as it was typed. The platform shown
// is POSIX's until the entry point says otherwise.
TEST(Wording, VisibleNamesShowBackslashesAsThePlatformWritesPaths) {
    const struct {
        const char* bytes;
        const char* posix;
        const char* windows;
    } cases[] = {
        {"uni\\Niccolò\\somma.asm", "uni\\\\Niccolò\\\\somma.asm", "uni\\Niccolò\\somma.asm"},
        {"nodir\\voti.csv", "nodir\\\\voti.csv", "nodir\\voti.csv"},
        {"a\nb\tc", "a\\nb\\tc", "a\\nb\\tc"},
        {"\xff", "\\xFF", "\\xFF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(visibleName(c.bytes, Platform::Posix), c.posix);
        EXPECT_EQ(visibleName(c.bytes, Platform::Windows), c.windows);
    }
    EXPECT_EQ(shownPlatform(), Platform::Posix);
    EXPECT_EQ(quotedName("uni\\x"), "'uni\\\\x'");
    setShownPlatform(Platform::Windows);
    EXPECT_EQ(quotedName("uni\\x"), "'uni\\x'");
    setShownPlatform(Platform::Posix);
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
        if (row.stop == Stop::Forbidden) result.forbidden = ForbiddenUse{opcodeOf(Op::Mul), 0x0C, row.count};
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
    for (const auto& c : cases)
        EXPECT_EQ(replayCommand(c.exercise, c.submission, c.name, Platform::Posix), c.command);
}

// On Windows, the line a report prints is pasted into cmd.exe or into
// PowerShell: bare when both take the word as it is, between double quotes
// when both keep it whole there, and between apostrophes, for PowerShell,
// when nothing carries it through both.
TEST(Wording, ReplayCommandsOnWindowsSurviveCmdAndPowerShell) {
    const struct {
        const char* exercise;
        const char* submission;
        const char* name;
        const char* command;
    } cases[] = {
        // Backslashes, letters of any language: bare.
        {"somma.toml", "uni\\Niccolò", "tre", "tarngrade somma.toml uni\\Niccolò --caso tre"},
        {"C:\\corsi\\somma.toml", "uni\\Ștefan\\somma.asm", "tre", "tarngrade C:\\corsi\\somma.toml uni\\Ștefan\\somma.asm --caso tre"},
        // Blanks, apostrophes, cmd's & | < > ( ) ^ and PowerShell's ; , @ # { }: double quotes.
        {"somma.toml", "uni\\d'amico", "tre più quattro", "tarngrade somma.toml \"uni\\d'amico\" --caso \"tre più quattro\""},
        {"somma.toml", "a&b (copia)", "x;y,z", "tarngrade somma.toml \"a&b (copia)\" --caso \"x;y,z\""},
        {"somma.toml", "x.asm", "@{#} | ^ <>", "tarngrade somma.toml x.asm --caso \"@{#} | ^ <>\""},
        {"somma.toml", "x.asm", "50%", "tarngrade somma.toml x.asm --caso \"50%\""},
        // A backslash before the closing quote is doubled: \" would be a quote.
        {"somma.toml", "la mia cartella\\", "x", "tarngrade somma.toml \"la mia cartella\\\\\" --caso x"},
        // PowerShell's typographic dashes and quotes are quoted too.
        {"somma.toml", "x.asm", "a–b", "tarngrade somma.toml x.asm --caso \"a–b\""},
        {"somma.toml", "x.asm", "l’ultimo", "tarngrade somma.toml x.asm --caso \"l’ultimo\""},
        // What begins with '-' never reads as an option.
        {"-es.toml", "-x.asm", "tre", "tarngrade .\\-es.toml .\\-x.asm --caso tre"},
        {"somma.toml", "", "x", "tarngrade somma.toml \"\" --caso x"},
        // $ and ` (PowerShell's even within double quotes), ", %NAME% (cmd.exe's) and PowerShell's
        // typographic double quotes: PowerShell's apostrophes, an apostrophe written twice.
        {"somma.toml", "x.asm", "$(rm)", "tarngrade somma.toml x.asm --caso '$(rm)'"},
        {"somma.toml", "x.asm", "l'`ultimo`", "tarngrade somma.toml x.asm --caso 'l''`ultimo`'"},
        {"somma.toml", "x.asm", "stampa \"ciao\"", "tarngrade somma.toml x.asm --caso 'stampa \"ciao\"'"},
        {"somma.toml", "x.asm", "%PATH% e ‘100%’", "tarngrade somma.toml x.asm --caso '%PATH% e ‘‘100%’’'"},
        {"somma.toml", "x.asm", "“ciao”", "tarngrade somma.toml x.asm --caso '“ciao”'"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(replayCommand(c.exercise, c.submission, c.name, Platform::Windows), c.command) << c.name;
}

TEST(Wording, DebuggerCommandsSurviveAnyShell) {
    const struct {
        const char* program;
        const char* exercise;
        const char* name;
        bool teacher;
        const char* command;
    } cases[] = {
        {"consegne/rossi/somma.asm", "es1.toml", "tre", false,
         "tarndbg consegne/rossi/somma.asm --esercizio es1.toml --caso tre"},
        {"consegne/d'amico.bin", "es1.toml", "tre più quattro", false,
         "tarndbg 'consegne/d'\\''amico.bin' --esercizio es1.toml --caso 'tre più quattro'"},
        // What begins with '-' never reads as an option.
        {"-x.asm", "-es.toml", "-caso", false, "tarndbg ./-x.asm --esercizio ./-es.toml --caso=-caso"},
        {"a\nb.asm", "es.toml", "$(rm)", false, "tarndbg $'a\\x0Ab.asm' --esercizio es.toml --caso '$(rm)'"},
        // The teacher's, which opens a hidden case too: --docente after the
        // case's name, however the name is written.
        {"consegne/rossi/somma.asm", "es1.toml", "caso segreto", true,
         "tarndbg consegne/rossi/somma.asm --esercizio es1.toml --caso 'caso segreto' --docente"},
        {"-x.asm", "es.toml", "-caso", true, "tarndbg ./-x.asm --esercizio es.toml --caso=-caso --docente"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(debuggerCommand(c.program, c.exercise, c.name, c.teacher), c.command) << c.name;
}

// Windows has no tarndbg: the report sends to the browser edition, and says
// what to bring there (the case's input; an image's source from tarndis)
// and what it lacks (the bytes the case places in memory). POSIX keeps the
// tarndbg command.
TEST(Wording, DebuggingAdviceFitsThePlatform) {
    Submission source;
    source.program = "uni\\Niccolò\\somma.asm";
    Submission image;
    image.program = "uni\\d'amico.bin";
    image.kind = ProgramKind::Image;
    TestCase typed;
    typed.name = "tre più quattro";
    typed.input = "3 4\n";
    TestCase placed;
    placed.name = "zero";
    placed.memory = {{200, {1}}};
    TestCase hidden = typed;
    hidden.name = "segreto";
    hidden.hidden = true;
    const struct {
        const Submission* submission;
        const TestCase* testCase;
        Platform platform;
        const char* advice;
    } cases[] = {
        {&source, &typed, Platform::Windows,
         "apri 'uni\\Niccolò\\somma.asm' nell'edizione per il browser, con l'ingresso del caso in «Ingresso»"},
        {&source, &placed, Platform::Windows,
         "apri 'uni\\Niccolò\\somma.asm' nell'edizione per il browser, senza i byte che il caso mette in memoria"},
        {&image, &typed, Platform::Windows,
         "apri nell'edizione per il browser il sorgente che stampa tarndis \"uni\\d'amico.bin\", con l'ingresso del "
         "caso in «Ingresso»"},
        {&source, &typed, Platform::Posix,
         "tarndbg 'uni\\Niccolò\\somma.asm' --esercizio es.toml --caso 'tre più quattro'"},
        // A hidden case, which only the teacher's report shows: tarndbg opens
        // it with --docente; the browser edition has its input typed in.
        {&source, &hidden, Platform::Posix,
         "tarndbg 'uni\\Niccolò\\somma.asm' --esercizio es.toml --caso segreto --docente"},
        {&source, &hidden, Platform::Windows,
         "apri 'uni\\Niccolò\\somma.asm' nell'edizione per il browser, con l'ingresso del caso in «Ingresso»"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(debuggerAdvice(*c.submission, "es.toml", *c.testCase, c.platform), c.advice);
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
    EXPECT_EQ(caseRefusal(exercise, "dieci"), "l'esercizio non ha un caso 'dieci'");
    // The teacher opens a hidden case too, and still no case that is not there.
    EXPECT_EQ(caseRefusal(exercise, "segreto", true), std::nullopt);
    EXPECT_EQ(caseRefusal(exercise, "segrto", true),
              "l'esercizio non ha un caso 'segrto': forse intendevi 'segreto'?");
}

}  // namespace
}  // namespace tarn::grading

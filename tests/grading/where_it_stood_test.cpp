// Where a failing run stood: endless loops proved and shown by their lines,
// the instruction at PC and the last ones executed, and a stop shared by
// every case said once.
#include "grading/exercise_builders.hpp"
#include "grading/grader.hpp"
#include "grading/report_files.hpp"
#include "grading/report_text.hpp"
#include "grading/submission.hpp"
#include "grading/wording.hpp"

#include "support/loop_programs.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

using namespace tarn;
using namespace tarn::grading;

namespace {

std::vector<Byte> addresses(const std::vector<RanInstruction>& instructions) {
    std::vector<Byte> list;
    for (const RanInstruction& instruction : instructions) list.push_back(instruction.address);
    return list;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// Reads a word, then counts for ever: INC overflows from 127 to 0, and once
// the flags have all been set the state comes back every 128 rounds.
const std::string COUNTING_FOR_EVER =
    "inizio: INP numero\n"
    "giro:   INC conta   ; una volta per giro\n"
    "        JMP giro\n"
    "        RST\n"
    "numero: DB 0\n"
    "conta:  DB 0\n";

const std::string STANDING_STILL = "        INP numero\nqui:    JMP qui\nnumero: DB 0\n";
// ADD becomes MUL before it runs.
const std::string TURNS_ADD_INTO_MUL = "    VAL p, 131\np:  ADD x, y\n    RST\nx:  DB 2\ny:  DB 3\n";
// INC x becomes JMP p: a loop no line shows.
const std::string JUMP_OVER_INC = "    VAL p, 64\n    VAL p+1, 6\np:  INC x\n    RST\nx:  DB 0\n";
// A jump to itself written where no line placed anything.
const std::string CODE_WRITTEN_ELSEWHERE = "    VAL 128, 64\n    VAL 129, 128\n    JMP 128\n";

using tarn::testing::TWO_BYTE_COUNTER;

Exercise loopExercise(std::size_t cases, std::uint64_t limit = 5000) {
    std::vector<TestCase> list;
    for (std::size_t index = 0; index < cases; ++index) {
        TestCase testCase = caseNamed("caso" + std::to_string(index + 1), limit);
        testCase.input = std::to_string(index + 1);
        testCase.output = "fatto\n";
        list.push_back(testCase);
    }
    return exerciseWith(list);
}

}  // namespace

TEST(WhereItStood, AnEndlessLoopOfASourceIsNamedWithItsLines) {
    const struct {
        std::string source;
        std::string reason;
        std::vector<std::string> lines;
    } rows[] = {
        {STANDING_STILL, "ciclo infinito: dal passo 2 la macchina ripete sempre lo stesso passo",
         {"istruzioni del ciclo:", "  riga 2: qui: JMP qui"}},
        {COUNTING_FOR_EVER, "ciclo infinito: dal passo 256 la macchina ripete gli stessi 256 passi",
         {"istruzioni del ciclo:", "  riga 2: giro: INC conta ; una volta per giro", "  riga 3: JMP giro"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.source);
        const Exercise exercise = loopExercise(1);
        const SubmissionResult result = gradeOne(exercise, sourceSubmission("rossi", row.source));
        const CaseResult& caseResult = result.cases.front();
        EXPECT_TRUE(caseResult.limitReached);
        ASSERT_TRUE(caseResult.loop);
        EXPECT_EQ(failureReasons(exercise, exercise.cases.front(), result.submission, caseResult),
                  std::vector<std::string>{row.reason});
        EXPECT_EQ(whereItStood(result.submission, exercise.cases.front(), caseResult), row.lines);
        // In the details, right under the reason.
        const std::string details = formatCaseDetails(exercise, "es.toml", result, 0, ReportStyle{});
        std::string expected = "  ✗ caso1: " + row.reason + "\n";
        for (const std::string& line : row.lines) expected += "    " + line + "\n";
        EXPECT_EQ(details.substr(0, expected.size()), expected);
    }
}

TEST(WhereItStood, CodeThatNoLineWroteIsNamedByItsAddress) {
    // The case puts a jump to itself at 0x80, where the program jumps.
    TestCase testCase = caseNamed("altrove");
    const Byte jump = opcodeOf(Op::Jmp);
    testCase.memory = {{0x80, {jump, 0x80}}};
    const Exercise exercise = exerciseWith({testCase});
    const SubmissionResult result = gradeOne(exercise, sourceSubmission("rossi", " NOP\n JMP 128\n"));
    EXPECT_EQ(whereItStood(result.submission, testCase, result.cases.front()),
              (std::vector<std::string>{"istruzioni del ciclo:", "  0x80: fuori dalle righe del programma"}));
}

TEST(WhereItStood, AnEndlessLoopOfAnImageIsNamedWithItsDisassembly) {
    const Exercise exercise = loopExercise(1);
    const SubmissionResult result = gradeOne(exercise, imageSubmission("verdi", COUNTING_FOR_EVER));
    const CaseResult& caseResult = result.cases.front();
    ASSERT_TRUE(caseResult.loop);
    EXPECT_EQ(addresses(caseResult.loop->instructions), (std::vector<Byte>{2, 4}));
    EXPECT_EQ(whereItStood(result.submission, exercise.cases.front(), caseResult),
              (std::vector<std::string>{"istruzioni del ciclo:", "  0x02  L_02: INC D_08", "  0x04  JMP L_02"}));
}

TEST(WhereItStood, ALimitWithoutRepeatShowsPCAndTheLastInstructions) {
    // The counter's period is far beyond the limit: no loop is proved.
    const Exercise exercise = exerciseWith({caseNamed("conta", 1000)});
    const SubmissionResult result = gradeOne(exercise, sourceSubmission("bianchi", TWO_BYTE_COUNTER));
    const CaseResult& caseResult = result.cases.front();
    EXPECT_TRUE(caseResult.limitReached);
    EXPECT_FALSE(caseResult.loop);
    ASSERT_EQ(caseResult.recent.size(), RECENT_INSTRUCTIONS);
    const std::vector<std::string> reasons =
        failureReasons(exercise, exercise.cases.front(), result.submission, caseResult);
    ASSERT_EQ(reasons.size(), 1u);
    EXPECT_EQ(reasons.front().rfind("limite di istruzioni superato: PC = ", 0), 0u) << reasons.front();
    // Rounds of five (INC, CLZ, CMP, JPZ, JMP), the 128th of six with the
    // carry: the 1000th instruction is the fourth of a round, and the next
    // one is its JMP.
    EXPECT_EQ(whereItStood(result.submission, exercise.cases.front(), caseResult),
              (std::vector<std::string>{"istruzione a PC: riga 5: JMP giro",
                                        "ultime istruzioni eseguite, dalla più vecchia:", "  riga 2: CLZ",
                                        "  riga 3: CMP basso, zero", "  riga 4: JPZ riporto", "  riga 5: JMP giro",
                                        "  riga 1: giro: INC basso", "  riga 2: CLZ", "  riga 3: CMP basso, zero",
                                        "  riga 4: JPZ riporto"}));
}

TEST(WhereItStood, AForbiddenInstructionShowsItsLineAndWhatCameBefore) {
    const Exercise exercise = exerciseWith({caseNamed("prodotto")}, {"MUL"});
    const std::string source = " INC conta\n INC conta\n MUL conta, due\n RST\nconta: DB 0\ndue: DB 2\n";
    for (const Submission& submission : {sourceSubmission("neri", source), imageSubmission("neri", source)}) {
        const SubmissionResult result = gradeOne(exercise, submission);
        const CaseResult& caseResult = result.cases.front();
        ASSERT_TRUE(caseResult.forbidden);
        EXPECT_EQ(addresses(caseResult.recent), (std::vector<Byte>{0, 2}));
        const std::vector<std::string> expected =
            submission.kind == ProgramKind::Source
                ? std::vector<std::string>{"istruzione a PC: riga 3: MUL conta, due",
                                           "ultime istruzioni eseguite, dalla più vecchia:", "  riga 1: INC conta",
                                           "  riga 2: INC conta"}
                : std::vector<std::string>{"istruzione a PC: 0x04  MUL D_08, D_09",
                                           "ultime istruzioni eseguite, dalla più vecchia:", "  0x00  INC D_08",
                                           "  0x02  INC D_08"};
        EXPECT_EQ(whereItStood(result.submission, exercise.cases.front(), caseResult), expected);
    }
}

TEST(WhereItStood, ShortRunsAndPassedCasesKeepNothing) {
    // Fewer instructions than the eight kept; a run that ends keeps none.
    const Exercise exercise = exerciseWith({caseNamed("breve", 3), caseNamed("finisce", 100)});
    const SubmissionResult result = gradeOne(exercise, sourceSubmission("gialli", TWO_BYTE_COUNTER));
    EXPECT_EQ(addresses(result.cases[0].recent), (std::vector<Byte>{0, 2, 3}));
    const SubmissionResult ends = gradeOne(exercise, sourceSubmission("gialli", " INC conta\n RST\nconta: DB 0\n"));
    EXPECT_TRUE(ends.cases[1].recent.empty());
    EXPECT_TRUE(whereItStood(ends.submission, exercise.cases[1], ends.cases[1]).empty());
}

TEST(WhereItStood, AHiddenCaseSaysOnlyItsShortReason) {
    Exercise exercise = loopExercise(2);
    exercise.cases[1].hidden = true;
    const SubmissionResult result = gradeOne(exercise, sourceSubmission("rossi", STANDING_STILL));
    const std::string report = formatClassReport(exercise, "es.toml", {result}, nullptr, ReportStyle{});
    EXPECT_EQ(occurrences(report, "istruzioni del ciclo:"), 1u) << report;
    EXPECT_EQ(formatCaseDetails(exercise, "es.toml", result, 1, ReportStyle{}), "  ✗ caso2 (nascosto): non superato\n");
    EXPECT_EQ(failureReasons(exercise, exercise.cases[1], result.submission, result.cases[1]).size(), 1u);
}

TEST(OneBlockPerStudent, TheSameStopInEveryCaseIsSaidOnce) {
    const Exercise exercise = loopExercise(3);
    const SubmissionResult result = gradeOne(exercise, sourceSubmission("rossi", STANDING_STILL));
    const std::string report = formatClassReport(exercise, "es.toml", {result}, nullptr, ReportStyle{});
    EXPECT_NE(report.find("\n  ✗ in tutti i casi: ciclo infinito: dal passo 2 la macchina ripete sempre lo stesso "
                          "passo\n    istruzioni del ciclo:\n      riga 2: qui: JMP qui\n"
                          "    per rivederlo: tarngrade es.toml rossi.asm --caso caso1\n"
                          "    nel debugger: tarndbg rossi.asm --esercizio es.toml --caso caso1\n"),
              std::string::npos)
        << report;
    EXPECT_EQ(occurrences(report, "ciclo infinito"), 1u) << report;
    // Each case keeps its row.
    for (const char* name : {"caso1", "caso2", "caso3"})
        EXPECT_NE(report.find(std::string("NON SUPERATO  ") + name), std::string::npos) << report;

    // A loop that starts at another step in one case is no longer the same
    // stop: there the memory of the case makes CMP differ, and NOP runs too.
    Exercise differing = loopExercise(3);
    differing.cases[1].memory = {{9, {1}}};
    const std::string source = " CMP a, b\n JPZ qui\n NOP\nqui: JMP qui\na: DB 0\nb: DB 0\n";
    const SubmissionResult apart = gradeOne(differing, sourceSubmission("verdi", source));
    const std::string separate = formatClassReport(differing, "es.toml", {apart}, nullptr, ReportStyle{});
    EXPECT_EQ(occurrences(separate, "ciclo infinito"), 3u) << separate;
    EXPECT_EQ(separate.find("in tutti i casi"), std::string::npos) << separate;
}

TEST(OneBlockPerStudent, AForbiddenInstructionInEveryCaseIsSaidOnce) {
    std::vector<TestCase> cases{caseNamed("a"), caseNamed("b"), caseNamed("c")};
    cases[2].hidden = true;
    const Exercise exercise = exerciseWith(cases, {"MUL"});
    const SubmissionResult result =
        gradeOne(exercise, sourceSubmission("neri", " INC conta\n MUL conta, due\n RST\nconta: DB 0\ndue: DB 2\n"));
    const std::string report = formatClassReport(exercise, "es.toml", {result}, nullptr, ReportStyle{});
    EXPECT_NE(report.find("\n  ✗ in tutti i casi visibili: istruzione proibita MUL all'indirizzo 0x02, dopo 1 "
                          "istruzione: l'esecuzione si è fermata lì\n"
                          "    istruzione a PC: riga 2: MUL conta, due\n"
                          "    ultime istruzioni eseguite, dalla più vecchia:\n"
                          "      riga 1: INC conta\n"
                          "    per rivederlo: tarngrade es.toml neri.asm --caso a\n"),
              std::string::npos)
        << report;
    EXPECT_EQ(occurrences(report, "istruzione proibita"), 1u) << report;
}

TEST(OneBlockPerStudent, AnUnrunnableSubmissionIsExplainedOnceAcrossItsCases) {
    const Exercise exercise = loopExercise(3);
    const SubmissionResult result = gradeOne(exercise, sourceSubmission("blu", " JMP dove\n"));
    ASSERT_FALSE(result.submission.runnable());
    const std::string report = formatClassReport(exercise, "es.toml", {result}, nullptr, ReportStyle{});
    const std::string problem = result.submission.problems.front();
    EXPECT_EQ(occurrences(report, problem), 1u) << report;
    EXPECT_EQ(occurrences(report, "il programma non si può eseguire"), 1u) << report;
    EXPECT_EQ(occurrences(report, "NON SUPERATO"), 3u) << report;
}

TEST(WhereItStood, TheJsonReportKeepsTheLoopAndTheLastInstructions) {
    const Exercise exercise = exerciseWith({caseNamed("gira", 100), caseNamed("conta", 1000)}, {"MUL"});
    const SubmissionResult looping = gradeOne(exercise, sourceSubmission("rossi", STANDING_STILL));
    const SubmissionResult counting = gradeOne(exercise, imageSubmission("verdi", TWO_BYTE_COUNTER));
    const SubmissionResult forbidden = gradeOne(exercise, sourceSubmission("neri", TURNS_ADD_INTO_MUL));
    const SubmissionResult rewritten = gradeOne(exercise, sourceSubmission("bruni", JUMP_OVER_INC));
    const nlohmann::json report =
        nlohmann::json::parse(jsonReport(exercise, "es.toml", {looping, counting, forbidden, rewritten}, nullptr));
    const nlohmann::json& loop = report.at("consegne").at(0).at("casi").at(0);
    const nlohmann::json jump =
        nlohmann::json::parse(R"({"indirizzo": 2, "riga": 2, "istruzione": "JMP qui", "riscritta": false})");
    EXPECT_EQ(loop.at("ciclo_infinito"), nlohmann::json({{"passo", 2}, {"lunghezza", 1}, {"istruzioni", {jump}}}));
    EXPECT_EQ(loop.at("ultime_istruzioni").size(), 8u);
    EXPECT_EQ(loop.at("ultime_istruzioni").back(), jump);
    const nlohmann::json& limit = report.at("consegne").at(1).at("casi").at(1);
    EXPECT_TRUE(limit.at("ciclo_infinito").is_null());
    EXPECT_EQ(limit.at("ultime_istruzioni").front(),
              nlohmann::json::parse(R"({"indirizzo": 2, "riga": null, "istruzione": "CLZ", "riscritta": false})"));
    // Instructions the program rewrote, as they ran.
    const nlohmann::json& stopped = report.at("consegne").at(2).at("casi").at(0);
    EXPECT_EQ(stopped.at("istruzione_proibita"), nlohmann::json::parse(R"({"mnemonico": "MUL", "codice": 131,
        "indirizzo": 3, "passo": 1, "riga": 2, "istruzione": "MUL x, y", "riscritta": true})"));
    EXPECT_EQ(stopped.at("ultime_istruzioni"), nlohmann::json::parse(R"([{"indirizzo": 0, "riga": 1,
        "istruzione": "VAL p, 131", "riscritta": false}])"));
    EXPECT_EQ(report.at("consegne").at(3).at("casi").at(0).at("ciclo_infinito").at("istruzioni"),
              nlohmann::json::parse(R"([{"indirizzo": 6, "riga": 3, "istruzione": "JMP p", "riscritta": true}])"));
}

TEST(WhereItStood, AnInstructionTheProgramRewroteIsShownAsItRan) {
    const Exercise forbidsMul = exerciseWith({caseNamed("prodotto")}, {"MUL"});
    const Exercise loops = loopExercise(1);
    const struct {
        const Exercise& exercise;
        Submission submission;
        std::vector<std::string> lines;
    } rows[] = {
        {forbidsMul, sourceSubmission("neri", TURNS_ADD_INTO_MUL),
         {"istruzione a PC: riga 2: p: MUL x, y (riscritta dal programma)",
          "ultime istruzioni eseguite, dalla più vecchia:", "  riga 1: VAL p, 131"}},
        {forbidsMul, imageSubmission("neri", TURNS_ADD_INTO_MUL),
         {"istruzione a PC: 0x03  L_03: MUL D_07, D_08 (riscritta dal programma)",
          "ultime istruzioni eseguite, dalla più vecchia:", "  0x00  VAL L_03, 131"}},
        {loops, sourceSubmission("rossi", JUMP_OVER_INC),
         {"istruzioni del ciclo:", "  riga 3: p: JMP p (riscritta dal programma)"}},
        {loops, sourceSubmission("rossi", CODE_WRITTEN_ELSEWHERE),
         {"istruzioni del ciclo:", "  0x80: JMP 0x80 (riscritta dal programma), fuori dalle righe del programma"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.lines.front() + " " + row.lines.back());
        const SubmissionResult result = gradeOne(row.exercise, row.submission);
        const CaseResult& caseResult = result.cases.front();
        EXPECT_EQ(whereItStood(result.submission, row.exercise.cases.front(), caseResult), row.lines);
        // The reason names the opcode that was about to run.
        if (caseResult.forbidden) {
            EXPECT_EQ(failureReasons(row.exercise, row.exercise.cases.front(), result.submission, caseResult).front(),
                      "istruzione proibita MUL all'indirizzo 0x03, dopo 1 istruzione: l'esecuzione si è fermata lì");
        }
        // The replay of --caso says the same.
        const CaseRun run = runCase(row.exercise, row.exercise.cases.front(), result.submission.image);
        const std::string replay =
            formatReplay(row.exercise, result.submission, row.exercise.cases.front(), run, ReportStyle{});
        EXPECT_NE(replay.find(row.lines.back()), std::string::npos) << replay;
    }
}

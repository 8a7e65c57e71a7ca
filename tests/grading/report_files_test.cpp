#include "grading/report_files.hpp"

#include "machine/instruction_set.hpp"
#include "grading/exercise_builders.hpp"
#include "grading/grader.hpp"
#include "grading/submission.hpp"
#include "grading/wording.hpp"
#include "grading/sample_results.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace tarn::grading {
namespace {

using nlohmann::json;

// Base64 as RFC 4648 has it, padding required; anything else is no bytes.
std::optional<std::string> fromBase64(const std::string& text) {
    const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (text.size() % 4 != 0) return std::nullopt;
    std::string bytes;
    for (std::size_t at = 0; at < text.size(); at += 4) {
        unsigned group = 0;
        std::size_t padding = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const char c = text[at + i];
            const bool last = at + 4 == text.size();
            if (c == '=' && last && i >= 2 && (i == 3 || text[at + 3] == '=')) {
                ++padding;
                group <<= 6;
                continue;
            }
            const std::size_t value = digits.find(c);
            if (value == std::string::npos || padding > 0) return std::nullopt;
            group = (group << 6) | static_cast<unsigned>(value);
        }
        for (std::size_t i = 0; i < 3 - padding; ++i) bytes += static_cast<char>((group >> (16 - 8 * i)) & 0xFF);
    }
    return bytes;
}

TEST(ReportFilesJson, HoldsEveryDetailOfEveryCaseHiddenOnesToo) {
    Exercise exercise = sampleExercise();
    const std::vector<SubmissionResult> results = {mixedResult("anna"), allPassedResult("bruno")};
    const std::string text = jsonReport(exercise, "es1.toml", results, nullptr);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    const json report = json::parse(text);

    const json& ex = report.at("esercizio");
    EXPECT_EQ(ex.at("titolo"), "Somma di due cifre");
    EXPECT_EQ(ex.at("file"), "es1.toml");
    EXPECT_DOUBLE_EQ(ex.at("punti_totali").get<double>(), 3.75);
    EXPECT_EQ(ex.at("limite_istruzioni"), 5000);
    EXPECT_EQ(ex.at("limite_uscita"), 100);
    EXPECT_EQ(ex.at("proibite"), json::array({"MUL"}));
    EXPECT_TRUE(ex.at("dimensione_massima").is_null());
    ASSERT_EQ(ex.at("casi").size(), 3u);
    EXPECT_EQ(ex.at("casi")[0].at("nome"), "tre più quattro");
    EXPECT_EQ(ex.at("casi")[0].at("confronto"), "esatto");
    EXPECT_EQ(ex.at("casi")[1].at("confronto"), "spazi");
    EXPECT_EQ(ex.at("casi")[1].at("nascosto"), true);
    EXPECT_DOUBLE_EQ(ex.at("casi")[2].at("punti").get<double>(), 0.25);

    ASSERT_EQ(report.at("consegne").size(), 2u);
    const json& anna = report.at("consegne")[0];
    EXPECT_EQ(anna.at("studente"), "anna");
    EXPECT_EQ(anna.at("argomento"), "consegne/anna");
    EXPECT_EQ(anna.at("tipo"), "sorgente");
    EXPECT_EQ(anna.at("eseguibile"), true);
    EXPECT_EQ(anna.at("tutti_superati"), false);
    EXPECT_DOUBLE_EQ(anna.at("punti").get<double>(), 1.5);
    ASSERT_EQ(anna.at("casi").size(), 3u);

    const json& first = anna.at("casi")[0];
    EXPECT_EQ(first.at("superato"), true);
    EXPECT_EQ(first.at("motivi"), json::array());
    EXPECT_EQ(first.at("ingresso"), "3 4\n");
    EXPECT_EQ(first.at("uscita_attesa"), "7\n");
    EXPECT_FALSE(first.contains("uscita_byte"));

    // The teacher's record shows the hidden case in full.
    const json& hidden = anna.at("casi")[1];
    EXPECT_EQ(hidden.at("nascosto"), true);
    EXPECT_EQ(hidden.at("superato"), false);
    EXPECT_EQ(hidden.at("uscita"), "SEGRETO\n");
    EXPECT_EQ(hidden.at("uscita_attesa"), "18\n");
    EXPECT_EQ(hidden.at("uscita_corrisponde"), false);
    EXPECT_EQ(hidden.at("istruzione_proibita"), nullptr);
    EXPECT_FALSE(hidden.at("motivi").empty());

    const json& memory = anna.at("casi")[2];
    EXPECT_TRUE(memory.at("uscita_attesa").is_null());
    EXPECT_EQ(memory.at("istruzioni"), 77);
    EXPECT_EQ(memory.at("pc_finale"), 0x21);
    EXPECT_EQ(memory.at("tracce_saltate"), 3);
    EXPECT_EQ(memory.at("istruzione_proibita").at("mnemonico"), "MUL");
    EXPECT_EQ(memory.at("istruzione_proibita").at("indirizzo"), 0x10);
    EXPECT_EQ(memory.at("istruzione_proibita").at("passo"), 5);
    const json differences = json::array({
        {{"tipo", "memoria"}, {"indirizzo", 0xF0}, {"atteso", 21}, {"trovato", 20}},
        {{"tipo", "registro"}, {"nome", "X"}, {"atteso", 3}, {"trovato", 4}},
        {{"tipo", "flag"}, {"nome", "Z"}, {"atteso", 1}, {"trovato", 0}},
    });
    EXPECT_EQ(memory.at("differenze"), differences);
    // The reasons and notes are the shared texts of every report.
    const std::vector<std::string> reasons =
        failureReasons(exercise, exercise.cases[2], results[0].submission, results[0].cases[2]);
    EXPECT_EQ(memory.at("motivi"), json(reasons));
    EXPECT_EQ(memory.at("note"), json(caseNotes(results[0].cases[2])));
    EXPECT_FALSE(memory.at("note").empty());

    const json& summary = report.at("riepilogo");
    EXPECT_EQ(summary.at("consegne"), 2);
    EXPECT_EQ(summary.at("tutti_superati"), 1);
    EXPECT_DOUBLE_EQ(summary.at("media_punti").get<double>(), 2.63);  // (1.5 + 3.75) / 2, to hundredths
    const json cases = json::array({{{"nome", "tre più quattro"}, {"superati", 2}},
                                    {{"nome", "nascosto"}, {"superati", 1}},
                                    {{"nome", "tabella"}, {"superati", 1}}});
    EXPECT_EQ(summary.at("casi"), cases);
    EXPECT_FALSE(report.contains("somiglianze"));

    exercise.maximumSize = 128;
    const json sized = json::parse(jsonReport(exercise, "es1.toml", {}, nullptr));
    EXPECT_EQ(sized.at("esercizio").at("dimensione_massima"), 128);
    EXPECT_EQ(sized.at("riepilogo").at("media_punti"), 0);
}

TEST(ReportFilesJson, SimilaritiesNameTheStudentsOnlyWhenAsked) {
    const Exercise exercise = sampleExercise();
    const std::vector<SubmissionResult> results = {allPassedResult("anna"), allPassedResult("bruno"),
                                                   allPassedResult("carla"), allPassedResult("dario")};
    const Similarities none;
    EXPECT_EQ(json::parse(jsonReport(exercise, "e.toml", results, &none)).at("somiglianze"),
              json({{"identiche", json::array()}, {"coppie", json::array()}}));

    const Similarities found{{{1, 3}}, {{0, 2, 0.9}, {1, 2, 0.75}}};
    const json report = json::parse(jsonReport(exercise, "e.toml", results, &found));
    const json expected = {
        {"identiche", json::array({{{"consegne", {1, 3}}, {"studenti", {"bruno", "dario"}}}})},
        {"coppie", json::array({{{"consegne", {0, 2}}, {"prima", "anna"}, {"seconda", "carla"}, {"punteggio", 0.9}},
                                {{"consegne", {1, 2}}, {"prima", "bruno"}, {"seconda", "carla"}, {"punteggio", 0.75}}})},
    };
    EXPECT_EQ(report.at("somiglianze"), expected);
    EXPECT_EQ(report.at("versione"), 5);
}

// How a case ended, as the JSON report says it: its outcome, the first that
// applies, and whether its output was compared at all.
TEST(ReportFilesJson, EachCaseSaysHowItEndedAndWhetherItsOutputWasCompared) {
    const std::string prints7 = "WRT msg\nRST\nmsg: DB \"7\", 10, 0\n";
    const std::string prints8 = "WRT msg\nRST\nmsg: DB \"8\", 10, 0\n";
    const struct {
        const char* what;
        std::string source;  // empty: a file of 0 bytes
        std::string esito;
        json compared;       // uscita_corrisponde
        std::optional<std::size_t> maximumSize = std::nullopt;
        bool expectsOutput = true;
        bool expectsMemory = false;
        std::size_t outputLimit = 100;
    } rows[] = {
        {"does not assemble", " JMP dove\n", "non_eseguito", nullptr},
        {"too large", prints7, "non_eseguito", nullptr, 2},
        {"empty", "", "non_eseguito", nullptr},
        {"forbidden", " MUL x, x\n RST\nx: DB 0\n", "proibita", nullptr},
        {"an endless loop", "giro: JMP giro\n", "ciclo", nullptr},
        // Two bytes counting together: no state comes back within the limit.
        {"the limit", "giro: INC basso\n CLZ\n CMP basso, zero\n JPZ riporto\n JMP giro\nriporto: INC alto\n"
                      " JMP giro\nbasso: DB 0\nalto: DB 0\nzero: DB 0\n", "limite", nullptr},
        {"the output limit", "giro: WRT msg\nJMP giro\nmsg: DB \"7\", 10, 0\n", "tagliata", nullptr,
         std::nullopt, true, false, 5},
        {"another output", prints8, "uscita", false},
        {"another output and memory", prints8, "uscita", false, std::nullopt, true, true},
        {"the output, not the memory", prints7, "memoria", true, std::nullopt, true, true},
        {"passed", prints7, "superato", true},
        {"passed, no output expected", prints8, "superato", nullptr, std::nullopt, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TestCase testCase = caseNamed("sette", 1000);
        if (row.expectsOutput) testCase.output = "7\n";
        if (row.expectsMemory) testCase.expectedMemory = {{200, {1}}};
        testCase.outputLimit = row.outputLimit;
        Exercise exercise = exerciseWith({testCase}, {"MUL"});
        exercise.maximumSize = row.maximumSize;
        Submission submission;
        submission.argument = submission.program = submission.student = "prova.asm";
        if (row.source.empty()) submission.problems.emplace_back(EMPTY_FILE);
        else assembleSubmission(submission, row.source);
        checkMaximumSize(submission, exercise);
        const json report = json::parse(jsonReport(exercise, "es.toml", gradeClass(exercise, {submission}, 1), nullptr));
        const json& result = report.at("consegne").at(0).at("casi").at(0);
        EXPECT_EQ(result.at("esito"), row.esito);
        EXPECT_EQ(result.at("uscita_corrisponde"), row.compared);
        EXPECT_EQ(result.at("superato"), row.esito == "superato");
    }
}

TEST(ReportFilesJson, AnyBytesAreKeptWithoutThrowing) {
    const Exercise exercise = sampleExercise();
    const struct {
        std::string bytes;
        std::string text;  // as the JSON string holds it
        bool exact;        // valid UTF-8: no "_base64" beside
    } cases[] = {
        {"7\n", "7\n", true},
        {"è € \xF0\x9D\x84\x9E", "è € \xF0\x9D\x84\x9E", true},
        {std::string("a\0b\x01\x7F", 5), std::string("a\0b\x01\x7F", 5), true},
        {"\xFF", "\xEF\xBF\xBD", false},
        {"x\xC3", "x\xEF\xBF\xBD", false},                                       // cut short
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD", false},                         // overlong
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", false},         // surrogate
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", false},  // past U+10FFFF
        {"\xE2\x82\xACok\x80", "€ok\xEF\xBF\xBD", false},
    };
    for (const auto& c : cases) {
        SubmissionResult result = mixedResult(c.bytes);
        result.submission.argument = c.bytes;
        result.submission.problems = {"problema " + c.bytes};
        result.cases[1].output = c.bytes;
        std::string text;
        ASSERT_NO_THROW(text = jsonReport(exercise, c.bytes, {result}, nullptr)) << testing::PrintToString(c.bytes);
        const json report = json::parse(text);
        const json& submission = report.at("consegne")[0];
        const json& output = submission.at("casi")[1];
        EXPECT_EQ(output.at("uscita"), c.text) << testing::PrintToString(c.bytes);
        EXPECT_EQ(submission.at("studente"), c.text);
        EXPECT_EQ(submission.at("argomento"), c.text);
        EXPECT_EQ(report.at("esercizio").at("file"), c.text);
        EXPECT_EQ(submission.at("problemi")[0], "problema " + c.text);
        EXPECT_EQ(output.contains("uscita_base64"), !c.exact);
        EXPECT_EQ(submission.contains("studente_base64"), !c.exact);
        if (!c.exact) {
            EXPECT_EQ(fromBase64(output.at("uscita_base64")), c.bytes);
            EXPECT_EQ(fromBase64(submission.at("studente_base64")), c.bytes);
        }
        EXPECT_FALSE(output.contains("ingresso_base64"));
    }

    // Every byte value, in a similar pair's names too.
    std::string all;
    for (unsigned byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
    std::vector<SubmissionResult> results = {mixedResult(all), mixedResult("b")};
    results[0].cases[0].output = all;
    const Similarities pairs{{}, {{0, 1, 0.9}}};
    std::string text;
    ASSERT_NO_THROW(text = jsonReport(exercise, all, results, &pairs));
    const json report = json::parse(text);
    EXPECT_EQ(fromBase64(report.at("consegne")[0].at("casi")[0].at("uscita_base64")), all);
    EXPECT_EQ(fromBase64(report.at("somiglianze").at("coppie")[0].at("prima_base64")), all);
    // Compact: the exact bytes take a third more than the bytes.
    EXPECT_EQ(report.at("consegne")[0].at("casi")[0].at("uscita_base64").get<std::string>().size(), 344u);
    EXPECT_NO_THROW((void)gradescopeReport(exercise, all, results[0]));
}

TEST(ReportFilesJson, ExactBytesAreStandardBase64) {
    // RFC 4648's vectors, each after a byte that is not UTF-8.
    const struct {
        std::string bytes;
        std::string base64;
    } cases[] = {
        {"\xFF", "/w=="},         {"\xFF" "f", "/2Y="},       {"\xFF" "fo", "/2Zv"},
        {"\xFF" "foo", "/2Zvbw=="}, {"\xFF" "foob", "/2Zvb2I="}, {"\xFF" "fooba", "/2Zvb2Jh"},
        {"\xFB\xFF\xBF", "+/+/"},
    };
    const Exercise exercise = sampleExercise();
    for (const auto& c : cases) {
        SubmissionResult result = mixedResult("anna");
        result.cases[0].output = c.bytes;
        const json report = json::parse(jsonReport(exercise, "es1.toml", {result}, nullptr));
        EXPECT_EQ(report.at("consegne")[0].at("casi")[0].at("uscita_base64"), c.base64) << c.base64;
    }
}

TEST(ReportFilesCsv, GradebookWithARowPerStudentAndPlainDecimals) {
    const Exercise exercise = sampleExercise();
    const std::string csv = csvReport(exercise, {mixedResult("anna"), allPassedResult("bruno"), brokenResult("carla")});
    EXPECT_EQ(csv,
              "studente,tre più quattro,nascosto,tabella,totale\n"
              "anna,1.5,0,0,1.5\n"
              "bruno,1.5,2,0.25,3.75\n"
              "carla,0,0,0,0\n");
    EXPECT_EQ(csvReport(exercise, {}), "studente,tre più quattro,nascosto,tabella,totale\n");
}

TEST(ReportFilesCsv, FieldsAreQuotedAndNeverReadAsFormulas) {
    const struct {
        std::string name;
        std::string field;
    } cases[] = {
        {"mario rossi", "mario rossi"},
        {"rossi, mario", "\"rossi, mario\""},
        {"il \"mago\"", "\"il \"\"mago\"\"\""},
        {"due\nrighe", "\"due\nrighe\""},
        {"a\rb", "a\\rb"},
        {"=HYPERLINK(\"http://x\",\"y\")", "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\""},
        {"+1", "'+1"},
        {"-2", "'-2"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\t=1", "\\t=1"},
        {"\r=1", "\\r=1"},
        {"a=b", "a=b"},
        {"\xFF\x01", "\\xFF\\x01"},
        {"", ""},
    };
    for (const auto& c : cases) {
        Exercise exercise = sampleExercise();
        exercise.cases.resize(1);
        exercise.cases[0].name = c.name;
        SubmissionResult result = allPassedResult(c.name);
        result.cases.resize(1);
        result.points = 1.5;
        EXPECT_EQ(csvReport(exercise, {result}),
                  "studente," + c.field + ",totale\n" + c.field + ",1.5,1.5\n")
            << testing::PrintToString(c.name);
    }
}

TEST(ReportFilesGradescope, TestsPerCaseWithHiddenOnesAfterPublication) {
    const Exercise exercise = sampleExercise();
    const SubmissionResult result = mixedResult("anna");
    const std::string text = gradescopeReport(exercise, "es1.toml", result);
    EXPECT_EQ(text.back(), '\n');
    const json report = json::parse(text);
    // No total: it would give the hidden cases away; Gradescope sums the tests.
    EXPECT_FALSE(report.contains("score"));
    EXPECT_EQ(report.at("visibility"), "visible");
    ASSERT_EQ(report.at("tests").size(), 3u);

    const json& passed = report.at("tests")[0];
    EXPECT_EQ(passed.at("name"), "tre più quattro");
    EXPECT_DOUBLE_EQ(passed.at("score").get<double>(), 1.5);
    EXPECT_DOUBLE_EQ(passed.at("max_score").get<double>(), 1.5);
    EXPECT_EQ(passed.at("visibility"), "visible");
    EXPECT_EQ(passed.at("output"), "superato");
    EXPECT_EQ(passed.at("status"), "passed");

    const json& hidden = report.at("tests")[1];
    EXPECT_EQ(hidden.at("visibility"), "after_published");
    EXPECT_EQ(hidden.at("output"), "non superato");
    EXPECT_EQ(hidden.at("score"), 0);
    EXPECT_EQ(hidden.at("max_score"), 2);
    EXPECT_EQ(hidden.at("status"), "failed");
    EXPECT_EQ(text.find("SEGRETO"), std::string::npos);

    const json& failed = report.at("tests")[2];
    EXPECT_EQ(failed.at("visibility"), "visible");
    const std::string output = failed.at("output");
    const std::vector<std::string> reasons =
        failureReasons(exercise, exercise.cases[2], result.submission, result.cases[2]);
    EXPECT_NE(output.find(reasons.front()), std::string::npos) << output;
    EXPECT_DOUBLE_EQ(failed.at("max_score").get<double>(), 0.25);
    EXPECT_EQ(failed.at("status"), "failed");
    // The student cannot run tarngrade: no replay command (which the
    // teacher's JUnit report keeps: junit_report_test.cpp).
    EXPECT_NE(output.find("istruzioni eseguite: 77"), std::string::npos) << output;
    EXPECT_EQ(text.find("per rivederlo"), std::string::npos) << text;
    EXPECT_EQ(text.find("tarndbg"), std::string::npos) << text;
    EXPECT_EQ(text.find("--caso"), std::string::npos) << text;

    // A case worth no points still says whether it passed.
    Exercise free = exercise;
    free.cases[2].points = 0;
    SubmissionResult freeResult = allPassedResult("bruno");
    freeResult.cases[2].points = 0;
    for (const bool passes : {true, false}) {
        freeResult.cases[2].passed = passes;
        const json test = json::parse(gradescopeReport(free, "es1.toml", freeResult)).at("tests")[2];
        EXPECT_EQ(test.at("score"), 0);
        EXPECT_EQ(test.at("max_score"), 0);
        EXPECT_EQ(test.at("status"), passes ? "passed" : "failed");
    }

    // The summary tells what the visible cases say, and keeps the hidden ones for later.
    const std::string summary = report.at("output");
    EXPECT_NE(summary.find("Somma di due cifre"), std::string::npos);
    EXPECT_NE(summary.find("Casi visibili: 1 caso superato su 2, 1,5 punti su 1,75."), std::string::npos) << summary;
    EXPECT_NE(summary.find("Un caso nascosto"), std::string::npos) << summary;

    const json all = json::parse(gradescopeReport(exercise, "es1.toml", allPassedResult("bruno")));
    double sum = 0;
    for (const json& test : all.at("tests")) sum += test.at("score").get<double>();
    EXPECT_DOUBLE_EQ(sum, 3.75);
    EXPECT_EQ(all.at("tests")[1].at("output"), "superato");
    EXPECT_NE(all.at("output").get<std::string>().find("2 casi superati su 2"), std::string::npos);

    Exercise twoHidden = exercise;
    twoHidden.cases[2].hidden = true;
    const std::string plural = json::parse(gradescopeReport(twoHidden, "es1.toml", result)).at("output");
    EXPECT_NE(plural.find("Casi visibili: 1 caso superato su 1, 1,5 punti su 1,5."), std::string::npos) << plural;
    EXPECT_NE(plural.find("2 casi nascosti: i loro risultati"), std::string::npos) << plural;
}

TEST(ReportFilesGradescope, ProblemsOfASubmissionThatCannotRunAreEverywhere) {
    const Exercise exercise = sampleExercise();
    const SubmissionResult broken = brokenResult("carla");
    const std::string& problem = broken.submission.problems.front();
    const json report = json::parse(gradescopeReport(exercise, "es1.toml", broken));
    EXPECT_NE(report.at("output").get<std::string>().find(problem), std::string::npos);
    for (const json& test : report.at("tests")) {
        EXPECT_EQ(test.at("score"), 0);
        EXPECT_NE(test.at("output").get<std::string>().find(problem), std::string::npos) << test;
    }
    EXPECT_EQ(report.at("tests")[1].at("output").get<std::string>().rfind("non superato\n", 0), 0u);
}

}  // namespace
}  // namespace tarn::grading

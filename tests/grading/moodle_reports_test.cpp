// The texts for Moodle, in process: VPL's evaluation output read by VPL's
// documented rules, and CodeRunner's JSON object.
#include "grading/moodle_reports.hpp"
#include "grading/report_files.hpp"
#include "grading/sample_results.hpp"
#include "grading/vpl_reader.hpp"
#include "grading/wording.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace tarn::grading {
namespace {

using nlohmann::json;
using tarntest::readVplEvaluation;
using tarntest::VplEvaluation;
using tarntest::VplLine;

std::vector<std::string> preformattedAfter(const VplEvaluation& evaluation, const std::string& title) {
    std::vector<std::string> lines;
    bool under = false;
    for (const VplLine& line : evaluation.comments) {
        if (line.kind == VplLine::Kind::Title) under = line.text == title;
        else if (under && line.kind == VplLine::Kind::Preformatted) lines.push_back(line.text);
    }
    return lines;
}

std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

TEST(MoodleVpl, ATitlePerCaseTheDetailsOfAVisibleFailureAndTheGrade) {
    const Exercise exercise = sampleExercise();
    const SubmissionResult result = mixedResult("anna");
    const std::string output = vplReport(exercise, "es1.toml", result, std::nullopt);
    EXPECT_EQ(output.find('\r'), std::string::npos);
    const VplEvaluation evaluation = readVplEvaluation(output);
    EXPECT_FALSE(evaluation.blockLeftOpen);
    ASSERT_TRUE(evaluation.graded);
    EXPECT_EQ(evaluation.grade, "1.5");
    EXPECT_EQ(evaluation.titles(), (std::vector<std::string>{
                                       "Esercizio «Somma di due cifre»",
                                       "Caso «tre più quattro»: superato, 1,5 punti su 1,5",
                                       "Caso «nascosto» (nascosto): non superato, 0 punti su 2",
                                       "Caso «tabella»: non superato, 0 punti su 0,25",
                                   }));
    ASSERT_GE(evaluation.comments.size(), 2u);
    EXPECT_EQ(evaluation.comments[1].kind, VplLine::Kind::Text);
    EXPECT_EQ(evaluation.comments[1].text, "Casi superati: 1 su 3; 1,5 punti su 3,75.");

    // The failed visible case: its details, line by line, preformatted.
    const std::vector<std::string> reasons =
        failureReasons(exercise, exercise.cases[2], result.submission, result.cases[2]);
    const std::string details = failureDetails(exercise, "es1.toml", result, 2, reasons, false);
    EXPECT_EQ(preformattedAfter(evaluation, "Caso «tabella»: non superato, 0 punti su 0,25"), split(details));
    // Of the hidden one, nothing but its title.
    EXPECT_TRUE(preformattedAfter(evaluation, "Caso «nascosto» (nascosto): non superato, 0 punti su 2").empty());
    EXPECT_EQ(output.find("SEGRETO"), std::string::npos);
    EXPECT_EQ(output.find("9 9"), std::string::npos);
}

TEST(MoodleVpl, AProgramThatCannotRunSaysWhyInPreformattedLines) {
    const Exercise exercise = sampleExercise();
    SubmissionResult broken = brokenResult("carla");
    broken.submission.notes = {"nota: la consegna ha anche un file che non è un programma"};
    const VplEvaluation evaluation = readVplEvaluation(vplReport(exercise, "es1.toml", broken, 10.0));
    EXPECT_EQ(evaluation.grade, "0");
    EXPECT_EQ(preformattedAfter(evaluation, "Il programma non è stato eseguito"), broken.submission.problems);
    EXPECT_EQ(preformattedAfter(evaluation, "Da sapere sul programma"), broken.submission.notes);
}

// Whatever a student controls (the program's output, the name of its file,
// and so the assembler's messages) or a teacher writes in a case's name,
// VPL reads the same grade and the same titles: nothing ends the block,
// gives a grade or makes a title.
TEST(MoodleVpl, NothingAStudentWritesEndsTheBlockOrGivesTheGrade) {
    const Exercise exercise = sampleExercise();
    const std::vector<std::string> forgeries = {
        "Grade :=>> 100",        "--|>",      "  --|>  ",          "<|--",
        "\nGrade :=>> 100\n",    "\r\nGrade :=>> 100\r\n--|>\r\n", "Comment :=>> falso",
        "\n-Titolo falso (-5)\n", "\n--|>\nGrade :=>> 100\n<|--\n", "\v\fGrade :=>> 100",
    };
    for (const std::string& forged : forgeries) {
        SCOPED_TRACE(testing::PrintToString(forged));
        SubmissionResult result = mixedResult("anna");
        result.cases[0].passed = false;
        result.cases[0].points = 0;
        result.cases[0].outputMatches = false;
        result.cases[0].output = forged;
        result.submission.notes = {forged};
        Exercise named = exercise;
        named.title = forged;
        named.cases[2].name = forged;
        result.points = 0;
        const std::string output = vplReport(named, "es1.toml", result, 10.0);
        const VplEvaluation evaluation = readVplEvaluation(output);
        EXPECT_EQ(evaluation.grade, "0") << output;
        EXPECT_FALSE(evaluation.blockLeftOpen) << output;
        // The exercise, the notes, three cases: no title more.
        EXPECT_EQ(evaluation.titles().size(), 5u) << output;
        for (const VplLine& line : evaluation.comments) {
            if (line.kind != VplLine::Kind::Text) continue;
            EXPECT_EQ(line.text.rfind("Casi superati: ", 0), 0u) << output;
        }

        SubmissionResult broken = brokenResult(forged);
        const VplEvaluation refused = readVplEvaluation(vplReport(exercise, "es1.toml", broken, std::nullopt));
        EXPECT_EQ(refused.grade, "0");
        EXPECT_FALSE(refused.blockLeftOpen);
        EXPECT_EQ(refused.titles().size(), 5u);
    }
}

TEST(MoodleVpl, TheGradeIsScaledToTheActivityMaximumWithAPoint) {
    Exercise thirds = sampleExercise();
    for (TestCase& testCase : thirds.cases) testCase.points = 1;
    SubmissionResult oneThird = allPassedResult("dario");
    oneThird.cases[1].passed = oneThird.cases[2].passed = false;
    oneThird.points = 1;
    Exercise worthless = sampleExercise();
    for (TestCase& testCase : worthless.cases) testCase.points = 0;
    SubmissionResult allForNothing = allPassedResult("elena");
    allForNothing.points = 0;
    struct Case {
        const char* name;
        Exercise exercise;
        SubmissionResult result;
        std::optional<double> gradeMax;
        std::string grade;
    };
    const std::vector<Case> cases = {
        {"in punti senza massimo", sampleExercise(), mixedResult("anna"), std::nullopt, "1.5"},
        {"1,5 su 3,75 in decimi", sampleExercise(), mixedResult("anna"), 10.0, "4"},
        {"1,5 su 3,75 su 7", sampleExercise(), mixedResult("anna"), 7.0, "2.8"},
        {"tutto su 100", sampleExercise(), allPassedResult("bruno"), 100.0, "100"},
        {"un terzo di 10, due decimali", thirds, oneThird, 10.0, "3.33"},
        {"non eseguito", sampleExercise(), brokenResult("carla"), 10.0, "0"},
        {"casi da 0 punti tutti superati", worthless, allForNothing, 10.0, "10"},
    };
    for (const Case& c : cases) {
        const VplEvaluation evaluation = readVplEvaluation(vplReport(c.exercise, "es1.toml", c.result, c.gradeMax));
        EXPECT_EQ(evaluation.grade, c.grade) << c.name;
    }
}

TEST(MoodleVpl, TheMaximumGradeIsANumberAboveZeroWithAPoint) {
    const std::vector<std::pair<std::string, std::optional<double>>> cases = {
        {"10", 10.0},   {"7.5", 7.5},        {" 10\t", 10.0},      {"0.5", 0.5},
        {"1000000", 1e6}, {"", std::nullopt},  {"  ", std::nullopt}, {"1,5", std::nullopt},
        {"0", std::nullopt}, {"-3", std::nullopt}, {"1e3", std::nullopt}, {"inf", std::nullopt},
        {"nan", std::nullopt}, {"10 punti", std::nullopt}, {"1000001", std::nullopt},
        {"0x10", std::nullopt},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(vplGradeMax(text), expected) << "'" << text << "'";
}

// Every byte value, from the student and from the exercise, comes out as
// text: valid UTF-8 with no control character but new lines and tabs.
TEST(MoodleReports, EveryByteValueBecomesText) {
    std::string all;
    for (unsigned byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
    Exercise exercise = sampleExercise();
    exercise.title = all;
    exercise.cases[0].name = all;
    SubmissionResult result = mixedResult(all);
    result.cases[0].passed = false;
    result.cases[0].outputMatches = false;
    result.cases[0].output = all;
    result.submission.notes = {all};
    SubmissionResult broken = brokenResult(all);
    for (const SubmissionResult& graded : {result, broken}) {
        const std::string vpl = vplReport(exercise, all, graded, 10.0);
        for (const char c : vpl) {
            const auto byte = static_cast<unsigned char>(c);
            EXPECT_TRUE(byte >= 0x20 || c == '\n' || c == '\t') << static_cast<unsigned>(byte);
            EXPECT_NE(byte, 0x7F);
        }
        // nlohmann refuses a string that is not UTF-8.
        EXPECT_NO_THROW((void)json(vpl).dump()) << vpl;
        std::string text;
        ASSERT_NO_THROW(text = coderunnerReport(exercise, all, graded, {all}));
        EXPECT_TRUE(json::accept(text)) << text;
    }
}

TEST(MoodleCoderunner, FractionAndATableWhoseHiddenRowsTellOnlyTheirOutcome) {
    const Exercise exercise = sampleExercise();
    const SubmissionResult result = mixedResult("anna");
    const std::string text = coderunnerReport(exercise, "es1.toml", result, {});
    EXPECT_EQ(text.back(), '\n');
    const json report = json::parse(text);
    EXPECT_DOUBLE_EQ(report.at("fraction").get<double>(), 0.4);
    EXPECT_FALSE(report.contains("prologuehtml"));
    const json& rows = report.at("testresults");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], json::array({"iscorrect", "Caso", "Punti", "Esito", "ishidden"}));
    EXPECT_EQ(rows[1], json::array({1, "tre più quattro", "1,5 su 1,5", "superato", 0}));
    EXPECT_EQ(rows[2], json::array({0, "nascosto", "0 su 2", "non superato", 1}));
    const std::vector<std::string> reasons =
        failureReasons(exercise, exercise.cases[2], result.submission, result.cases[2]);
    EXPECT_EQ(rows[3][3], "non superato\n" + failureDetails(exercise, "es1.toml", result, 2, reasons, false));
    EXPECT_EQ(rows[3][4], 0);
    EXPECT_EQ(text.find("SEGRETO"), std::string::npos);
    EXPECT_EQ(text.find("per rivederlo"), std::string::npos);
    EXPECT_EQ(text.find("tarndbg"), std::string::npos);

    Exercise worthless = exercise;
    for (TestCase& testCase : worthless.cases) testCase.points = 0;
    SubmissionResult allForNothing = allPassedResult("bruno");
    allForNothing.points = 0;
    EXPECT_EQ(json::parse(coderunnerReport(exercise, "es1.toml", allPassedResult("bruno"), {})).at("fraction"), 1);
    EXPECT_EQ(json::parse(coderunnerReport(worthless, "es1.toml", allForNothing, {})).at("fraction"), 1);
    EXPECT_EQ(json::parse(coderunnerReport(worthless, "es1.toml", result, {})).at("fraction"), 0);
}

TEST(MoodleCoderunner, AssemblerErrorsAndWarningsAreEscapedInThePrologue) {
    const Exercise exercise = sampleExercise();
    SubmissionResult broken = brokenResult("<b>carla</b>");
    broken.submission.problems.push_back("<script>alert('x') & \"y\"</script>");
    const json report =
        json::parse(coderunnerReport(exercise, "es1.toml", broken, {"un avviso <i>in corsivo</i>"}));
    EXPECT_EQ(report.at("fraction"), 0);
    const std::string prologue = report.at("prologuehtml");
    EXPECT_NE(prologue.find("&lt;b&gt;carla&lt;/b&gt;.asm:3:5: errore"), std::string::npos) << prologue;
    EXPECT_NE(prologue.find("&lt;script&gt;alert(&#39;x&#39;) &amp; &quot;y&quot;&lt;/script&gt;"), std::string::npos)
        << prologue;
    EXPECT_NE(prologue.find("un avviso &lt;i&gt;in corsivo&lt;/i&gt;"), std::string::npos) << prologue;
    EXPECT_EQ(prologue.find("<script"), std::string::npos);
    EXPECT_EQ(prologue.find("<b>"), std::string::npos);
    EXPECT_EQ(prologue.find("<i>"), std::string::npos);

    const json failure = json::parse(coderunnerFailure({"tarngrade: l'esercizio <es.toml> non c'è"}));
    EXPECT_EQ(failure.at("fraction"), 0);
    EXPECT_FALSE(failure.contains("testresults"));
    EXPECT_NE(failure.at("prologuehtml").get<std::string>().find("tarngrade: l&#39;esercizio &lt;es.toml&gt; non"),
              std::string::npos);
}

}  // namespace
}  // namespace tarn::grading

// The results files of GitHub Classroom and PrairieLearn, read back as the
// platforms read them: what the reporter adds up and prints, what
// PrairieLearn records, and what a hidden case lets through.
#include "grading/classroom_reports.hpp"
#include "grading/report_files.hpp"
#include "grading/sample_results.hpp"
#include "grading/wording.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace tarn::grading {
namespace {

using nlohmann::json;

std::string githubText(const Exercise& exercise, const SubmissionResult& result) {
    return githubClassroomReport(exercise, "es1.toml", result);
}

std::string prairieText(const Exercise& exercise, const SubmissionResult& result) {
    return prairieLearnReport(exercise, "es1.toml", result);
}

// The sum of the tests' scores, as the reporter sends it to the classroom.
double reporterPoints(const json& report) {
    double sum = 0;
    for (const json& test : report.at("tests")) sum += test.at("score").get<double>();
    return sum;
}

// The reporter's grade, its pass or fail, and PrairieLearn's score, for each
// kind of result on the sample exercise (1.5 + 2 + 0.25 points).
TEST(ClassroomReports, GradeAndStatusAsEachPlatformReadsThem) {
    const Exercise exercise = sampleExercise();
    struct Row {
        const char* what;
        SubmissionResult result;
        const char* status;          // the reporter's, of the whole and of every failed case
        double points;
        bool gradable;
        double score;
    };
    const std::vector<Row> rows = {
        {"tutti superati", allPassedResult("anna"), "pass", 3.75, true, 1.0},
        {"uno su tre", mixedResult("bruno"), "fail", 1.5, true, 0.4},
        {"non assemblato", brokenResult("carla"), "error", 0, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string githubFile = githubText(exercise, row.result);
        EXPECT_EQ(githubFile.back(), '\n');
        const json github = json::parse(githubFile);
        EXPECT_EQ(github.at("version"), 1);
        EXPECT_EQ(github.at("status"), row.status);
        EXPECT_DOUBLE_EQ(github.at("max_score").get<double>(), 3.75);
        EXPECT_DOUBLE_EQ(reporterPoints(github), row.points);
        ASSERT_EQ(github.at("tests").size(), 3u);
        for (std::size_t index = 0; index < 3; ++index) {
            const json& test = github.at("tests")[index];
            const bool passed = row.result.cases[index].passed;
            EXPECT_EQ(test.at("status"), passed ? "pass" : row.status) << test;
            // The reporter writes " - line N" after a name unless it is 0.
            EXPECT_EQ(test.at("line_no"), 0);
        }

        const json prairie = json::parse(prairieText(exercise, row.result));
        EXPECT_EQ(prairie.at("gradable"), row.gradable);
        EXPECT_DOUBLE_EQ(prairie.at("score").get<double>(), row.score);
        if (row.gradable) {
            EXPECT_FALSE(prairie.contains("format_errors"));
            ASSERT_EQ(prairie.at("tests").size(), 3u);
            double points = 0;
            for (const json& test : prairie.at("tests")) points += test.at("points").get<double>();
            EXPECT_DOUBLE_EQ(points, row.points);
            EXPECT_DOUBLE_EQ(prairie.at("tests")[1].at("max_points").get<double>(), 2);
        } else {
            // Not graded: the attempt is kept, the assembler's errors say why.
            EXPECT_EQ(prairie.at("format_errors"), json::array({row.result.submission.problems.front()}));
            EXPECT_TRUE(prairie.at("tests").empty());
        }
    }

    // An exercise worth nothing still scores what its cases say.
    Exercise free = exercise;
    for (TestCase& testCase : free.cases) testCase.points = 0;
    SubmissionResult all = allPassedResult("dario");
    SubmissionResult some = mixedResult("elena");
    for (SubmissionResult* result : {&all, &some}) {
        for (CaseResult& run : result->cases) run.points = 0;
        result->points = 0;
    }
    EXPECT_DOUBLE_EQ(json::parse(prairieText(free, all)).at("score").get<double>(), 1.0);
    EXPECT_DOUBLE_EQ(json::parse(prairieText(free, some)).at("score").get<double>(), 0.0);
}

// What each file says of a case: a failing visible one's reasons and
// details, a hidden one's outcome alone, and never a command.
TEST(ClassroomReports, StudentSeesVisibleDetailsButNothingOfHiddenCases) {
    const Exercise exercise = sampleExercise();
    const SubmissionResult result = mixedResult("anna");
    const std::vector<std::string> reasons =
        failureReasons(exercise, exercise.cases[2], result.submission, result.cases[2]);
    const std::string githubFile = githubText(exercise, result);
    const std::string prairieFile = prairieText(exercise, result);
    const json github = json::parse(githubFile);
    const json prairie = json::parse(prairieFile);

    struct View {
        const char* platform;
        const json& test;
        const char* detailsKey;
    };
    for (const std::size_t index : {std::size_t{0}, std::size_t{1}, std::size_t{2}}) {
        for (const View& view : {View{"GitHub", github.at("tests")[index], "test_code"},
                                 View{"PrairieLearn", prairie.at("tests")[index], "output"}}) {
            SCOPED_TRACE(std::string(view.platform) + " caso " + std::to_string(index));
            const std::string message = view.test.at("message");
            const std::string details = view.test.at(view.detailsKey);
            switch (index) {
                case 0:
                    EXPECT_EQ(view.test.at("name"), "tre più quattro");
                    EXPECT_EQ(message, "superato");
                    EXPECT_EQ(details, "");
                    break;
                case 1:
                    EXPECT_EQ(view.test.at("name"), "nascosto (caso nascosto)");
                    EXPECT_EQ(message, "caso nascosto: non superato");
                    EXPECT_EQ(details, "");
                    break;
                default:
                    EXPECT_EQ(message, joinLines(reasons));
                    EXPECT_NE(details.find(reasons.front()), std::string::npos) << details;
                    EXPECT_NE(details.find("istruzioni eseguite: 77"), std::string::npos) << details;
            }
        }
    }
    // The hidden case's input, expected and actual output are nowhere, nor
    // is any command to replay or debug a case.
    for (const std::string& file : {githubFile, prairieFile}) {
        for (const char* secret : {"SEGRETO", "9 9", "\"18", "18\\n", "tarngrade", "tarndbg", "--caso", "per rivederlo"})
            EXPECT_EQ(file.find(secret), std::string::npos) << secret << "\n" << file;
    }
    // The summary counts every case, hidden ones too, as the score does.
    EXPECT_EQ(prairie.at("message"), "Somma di due cifre\n1 caso superato su 3, 1,5 punti su 3,75.");
}

// A program that cannot run: every case tells why, hidden ones too, since
// the problems are the student's own program's.
TEST(ClassroomReports, ProblemsOfAProgramThatCannotRunReachTheStudent) {
    const Exercise exercise = sampleExercise();
    const SubmissionResult broken = brokenResult("carla");
    const json github = json::parse(githubText(exercise, broken));
    for (const json& test : github.at("tests")) {
        // The reporter prints the message of a test in error.
        EXPECT_EQ(test.at("message"), "il programma non si può eseguire:\n" + broken.submission.problems.front());
        EXPECT_EQ(test.at("score"), 0);
    }
    const json prairie = json::parse(prairieText(exercise, broken));
    EXPECT_NE(prairie.at("message").get<std::string>().find("non è stato eseguito"), std::string::npos);
}

// Many failing cases with long outputs: the details fill what room each
// platform leaves, the file stays under its bound, and the cases past it say
// that theirs are left out.
TEST(ClassroomReports, DetailsOfManyCasesStayWithinWhatThePlatformTakes) {
    Exercise exercise = sampleExercise();
    TestCase loud = exercise.cases[0];
    loud.output = std::string(3000, 'A') + "\n";
    exercise.cases.assign(200, loud);
    SubmissionResult result = mixedResult("anna");
    CaseResult failed;
    failed.ran = true;
    failed.instructions = 5;
    failed.outputMatches = false;
    for (int line = 0; line < 40; ++line) failed.output += std::string(200, 'b') + "\n";
    result.cases.assign(200, failed);
    result.points = 0;

    const std::size_t oneCase = failureDetails(exercise, "es1.toml", result, 0,
                                               failureReasons(exercise, loud, result.submission, failed), false)
                                    .size();
    struct Bound {
        const char* platform;
        std::string file;
        const char* detailsKey;
        std::size_t bound;   // of the file as the platform receives it
        bool base64;
    };
    const std::vector<Bound> bounds = {
        {"GitHub", githubText(exercise, result), "test_code", 128 * 1024, true},
        {"PrairieLearn", prairieText(exercise, result), "output", 1000 * 1000, false},
    };
    for (const Bound& bound : bounds) {
        SCOPED_TRACE(bound.platform);
        // Without the budget the file would be over the bound.
        ASSERT_GT(oneCase * 200, bound.bound);
        const std::size_t received = bound.base64 ? (bound.file.size() + 2) / 3 * 4 : bound.file.size();
        EXPECT_LT(received, bound.bound);
        const json tests = json::parse(bound.file).at("tests");
        EXPECT_EQ(tests.front().at(bound.detailsKey).get<std::string>().size(), oneCase);
        const std::string last = tests.back().at(bound.detailsKey);
        EXPECT_NE(last.find("dettagli omessi"), std::string::npos) << last;
        EXPECT_FALSE(tests.back().at("message").get<std::string>().empty());
    }
}

}  // namespace
}  // namespace tarn::grading

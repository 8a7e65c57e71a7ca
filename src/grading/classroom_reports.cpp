// The results files of GitHub Classroom and PrairieLearn, written with
// nlohmann-json.
//
// GitHub Classroom: the fields are those that the classroom's grading
// reporter (classroom-resources/autograding-grading-reporter, v1) reads from
// each runner: it prints every test's name, with " - line N" unless
// "line_no" is 0, its "test_code" when not empty, and the "message" of a
// test whose status is "error"; it sends the sum of the tests' "score" out
// of "max_score" to the classroom, and fails the workflow when "status" is
// "fail" or "error". So a failing visible case's details are its
// "test_code", its reasons the "message" (which earlier reporters print for
// every failed test).
//
// PrairieLearn: the results of an external grader, as its manual describes
// them, for the <pl-external-grader-results> element.
#include "grading/classroom_reports.hpp"

#include "grading/report_files.hpp"
#include "grading/wording.hpp"
#include "text/utf8.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace tarn::grading {

namespace {

using Json = nlohmann::ordered_json;

// What a student may know of one case.
struct CaseView {
    std::string name;      // with "(caso nascosto)" after a hidden one's
    bool passed = false;
    double points = 0;
    double maximum = 0;
    std::string message;   // the reasons of a failing visible case, or the outcome
    std::string details;   // of a failing visible case: input, outputs, instructions; else empty
};

// Why nothing ran, for every case of a program that cannot run.
std::string notRunMessage(const SubmissionResult& result) {
    return "il programma non si può eseguire:\n" + visibleText(joinLines(result.submission.problems));
}

CaseView caseView(const Exercise& exercise, const std::string& exerciseArgument, const SubmissionResult& result,
                  std::size_t index) {
    const TestCase& testCase = exercise.cases[index];
    CaseView view;
    view.name = visibleText(testCase.name) + (testCase.hidden ? " (caso nascosto)" : "");
    view.maximum = roundedPoints(testCase.points);
    if (index >= result.cases.size()) {
        view.message = "non eseguito";
        return view;
    }
    const CaseResult& run = result.cases[index];
    view.passed = run.passed;
    view.points = roundedPoints(run.points);
    if (!result.submission.runnable()) {
        view.message = notRunMessage(result);
    } else if (testCase.hidden) {
        view.message = run.passed ? "caso nascosto: superato" : "caso nascosto: non superato";
    } else if (run.passed) {
        view.message = "superato";
    } else {
        const std::vector<std::string> reasons = failureReasons(exercise, testCase, result.submission, run);
        view.message = visibleText(joinLines(reasons));
        view.details = failureDetails(exercise, exerciseArgument, result, index, reasons, false);
    }
    return view;
}

std::string dumped(const Json& report) {
    // Every text is valid UTF-8 by now; replace is only a guard, so that no
    // bytes can ever make this throw.
    return report.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string githubClassroomReport(const Exercise& exercise, const std::string& exerciseArgument,
                                  const SubmissionResult& result) {
    const bool runnable = result.submission.runnable();
    const char* const failed = runnable ? "fail" : "error";
    Json report;
    report["version"] = 1;
    report["status"] = result.allPassed() ? "pass" : failed;
    report["max_score"] = roundedPoints(exercise.totalPoints());
    Json tests = Json::array();
    for (std::size_t index = 0; index < exercise.cases.size(); ++index) {
        const CaseView view = caseView(exercise, exerciseArgument, result, index);
        Json test;
        test["name"] = view.name;
        test["status"] = view.passed ? "pass" : failed;
        test["score"] = view.points;
        test["message"] = view.message;
        test["test_code"] = view.details;
        test["filename"] = "";
        test["line_no"] = 0;
        test["duration"] = 0;
        tests.push_back(std::move(test));
    }
    report["tests"] = std::move(tests);
    return dumped(report);
}

std::string prairieLearnReport(const Exercise& exercise, const std::string& exerciseArgument,
                               const SubmissionResult& result) {
    Json report;
    const Submission& submission = result.submission;
    std::string message = visibleText(exercise.title) + "\n";
    if (!submission.runnable()) {
        // Not a wrong answer, one that could not be tried: PrairieLearn gives
        // no points, takes none away and keeps the attempt.
        report["gradable"] = false;
        report["score"] = 0.0;
        Json errors = Json::array();
        for (const std::string& problem : submission.problems) errors.push_back(visibleText(problem));
        report["format_errors"] = std::move(errors);
        message += "Il programma non è stato eseguito: correggilo e consegnalo di nuovo.";
        if (!submission.notes.empty()) message += "\n" + visibleText(joinLines(submission.notes));
        report["message"] = message;
        report["tests"] = Json::array();
        return dumped(report);
    }
    const double total = exercise.totalPoints();
    double score = result.allPassed() ? 1.0 : 0.0;
    if (total > 0 && std::isfinite(total) && std::isfinite(result.points))
        score = std::clamp(result.points / total, 0.0, 1.0);
    report["gradable"] = true;
    report["score"] = std::round(score * 10000.0) / 10000.0;
    std::size_t passed = 0;
    Json tests = Json::array();
    for (std::size_t index = 0; index < exercise.cases.size(); ++index) {
        const CaseView view = caseView(exercise, exerciseArgument, result, index);
        if (view.passed) ++passed;
        Json test;
        test["name"] = view.name;
        test["points"] = view.points;
        test["max_points"] = view.maximum;
        test["message"] = view.message;
        test["output"] = view.details;
        tests.push_back(std::move(test));
    }
    message += countedCases(passed, exercise.cases.size()) + ", " + pointsOutOf(result.points, total) + ".";
    if (!submission.notes.empty()) message += "\n" + visibleText(joinLines(submission.notes));
    report["message"] = message;
    report["tests"] = std::move(tests);
    return dumped(report);
}

}  // namespace tarn::grading

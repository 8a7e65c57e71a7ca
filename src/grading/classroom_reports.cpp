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
//
// Both files have a bound that a class's report has not. The reporter gets
// the results through an environment variable, in base64, and Linux takes
// no variable over 128 KiB; PrairieLearn takes no results over 1 MB. Each
// case's details are already short (the report cuts a long output), but
// there may be many cases: the details fill the room that the rest of the
// file leaves, in the cases' order, and those that do not fit say so.
#include "grading/classroom_reports.hpp"

#include "grading/report_files.hpp"
#include "grading/wording.hpp"
#include "text/utf8.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace tarn::grading {

namespace {

using Json = nlohmann::ordered_json;

// The bytes each file may take: with its base64 and the variable's name,
// the reporter's variable stays under 128 KiB; PrairieLearn's file stays
// under 1 MB.
constexpr std::size_t GITHUB_BOUND = 90 * 1024;
constexpr std::size_t PRAIRIELEARN_BOUND = 900 * 1000;

constexpr const char* DETAILS_LEFT_OUT = "(dettagli omessi: non c'è più spazio nel file dei risultati)";

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

std::string dumped(const Json& report, int indent) {
    // Every text is valid UTF-8 by now; replace is only a guard, so that no
    // bytes can ever make this throw.
    return report.dump(indent, ' ', false, Json::error_handler_t::replace) + "\n";
}

// The bytes a text takes in the file: quoted, escaped.
std::size_t storedSize(const std::string& text) {
    return Json(text).dump(-1, ' ', false, Json::error_handler_t::replace).size();
}

// The report with each test's details under key, as many as the bound
// leaves room for: the report is measured with none, room is kept for every
// failing case to say that its details are left out, then the details go in,
// in the cases' order, while they fit. (With so many cases that not even
// that fits, no case has details.)
std::string withDetails(Json report, const std::vector<CaseView>& views, const char* key, std::size_t bound,
                        int indent) {
    const std::size_t marker = storedSize(DETAILS_LEFT_OUT) - 2;
    std::size_t needed = dumped(report, indent).size();
    for (const CaseView& view : views)
        if (!view.details.empty()) needed += marker;
    if (needed > bound) return dumped(report, indent);
    std::size_t room = bound - needed;
    Json& tests = report["tests"];
    for (std::size_t index = 0; index < views.size() && index < tests.size(); ++index) {
        const std::string& details = views[index].details;
        if (details.empty()) continue;
        const std::size_t more = storedSize(details) - 2 - std::min(marker, storedSize(details) - 2);
        if (more <= room) {
            tests[index][key] = details;
            room -= more;
        } else {
            tests[index][key] = DETAILS_LEFT_OUT;
        }
    }
    return dumped(report, indent);
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
    std::vector<CaseView> views;
    for (std::size_t index = 0; index < exercise.cases.size(); ++index) {
        views.push_back(caseView(exercise, exerciseArgument, result, index));
        const CaseView& view = views.back();
        Json test;
        test["name"] = view.name;
        test["status"] = view.passed ? "pass" : failed;
        test["score"] = view.points;
        test["message"] = view.message;
        test["test_code"] = "";
        test["filename"] = "";
        test["line_no"] = 0;
        test["duration"] = 0;
        tests.push_back(std::move(test));
    }
    report["tests"] = std::move(tests);
    // On one line: nobody reads it but the reporter, and every byte counts.
    return withDetails(std::move(report), views, "test_code", GITHUB_BOUND, -1);
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
        return dumped(report, 2);
    }
    const double total = exercise.totalPoints();
    double score = result.allPassed() ? 1.0 : 0.0;
    if (total > 0 && std::isfinite(total) && std::isfinite(result.points))
        score = std::clamp(result.points / total, 0.0, 1.0);
    report["gradable"] = true;
    report["score"] = std::round(score * 10000.0) / 10000.0;
    std::size_t passed = 0;
    Json tests = Json::array();
    std::vector<CaseView> views;
    for (std::size_t index = 0; index < exercise.cases.size(); ++index) {
        views.push_back(caseView(exercise, exerciseArgument, result, index));
        const CaseView& view = views.back();
        if (view.passed) ++passed;
        Json test;
        test["name"] = view.name;
        test["points"] = view.points;
        test["max_points"] = view.maximum;
        test["message"] = view.message;
        test["output"] = "";
        tests.push_back(std::move(test));
    }
    message += countedCases(passed, exercise.cases.size()) + ", " + pointsOutOf(result.points, total) + ".";
    if (!submission.notes.empty()) message += "\n" + visibleText(joinLines(submission.notes));
    report["message"] = message;
    report["tests"] = std::move(tests);
    return withDetails(std::move(report), views, "output", PRAIRIELEARN_BOUND, 2);
}

}  // namespace tarn::grading

#include "programs/tarngrade/junit_report.hpp"

#include "grading/report_files.hpp"
#include "grading/report_text.hpp"
#include "grading/wording.hpp"
#include "text/utf8.hpp"

#include <pugixml.hpp>

#include <sstream>
#include <string_view>

namespace tarn::grading {

namespace {

void setAttribute(pugi::xml_node node, const char* name, std::string_view bytes) {
    node.append_attribute(name).set_value(visibleText(bytes).c_str());
}

void setCount(pugi::xml_node node, const char* name, std::size_t count) {
    node.append_attribute(name).set_value(std::to_string(count).c_str());
}

// "punti: 1,5 su 2", as the text report writes points.
std::string casePointsLine(double obtained, double worth) {
    return "punti: " + formatPoints(obtained) + " su " + formatPoints(worth);
}

}  // namespace

std::string junitReport(const Exercise& exercise, const std::string& exerciseArgument,
                        const std::vector<SubmissionResult>& results) {
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version").set_value("1.0");
    declaration.append_attribute("encoding").set_value("UTF-8");

    pugi::xml_node suites = document.append_child("testsuites");
    setAttribute(suites, "name", exercise.title);
    std::size_t tests = 0;
    std::size_t failures = 0;
    for (const SubmissionResult& result : results) {
        const std::size_t count = caseCount(exercise, result);
        std::size_t failed = 0;
        for (std::size_t index = 0; index < count; ++index)
            if (!result.cases[index].passed) ++failed;
        tests += count;
        failures += failed;
    }
    // A case that fails is a failure, also when the program cannot run: no
    // case ends in an error of the grader's own.
    setCount(suites, "tests", tests);
    setCount(suites, "failures", failures);
    setCount(suites, "errors", 0);

    for (const SubmissionResult& result : results) {
        const Submission& submission = result.submission;
        const std::size_t count = caseCount(exercise, result);
        std::size_t failed = 0;
        for (std::size_t index = 0; index < count; ++index)
            if (!result.cases[index].passed) ++failed;

        pugi::xml_node suite = suites.append_child("testsuite");
        setAttribute(suite, "name", submission.student);
        setCount(suite, "tests", count);
        setCount(suite, "failures", failed);
        setCount(suite, "errors", 0);
        pugi::xml_node properties = suite.append_child("properties");
        pugi::xml_node points = properties.append_child("property");
        points.append_attribute("name").set_value("punti");
        points.append_attribute("value").set_value(formatPointsPlain(result.points).c_str());
        pugi::xml_node total = properties.append_child("property");
        total.append_attribute("name").set_value("punti_totali");
        total.append_attribute("value").set_value(formatPointsPlain(exercise.totalPoints()).c_str());

        for (std::size_t index = 0; index < count; ++index) {
            const TestCase& testCase = exercise.cases[index];
            const CaseResult& caseResult = result.cases[index];
            pugi::xml_node testcase = suite.append_child("testcase");
            setAttribute(testcase, "name", testCase.name);
            setAttribute(testcase, "classname", submission.student);
            // The case's points: the schema gives a testcase no properties,
            // and its system-out is what Jenkins shows on the case's page
            // and GitLab beside a failure.
            const std::string points = casePointsLine(caseResult.points, testCase.points);
            if (caseResult.passed) {
                testcase.append_child("system-out").text().set(points.c_str());
                continue;
            }
            pugi::xml_node failure = testcase.append_child("failure");
            std::string body;
            if (testCase.hidden) {
                failure.append_attribute("message").set_value("caso nascosto non superato");
                if (!submission.runnable()) body = visibleText(joinLines(submission.problems));
            } else {
                const std::vector<std::string> reasons = failureReasons(exercise, testCase, submission, caseResult);
                setAttribute(failure, "message", reasons.empty() ? std::string("caso non superato") : reasons.front());
                // What a student may see: no command to replay the case.
                body = failureDetails(exercise, exerciseArgument, result, index, reasons, false);
            }
            if (!body.empty()) failure.text().set(body.c_str());
            testcase.append_child("system-out").text().set(points.c_str());
        }
        if (const std::string own = submissionLines(submission); !own.empty())
            suite.append_child("system-out").text().set(visibleText(own).c_str());
    }

    std::ostringstream out;
    document.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

bool junitAvailable() {
    return true;
}

}  // namespace tarn::grading

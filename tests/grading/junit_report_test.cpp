// The teacher's JUnit report, read back with pugixml: one suite per student,
// failures that say why, and well-formed XML whatever the names and outputs.
#include "programs/tarngrade/junit_report.hpp"
#include "grading/report_files.hpp"
#include "grading/sample_results.hpp"
#include "grading/wording.hpp"
#include "text/utf8.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

namespace tarn::grading {
namespace {

using nlohmann::json;

// Whether text is valid UTF-8, as nlohmann-json judges it.
bool isUtf8(const std::string& text) {
    try {
        (void)json(text).dump();
        return true;
    } catch (const json::exception&) {
        return false;
    }
}

// What XML 1.0 allows: UTF-8, no raw control characters but tab and line
// ends, and character references only to characters it can hold.
::testing::AssertionResult strictXml(const std::string& xml) {
    if (!isUtf8(xml)) return ::testing::AssertionFailure() << "not UTF-8";
    for (const char c : xml) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r')
            return ::testing::AssertionFailure() << "raw control byte " << unsigned{byte};
    }
    for (std::size_t at = xml.find("&#"); at != std::string::npos; at = xml.find("&#", at + 2)) {
        const bool hex = at + 2 < xml.size() && xml[at + 2] == 'x';
        const unsigned long code = std::strtoul(xml.c_str() + at + (hex ? 3 : 2), nullptr, hex ? 16 : 10);
        const bool allowed = code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
                             (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
        if (!allowed) return ::testing::AssertionFailure() << "reference to " << code;
    }
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_string(xml.c_str());
    if (!parsed) return ::testing::AssertionFailure() << parsed.description();
    return ::testing::AssertionSuccess();
}

pugi::xml_document parseXml(const std::string& xml) {
    pugi::xml_document document;
    EXPECT_TRUE(document.load_string(xml.c_str())) << xml;
    return document;
}

}  // namespace

TEST(ReportFilesJunit, OneSuitePerStudentWithFailuresThatSayWhy) {
    const Exercise exercise = sampleExercise();
    const std::vector<SubmissionResult> results = {mixedResult("anna"), allPassedResult("bruno")};
    const std::string xml = junitReport(exercise, "es1.toml", results);
    ASSERT_TRUE(strictXml(xml)) << xml;
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << xml;
    const pugi::xml_document document = parseXml(xml);

    const pugi::xml_node suites = document.child("testsuites");
    EXPECT_STREQ(suites.attribute("name").value(), "Somma di due cifre");
    EXPECT_EQ(suites.attribute("tests").as_int(), 6);
    EXPECT_EQ(suites.attribute("failures").as_int(), 2);
    EXPECT_STREQ(suites.attribute("errors").value(), "0");

    const pugi::xml_node anna = suites.find_child_by_attribute("testsuite", "name", "anna");
    const pugi::xml_node bruno = suites.find_child_by_attribute("testsuite", "name", "bruno");
    ASSERT_TRUE(anna && bruno);
    EXPECT_EQ(anna.attribute("tests").as_int(), 3);
    EXPECT_EQ(anna.attribute("failures").as_int(), 2);
    // Every suite has what Jenkins' schema requires: name, tests, failures, errors.
    for (const pugi::xml_node suite : suites.children("testsuite"))
        EXPECT_STREQ(suite.attribute("errors").value(), "0");
    EXPECT_EQ(bruno.attribute("failures").as_int(), 0);
    EXPECT_FALSE(bruno.child("testcase").child("failure"));
    EXPECT_STREQ(anna.child("properties").find_child_by_attribute("property", "name", "punti")
                     .attribute("value").value(), "1.5");
    EXPECT_STREQ(bruno.child("properties").find_child_by_attribute("property", "name", "punti_totali")
                     .attribute("value").value(), "3.75");

    std::vector<std::string> names;
    for (const pugi::xml_node testcase : anna.children("testcase")) {
        names.emplace_back(testcase.attribute("name").value());
        EXPECT_STREQ(testcase.attribute("classname").value(), "anna");
    }
    EXPECT_EQ(names, (std::vector<std::string>{"tre più quattro", "nascosto", "tabella"}));

    const pugi::xml_node passed = anna.find_child_by_attribute("testcase", "name", "tre più quattro");
    EXPECT_FALSE(passed.child("failure"));

    // A hidden case says that it failed, nothing more.
    const pugi::xml_node hidden = anna.find_child_by_attribute("testcase", "name", "nascosto").child("failure");
    ASSERT_TRUE(hidden);
    EXPECT_STREQ(hidden.attribute("message").value(), "caso nascosto non superato");
    EXPECT_STREQ(hidden.text().get(), "");
    EXPECT_EQ(xml.find("SEGRETO"), std::string::npos);

    const pugi::xml_node visible = anna.find_child_by_attribute("testcase", "name", "tabella").child("failure");
    ASSERT_TRUE(visible);
    const std::vector<std::string> reasons =
        failureReasons(exercise, exercise.cases[2], results[0].submission, results[0].cases[2]);
    EXPECT_EQ(visible.attribute("message").value(), reasons.front());
    const std::string body = visible.text().get();
    EXPECT_NE(body.find(reasons.back()), std::string::npos) << body;
    EXPECT_FALSE(anna.child("system-out"));
}

TEST(ReportFilesJunit, ProblemsOfASubmissionThatCannotRunAreInEveryFailure) {
    const Exercise exercise = sampleExercise();
    const SubmissionResult broken = brokenResult("carla");
    const std::string& problem = broken.submission.problems.front();
    const std::string xml = junitReport(exercise, "es1.toml", {broken});
    ASSERT_TRUE(strictXml(xml)) << xml;
    const pugi::xml_document document = parseXml(xml);
    const pugi::xml_node suite = document.child("testsuites").child("testsuite");
    EXPECT_EQ(suite.attribute("failures").as_int(), 3);
    EXPECT_NE(std::string(suite.child("system-out").text().get()).find(problem), std::string::npos);
    int failures = 0;
    for (const pugi::xml_node testcase : suite.children("testcase")) {
        const pugi::xml_node failure = testcase.child("failure");
        ASSERT_TRUE(failure);
        ++failures;
        const std::string everything = std::string(failure.attribute("message").value()) + "\n" + failure.text().get();
        EXPECT_NE(everything.find(problem), std::string::npos) << everything;
    }
    EXPECT_EQ(failures, 3);
}

TEST(ReportFilesJunit, HostileNamesAndOutputsKeepTheXmlWellFormed) {
    Exercise exercise = sampleExercise();
    std::string all;
    for (unsigned byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
    exercise.title = "titolo \x01 & <b>";
    exercise.cases[0].name = std::string("caso\0\x1B]]>\"'", 11);
    SubmissionResult result = mixedResult(all + "\xEF\xBF\xBE");
    result.cases[0] = CaseResult{};
    result.cases[0].ran = true;
    result.cases[0].output = all;
    result.cases[0].outputMatches = false;
    result.submission.notes = {all};
    SubmissionResult broken = brokenResult("x");
    broken.submission.problems = {all + "\r\n"};

    const std::string xml = junitReport(exercise, all, {result, broken});
    ASSERT_TRUE(strictXml(xml)) << xml;
    const pugi::xml_document document = parseXml(xml);
    EXPECT_STREQ(document.child("testsuites").attribute("name").value(), "titolo \\x01 & <b>");
    const pugi::xml_node suite = document.child("testsuites").child("testsuite");
    EXPECT_EQ(suite.attribute("name").value(), visibleText(all + "\xEF\xBF\xBE"));
    EXPECT_EQ(suite.child("testcase").attribute("name").value(), visibleText(exercise.cases[0].name));
    EXPECT_NE(std::string(suite.child("system-out").text().get()).find(visibleText(all)), std::string::npos);
}

TEST(ReportFilesJunit, EveryCaseHasItsPointsInItsSystemOut) {
    // The schema gives a testcase no properties: its points are in its own
    // system-out, passed or failed, hidden or not.
    const Exercise exercise = sampleExercise();
    const std::vector<SubmissionResult> results = {mixedResult("anna"), allPassedResult("bruno"),
                                                   brokenResult("carla")};
    const std::string xml = junitReport(exercise, "es1.toml", results);
    const pugi::xml_document document = parseXml(xml);
    const pugi::xml_node suites = document.child("testsuites");
    const struct {
        const char* student;
        std::vector<std::string> points;
    } expected[] = {
        {"anna", {"punti: 1,5 su 1,5", "punti: 0 su 2", "punti: 0 su 0,25"}},
        {"bruno", {"punti: 1,5 su 1,5", "punti: 2 su 2", "punti: 0,25 su 0,25"}},
        {"carla", {"punti: 0 su 1,5", "punti: 0 su 2", "punti: 0 su 0,25"}},
    };
    for (const auto& student : expected) {
        const pugi::xml_node suite = suites.find_child_by_attribute("testsuite", "name", student.student);
        ASSERT_TRUE(suite) << student.student;
        std::vector<std::string> points;
        for (const pugi::xml_node testcase : suite.children("testcase")) {
            // One system-out each, never one per failure and another besides.
            EXPECT_EQ(std::distance(testcase.children("system-out").begin(), testcase.children("system-out").end()), 1);
            points.emplace_back(testcase.child("system-out").text().get());
        }
        EXPECT_EQ(points, student.points) << student.student;
    }
}

TEST(ReportFilesJunit, NoReportForAStudentHoldsACommand) {
    // GitLab and Jenkins show a failure to whoever sees the pipeline, the
    // student too: as in Gradescope's file, no command to replay the case
    // or to step through it, which only the teacher can run.
    const Exercise exercise = sampleExercise();
    const SubmissionResult result = mixedResult("anna");
    const struct {
        const char* format;
        std::string text;
    } reports[] = {
        {"junit", junitReport(exercise, "es1.toml", {result})},
        {"gradescope", gradescopeReport(exercise, "es1.toml", result)},
    };
    // The teacher's details of the same case have both commands: the check can fail.
    const std::string teacher = failureDetails(exercise, "es1.toml", result, 2, {}, true);
    ASSERT_NE(teacher.find("per rivederlo: tarngrade"), std::string::npos) << teacher;
    ASSERT_NE(teacher.find("nel debugger: tarndbg"), std::string::npos) << teacher;
    for (const auto& report : reports)
        for (const char* command : {"per rivederlo", "nel debugger", "tarngrade ", "tarndbg ", "--caso"})
            EXPECT_EQ(report.text.find(command), std::string::npos) << report.format << ": " << command << "\n"
                                                                    << report.text;
}

}  // namespace tarn::grading

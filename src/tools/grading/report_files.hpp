// The reports for course platforms: JSON with every detail, JUnit XML,
// a CSV gradebook and Gradescope's results.json.
#pragma once

#include "tools/grading/exercise.hpp"
#include "tools/grading/grader.hpp"
#include "tools/grading/similarity.hpp"

#include <string>
#include <vector>

namespace tarn::grading {

// Everything: the exercise, and for every submission every case with its
// input, expected and actual output, reasons and counts, hidden ones too
// (marked). The groups of identical submissions and the similar pairs when
// asked for (similar is null otherwise).
std::string jsonReport(const Exercise& exercise, const std::string& exerciseArgument,
                       const std::vector<SubmissionResult>& results, const Similarities* similar);

// JUnit XML as Jenkins' xUnit schema (junit-10.xsd) has it: one testsuite
// per student, one testcase per case; a failure says why, with no details
// for a hidden case.
std::string junitReport(const Exercise& exercise, const std::string& exerciseArgument,
                        const std::vector<SubmissionResult>& results);

// A gradebook: a header, then a row per student with the points of every
// case and the total.
std::string csvReport(const Exercise& exercise, const std::vector<SubmissionResult>& results);

// Gradescope's results.json for one submission: a test per case with name,
// score, max_score, status, output and visibility (hidden cases
// after_published). What it says is for the student: no replay command.
std::string gradescopeReport(const Exercise& exercise, const std::string& exerciseArgument,
                             const SubmissionResult& result);

}  // namespace tarn::grading

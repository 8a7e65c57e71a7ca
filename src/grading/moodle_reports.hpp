// What Moodle reads from tarngrade for one submission: the evaluation output
// of the Virtual Programming Lab (VPL), and the JSON object of a CodeRunner
// question's template grader. Both are for the student: a hidden case tells
// its name, points and whether it passed, never its input or expected
// output, and no text gives a command to replay a case.
#pragma once

#include "grading/exercise.hpp"
#include "grading/grader.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::grading {

// VPL_GRADEMAX as the activity gives it ("10", "7.5"): a number above 0 and
// at most MAX_VPL_GRADE, with a decimal point. Nothing for anything else.
constexpr double MAX_VPL_GRADE = 1'000'000;
std::optional<double> vplGradeMax(std::string_view text);

// VPL's evaluation output: one comment block, with a title line ("-...") for
// the exercise and for each case, the student's own bytes only on
// preformatted lines (">..."), then the grade ("Grade :=>> 7.5"): the points
// scaled to gradeMax when given, otherwise the points themselves, with a
// decimal point and at most two decimals.
std::string vplReport(const Exercise& exercise, const std::string& exerciseArgument, const SubmissionResult& result,
                      std::optional<double> gradeMax);

// The JSON object of CodeRunner's combinator template grader: "fraction" of
// the total points (0 to 1), "testresults" as a table whose first row is
// its header (with the "iscorrect" and "ishidden" columns), and, when there
// is something to say before it, "prologuehtml": why the program did not
// run, what is worth knowing about it, and the warnings given.
std::string coderunnerReport(const Exercise& exercise, const std::string& exerciseArgument,
                             const SubmissionResult& result, const std::vector<std::string>& warnings);

// The same object when grading could not even start (a usage or file
// error): fraction 0 and the messages, so that the question shows them.
std::string coderunnerFailure(const std::vector<std::string>& messages);

}  // namespace tarn::grading

// --vpl and --coderunner: one submission's grade on standard output, in the
// form that Moodle's Virtual Programming Lab or a CodeRunner question reads,
// in place of the report.
#pragma once

#include "grading/exercise.hpp"
#include "grading/grader.hpp"

#include <string>
#include <vector>

namespace tarn::grading {

// VPL's evaluation output, the grade scaled to VPL_GRADEMAX when the
// activity sets it (a warning on standard error when it is not a maximum
// grade: the grade is then in points). The exit status: 0 when every case
// passed, 1 when one failed, 2 when standard output cannot be written.
int printVplReport(const Exercise& exercise, const std::string& exerciseArgument, const SubmissionResult& result);

// CodeRunner's JSON object, with the warnings given; the same exit status.
int printCoderunnerReport(const Exercise& exercise, const std::string& exerciseArgument,
                          const SubmissionResult& result, const std::vector<std::string>& warnings);

// Whether the command line asks for --coderunner (before any "--").
bool asksForCoderunner(int argc, char** argv);

// Runs body with nothing on standard error: every line it would write there
// is held, and when it ends with status 2 (or runs out of memory) those lines
// go to standard output as CodeRunner's JSON object, for the question to
// show. A template grader must write nothing on standard error.
int runForCoderunner(int (*body)(int, char**), int argc, char** argv);

}  // namespace tarn::grading

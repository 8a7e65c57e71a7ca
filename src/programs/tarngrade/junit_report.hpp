// tarngrade's JUnit XML report, written with pugixml: a library that is
// built for this host only, so the report lives beside the program.
#pragma once

#include "grading/exercise.hpp"
#include "grading/grader.hpp"

#include <string>
#include <vector>

namespace tarn::grading {

// JUnit XML as Jenkins' xUnit schema (junit-10.xsd) has it: one testsuite
// per student, one testcase per case with its points in its system-out; a
// failure says why, with no details for a hidden case, and only what a
// student may see: no command to replay the case or to debug it.
std::string junitReport(const Exercise& exercise, const std::string& exerciseArgument,
                        const std::vector<SubmissionResult>& results);

// Whether this build has the report: the Windows edition, without pugixml,
// does not (junit_unavailable_windows.cpp).
bool junitAvailable();


}  // namespace tarn::grading

// The reports for people: the class report on standard output and the replay
// of one case, in Italian, with colour on a terminal.
#pragma once

#include "grading/exercise.hpp"
#include "grading/grader.hpp"
#include "grading/similarity.hpp"
#include "grading/submission.hpp"

#include <cstddef>
#include <string>
#include <vector>

namespace tarn::grading {

struct ReportStyle {
    bool colour = false;         // ANSI colours and bold
    bool replayCommand = true;   // the command that replays a failing case (for the teacher)
    bool teacher = false;        // hidden cases in full, as visible ones (never for a student)
};

// The details of a failing case: its reasons, the input, the expected and
// the actual output as a diff, the instructions executed, any notes, and the
// command that replays it (unless the style leaves it out). Nothing but the
// reasons' summary for a hidden case.
std::string formatCaseDetails(const Exercise& exercise, const std::string& exerciseArgument,
                              const SubmissionResult& result, std::size_t caseIndex, const ReportStyle& style);

// The whole report: the exercise, each student's cases and points with the
// details of every failing visible case, the groups of identical submissions
// and the similar pairs when asked for (similar is null otherwise), and a
// summary of the class.
std::string formatClassReport(const Exercise& exercise, const std::string& exerciseArgument,
                              const std::vector<SubmissionResult>& results, const Similarities* similar,
                              const ReportStyle& style);

// The short report: the exercise, one line per student (points out of the
// total, cases passed out of how many), the similar pairs when asked for,
// and the class summary that ends the whole report.
std::string formatClassSummary(const Exercise& exercise, const std::string& exerciseArgument,
                               const std::vector<SubmissionResult>& results, const Similarities* similar,
                               const ReportStyle& style);

// One case in full: input, expected and actual output, instructions executed,
// the final registers and flags, and the final memory as a 16 x 16 grid with
// addresses, the bytes the run changed marked.
std::string formatReplay(const Exercise& exercise, const Submission& submission, const TestCase& testCase,
                         const CaseRun& run, const ReportStyle& style);

}  // namespace tarn::grading

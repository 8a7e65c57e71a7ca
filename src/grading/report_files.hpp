// The reports for course platforms: JSON with every detail, a CSV gradebook
// and Gradescope's results.json.
#pragma once

#include "grading/exercise.hpp"
#include "grading/grader.hpp"
#include "grading/similarity.hpp"

#include <string>
#include <vector>

namespace tarn::grading {

// Everything: the exercise, and for every submission every case with its
// input, expected and actual output, reasons and counts, hidden ones too
// (marked). The groups of identical submissions and the similar pairs when
// asked for (similar is null otherwise).
std::string jsonReport(const Exercise& exercise, const std::string& exerciseArgument,
                       const std::vector<SubmissionResult>& results, const Similarities* similar);

// A gradebook: a header, then a row per student with the points of every
// case and the total.
std::string csvReport(const Exercise& exercise, const std::vector<SubmissionResult>& results);

// Gradescope's results.json for one submission: a test per case with name,
// score, max_score, status, output and visibility (hidden cases
// after_published). What it says is for the student: no replay command.
std::string gradescopeReport(const Exercise& exercise, const std::string& exerciseArgument,
                             const SubmissionResult& result);

// What the report writers share, for those beside a program too.

// Points as a number of hundredths, as every report rounds them.
double roundedPoints(double points);

// "3 casi superati su 4", "1 caso superato su 2".
std::string countedCases(std::size_t count, std::size_t total);

// "2,5 punti su 4", "1 punto su 3".
std::string pointsOutOf(double points, double total);

// The cases a result can be read against: the exercise's, in its order.
std::size_t caseCount(const Exercise& exercise, const SubmissionResult& result);

// The texts from the given one on, one per line.
std::string joinLines(const std::vector<std::string>& texts, std::size_t from = 0);

// The details of a failing visible case, for a platform that shows text; the
// command that replays it only for the teacher's platforms.
std::string failureDetails(const Exercise& exercise, const std::string& exerciseArgument,
                           const SubmissionResult& result, std::size_t caseIndex,
                           const std::vector<std::string>& reasons, bool forTeacher);

// The submission's own lines: why it cannot run, then what is worth knowing.
std::string submissionLines(const Submission& submission);

}  // namespace tarn::grading

// The results files of two platforms that grade one submission at a time in
// a sandbox of their own: GitHub Classroom's autograding reporter and
// PrairieLearn's external grader. What they say is for the student: a hidden
// case tells only whether it passed, and no file holds a command.
#pragma once

#include "grading/exercise.hpp"
#include "grading/grader.hpp"

#include <string>

namespace tarn::grading {

// The results that GitHub Classroom's grading reporter adds up, as one of
// its runners writes them (version 1): "status" ("pass", "fail", or "error"
// when the program cannot run), "max_score", and a test per case with
// "name", "status", "score", "message", "test_code", "filename", "line_no"
// and "duration". The Actions log shows the file: a hidden case's message
// is only whether it passed.
std::string githubClassroomReport(const Exercise& exercise, const std::string& exerciseArgument,
                                  const SubmissionResult& result);

// PrairieLearn's results.json: "gradable", "score" from 0 to 1, "message"
// and a test per case with "name", "points", "max_points", "message" and
// "output". A program that cannot run is not gradable: its problems are the
// "format_errors", and the student loses no attempt.
std::string prairieLearnReport(const Exercise& exercise, const std::string& exerciseArgument,
                               const SubmissionResult& result);

}  // namespace tarn::grading

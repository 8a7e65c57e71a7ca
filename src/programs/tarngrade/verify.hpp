// tarngrade --verifica: an exercise checked whole before the lab, and the
// solution it names tried on every case.
#pragma once

#include <optional>
#include <string>

namespace tarn::grading {

// Reads the exercise at exerciseArgument and prints every fault of it on
// standard error; then, when it names a solution, loads that as a submission
// (its path taken from the exercise file's folder) and runs it on every case
// with up to `jobs` threads, hidden cases included. Returns the exit status:
// 0 the file is sound and the solution passes every case, 1 the solution
// fails some (each named on standard output, with its details), 2 the file
// or the solution cannot be read, the file has faults (a case's memory
// placed over the solution's instructions among them, each named on
// standard error), or the solution cannot run.
int verifyExercise(const std::string& exerciseArgument, unsigned jobs, bool colour);

// Where the solution an exercise names is looked for: a relative path
// starts from the folder of the exercise as given, wherever tarngrade runs.
std::string solutionPath(const std::string& exerciseArgument, const std::string& solution);

// For an exercise given as a symbolic link that leads to another folder:
// the solution's path from the folder of the file it leads to, where the
// teacher may have meant it. Nothing otherwise.
std::optional<std::string> solutionBesideLinkTarget(const std::string& exerciseArgument, const std::string& solution);

}  // namespace tarn::grading

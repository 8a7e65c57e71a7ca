// tarngrade --verifica: an exercise checked whole before the lab, and the
// solution it names tried on every case.
#pragma once

#include <string>

namespace tarn::grading {

// Reads the exercise at exerciseArgument and prints every fault of it on
// standard error; then, when it names a solution, loads that as a submission
// (its path taken from the exercise file's folder) and runs it on every case
// with up to `jobs` threads, hidden cases included. Returns the exit status:
// 0 the file is sound and the solution passes every case, 1 the solution
// fails some (each named on standard output, with its details), 2 the file
// or the solution cannot be read, the file has faults, or the solution
// cannot run.
int verifyExercise(const std::string& exerciseArgument, unsigned jobs, bool colour);

}  // namespace tarn::grading

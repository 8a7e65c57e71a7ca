// Standard output of the simulator: every piece of text reaches the system at
// once, in program order, whatever standard output is. Diagnostics of our own
// go to standard error.
#pragma once

#include <string_view>

namespace tarn {

// Writes text to standard output. The first failure to write is reported on
// standard error; the run goes on.
void writeOutput(std::string_view text);

// True once some output could not be written.
bool outputFailed();

// Writes "tarnsim: " and the message as one line on standard error.
void writeDiagnostic(std::string_view message);

// Sends what writeOutput writes to another descriptor from now on (the fuzz
// harness collects the output this way).
void redirectOutput(int fd);

}  // namespace tarn

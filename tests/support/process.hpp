// Runs a program as a child process, feeding its standard input and collecting
// its standard output and standard error.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarntest {

struct ProcessResult {
    std::string out;
    std::string err;
    int exitStatus = -1;  // when it exited
    int signal = 0;       // when a signal ended it
};

struct ProcessOptions {
    std::optional<std::string> input;  // nothing: standard input is /dev/null
    bool newSession = true;            // no controlling terminal
    std::string outputPath;            // standard output to this file instead of a pipe
    bool closeInput = false;           // start with standard input closed
    bool closeOutput = false;          // start with standard output closed
    int timeoutSeconds = 30;
};

ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// Writes bytes to a fresh file in the test's temporary folder; returns its path.
std::string writeTempFile(const std::string& name, const std::string& bytes);

// What tarnsim prints when the run starts and after the machine stops.
inline const std::string RUN_STARTED = " Esecuzione del codice avviata... \n\n";
inline const std::string SHUTDOWN =
    "\n\n La Macchina virtuale e' stata spenta con istruzione di RESET.\n"
    " Per eseguire un altro programma riavvia la Macchina.\n\n";

// The bytes of a list of values, for building program images.
std::string bytes(std::initializer_list<int> values);

}  // namespace tarntest

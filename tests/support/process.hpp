// Runs a program as a child process, feeding its standard input and collecting
// its standard output and standard error.
#pragma once

#include "support/program_bytes.hpp"
#include "support/temp_folder.hpp"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/types.h>
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
    std::string inputPath;             // standard input opened from this path instead
    int inputOpenFlags = 0;            // how inputPath is opened (0 is O_RDONLY)
    bool closeInput = false;           // start with standard input closed
    bool closeOutput = false;          // start with standard output closed
    bool nonBlockingInput = false;     // standard input set O_NONBLOCK before the start
    bool nonBlockingOutput = false;    // standard output set O_NONBLOCK before the start
    int outputFd = -1;                 // standard output on this descriptor of the test instead
    // When given: every signal starts with its default action, except these,
    // which start ignored (as under nohup). Otherwise they are inherited.
    std::optional<std::vector<int>> ignoredSignals;
    std::optional<mode_t> umask;       // nothing: inherited
    std::optional<uid_t> user;         // run as this user and group (the test must be root)
    rlim_t fileSizeLimit = RLIM_INFINITY;
    rlim_t addressSpaceLimit = RLIM_INFINITY;
    int timeoutSeconds = 30;
};

ProcessResult runProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// A program found on PATH, or "" when there is none.
std::string findProgram(const std::string& name);

// A python3 that can import the module: the first on PATH, or Debian's
// (/usr/bin/python3, where python3-MODULE packages go). "" when none can.
std::string pythonWithModule(const std::string& module);

// A program started with its standard input, output and error on pipes, for
// a test that talks to it while it runs. Its standard input is a pipe that
// the test writes with send(), whatever options.input says.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();  // kills it if it is still there

    // Input for the program; what it no longer reads is dropped.
    void send(std::string_view text);
    void closeInput();

    // Reads standard output and standard error until the condition holds or
    // the time runs out; returns the condition.
    bool readUntil(const std::function<bool()>& condition, int milliseconds = 20000);

    // Without reading anything: waits until the program sleeps (blocked on
    // something) or has ended; returns false when the time runs out.
    bool waitUntilAsleepOrEnded(int milliseconds = 20000);
    // The same, at this moment.
    bool asleepOrEnded();

    // Reads the rest of its output, at most `chunk` bytes at a time with
    // `pause` milliseconds between reads, and waits for its end.
    ProcessResult finish(std::size_t chunk = 65536, int pauseMilliseconds = 0);

    bool ended();
    pid_t pid() const { return pid_; }
    const std::string& out() const { return result_.out; }
    const std::string& err() const { return result_.err; }

private:
    void readAvailable(int waitMilliseconds, std::size_t chunk);

    pid_t pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1;
    int timeoutSeconds_;
    bool reaped_ = false;
    int status_ = 0;
    ProcessResult result_;
};

// Writes bytes to a file of that name in processFolder() (support/temp_folder.hpp),
// replacing one written before; returns its path.
std::string writeTempFile(const std::string& name, const std::string& bytes);

// A waitpid status in words, for readable expectations: "exited with 0",
// "killed by signal 15", "stopped by signal 20", "continued".
std::string describeStatus(int status);

}  // namespace tarntest

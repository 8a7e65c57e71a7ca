// A program run as a job on a pseudo-terminal of its own, the way a shell
// runs it: a stand-in shell leads the terminal's session, with the terminal
// as its controlling terminal, starts the program as its child and reports
// every change of the child's state (stopped, continued, ended) to the test.
// The program's standard output and standard error are pipes to the test;
// what it echoes on the terminal is read from the terminal's master side.
#pragma once

#include "support/process.hpp"  // describeStatus

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <sys/types.h>
#include <termios.h>
#include <vector>

namespace tarntest {

// Which process group the program runs in.
enum class JobGroup {
    Foreground,  // one of its own, made the terminal's foreground group
    Background,  // one of its own; the shell's group stays in the foreground
    Shells,      // the shell's own group, which is the foreground group
};

struct TerminalRunOptions {
    JobGroup group = JobGroup::Foreground;
    std::vector<int> ignored;   // signals ignored from the start (SIGHUP under nohup)
    bool inputPipe = false;     // standard input from send(); otherwise /dev/null
    std::size_t outputLimit = std::size_t{16} << 20;  // beyond this much, output is left unread
};

class TerminalRun {
public:
    // tarnsim on an image, which is written to a fresh file (see path()).
    explicit TerminalRun(const std::string& image, const TerminalRunOptions& options = {});
    // Any command; argv[0] is looked up on PATH.
    TerminalRun(const std::vector<std::string>& argv, const TerminalRunOptions& options);
    TerminalRun(const TerminalRun&) = delete;
    TerminalRun& operator=(const TerminalRun&) = delete;
    ~TerminalRun();  // kills what is still running

    pid_t pid() const { return pid_; }
    const std::string& path() const { return path_; }

    // Reads the program's output until it has shown `count` trace displays
    // in all, or the time runs out; returns how many it has shown.
    int waitForDisplays(int count, int milliseconds = 20000);
    // Reads the program's output until it holds `text`; returns whether it does.
    bool waitForOutput(const std::string& text, int milliseconds = 20000);
    const std::string& output() const { return out_; }
    // Reads the program's output and errors to their end (a run that has
    // ended), however long; returns the output.
    const std::string& readToEnd(int milliseconds = 20000);
    const std::string& errors() const { return err_; }

    // Waits until the terminal is in single-key mode (ICANON off).
    bool waitForSingleKeyMode(int milliseconds = 20000);
    // Whether the terminal has the settings it had before the run.
    bool settingsAsBefore() const;
    // Types keys on the terminal.
    void press(const std::string& keys);
    // What the terminal has echoed since the last call.
    std::string echoed();
    // Waits until the terminal has echoed `text` (kept for echoed()).
    bool waitForEcho(const std::string& text, int milliseconds = 20000);

    void send(const std::string& input);  // to standard input (inputPipe)
    void closeInput();

    void signal(int signalNumber) const;

    // The next change of the program's state, as a waitpid status, or
    // nothing when none comes in time.
    std::optional<int> nextChange(int milliseconds = 30000);
    // The next change, which a finished run reports as its end; throws when
    // none comes in time.
    int wait(int milliseconds = 30000);
    bool stillRunning();

    // The shell takes the terminal's foreground back for its own group, as
    // a shell does when its job stops; returns once the terminal says so.
    bool takeTerminalBack(int milliseconds = 20000);

    // How many of the program's open files are the terminal.
    int terminalFilesOpen() const;
    // Whether the program catches, or ignores, a signal.
    bool catches(int signalNumber) const;
    bool ignores(int signalNumber) const;

private:
    void startShell(const std::vector<std::string>& argv, const TerminalRunOptions& options);
    void readAvailable(int waitMilliseconds);
    void readEcho(int waitMilliseconds);
    int displays() const;
    std::uint64_t signalMask(const std::string& field) const;

    int master_ = -1, slave_ = -1;
    int outFd_ = -1, errFd_ = -1, eventsFd_ = -1, inputFd_ = -1;
    std::string slaveName_;
    std::string path_;
    termios before_{};
    pid_t shell_ = -1, pid_ = -1;
    std::size_t outputLimit_ = 0;
    std::string out_, err_;
    std::string echo_;
    std::string eventBytes_;
    std::deque<int> changes_;
    bool ended_ = false;
};

}  // namespace tarntest

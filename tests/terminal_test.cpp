// The tracer's key wait as a job on a terminal: in the background, under
// timeout and nohup, stopped with Ctrl-Z and continued, and what it holds of
// the terminal while the run lasts. Each run is a job of a stand-in shell on
// a pseudo-terminal of its own (support/terminal_run.hpp).
#include "support/process.hpp"
#include "support/terminal_run.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using tarntest::bytes;
using tarntest::describeStatus;
using tarntest::JobGroup;
using tarntest::ProcessOptions;
using tarntest::ProcessResult;
using tarntest::RUN_STARTED;
using tarntest::SHUTDOWN;
using tarntest::TerminalRun;
using tarntest::TerminalRunOptions;
using tarntest::traceDisplay;
using tarntest::writeTempFile;

namespace {

// STD, NOP, NOP, CLD, WRT 7, RST, "fine\n": three displays, then a line.
const std::string SHORT_TRACE = bytes({0x01, 0x06, 0x06, 0x07, 0x47, 0x07, 0x00, 'f', 'i', 'n', 'e', '\n', 0x00});
const std::string SHORT_TRACE_PRINTS = traceDisplay(2, "Debug ", "NOP", 0, 0, 0) +
                                       traceDisplay(3, "Debug ", "NOP", 0, 0, 0) +
                                       traceDisplay(4, "Debug ", "CLD", 0, 0, 0) + "fine\n";

// STD, then NOP and JMP 1 for ever.
const std::string ENDLESS_TRACE = bytes({0x01, 0x06, 0x40, 0x01});

// The signals whose handlers give the terminal its settings back.
constexpr int HANDLED_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};

// The whole standard output of tarnsim on the image at `path` with no
// terminal at all: what a run on a terminal must print as well.
std::string outputWithoutTerminal(const std::string& path, const std::string& input = "") {
    ProcessOptions options;
    options.input = input;
    const ProcessResult result = tarntest::runProcess({TARNSIM_BINARY, path}, options);
    EXPECT_EQ(0, result.exitStatus);
    EXPECT_EQ("", result.err);
    return result.out;
}

// The whole output of a finished run of SHORT_TRACE.
void expectShortTraceOutput(TerminalRun& run, const std::string& how = "") {
    const std::string& out = run.readToEnd();
    EXPECT_EQ(outputWithoutTerminal(run.path()), out) << how;
    EXPECT_NE(std::string::npos, out.find(RUN_STARTED + SHORT_TRACE_PRINTS + SHUTDOWN)) << how;
    EXPECT_EQ("", run.errors()) << how;
}

// Presses a key at each of SHORT_TRACE's displays from display `from` on,
// once the terminal is in single-key mode for it.
void pressThroughShortTrace(TerminalRun& run, int from, const std::string& how = "") {
    for (int shown = from; shown <= 3; ++shown) {
        ASSERT_EQ(shown, run.waitForDisplays(shown)) << how;
        ASSERT_TRUE(run.waitForSingleKeyMode()) << how << ", display " << shown;
        run.press(std::string(1, static_cast<char>('a' + shown - 1)));
    }
}

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');)
        if (::access((std::filesystem::path(folder) / program).c_str(), X_OK) == 0) return true;
    return false;
}

}  // namespace

// A job outside the terminal's foreground group has nobody to press a key:
// it shows its displays and runs to its end as if there were no terminal,
// without touching the terminal's settings (which from the background would
// have stopped it with SIGTTOU).
TEST(TerminalJob, OutsideTheForegroundTheTraceRunsToItsEnd) {
    TerminalRunOptions background;
    background.group = JobGroup::Background;
    TerminalRun run(SHORT_TRACE, background);
    EXPECT_EQ("exited with 0", describeStatus(run.wait()));
    expectShortTraceOutput(run);
    EXPECT_TRUE(run.settingsAsBefore());
    EXPECT_EQ("", run.echoed());
}

// out=$(timeout 2 tarnsim endless.bin) typed at a shell: timeout puts itself
// and tarnsim in a group of their own, outside the foreground. The run shows
// its displays without waiting until timeout's SIGTERM ends it (the two
// seconds only leave a loaded machine time to start it).
TEST(TerminalJob, TimeoutEndsAnEndlessTraceItRunsInTheBackground) {
    if (!onPath("timeout")) GTEST_SKIP() << "no timeout program on PATH";
    // What comes before the machine starts depends on the path alone: take it
    // from an empty image there, then put the endless one in its place.
    const std::string path = writeTempFile("endless.bin", "");
    std::string start = outputWithoutTerminal(path);
    ASSERT_GT(start.size(), SHUTDOWN.size());
    ASSERT_EQ(SHUTDOWN, start.substr(start.size() - SHUTDOWN.size()));
    start.resize(start.size() - SHUTDOWN.size());
    writeTempFile("endless.bin", ENDLESS_TRACE);

    TerminalRunOptions fromTheShell;
    fromTheShell.group = JobGroup::Shells;
    fromTheShell.outputLimit = std::size_t{1} << 20;  // then tarnsim waits on a full pipe
    TerminalRun run({"timeout", "2", TARNSIM_BINARY, path}, fromTheShell);
    EXPECT_EQ("exited with 124", describeStatus(run.wait()));  // 124: timeout ended it
    EXPECT_TRUE(run.settingsAsBefore());

    const std::string& out = run.output();
    ASSERT_EQ(start, out.substr(0, start.size()));
    std::string displays;
    for (int a = 0; displays.size() < out.size() - start.size(); a = 1)
        displays += traceDisplay(2, "Debug ", "NOP", a, 0, 0) + traceDisplay(4, "Debug ", "JMP", 1, 0, 0);
    EXPECT_TRUE(out.compare(start.size(), std::string::npos, displays, 0, out.size() - start.size()) == 0)
        << "the output is not the endless run's displays";
    EXPECT_GE(run.waitForDisplays(2, 0), 2) << "it waited at the first display";
}

// Ctrl-Z during the wait gives the terminal its settings back while the run
// is stopped. Continued in the foreground, the wait goes on in single-key
// mode; continued in the background (bg), nobody is there to press a key,
// and the run goes on to its end without one.
TEST(TerminalJob, CtrlZGivesTheSettingsBackUntilTheRunContinues) {
    struct Case {
        const char* how;
        bool byKey;         // Ctrl-Z typed on the terminal, or SIGTSTP sent
        bool inForeground;  // continued as fg does, or as bg does
    };
    const Case cases[] = {
        {"SIGTSTP, then fg", false, true},
        {"Ctrl-Z, then fg", true, true},
        {"SIGTSTP, then bg", false, false},
    };
    for (const Case& c : cases) {
        TerminalRun run(SHORT_TRACE);
        ASSERT_EQ(1, run.waitForDisplays(1)) << c.how;
        ASSERT_TRUE(run.waitForSingleKeyMode()) << c.how;
        if (c.byKey) run.press("\x1a");
        else run.signal(SIGTSTP);
        ASSERT_EQ("stopped by signal " + std::to_string(SIGTSTP), describeStatus(run.wait())) << c.how;
        EXPECT_TRUE(run.settingsAsBefore()) << c.how << ": single-key mode kept while stopped";

        if (!c.inForeground) {
            ASSERT_TRUE(run.takeTerminalBack()) << c.how;
        }
        run.signal(SIGCONT);
        int status = run.wait();
        if (c.inForeground) {
            EXPECT_EQ("continued", describeStatus(status)) << c.how;
            EXPECT_TRUE(run.waitForSingleKeyMode()) << c.how;
            run.press("a");
            pressThroughShortTrace(run, 2, c.how);
            status = run.wait();
        } else if (WIFCONTINUED(status)) {
            status = run.wait();  // a run that ends at once may end before the shell hears it continue
        }
        EXPECT_EQ("exited with 0", describeStatus(status)) << c.how;
        EXPECT_TRUE(run.settingsAsBefore()) << c.how;
        expectShortTraceOutput(run, c.how);
    }
}

// A signal ignored from the start stays ignored during the wait: SIGHUP
// under nohup, SIGINT for a job that a script started with &. It does not end
// the run, and a key still lets it go on. The signals that were not ignored
// still give the terminal back and end the run.
TEST(TerminalSignals, SignalsIgnoredFromTheStartStayIgnored) {
    struct Case {
        const char* how;
        int ignored;  // from the start
        int sent;     // during the first wait
        bool byKey;   // typed on the terminal (Ctrl-C), or sent with kill
        bool ends;
    };
    const Case cases[] = {
        {"nohup, SIGHUP", SIGHUP, SIGHUP, false, false},
        {"nohup, SIGTERM", SIGHUP, SIGTERM, false, true},
        {"nohup, Ctrl-C", SIGHUP, SIGINT, true, true},
        {"SIGINT ignored, Ctrl-C", SIGINT, SIGINT, true, false},
        {"SIGINT ignored, SIGHUP", SIGINT, SIGHUP, false, true},
    };
    for (const Case& c : cases) {
        TerminalRunOptions options;
        options.ignored = {c.ignored};
        TerminalRun run(SHORT_TRACE, options);
        ASSERT_EQ(1, run.waitForDisplays(1)) << c.how;
        ASSERT_TRUE(run.waitForSingleKeyMode()) << c.how;
        EXPECT_TRUE(run.ignores(c.ignored)) << c.how;
        if (c.byKey) {
            run.press("\x03");
            ASSERT_TRUE(run.waitForEcho("^C")) << c.how;  // the terminal has taken it
        } else {
            run.signal(c.sent);
        }
        if (c.ends) {
            EXPECT_EQ("killed by signal " + std::to_string(c.sent), describeStatus(run.wait())) << c.how;
            EXPECT_TRUE(run.settingsAsBefore()) << c.how;
            continue;
        }
        // Had the signal been caught, the run would end before taking the key.
        run.press("a");
        pressThroughShortTrace(run, 2, c.how);
        EXPECT_EQ("exited with 0", describeStatus(run.wait())) << c.how;
        EXPECT_TRUE(run.settingsAsBefore()) << c.how;
        expectShortTraceOutput(run, c.how);
    }
}

// The terminal is opened and the handlers are installed at the first wait,
// once: one open terminal file at every display, and both stay for the rest
// of the run, after the trace too.
TEST(KeyTerminal, TerminalAndHandlersAreTakenOnceAtTheFirstWait) {
    // INP 100; STD; NOP; NOP; CLD; WRT 20; INP 100; RST; "x" at 20.
    std::string image = bytes({0x46, 100, 0x01, 0x06, 0x06, 0x07, 0x47, 20, 0x46, 100, 0x00});
    image.resize(20, '\0');
    image += bytes({'x', 0x00});
    TerminalRunOptions withInput;
    withInput.inputPipe = true;
    TerminalRun run(image, withInput);

    // Waiting for the first word: nothing traced yet, nothing taken.
    ASSERT_TRUE(run.waitForOutput(RUN_STARTED));
    EXPECT_EQ(0, run.terminalFilesOpen());
    for (int signalNumber : HANDLED_SIGNALS) EXPECT_FALSE(run.catches(signalNumber)) << signalNumber;

    run.send("a ");
    for (int shown = 1; shown <= 3; ++shown) {
        ASSERT_EQ(shown, run.waitForDisplays(shown));
        ASSERT_TRUE(run.waitForSingleKeyMode()) << "display " << shown;
        EXPECT_EQ(1, run.terminalFilesOpen()) << "display " << shown;
        for (int signalNumber : HANDLED_SIGNALS)
            EXPECT_TRUE(run.catches(signalNumber)) << "display " << shown << ", signal " << signalNumber;
        run.press("k");
    }

    // Past the trace, waiting for the second word: the run still holds both.
    ASSERT_TRUE(run.waitForOutput(traceDisplay(6, "Debug ", "CLD", 100, 0, 0) + "x"));
    EXPECT_EQ(1, run.terminalFilesOpen());
    for (int signalNumber : HANDLED_SIGNALS) EXPECT_TRUE(run.catches(signalNumber)) << signalNumber;

    run.closeInput();
    EXPECT_EQ("exited with 0", describeStatus(run.wait()));
    EXPECT_EQ(outputWithoutTerminal(run.path(), "a "), run.readToEnd());
    EXPECT_EQ("", run.errors());
    EXPECT_TRUE(run.settingsAsBefore());
}

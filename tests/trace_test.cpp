// The trace display: its exact text, and the key wait on a real terminal.
#include "machine/trace_display.hpp"
#include "support/process.hpp"
#include "support/terminal_run.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>

using tarntest::bytes;
using tarntest::ProcessResult;
using tarntest::runProcess;
using tarntest::TerminalRun;
using tarntest::traceDisplay;
using tarntest::writeTempFile;

namespace {

// The program's part of the output of a run without a terminal.
std::string tracedOutput(const std::string& image) {
    static int count = 0;
    const std::string path = writeTempFile("trace" + std::to_string(++count) + ".bin", image);
    const ProcessResult result = runProcess({TARNSIM_BINARY, path});
    EXPECT_EQ(0, result.exitStatus);
    const std::string& start = tarntest::RUN_STARTED;
    const std::size_t from = result.out.find(start) + start.size();
    const std::size_t to = result.out.rfind("\n\n La Macchina virtuale");
    return result.out.substr(from, to - from);
}

}  // namespace

TEST(TraceDisplay, ShowsEachInstructionWhileDebugIsSet) {
    // STD, STZ, STP, 8A 05 07 (unassigned), CLD, NOP, RST: STD itself is not
    // shown, CLD is, the NOP after it is not. Flags come in bit order.
    EXPECT_EQ(traceDisplay(2, "Debug ", "STZ", 0, 0, 0) +
                  traceDisplay(3, "Debug Zero ", "STP", 0, 0, 0) +
                  traceDisplay(6, "Debug Zero Positive ", "NOP", 5, 7, 0) +
                  traceDisplay(7, "Debug Zero Positive ", "CLD", 5, 7, 0),
              tracedOutput(bytes({0x01, 0x02, 0x04, 0x8A, 0x05, 0x07, 0x07, 0x06, 0x00})));

    // VAL 20, 0 switches tracing on; operands of one- and four-byte
    // instructions are stale; INCOFFST and DECOFFST show by name.
    EXPECT_EQ(traceDisplay(5, "Debug ", "VALOFFST", 3, 0, 0) +
                  traceDisplay(6, "Debug ", "INCOFFST", 3, 0, 3) +
                  traceDisplay(10, "Debug ", "NOP", 3, 0, 4) +
                  traceDisplay(11, "Debug ", "DECOFFST", 3, 0, 4) +
                  traceDisplay(12, "Debug ", "CLD", 3, 0, 3),
              tracedOutput(bytes({0x86, 20, 0, 0x4A, 3, 0x0C, 0xC5, 1, 2, 3, 0x0D, 0x07, 0x06, 0x00})));
}

TEST(TraceDisplay, MnemonicsComeFromTheTable) {
    const std::pair<int, const char*> cases[] = {
        {0, "RST"},   {12, "INCOFFST"}, {13, "DECOFFST"}, {14, "NOP"}, {63, "NOP"}, {66, "JPO"},
        {74, "VALOFFST"}, {75, "NOP"}, {127, "NOP"}, {134, "VAL"}, {135, "NOP"}, {255, "NOP"},
    };
    for (const auto& [opcode, mnemonic] : cases)
        EXPECT_EQ(mnemonic, tarn::mnemonicText(static_cast<tarn::Byte>(opcode))) << opcode;
}

TEST(KeyWait, OneDisplayPerKeyFromTheTerminal) {
    TerminalRun run(bytes({0x01, 0x06, 0x06, 0x00}));  // STD, NOP, NOP
    ASSERT_EQ(1, run.waitForDisplays(1));
    ASSERT_TRUE(run.waitForSingleKeyMode());
    // Blocked on the key: no second display comes by itself.
    EXPECT_EQ(1, run.waitForDisplays(2, 300));
    EXPECT_TRUE(run.stillRunning());
    run.press("k");
    ASSERT_EQ(2, run.waitForDisplays(2));
    ASSERT_TRUE(run.waitForSingleKeyMode());
    run.press("j");
    const int status = run.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ("kj", run.echoed());
    EXPECT_TRUE(run.settingsAsBefore());
}

TEST(KeyWait, TerminalIsRestoredWhenTheRunIsEndedDuringTheWait) {
    struct Ending {
        const char* how;
        int signal;
        bool byKey;  // Ctrl-C typed on the terminal
    };
    const Ending endings[] = {{"Ctrl-C", SIGINT, true}, {"SIGTERM", SIGTERM, false}, {"SIGHUP", SIGHUP, false}};
    for (const Ending& ending : endings) {
        TerminalRun run(bytes({0x01, 0x06, 0x40, 0x01}));  // STD, then NOP and JMP 1 forever
        ASSERT_EQ(1, run.waitForDisplays(1)) << ending.how;
        ASSERT_TRUE(run.waitForSingleKeyMode()) << ending.how;
        if (ending.byKey) run.press("\x03");
        else run.signal(ending.signal);
        const int status = run.wait();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == ending.signal) << ending.how;
        EXPECT_TRUE(run.settingsAsBefore()) << ending.how;
    }
}

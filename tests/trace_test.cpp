// The trace display: its exact text, and the key wait on a real terminal.
#include "machine/trace_display.hpp"
#include "support/process.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using tarntest::bytes;
using tarntest::ProcessResult;
using tarntest::runProcess;
using tarntest::writeTempFile;

namespace {

std::string display(int pc, const std::string& flags, const std::string& mnemonic, int a, int b, int x) {
    return "\n----------------------------- Virtual Processor State ------------------------\n"
           "PROSSIMA ISTRUZIONE         = " + std::to_string(pc) + "\n"
           "REGISTRO DEI FLAGS          = " + flags + "\n"
           "ISTRUZIONE DA ESEGUIRE      = " + mnemonic + "\n"
           "OPERANDO A                  = " + std::to_string(a) + "\n"
           "OPERANDO B                  = " + std::to_string(b) + "\n"
           "REGISTRO DI SPIAZZAMENTO    = " + std::to_string(x) + "\n" +
           std::string(78, '-') + "\n\n";
}

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
    EXPECT_EQ(display(2, "Debug ", "STZ", 0, 0, 0) +
                  display(3, "Debug Zero ", "STP", 0, 0, 0) +
                  display(6, "Debug Zero Positive ", "NOP", 5, 7, 0) +
                  display(7, "Debug Zero Positive ", "CLD", 5, 7, 0),
              tracedOutput(bytes({0x01, 0x02, 0x04, 0x8A, 0x05, 0x07, 0x07, 0x06, 0x00})));

    // VAL 20, 0 switches tracing on; operands of one- and four-byte
    // instructions are stale; INCOFFST and DECOFFST show by name.
    EXPECT_EQ(display(5, "Debug ", "VALOFFST", 3, 0, 0) +
                  display(6, "Debug ", "INCOFFST", 3, 0, 3) +
                  display(10, "Debug ", "NOP", 3, 0, 4) +
                  display(11, "Debug ", "DECOFFST", 3, 0, 4) +
                  display(12, "Debug ", "CLD", 3, 0, 3),
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

// A run of tarnsim with a pseudo-terminal as its controlling terminal, the
// program's standard output on a pipe and standard input empty.
class TerminalRun {
public:
    explicit TerminalRun(const std::string& image) {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) || ::unlockpt(master)) throw std::runtime_error("pty");
        const std::string slaveName = ::ptsname(master);
        slave = ::open(slaveName.c_str(), O_RDWR | O_NOCTTY);
        ::tcgetattr(slave, &before);
        const std::string path = writeTempFile("tty" + std::to_string(::getpid()) + ".bin", image);
        int out[2];
        if (::pipe(out)) throw std::runtime_error("pipe");
        pid = ::fork();
        if (pid == 0) {
            ::setsid();
            const int tty = ::open(slaveName.c_str(), O_RDWR);  // becomes the controlling terminal
            ::ioctl(tty, TIOCSCTTY, 0);
            const int devNull = ::open("/dev/null", O_RDONLY);
            ::dup2(devNull, STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            ::execl(TARNSIM_BINARY, TARNSIM_BINARY, path.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        output = out[0];
    }

    ~TerminalRun() {
        if (pid > 0 && !ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        ::close(output);
        ::close(slave);
        ::close(master);
    }

    // Reads standard output until it has shown `count` displays in all, or
    // the time runs out.
    int waitForDisplays(int count, int milliseconds = 10000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (displays() < count && std::chrono::steady_clock::now() < deadline) {
            pollfd fd{output, POLLIN, 0};
            if (::poll(&fd, 1, 20) > 0) {
                char buffer[4096];
                const ssize_t got = ::read(output, buffer, sizeof buffer);
                if (got <= 0) break;
                text.append(buffer, static_cast<std::size_t>(got));
            }
        }
        return displays();
    }

    // Waits until the program has switched its terminal to single-key mode.
    bool waitForSingleKeyMode() {
        for (int i = 0; i < 500; ++i) {
            termios now{};
            ::tcgetattr(slave, &now);
            if (!(now.c_lflag & ICANON)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    void press(const std::string& keys) {
        ASSERT_EQ(static_cast<ssize_t>(keys.size()), ::write(master, keys.data(), keys.size()));
    }

    int wait() {
        int status = 0;
        ::waitpid(pid, &status, 0);
        ended = true;
        return status;
    }

    bool stillRunning() {
        int status = 0;
        return ::waitpid(pid, &status, WNOHANG) == 0;
    }

    bool settingsAsBefore() {
        termios after{};
        ::tcgetattr(slave, &after);
        return after.c_lflag == before.c_lflag && after.c_iflag == before.c_iflag &&
               after.c_oflag == before.c_oflag && after.c_cc[VMIN] == before.c_cc[VMIN] &&
               after.c_cc[VTIME] == before.c_cc[VTIME];
    }

    std::string echoed() {
        std::string result;
        pollfd fd{master, POLLIN, 0};
        while (::poll(&fd, 1, 100) > 0) {
            char buffer[256];
            const ssize_t got = ::read(master, buffer, sizeof buffer);
            if (got <= 0) break;
            result.append(buffer, static_cast<std::size_t>(got));
        }
        return result;
    }

    pid_t pid = -1;

private:
    int displays() const {
        int count = 0;
        for (std::size_t at = text.find("Virtual Processor State"); at != std::string::npos;
             at = text.find("Virtual Processor State", at + 1))
            ++count;
        return count;
    }

    int master = -1, slave = -1, output = -1;
    termios before{};
    std::string text;
    bool ended = false;
};

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
        else ::kill(run.pid, ending.signal);
        const int status = run.wait();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == ending.signal) << ending.how;
        EXPECT_TRUE(run.settingsAsBefore()) << ending.how;
    }
}

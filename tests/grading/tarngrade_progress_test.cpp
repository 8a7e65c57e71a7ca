// tarngrade on a terminal: while it grades, or tries the solution with
// --verifica, one line on standard error tells how far it has gone, within
// the terminal's width, rewritten in place and gone before the report.
#include "support/process.hpp"
#include "support/screen_session.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>

#include <string>
#include <vector>

namespace {

using tarntest::ScreenOptions;
using tarntest::ScreenSession;

// Each submission loops until the instruction limit: long enough for the
// line to be seen between two of its drawings.
const char* const EXERCISE =
    "titolo = \"Giro\"\n"
    "limite_istruzioni = 60000000\n"
    "\n[[caso]]\nnome = \"fine\"\nuscita = \"\"\n";

TEST(TarngradeProgress, TheLineAppearsWhileGradingAndIsClearedAtTheEnd) {
    tarntest::ScratchFolder folder("avanzamento");
    const std::string exercise = folder.put("es.toml", EXERCISE).string();
    std::vector<std::string> argv = {TARNGRADE_BINARY, exercise, "-j", "1"};
    for (int student = 1; student <= 8; ++student)
        argv.push_back(folder.put("studente" + std::to_string(student) + ".asm", "giro:   JMP giro\n").string());

    ScreenSession screen;
    ScreenOptions options;
    options.outputToPipe = true;  // the report apart: the terminal has standard error only
    screen.start(argv, options);
    EXPECT_TRUE(screen.waitForText("su 8 consegne")) << screen.text();
    const std::string line = screen.row(0);
    EXPECT_EQ(line.rfind("tarngrade: valutate ", 0), 0u) << line;
    const std::optional<int> status = screen.waitForExit(120000);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1) << *status;
    // Cleared: the terminal is as blank as before, the cursor back at the start.
    EXPECT_EQ(screen.text().find_first_not_of("\n "), std::string::npos) << screen.text();
    EXPECT_EQ(screen.cursor(), (std::pair<int, int>{0, 0}));
    EXPECT_NE(screen.output().find("Riepilogo: 8 consegne;"), std::string::npos) << screen.output();
}

// A slip of a limit, a thousand billion instructions, on a program that
// never ends: the line says how far the case has gone and when it will reach
// the limit, on one row of the terminal however wide, and the teacher can
// stop it.
const char* const SLIP =
    "titolo = \"Giro\"\n"
    "soluzione = \"giro.asm\"\n"
    "limite_istruzioni = 1000000000000\n"
    "\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\n"
    "\n[[caso]]\nnome = \"due\"\nuscita = \"\"\n";

TEST(TarngradeProgress, ALongCaseShowsItsInstructionsAndWhenItReachesItsLimit) {
    tarntest::ScratchFolder folder("avanzamento-lungo");
    const std::string exercise = folder.put("giro.toml", SLIP).string();
    const std::string program = folder.put("giro.asm", "giro:   JMP giro\n").string();
    const struct {
        std::vector<std::string> arguments;
        int cols;
        std::string counts;  // what the line begins with, before the instructions
    } runs[] = {
        {{"--verifica", exercise, "-j", "1"}, 80, "tarngrade: "},
        {{exercise, program, "-j", "1"}, 132, "tarngrade: 0 su 2 casi; in corso: "},
    };
    for (const auto& run : runs) {
        std::vector<std::string> argv = {TARNGRADE_BINARY};
        argv.insert(argv.end(), run.arguments.begin(), run.arguments.end());
        ScreenSession screen;
        ScreenOptions options;
        options.cols = run.cols;
        options.outputToPipe = true;
        screen.start(argv, options);
        EXPECT_TRUE(screen.waitForText(" su 1.000 miliardi di istruzioni, al limite tra circa ", 60000))
            << screen.text();
        const std::string line = screen.row(0);
        EXPECT_EQ(line.rfind(run.counts, 0), 0u) << line;
        // One row: nothing wrapped onto the next.
        EXPECT_EQ(screen.row(1), "") << screen.text();
        EXPECT_LE(screen.cursor().second, run.cols - 1);
        screen.signal(SIGINT);
        const std::optional<int> status = screen.waitForExit(60000);
        ASSERT_TRUE(status.has_value());
        EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == SIGINT) << *status;
        EXPECT_EQ(screen.output(), "");
    }
}

}  // namespace

// tarngrade on a terminal: while it grades, one line on standard error tells
// how far it has gone, rewritten in place and gone before the report.
#include "support/process.hpp"
#include "support/screen_session.hpp"

#include <gtest/gtest.h>

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

}  // namespace

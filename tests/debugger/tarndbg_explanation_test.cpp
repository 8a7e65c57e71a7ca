// The explanation of a step in the real tarndbg: e opens it on the step just
// made with that step's own numbers, in the memory's place at 80 columns and
// beside it on a wide terminal, and closes it; f shows the coming
// instruction's prelievo (the registers as the fetch leaves them) and
// decodifica, b takes a phase back, and the third f makes the step.
#include "support/process.hpp"
#include "support/screen_session.hpp"
#include "support/tarndbg_screen.hpp"

#include <gtest/gtest.h>

#include <string>

namespace tarntest {
namespace {

//   0 VAL  3 DEC  5 RST  6 conta
constexpr const char* COUNT =
    "        VAL conta, 3\n"
    "        DEC conta\n"
    "        RST\n"
    "conta:  DB 0\n";

// The panel right of the source, which keeps its 27 columns: up to the
// memory, or the edge where the explanation has taken the memory's place.
// Its rows are joined by blanks, as the text was before it was wrapped.
constexpr int PANEL_COLUMN = 28;

std::string panel(const Debugger& debugger) {
    std::string text;
    for (int r = 1; r <= 17; ++r) {
        std::string row;
        for (int c = PANEL_COLUMN; c < debugger.gridColumn(); ++c) row += debugger.screen.cell(r, c);
        text += row.substr(0, row.find_last_not_of(' ') + 1) + ' ';
    }
    return text;
}

bool shows(const Debugger& debugger, const std::string& part) {
    return panel(debugger).find(part) != std::string::npos;
}

// Every page of the explanation, turned with p up to the first again.
std::string everyPage(Debugger& debugger) {
    std::string text = panel(debugger);
    for (int page = 2; debugger.screen.row(1).find("(p: il seguito") != std::string::npos; ++page) {
        debugger.screen.press("p");
        const std::string wanted = ", " + std::to_string(page) + "/";
        if (!debugger.screen.waitUntil([&] { return debugger.screen.row(1).find(wanted) != std::string::npos; }))
            return text + "(page " + std::to_string(page) + " never came)";
        text += panel(debugger);
    }
    return text;
}

TEST(TarndbgExplanation, ETellsTheStepJustMadeWithItsOwnNumbersAndClosesAgain) {
    const std::string input = writeTempFile("parole.in", "ciao mondo\n");
    for (const int columns : {80, 150}) {
        SCOPED_TRACE(columns);
        ScreenOptions options;
        options.cols = columns;
        Debugger debugger("eco.asm", TWO_WORDS, {"--ingresso", input}, options);
        ASSERT_TRUE(debugger.ready()) << debugger.screen.text();
        ScreenSession& screen = debugger.screen;
        screen.press("s");
        ASSERT_TRUE(debugger.waitForCount("1")) << screen.text();

        screen.press("e");
        ASSERT_TRUE(screen.waitUntil([&] { return shows(debugger, "Spiegazione del passo 1"); })) << screen.text();
        // At 80 columns it stands in the memory's place; at 150 beside it,
        // within its own columns.
        EXPECT_EQ(columns > 80, screen.row(1).find("Memoria") != std::string::npos) << screen.row(1);
        if (columns > 80) {
            EXPECT_EQ(debugger.cell(7).substr(1), "63");
            for (int r = 1; r <= 17; ++r) EXPECT_EQ(screen.cell(r, debugger.gridColumn() - 1), " ") << r;
        }
        const std::string text = everyPage(debugger);
        for (const char* part : {"Prelievo", "Decodifica", "Esecuzione", "0x46 (70)", "INP", "«ciao»"})
            EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
        // The word read then, not the one left to read now.
        EXPECT_EQ(text.find("mondo"), std::string::npos) << text;

        screen.press("e");
        ASSERT_TRUE(screen.waitUntil([&] { return !shows(debugger, "Spiegazione"); })) << screen.text();
        EXPECT_NE(screen.row(1).find("Memoria"), std::string::npos) << screen.row(1);
        EXPECT_EQ(debugger.cell(7).substr(1), "63");  // 'c'

        EXPECT_TRUE(debugger.quit());
    }
}

TEST(TarndbgExplanation, FShowsTwoPhasesThenMakesTheStepAndBTakesAPhaseBack) {
    Debugger debugger("conta.asm", COUNT);
    ASSERT_TRUE(debugger.ready()) << debugger.screen.text();
    ScreenSession& screen = debugger.screen;
    const auto phases = [&](bool decode) {
        return screen.waitUntil([&] {
            return shows(debugger, "Passo 1, una fase alla volta") && shows(debugger, "Prelievo") &&
                   shows(debugger, "Decodifica") == decode;
        });
    };

    screen.press("f");
    ASSERT_TRUE(phases(false)) << screen.text();
    EXPECT_TRUE(shows(debugger, "0x86 (134)")) << panel(debugger);  // VAL, fetched from 0
    // The registers hold what the fetch put in them.
    EXPECT_EQ(screen.row(18).rfind("PC 0x03 (3)    IR 0x86 (134) VAL       A 0x06 (6)    B 0x03 (3)", 0), 0u)
        << screen.row(18);
    screen.press("f");
    ASSERT_TRUE(phases(true)) << screen.text();
    EXPECT_TRUE(shows(debugger, "VAL")) << panel(debugger);
    // b takes the decodifica back, not a step.
    screen.press("b");
    ASSERT_TRUE(phases(false)) << screen.text();
    screen.press("f");
    ASSERT_TRUE(phases(true)) << screen.text();
    EXPECT_EQ(debugger.count(), "0");
    EXPECT_EQ(screen.row(19).substr(0, 25), "Flag  D=0 Z=0 O=0 P=0 N=0");

    // The third f makes the step as s does, and shows its esecuzione.
    screen.press("f");
    ASSERT_TRUE(debugger.waitForCount("1")) << screen.text();
    ASSERT_TRUE(screen.waitUntil([&] { return shows(debugger, "Spiegazione del passo 1"); })) << screen.text();
    EXPECT_EQ(screen.row(18).rfind("PC 0x03 (3)", 0), 0u) << screen.row(18);
    EXPECT_EQ(screen.row(19).substr(0, 25), "Flag  D=0 Z=0 O=0 P=1 N=0");  // VAL wrote 3
    EXPECT_TRUE(debugger.waitForMessage("Eseguito il passo 1.")) << screen.text();
    EXPECT_TRUE(shows(debugger, "Esecuzione")) << panel(debugger);
    EXPECT_TRUE(shows(debugger, "0x06 (6)")) << panel(debugger);  // conta, where VAL writes

    // With the esecuzione shown, b is a step back.
    screen.press("b");
    ASSERT_TRUE(debugger.waitForCount("0")) << screen.text();
    EXPECT_EQ(screen.row(18).rfind("PC 0x00 (0)", 0), 0u) << screen.row(18);
    EXPECT_TRUE(debugger.quit());
}

}  // namespace
}  // namespace tarntest

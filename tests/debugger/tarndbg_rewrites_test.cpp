// Code that rewrites itself on purpose in the real tarndbg: the exercise's
// own tabella-giusta.asm, on its first case. c stops before the first write
// of each INC into the program, and says that its later ones pass; the two
// other turns go through, and ? on the operand they move on names them.
#include "support/process.hpp"
#include "support/screen_session.hpp"
#include "support/tarndbg_screen.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace tarntest {
namespace {

std::string exampleText(const std::string& name) {
    std::ifstream in(std::string(TARNSIM_SOURCE_DIR) + "/examples/esercizi/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(TarndbgRewrites, StopsOnceBeforeEachInstructionsFirstWriteIntoTheProgram) {
    // Wide enough for a whole warning on the message's two rows.
    ScreenOptions options;
    options.cols = 200;
    writeTempFile("tabella.toml", exampleText("tabella.toml"));
    Debugger debugger("tabella-giusta.asm", exampleText("tabella-giusta.asm"),
                      {"--esercizio", "tabella.toml", "--caso", "somma della tabella"}, options);
    ASSERT_TRUE(debugger.ready()) << debugger.screen.text();
    ScreenSession& screen = debugger.screen;

    // The sum at 0xF0 has no value of its own: the first ADD is warned of.
    screen.press("c");
    ASSERT_TRUE(debugger.waitForCount("3")) << screen.text();
    EXPECT_TRUE(debugger.waitForMessage("ADD (riga 16, indirizzo 0x06) sta per leggere il byte 0xF0 (240)")) << screen.text();
    screen.press("c");
    ASSERT_TRUE(debugger.waitForCount("4")) << screen.text();
    EXPECT_TRUE(debugger.waitForMessage(
        "Avviso: INC (riga 17, indirizzo 0x09) sta per scrivere nel byte 0x03 (3), parte di un'istruzione della riga 14: "
        "è codice che modifica se stesso. La macchina lo permette: puoi proseguire, e le prossime scritture di questa "
        "istruzione nel programma non fermeranno più il debugger."))
        << screen.text();
    screen.press("c");
    ASSERT_TRUE(debugger.waitForCount("5")) << screen.text();
    EXPECT_TRUE(debugger.waitForMessage("Avviso: INC (riga 18, indirizzo 0x0B) sta per scrivere nel byte 0x08 (8)"))
        << screen.text();
    // The two other turns go through to the end.
    screen.press("c");
    ASSERT_TRUE(debugger.waitForCount("24")) << screen.text();
    EXPECT_TRUE(debugger.waitForMessage("La macchina si è fermata")) << screen.text();
    EXPECT_EQ(debugger.cell(0xF0).substr(1), "15");  // 21

    screen.press(keys::Tab);
    ASSERT_TRUE(debugger.moveGridCursorTo(3)) << screen.text();
    screen.press("?");
    EXPECT_TRUE(debugger.waitForMessage("al passo 19. Le scritture della riga 17 (INC guarda+2) qui non fermano più il "
                                        "debugger."))
        << screen.text();
    EXPECT_TRUE(debugger.quit());
}

}  // namespace
}  // namespace tarntest

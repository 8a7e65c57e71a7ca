// The real tarndbg on a pseudo-terminal: what its panels show at the start
// and after steps in both directions, breakpoints and watchpoints reached by
// the keys, the last writer of a byte, typed input, a teaching warning, a
// long message a page at a time, a resize, the terminal given back as it was
// however the debugger ends; and the terminals, command lines and file names
// it refuses or shows safely.
#include "support/process.hpp"
#include "support/screen_session.hpp"
#include "support/tarndbg_screen.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>

namespace tarntest {
namespace {

// Counts a byte down from 3, printing a word each turn.
//   0 VAL  3 DEC  5 WRT  7 CLZ  8 CMP  11 JPZ  13 JMP  15 RST
//   16 conta  17 zero  18 testo
constexpr const char* COUNTDOWN =
    "; conto alla rovescia\n"      // line 1
    "        VAL conta, 3\n"       // line 2
    "giro:   DEC conta\n"          // line 3
    "        WRT testo\n"          // line 4
    "        CLZ\n"                // line 5
    "        CMP conta, zero\n"    // line 6
    "        JPZ fine\n"           // line 7
    "        JMP giro\n"           // line 8
    "fine:   RST\n"                // line 9
    "conta:  DB 0\n"               // line 10
    "zero:   DB 0\n"               // line 11
    "testo:  DB \"ciao\\n\", 0\n";  // line 12

std::string registersRow(int pc, int ir, const char* mnemonic, int a, int b, int x) {
    char text[160];
    const auto value = [](const char* name, int byte, int width) {
        char part[32];
        std::snprintf(part, sizeof part, "%s 0x%02X (%d)", name, byte, byte);
        std::string padded = part;
        padded.resize(static_cast<std::size_t>(width), ' ');
        return padded;
    };
    std::snprintf(text, sizeof text, "%s  %s %-8s  %s  %s  %s", value("PC", pc, 13).c_str(), value("IR", ir, 13).c_str(),
                  mnemonic, value("A", a, 12).c_str(), value("B", b, 12).c_str(), value("X", x, 12).c_str());
    std::string row = text;
    row.erase(row.find_last_not_of(' ') + 1);
    return row;
}

TEST(TarndbgScreen, ShowsEveryPanelAtTheStart) {
    Debugger debugger("conto.asm", COUNTDOWN);
    ASSERT_TRUE(debugger.ready()) << debugger.screen.text();
    const ScreenSession& screen = debugger.screen;

    // The title row, in reverse video, across the whole width.
    EXPECT_EQ(screen.row(0).rfind("tarndbg: conto.asm", 0), 0u) << screen.row(0);
    EXPECT_EQ(screen.row(0).size(), 80u) << "the count is at the right edge";
    EXPECT_TRUE(screen.attributes(0, 0).reverse);
    EXPECT_TRUE(screen.attributes(0, 79).reverse);

    // The source: a comment line without address, then the next
    // instruction's line marked and in reverse video.
    EXPECT_EQ(screen.row(1).rfind("Sorgente", 0), 0u) << screen.row(1);
    // Each line has its number, and its address in hexadecimal when it has bytes.
    EXPECT_EQ(screen.row(2).substr(0, 27), "    1    ; conto alla roves");
    EXPECT_EQ(screen.row(3).substr(0, 20), " >  2 00  VAL conta,");
    EXPECT_TRUE(screen.attributes(3, 10).reverse);
    EXPECT_EQ(screen.row(4).substr(0, 23), "    3 03 giro:   DEC co");
    EXPECT_EQ(screen.row(13).substr(0, 15), "   12 12 testo:");
    EXPECT_FALSE(screen.attributes(4, 10).reverse);

    // The memory: titles, row addresses, the bytes in hex; the effective
    // address of VAL (conta) marked and in reverse video.
    EXPECT_EQ(screen.row(1).substr(28, 7), "Memoria") << screen.row(1);
    EXPECT_EQ(screen.row(2).substr(28, 3), "00 ");
    EXPECT_EQ(screen.row(17).substr(28, 3), "F0 ");
    EXPECT_EQ(debugger.cell(0), " 86");   // VAL
    EXPECT_EQ(debugger.cell(1), " 10");   // its A: conta, 16
    EXPECT_EQ(debugger.cell(18), " 63");  // 'c'
    EXPECT_EQ(debugger.cell(16), ">00");
    EXPECT_TRUE(screen.attributes(debugger.cellRow(16), debugger.cellColumn(16) + 1).reverse);
    EXPECT_FALSE(screen.attributes(debugger.cellRow(17), debugger.cellColumn(17) + 1).reverse);
    EXPECT_EQ(debugger.cell(255), " 00");

    EXPECT_EQ(screen.row(18), registersRow(0, 0, "RST", 0, 0, 0));
    EXPECT_EQ(screen.row(19).substr(0, 30), "Flag  D=0 Z=0 O=0 P=0 N=0     ");
    EXPECT_EQ(screen.row(19).substr(30), "Da leggere: (niente: sarà chiesto)");
    EXPECT_EQ(screen.row(20), "Uscita: (niente)");
    EXPECT_TRUE(screen.attributes(23, 0).reverse) << "the help line";
    EXPECT_TRUE(debugger.quit());
}

TEST(TarndbgScreen, StepsForwardsAndBackUpdateEveryPanel) {
    Debugger debugger("conto.asm", COUNTDOWN);
    ASSERT_TRUE(debugger.ready()) << debugger.screen.text();
    ScreenSession& screen = debugger.screen;

    // VAL conta, 3: the registers of the instruction done, conta changed in
    // bold; the next one, DEC conta, uses it again: '>' wins over '*'.
    screen.press("s");
    ASSERT_TRUE(debugger.waitForCount("1")) << screen.text();
    EXPECT_EQ(screen.row(18), registersRow(3, 0x86, "VAL", 16, 3, 0));
    EXPECT_EQ(debugger.cell(16), ">03");
    EXPECT_TRUE(screen.attributes(debugger.cellRow(16), debugger.cellColumn(16) + 1).bold);
    EXPECT_EQ(screen.row(3).substr(0, 2), "  ");
    EXPECT_EQ(screen.row(4).substr(0, 8), " >  3 03");

    // DEC conta: changed and no longer used next; WRT testo marks its string.
    screen.press("s");
    ASSERT_TRUE(debugger.waitForCount("2")) << screen.text();
    EXPECT_EQ(debugger.cell(16), "*02");
    EXPECT_EQ(debugger.cell(18), ">63");
    EXPECT_FALSE(screen.attributes(debugger.cellRow(0), debugger.cellColumn(0) + 1).bold);
    EXPECT_EQ(screen.row(18), registersRow(5, 0x49, "DEC", 16, 3, 0));
    EXPECT_EQ(screen.row(20), "Uscita: (niente)");

    screen.press("s");
    ASSERT_TRUE(debugger.waitForCount("3")) << screen.text();
    EXPECT_EQ(screen.row(20), "Uscita: ciao");
    EXPECT_EQ(debugger.cell(16), " 02") << "the last step wrote no memory";

    // Back: the output and the marks as they were two steps ago.
    screen.press("b");
    ASSERT_TRUE(debugger.waitForCount("2")) << screen.text();
    EXPECT_EQ(screen.row(20), "Uscita: (niente)");
    EXPECT_EQ(debugger.cell(16), "*02");
    screen.press("bb");
    ASSERT_TRUE(debugger.waitForCount("0")) << screen.text();
    EXPECT_EQ(debugger.cell(16), ">00");
    EXPECT_EQ(screen.row(18), registersRow(0, 0, "RST", 0, 0, 0));
    screen.press("b");
    EXPECT_TRUE(debugger.waitForMessage("Sei già all'inizio.")) << screen.text();

    // Forwards to the end, then g: back at the start.
    screen.press("c");
    EXPECT_TRUE(debugger.waitForMessage("La macchina si è fermata: codice operativo 0 all'indirizzo 0x0F (15), riga 9"))
        << screen.text();
    EXPECT_EQ(screen.row(20), "Uscita: ciao");
    screen.press("g");
    ASSERT_TRUE(debugger.waitForCount("0")) << screen.text();
    EXPECT_EQ(screen.row(20), "Uscita: (niente)");
    EXPECT_TRUE(debugger.quit());
}

TEST(TarndbgScreen, ABreakpointOnTheCursorLineStopsARun) {
    Debugger debugger("conto.asm", COUNTDOWN);
    ASSERT_TRUE(debugger.ready()) << debugger.screen.text();
    ScreenSession& screen = debugger.screen;

    const int cmpRow = debugger.sourceRow("CMP conta");
    ASSERT_TRUE(debugger.moveSourceCursorTo(cmpRow)) << screen.text();
    EXPECT_TRUE(screen.attributes(cmpRow, 10).bold);
    EXPECT_TRUE(screen.attributes(cmpRow, 10).underline);
    screen.press("k");
    ASSERT_TRUE(debugger.waitForMessage("Punto di arresto sull'indirizzo 0x08 (8), riga 6.")) << screen.text();
    EXPECT_EQ(screen.row(cmpRow).substr(0, 8), "*   6 08");

    screen.press("c");
    ASSERT_TRUE(debugger.waitForCount("4")) << screen.text();
    EXPECT_TRUE(debugger.waitForMessage("Punto di arresto: la prossima istruzione è CMP (riga 6, indirizzo 0x08)."))
        << screen.text();
    EXPECT_EQ(screen.row(cmpRow).substr(0, 8), "*>  6 08");
    EXPECT_EQ(debugger.cell(16), ">02");  // CMP's A + X
    EXPECT_EQ(debugger.cell(17), "+00");  // and its B
    // The next turn of the loop stops there again.
    screen.press("c");
    ASSERT_TRUE(debugger.waitForCount("10")) << screen.text();

    screen.press("k");
    EXPECT_TRUE(debugger.waitForMessage("Punto di arresto tolto dall'indirizzo 0x08 (8), riga 6.")) << screen.text();
    EXPECT_EQ(screen.row(cmpRow).substr(0, 2), " >");
    EXPECT_TRUE(debugger.quit());
}

TEST(TarndbgScreen, AWatchpointOnAGridCellStopsWhenItChangesAndNamesTheLastWriter) {
    Debugger debugger("conto.asm", COUNTDOWN);
    ASSERT_TRUE(debugger.ready()) << debugger.screen.text();
    ScreenSession& screen = debugger.screen;

    screen.press(keys::Tab);
    ASSERT_TRUE(debugger.moveGridCursorTo(16)) << screen.text();
    EXPECT_TRUE(screen.attributes(debugger.cellRow(16), debugger.cellColumn(16) + 1).bold) << "the grid cursor";

    // Nobody has written conta yet: its value comes from the source.
    screen.press("?");
    EXPECT_TRUE(debugger.waitForMessage("Il byte 0x10 (16), che vale 0x00 (0), non è stato scritto da nessuna istruzione fin qui"))
        << screen.text();

    screen.press("w");
    ASSERT_TRUE(debugger.waitForMessage("Osservo il byte 0x10 (16), che ora vale 0x00 (0): c si fermerà quando cambia.")) << screen.text();
    EXPECT_TRUE(screen.attributes(debugger.cellRow(16), debugger.cellColumn(16) + 1).underline);
    EXPECT_FALSE(screen.attributes(debugger.cellRow(17), debugger.cellColumn(17) + 1).underline);

    screen.press("c");
    ASSERT_TRUE(debugger.waitForCount("1")) << screen.text();
    EXPECT_TRUE(debugger.waitForMessage("Il byte 0x10 (16) è cambiato: da 0x00 (0) a 0x03 (3), per VAL (riga 2, indirizzo 0x00) al passo 1."))
        << screen.text();
    screen.press("c");
    ASSERT_TRUE(debugger.waitForCount("2")) << screen.text();
    EXPECT_TRUE(debugger.waitForMessage("da 0x03 (3) a 0x02 (2), per DEC (riga 3, indirizzo 0x03) al passo 2.")) << screen.text();

    // A turn of the loop later (six instructions): the DEC again, at a later step.
    screen.press("c");
    ASSERT_TRUE(debugger.waitForCount("8")) << screen.text();
    screen.press("?");
    EXPECT_TRUE(debugger.waitForMessage("Il byte 0x10 (16), che vale 0x01 (1), è stato scritto per ultimo dall'istruzione "
                                        "all'indirizzo 0x03 (riga 3: giro:   DEC conta), al passo 8."))
        << screen.text();

    // r goes back to the previous change.
    screen.press("r");
    ASSERT_TRUE(debugger.waitForCount("2")) << screen.text();
    screen.press("w");
    EXPECT_TRUE(debugger.waitForMessage("Non osservo più il byte 0x10 (16).")) << screen.text();
    EXPECT_TRUE(debugger.quit());
}

TEST(TarndbgScreen, ShowsTheInputLeftToReadFromAFile) {
    const std::string input = writeTempFile("eco.in", "uno due\n");
    Debugger debugger("eco.asm", TWO_WORDS, {"--ingresso", input});
    ASSERT_TRUE(debugger.ready()) << debugger.screen.text();
    ScreenSession& screen = debugger.screen;
    EXPECT_EQ(screen.row(19).substr(30), "Da leggere: uno due⏎");

    screen.press("ss");
    ASSERT_TRUE(debugger.waitForCount("2")) << screen.text();
    EXPECT_EQ(screen.row(20), "Uscita: uno");
    EXPECT_NE(screen.row(19).find("due⏎"), std::string::npos) << screen.row(19);
    EXPECT_EQ(screen.row(19).find("uno"), std::string::npos) << screen.row(19);
    EXPECT_EQ(debugger.cell(7).substr(1), "75");  // 'u'
    EXPECT_TRUE(debugger.quit());

    // Without UTF-8, line ends are shown in ASCII.
    ScreenOptions ascii;
    ascii.environment = {"LANG=C"};
    Debugger plain("eco.asm", TWO_WORDS, {"--ingresso", input}, ascii);
    ASSERT_TRUE(plain.ready()) << plain.screen.text();
    EXPECT_EQ(plain.screen.row(19).substr(30), "Da leggere: uno due~");
    EXPECT_TRUE(plain.quit());
}

TEST(TarndbgScreen, AsksForAWordOnItsInputLine) {
    Debugger debugger("eco.asm", TWO_WORDS);
    ASSERT_TRUE(debugger.ready()) << debugger.screen.text();
    ScreenSession& screen = debugger.screen;
    EXPECT_EQ(screen.row(19).substr(30), "Da leggere: (niente: sarà chiesto)");

    screen.press("s");
    ASSERT_TRUE(debugger.waitForMessage("aspetta una parola: scrivila e premi Invio.")) << screen.text();
    ASSERT_TRUE(screen.waitUntil([&] { return screen.row(22).rfind(">", 0) == 0; })) << screen.text();
    screen.press("ciao");
    ASSERT_TRUE(screen.waitUntil([&] { return screen.row(22) == "> ciao"; })) << screen.text();
    EXPECT_EQ(screen.cursor(), std::make_pair(22, 6));
    // Enter gives the word and INP reads it; its line end is left.
    screen.press(keys::Enter);
    ASSERT_TRUE(debugger.waitForCount("1")) << screen.text();
    EXPECT_EQ(screen.row(19).substr(30), "Da leggere: ⏎");
    EXPECT_EQ(debugger.cell(7).substr(1), "63");  // 'c'
    EXPECT_EQ(screen.row(22).find('>'), std::string::npos) << "the input line is closed";
    screen.press("s");
    ASSERT_TRUE(debugger.waitForCount("2")) << screen.text();
    EXPECT_EQ(screen.row(20), "Uscita: ciao");

    // The second INP asks again, on s (or at once, on reaching it); Ctrl-D
    // on the empty line ends the input, and INP reads nothing.
    if (screen.row(22).rfind(">", 0) != 0) screen.press("s");
    ASSERT_TRUE(screen.waitUntil([&] { return screen.row(22).rfind(">", 0) == 0; })) << screen.text();
    screen.press(keys::ctrl('d'));
    // The step goes on with the input ended (or waits for the next s).
    ASSERT_TRUE(screen.waitUntil([&] {
        return debugger.count() == "3" || debugger.message().find("Ingresso finito") != std::string::npos;
    })) << screen.text();
    if (debugger.count() == "2") screen.press("s");
    ASSERT_TRUE(debugger.waitForCount("3")) << screen.text();
    EXPECT_EQ(screen.row(19).substr(30), "Da leggere: (fine dell'ingresso)");
    EXPECT_EQ(debugger.cell(7).substr(1), "63") << "nothing read over the word";
    EXPECT_TRUE(debugger.quit());
}

TEST(TarndbgScreen, ATeachingWarningStopsARun) {
    // JMP into a byte defined as data (6 is NOP).
    Debugger debugger("dato.asm",
                      "        JMP dati\n"
                      "        RST\n"
                      "dati:   DB 6\n"
                      "        RST\n");
    ASSERT_TRUE(debugger.ready()) << debugger.screen.text();
    debugger.screen.press("c");
    ASSERT_TRUE(debugger.waitForCount("1")) << debugger.screen.text();
    EXPECT_TRUE(debugger.waitForMessage("La macchina sta per eseguire un dato: il byte 0x03 (3) è definito con DB alla riga 3"))
        << debugger.screen.text();
    EXPECT_TRUE(debugger.quit());
}

TEST(TarndbgScreen, RedrawsAtANewSizeAndSaysWhenItIsTooSmall) {
    Debugger debugger("conto.asm", COUNTDOWN);
    ASSERT_TRUE(debugger.ready()) << debugger.screen.text();
    ScreenSession& screen = debugger.screen;
    screen.press("s");
    ASSERT_TRUE(debugger.waitForCount("1")) << screen.text();

    // Larger: the memory at the right edge, the help line at the bottom.
    ASSERT_TRUE(screen.waitUntilIdle());  // ncurses may miss a SIGWINCH that comes while it reads a key
    screen.resize(100, 30);
    ASSERT_TRUE(screen.waitUntil([&] { return screen.row(0).size() == 100 && !screen.row(29).empty(); }))
        << screen.text();
    // From 100 columns the memory rows show their characters too.
    EXPECT_EQ(screen.row(1).substr(31, 7), "Memoria") << screen.row(1);
    EXPECT_EQ(screen.row(3).substr(31 + 52 + 1), "..ciao..........") << screen.row(3);
    EXPECT_EQ(debugger.sourceRow("CMP conta, zero"), 7) << "the source panel is wider";
    EXPECT_EQ(debugger.cell(16), ">03");
    EXPECT_EQ(screen.row(18), registersRow(3, 0x86, "VAL", 16, 3, 0));
    EXPECT_TRUE(screen.attributes(29, 0).reverse);
    EXPECT_EQ(debugger.count(), "1");

    // Smaller than 80 x 24: only the reason, which names the size needed.
    ASSERT_TRUE(screen.waitUntilIdle());
    screen.resize(70, 24);
    ASSERT_TRUE(screen.waitUntil([&] { return screen.text().find("Memoria") == std::string::npos; })) << screen.text();
    const std::string small = screen.text();
    EXPECT_NE(small.find("troppo piccolo"), std::string::npos) << small;
    EXPECT_NE(small.find("80 × 24"), std::string::npos) << "[" << small << "]";
    screen.press("s");  // keys other than q wait for a larger terminal
    ASSERT_TRUE(screen.waitUntilIdle());

    // Back to 80 x 24: everything is there again, as it was.
    screen.resize(80, 24);
    ASSERT_TRUE(screen.waitForText("Memoria")) << screen.text();
    EXPECT_EQ(debugger.cell(16), ">03");
    EXPECT_EQ(debugger.count(), "1");
    EXPECT_TRUE(debugger.quit());
}

// The page of a long message on the screen: its text (rows joined, the note
// taken off) and the note, "(m: il seguito, 1/2)".
struct MessagePage {
    std::string text;
    std::string note;
};

MessagePage messagePage(const Debugger& debugger, int rows) {
    MessagePage page;
    for (int r = debugger.rows() - 3; r < debugger.rows() - 3 + rows; ++r) {
        std::string row = debugger.screen.row(r);
        const std::size_t note = row.rfind(" (");
        if (note != std::string::npos && row.back() == ')' && row.find('/', note) != std::string::npos) {
            page.note = row.substr(note + 1);
            row = row.substr(0, note);
        }
        while (!row.empty() && row.back() == ' ') row.pop_back();
        if (row.empty()) continue;
        EXPECT_LE(row.size(), static_cast<std::size_t>(debugger.screen.cols()));
        page.text += (page.text.empty() ? "" : " ") + row;
    }
    return page;
}

TEST(TarndbgScreen, WrapsALongMessageAtBlanksAndShowsTheRestOnePageAtATime) {
    // JMP into a DB that reads as INC 200: two warnings at once, over three rows.
    Debugger debugger("avvisi.asm",
                      "        JMP dati\n"
                      "        RST\n"
                      "dati:   DB 72, 200\n"
                      "        RST\n");
    ASSERT_TRUE(debugger.ready()) << debugger.screen.text();
    ScreenSession& screen = debugger.screen;
    screen.press("c");
    ASSERT_TRUE(screen.waitForText("(m: il seguito, 1/3)")) << screen.text();
    const std::string whole =
        "Avviso: La macchina sta per eseguire un dato: il byte 0x03 (3) è definito con DB alla riga 3, ma ora vale "
        "come INC. INC (riga 3, indirizzo 0x03) sta per leggere il byte 0xC8 (200), a cui né il sorgente né il "
        "programma hanno mai dato un valore.";
    const MessagePage first = messagePage(debugger, 2);
    EXPECT_EQ(first.note, "(m: il seguito, 1/3)") << debugger.messageRows();
    ASSERT_EQ(whole.rfind(first.text + " ", 0), 0u) << "[" << first.text << "]";

    screen.press("m");
    ASSERT_TRUE(screen.waitForText("(m: il seguito, 2/3)")) << screen.text();
    const MessagePage second = messagePage(debugger, 2);
    screen.press("m");
    ASSERT_TRUE(screen.waitForText("(m: da capo, 3/3)")) << screen.text();
    const MessagePage third = messagePage(debugger, 2);
    EXPECT_EQ(first.text + " " + second.text + " " + third.text, whole) << "nothing lost, each row cut at a blank";
    EXPECT_TRUE(screen.attributes(debugger.rows() - 1, 0).reverse) << "the keys stay";

    // After the last page, the first again; a new message starts from its own.
    screen.press("m");
    ASSERT_TRUE(screen.waitForText("(m: il seguito, 1/3)")) << screen.text();
    screen.press("m");
    ASSERT_TRUE(screen.waitForText("(m: il seguito, 2/3)")) << screen.text();
    screen.press("b");
    EXPECT_TRUE(debugger.waitForMessage("Un passo indietro: annullato il passo 1.")) << screen.text();
    EXPECT_EQ(screen.text().find("(m:"), std::string::npos) << screen.text();
    EXPECT_TRUE(debugger.quit());
}

TEST(TarndbgScreen, PagesALongMessageWhileAWordIsTypedWithTab) {
    // INP whose word would reach past 255, where the last step switched on D:
    // one row of message above the input line.
    Debugger debugger("riga.asm",
                      "        VAL 250, 0\n"
                      "        INP 250\n"
                      "        RST\n");
    ASSERT_TRUE(debugger.ready()) << debugger.screen.text();
    ScreenSession& screen = debugger.screen;
    screen.press("c");
    ASSERT_TRUE(debugger.waitForCount("1")) << screen.text();
    screen.press("c");
    ASSERT_TRUE(screen.waitUntil([&] { return screen.row(22) == ">"; })) << screen.text();
    ASSERT_TRUE(screen.waitForText("(Tab: il seguito, 1/")) << screen.text();
    // Every page in turn, then the first again: together, the whole message.
    std::string whole;
    for (int page = 1;; ++page) {
        const std::string row = screen.row(21);
        const std::size_t note = row.rfind(" (Tab: ");
        ASSERT_NE(note, std::string::npos) << row;
        whole += (whole.empty() ? "" : " ") + row.substr(0, row.find_last_not_of(' ', note) + 1);
        if (row.find("da capo") != std::string::npos) break;
        ASSERT_LT(page, 10) << screen.text();
        if (page == 1) screen.press("ab");  // letters are typed, Tab is not
        screen.press(keys::Tab);
        ASSERT_TRUE(screen.waitForText(", " + std::to_string(page + 1) + "/")) << screen.text();
    }
    EXPECT_EQ(whole.rfind("INP (riga 2, indirizzo 0x03) aspetta una parola: scrivila e premi Invio. VAL", 0), 0u)
        << whole;
    EXPECT_NE(whole.find("VAL (riga 1, indirizzo 0x00) con B = 0 ha acceso il flag D: tarnsim da qui mostrerebbe la "
                         "traccia a ogni istruzione."),
              std::string::npos)
        << whole;
    EXPECT_EQ(screen.row(22), "> ab");
    screen.press(keys::Tab);
    ASSERT_TRUE(screen.waitForText("(Tab: il seguito, 1/")) << screen.text();
    screen.press(keys::Esc);
    EXPECT_TRUE(debugger.waitForMessage("Nessuna parola data")) << screen.text();
    EXPECT_TRUE(debugger.quit());
}

// Every page of the message, joined, the notes taken off: m shows each in
// turn, and after the last the first again.
std::string wholeMessage(Debugger& debugger) {
    std::string whole;
    for (int page = 1; page < 10; ++page) {
        const MessagePage shown = messagePage(debugger, 2);
        whole += (whole.empty() ? "" : " ") + shown.text;
        if (shown.note.empty() || shown.note.find("da capo") != std::string::npos) break;
        debugger.screen.press("m");
        if (!debugger.screen.waitForText(", " + std::to_string(page + 1) + "/")) return whole + " [pagina mancante]";
    }
    return whole;
}

// Reads a name into a buffer of four bytes and prints it after a greeting
// that has no 0 of its own.
//   0 INP  2 WRT  4 WRT  6 RST  7 nome  11 ciao  16 punto
constexpr const char* GREETING =
    "        INP nome\n"                 // line 1
    "        WRT ciao\n"                 // line 2
    "        WRT nome\n"                 // line 3
    "        RST\n"                      // line 4
    "nome:   DB 0, 0, 0, 0\n"            // line 5
    "ciao:   DB \"Ciao \"\n"             // line 6
    "punto:  DB \"!\", 10, 0\n";         // line 7

TEST(TarndbgScreen, WarnsBeforeATypedWordRunsIntoAnotherLabel) {
    Debugger debugger("saluto.asm", GREETING);
    ASSERT_TRUE(debugger.ready()) << debugger.screen.text();
    ScreenSession& screen = debugger.screen;
    screen.press("c");
    ASSERT_TRUE(screen.waitUntil([&] { return screen.row(22).rfind(">", 0) == 0; })) << screen.text();
    screen.press("Margherita");
    screen.press(keys::Enter);
    // Said before INP runs: nothing executed, memory as it was.
    ASSERT_TRUE(screen.waitForText("(m: il seguito, 1/2)")) << screen.text();
    EXPECT_EQ(wholeMessage(debugger),
              "Avviso: INP (riga 1, indirizzo 0x00) sta per scrivere una parola di 10 caratteri da 0x07 (7): va oltre "
              "la fine dei dati di nome e scrive nei byte di ciao (riga 6, indirizzo 0x0B).");
    EXPECT_EQ(debugger.count(), "0");
    EXPECT_EQ(debugger.cell(7), ">00");
    // c goes on: INP runs, and WRT ciao, whose string no 0 ends now, is
    // stopped in its turn before it prints.
    screen.press("c");
    ASSERT_TRUE(debugger.waitForCount("1")) << screen.text();
    ASSERT_TRUE(screen.waitForText("(m: il seguito, 1/2)")) << screen.text();
    EXPECT_EQ(wholeMessage(debugger),
              "Avviso: WRT (riga 2, indirizzo 0x02) sta per stampare la stringa di ciao da 0x0B (11), ma nessuno 0 la "
              "chiude: andrebbe avanti nei byte di punto (riga 7, indirizzo 0x10).");
    EXPECT_EQ(screen.row(20), "Uscita: (niente)");
    EXPECT_EQ(debugger.cell(11).substr(1), "68") << "'h' of Margherita over the greeting's 'C'";
    EXPECT_TRUE(debugger.quit());
}

TEST(TarndbgScreen, AWordThatFitsGoesInWithoutAWarningButTheGreetingRunsOn) {
    const std::string input = writeTempFile("nome.in", "Ada\n");
    Debugger debugger("saluto.asm", GREETING, {"--ingresso", input});
    ASSERT_TRUE(debugger.ready()) << debugger.screen.text();
    debugger.screen.press("c");
    ASSERT_TRUE(debugger.waitForCount("1")) << debugger.screen.text();
    EXPECT_TRUE(debugger.waitForMessage("Avviso: WRT (riga 2, indirizzo 0x02) sta per stampare la stringa di ciao"))
        << debugger.screen.text();
    debugger.screen.press("c");
    EXPECT_TRUE(debugger.waitForMessage("La macchina si è fermata")) << debugger.screen.text();
    EXPECT_EQ(debugger.screen.row(20), "Uscita: Ada");
    EXPECT_TRUE(debugger.quit());
}

TEST(TarndbgScreen, StopsAnEndlessLoopMarksItsLinesAndGoesBackToItsStart) {
    Debugger debugger("giro.asm",
                      "        VAL conta, 2\n"  // line 1
                      "giro:   CLZ\n"           // line 2
                      "        DEC conta\n"     // line 3
                      "        JPZ fermo\n"     // line 4
                      "        JMP giro\n"      // line 5
                      "fermo:  NOP\n"           // line 6
                      "        JMP fermo\n"     // line 7
                      "conta:  DB 0\n");        // line 8
    ASSERT_TRUE(debugger.ready()) << debugger.screen.text();
    ScreenSession& screen = debugger.screen;
    EXPECT_EQ(screen.text().find("↻"), std::string::npos) << "no loop is marked before one is proved";
    screen.press("c");
    // VAL, two turns of the count, then NOP and JMP for ever: the state
    // after the first NOP (A holds fermo, from JPZ as from JMP) comes back
    // two steps later.
    ASSERT_TRUE(debugger.waitForMessage("Ciclo infinito: dal passo 9 la macchina ripete gli stessi 2 passi (righe "
                                        "6-7): il programma non finirebbe mai. r torna dove comincia."))
        << screen.text();
    EXPECT_EQ(debugger.count(), "11");
    const int nopRow = debugger.sourceRow("fermo:  NOP");
    const int jmpRow = debugger.sourceRow("JMP fermo");
    ASSERT_GT(nopRow, 0);
    EXPECT_EQ(screen.row(nopRow).rfind("    6 0A↻fermo:", 0), 0u) << screen.row(nopRow);
    EXPECT_EQ(screen.row(jmpRow).rfind(" >  7 0B↻ JMP", 0), 0u) << screen.row(jmpRow);
    EXPECT_EQ(screen.row(debugger.sourceRow("JMP giro")).rfind("    5 08  JMP", 0), 0u);

    screen.press("r");
    ASSERT_TRUE(debugger.waitForCount("9")) << screen.text();
    EXPECT_TRUE(debugger.waitForMessage("Sei dove comincia il ciclo infinito: dal passo 9 la macchina ripete gli "
                                        "stessi 2 passi (righe 6-7)."))
        << screen.text();
    EXPECT_EQ(screen.row(jmpRow).rfind(" >  7 0B↻", 0), 0u) << "the marks stay";
    // c from inside the loop goes round it once more.
    screen.press("c");
    ASSERT_TRUE(debugger.waitForCount("11")) << screen.text();
    EXPECT_TRUE(debugger.quit());
}

TEST(TarndbgScreen, ShowsTheCharactersOfTheMemoryRowsWhileTheMemoryHasTheFocus) {
    Debugger debugger("conto.asm", COUNTDOWN);
    ASSERT_TRUE(debugger.ready()) << debugger.screen.text();
    ScreenSession& screen = debugger.screen;
    // At 80 columns the source keeps its room until the memory has the focus.
    EXPECT_EQ(screen.row(1).substr(28, 7), "Memoria");
    EXPECT_EQ(screen.row(3).find("ciao"), std::string::npos) << screen.row(3);
    screen.press(keys::Tab);
    ASSERT_TRUE(screen.waitUntil([&] { return screen.row(1).substr(11, 7) == "Memoria"; })) << screen.text();
    EXPECT_EQ(screen.row(3).substr(11 + 52 + 1), "..ciao..........") << screen.row(3);
    EXPECT_EQ(screen.row(2).substr(11 + 52 + 1), "...I.G.....C.@..") << screen.row(2);
    ASSERT_TRUE(debugger.moveGridCursorTo(18));
    EXPECT_TRUE(screen.attributes(3, 11 + 52 + 1 + 2).bold) << "the cursor's character";
    screen.press("?");
    EXPECT_TRUE(debugger.waitForMessage("Il byte 0x12 (18), che vale 0x63 (99, 'c'), non è stato scritto")) << screen.text();
    screen.press(keys::Tab);
    ASSERT_TRUE(screen.waitUntil([&] { return screen.row(1).substr(28, 7) == "Memoria"; })) << screen.text();
    EXPECT_TRUE(debugger.quit());
}

TEST(TarndbgScreen, FollowsTheTerminalsSizeWhateverLinesAndColumnsSay) {
    ScreenOptions options;
    options.cols = 100;
    options.rows = 30;
    options.environment = {"COLUMNS=80", "LINES=24"};
    Debugger debugger("conto.asm", COUNTDOWN, {}, options);
    ASSERT_TRUE(debugger.screen.waitUntil([&] { return !debugger.screen.row(29).empty(); }))
        << debugger.screen.text();
    ScreenSession& screen = debugger.screen;
    EXPECT_EQ(screen.row(0).size(), 100u) << screen.row(0);
    EXPECT_TRUE(screen.attributes(29, 0).reverse) << "the keys on the last row";

    ASSERT_TRUE(screen.waitUntilIdle());
    screen.resize(60, 20);
    ASSERT_TRUE(screen.waitForText("(ora 60 × 20)")) << screen.text();
    EXPECT_EQ(screen.text().find("Memoria"), std::string::npos) << screen.text();

    ASSERT_TRUE(screen.waitUntilIdle());
    screen.resize(90, 26);
    ASSERT_TRUE(screen.waitUntil([&] { return screen.row(0).size() == 90 && !screen.row(25).empty(); }))
        << screen.text();
    EXPECT_EQ(screen.row(1).substr(38, 7), "Memoria") << screen.row(1);
    EXPECT_TRUE(debugger.quit());
}

// A line on the terminal where tarndbg was started, and its exit status.
struct Refusal {
    std::string firstRow;
    std::string secondRow;
    int status = -1;
};

Refusal refusal(const std::vector<std::string>& argv, ScreenOptions options) {
    options.cols = 250;  // a line is one row
    ScreenSession screen;
    screen.start(argv, options);
    const std::optional<int> status = screen.waitForExit();
    Refusal result;
    result.firstRow = screen.row(0);
    result.secondRow = screen.row(1);
    if (status && WIFEXITED(*status)) result.status = WEXITSTATUS(*status);
    EXPECT_EQ(screen.settingsDifference(), "");
    EXPECT_FALSE(screen.alternateScreen());
    return result;
}

TEST(TarndbgScreen, RefusesATerminalThatCannotDrawTheScreen) {
    const std::string program = writeTempFile("conto.asm", COUNTDOWN);
    const struct {
        const char* term;
        const char* said;
    } terminals[] = {
        {"TERM=dumb", "tarndbg: il terminale 'dumb' non è utilizzabile: non sa spostare il cursore"},
        {"TERM=", "tarndbg: il tipo del terminale non è noto"},
        {"TERM=nessuno-cosi", "tarndbg: il terminale 'nessuno-cosi' non è utilizzabile"},
    };
    for (const auto& terminal : terminals) {
        SCOPED_TRACE(terminal.term);
        ScreenOptions options;
        options.environment = {terminal.term};
        const Refusal refused = refusal({TARNDBG_BINARY, program}, options);
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.firstRow.rfind(terminal.said, 0), 0u) << refused.firstRow;
        EXPECT_EQ(refused.secondRow, "") << "one line";
    }
}

TEST(TarndbgScreen, ShowsFileNamesWithoutTheirControlBytes) {
    // A new line and an escape that would underline what follows.
    const std::string name = "a\n\x1b[4mb";
    const std::string shown = "a\\n\\x1B[4mb";
    {
        Debugger debugger(name + ".asm", COUNTDOWN);
        ASSERT_TRUE(debugger.ready()) << debugger.screen.text();
        EXPECT_EQ(debugger.screen.row(0).rfind("tarndbg: " + shown + ".asm ", 0), 0u) << debugger.screen.row(0);
        EXPECT_FALSE(debugger.screen.attributes(0, 20).underline);
        EXPECT_TRUE(debugger.quit());
    }

    const std::filesystem::path folder = std::filesystem::path(writeTempFile(name + ".asm", COUNTDOWN)).parent_path();
    writeTempFile(name + "-errato.asm", "        FOO\n");
    const struct {
        std::vector<std::string> arguments;
        std::string said;
        int status;
    } failures[] = {
        {{name + "-manca.asm"}, "tarndbg: impossibile leggere il sorgente '" + shown + "-manca.asm': ", 2},
        {{name + "-manca.bin"}, "tarndbg: impossibile leggere l'immagine '" + shown + "-manca.bin': ", 2},
        {{name + ".asm", "--ingresso", name + ".in"}, "tarndbg: impossibile leggere l'ingresso '" + shown + ".in': ", 2},
        {{name + "-errato.asm"}, shown + "-errato.asm:1:9: errore: ", 1},
        {{"x.asm", name}, "tarndbg: un solo programma alla volta, ma c'è anche '" + shown + "'", 2},
        {{"--ingress=" + name, "x.asm"},
         "tarndbg: opzione sconosciuta '--ingress=" + shown + "': forse intendevi --ingresso?", 2},
    };
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.said);
        std::vector<std::string> argv = {TARNDBG_BINARY};
        argv.insert(argv.end(), failure.arguments.begin(), failure.arguments.end());
        ScreenOptions options;
        options.workingDirectory = folder.string();
        const Refusal refused = refusal(argv, options);
        EXPECT_EQ(refused.status, failure.status);
        EXPECT_EQ(refused.firstRow.rfind(failure.said, 0), 0u) << refused.firstRow;
        EXPECT_EQ(refused.secondRow, "") << "one line";
    }
    // Without a terminal, the same in the bytes written.
    const ProcessResult result = runProcess({TARNDBG_BINARY, "x.asm", "-" + name});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.err.find('\x1b'), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    for (const char* file : {".asm", "-errato.asm"}) std::filesystem::remove(folder / (name + file));
}

// A FIFO that no one writes, removed at the end.
class UnwrittenFifo {
public:
    UnwrittenFifo() : path_(std::filesystem::path(writeTempFile("vuoto.in", "")).parent_path() / "attesa.fifo") {
        std::filesystem::remove(path_.parent_path() / "vuoto.in");
        std::filesystem::remove(path_);
        ok_ = ::mkfifo(path_.c_str(), 0600) == 0;
    }
    ~UnwrittenFifo() { std::filesystem::remove(path_); }
    UnwrittenFifo(const UnwrittenFifo&) = delete;
    UnwrittenFifo& operator=(const UnwrittenFifo&) = delete;
    bool ok() const { return ok_; }
    std::string path() const { return path_.string(); }

private:
    std::filesystem::path path_;
    bool ok_ = false;
};

TEST(TarndbgScreen, SaysItNeedsATerminalBeforeOpeningTheInput) {
    const std::string program = writeTempFile("conto.asm", COUNTDOWN);
    const UnwrittenFifo fifo;
    ASSERT_TRUE(fifo.ok());
    // Were the FIFO opened, the run would wait for a writer until the timeout.
    ProcessOptions noTerminal;
    noTerminal.timeoutSeconds = 10;
    const ProcessResult piped = runProcess({TARNDBG_BINARY, program, "--ingresso", fifo.path()}, noTerminal);
    EXPECT_EQ(piped.signal, 0);
    EXPECT_EQ(piped.exitStatus, 2);
    EXPECT_EQ(piped.err.rfind("tarndbg: serve un terminale", 0), 0u) << piped.err;

    // Standard input from /dev/null, standard output a terminal.
    ScreenOptions inputFromNull;
    inputFromNull.inputFromNull = true;
    const Refusal refused = refusal({TARNDBG_BINARY, program, "--ingresso", fifo.path()}, inputFromNull);
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.firstRow.rfind("tarndbg: serve un terminale", 0), 0u) << refused.firstRow;
}

TEST(TarndbgScreen, TakesEverythingAfterTwoDashesAsTheProgram) {
    const std::filesystem::path program = writeTempFile("-conto.asm", COUNTDOWN);
    const std::string input = writeTempFile("conto.in", "uno\n");
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--", "-conto.asm"}, {"--ingresso", input, "--", "-conto.asm"}}) {
        SCOPED_TRACE(arguments.size());
        std::vector<std::string> argv = {TARNDBG_BINARY};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        ScreenSession screen;
        ScreenOptions options;
        options.workingDirectory = program.parent_path().string();
        screen.start(argv, options);
        ASSERT_TRUE(screen.waitForText("istruzioni eseguite: 0")) << screen.text();
        EXPECT_EQ(screen.row(0).rfind("tarndbg: -conto.asm ", 0), 0u) << screen.row(0);
        screen.press("q");
        const std::optional<int> status = screen.waitForExit();
        ASSERT_TRUE(status.has_value());
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << describeStatus(*status);
    }
    std::filesystem::remove(program);
    std::filesystem::remove(input);
}

// How one command line slips, and what tarndbg says about it.
struct Slip {
    std::vector<std::string> arguments;
    const char* said;
    const char* notSaid;
};

TEST(TarndbgScreen, RefusesOptionSlipsWithOneLineAndASuggestion) {
    const Slip slips[] = {
        {{"--ingresso", "a.in", "--ingresso", "b.in", "x.asm"}, "--ingresso si può dare una volta sola", nullptr},
        {{"--ingresso=a.in", "x.asm", "--ingresso", "b.in"}, "--ingresso si può dare una volta sola", nullptr},
        {{"--ingresso", "--help", "x.asm"},
         "l'opzione --ingresso vuole un nome di file, ma '--help' sembra un'opzione: per un file con questo nome "
         "scrivi ./--help",
         nullptr},
        {{"x.asm", "--ingresso", "-j"}, "'-j' sembra un'opzione", nullptr},
        {{"-ingresso", "a.in", "x.asm"}, "opzione sconosciuta '-ingresso': forse intendevi --ingresso?", nullptr},
        {{"x.asm", "--ingreso=a.in"}, "opzione sconosciuta '--ingreso=a.in': forse intendevi --ingresso?", nullptr},
        {{"--INGRESSO", "a.in", "x.asm"}, "forse intendevi --ingresso?", nullptr},
        {{"--hlep"}, "opzione sconosciuta '--hlep': forse intendevi --help?", nullptr},
        {{"-x", "x.asm"}, "opzione sconosciuta '-x'", "forse"},
        {{"--somiglianze", "x.asm"}, "opzione sconosciuta '--somiglianze'", "forse"},
        {{"x.asm", "--", "y.asm"}, "un solo programma alla volta, ma c'è anche 'y.asm'", nullptr},
        // A case of an exercise: both options, and no other input.
        {{"x.asm", "--esercizio", "es.toml"}, "--esercizio vuole anche --caso, il caso da eseguire", nullptr},
        {{"--caso=uno", "x.asm"}, "--caso vuole anche --esercizio, il file dell'esercizio", nullptr},
        {{"x.asm", "--esercizio", "es.toml", "--caso", "uno", "--ingresso", "a.in"},
         "--ingresso non si combina con --caso: l'ingresso è quello del caso", nullptr},
        {{"x.asm", "--caso", "uno", "--esercizio=es.toml", "--caso", "due"}, "--caso si può dare una volta sola",
         nullptr},
        {{"x.asm", "--esercizio", "es.toml", "--caso", "-uno"},
         "l'opzione --caso vuole il nome di un caso, ma '-uno' sembra un'opzione: per un caso con questo nome "
         "scrivi --caso=-uno",
         nullptr},
        {{"x.asm", "--esercizio", "es.toml", "--caso"}, "manca il nome del caso dopo --caso", nullptr},
        {{"x.asm", "--esercizio="}, "manca il file dopo --esercizio", nullptr},
        {{"x.asm", "--esercizi", "es.toml"}, "opzione sconosciuta '--esercizi': forse intendevi --esercizio?", nullptr},
        // --docente opens a case, and only once.
        {{"x.asm", "--docente"}, "--docente vale solo con --esercizio e --caso, per un caso nascosto", nullptr},
        {{"--docente", "--ingresso", "a.in", "x.asm"}, "--docente vale solo con --esercizio e --caso", nullptr},
        {{"x.asm", "--esercizio", "es.toml", "--caso", "uno", "--docente", "--docente"},
         "--docente si può dare una volta sola", nullptr},
        {{"x.asm", "--docenti"}, "opzione sconosciuta '--docenti': forse intendevi --docente?", nullptr},
        {{"x.asm", "--docente=sì"}, "opzione sconosciuta '--docente=sì'", nullptr},
    };
    for (const Slip& slip : slips) {
        std::vector<std::string> argv = {TARNDBG_BINARY};
        argv.insert(argv.end(), slip.arguments.begin(), slip.arguments.end());
        SCOPED_TRACE(slip.said);
        const ProcessResult result = runProcess(argv);
        EXPECT_EQ(result.exitStatus, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind("tarndbg: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find(slip.said), std::string::npos) << result.err;
        if (slip.notSaid) {
            EXPECT_EQ(result.err.find(slip.notSaid), std::string::npos) << result.err;
        }
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
}

// Reads a word and prints it: the case's input, with the case's memory
// placed at 200 and over the program's own byte at 12.
//   0 INP  2 WRT  4 RST  5 parola  12 mio
constexpr const char* ECHO_WORD =
    "        INP parola\n"
    "        WRT parola\n"
    "        RST\n"
    "parola: DB 0, 0, 0, 0, 0, 0\n"
    "        ORG 12\n"
    "mio:    DB 1\n";

constexpr const char* ECHO_EXERCISE =
    "titolo = \"Eco\"\n"
    "[[caso]]\n"
    "nome = \"eco di ciao\"\n"
    "ingresso = \"ciao\\n\"\n"
    "uscita = \"ciao\"\n"
    "memoria = { \"200\" = [7, 8], \"12\" = 66 }\n"
    "[[caso]]\n"
    "nome = \"segreto\"\n"
    "ingresso = \"x\"\n"
    "uscita = \"x\"\n"
    "nascosto = true\n";

TEST(TarndbgScreen, RunsACaseOfAnExerciseWithItsInputAndMemory) {
    writeTempFile("eco.toml", ECHO_EXERCISE);
    Debugger debugger("eco.asm", ECHO_WORD, {"--esercizio", "eco.toml", "--caso", "eco di ciao"});
    ASSERT_TRUE(debugger.ready()) << debugger.screen.text();
    ScreenSession& screen = debugger.screen;
    EXPECT_EQ(screen.row(0).rfind("tarndbg: eco.asm, caso 'eco di ciao' ", 0), 0u) << screen.row(0);
    EXPECT_EQ(screen.row(19).substr(30), "Da leggere: ciao⏎");
    EXPECT_EQ(debugger.cell(200).substr(1), "07");
    EXPECT_EQ(debugger.cell(201).substr(1), "08");
    EXPECT_EQ(debugger.cell(12).substr(1), "42");  // the case's 66, not the program's 1

    screen.press("ss");
    ASSERT_TRUE(debugger.waitForCount("2")) << screen.text();
    EXPECT_EQ(screen.row(20), "Uscita: ciao");
    EXPECT_EQ(debugger.cell(5).substr(1), "63");  // 'c'

    // Back to the start: the case's memory and input are there again.
    screen.press("g");
    ASSERT_TRUE(debugger.waitForCount("0")) << screen.text();
    EXPECT_EQ(screen.row(19).substr(30), "Da leggere: ciao⏎");
    EXPECT_EQ(debugger.cell(200).substr(1), "07");
    EXPECT_EQ(debugger.cell(12).substr(1), "42");
    EXPECT_EQ(debugger.cell(5).substr(1), "00");
    screen.press("ss");
    ASSERT_TRUE(debugger.waitForCount("2")) << screen.text();
    EXPECT_EQ(screen.row(20), "Uscita: ciao");
    EXPECT_TRUE(debugger.quit());
}

// The teacher opens a hidden case as a visible one, with its input.
TEST(TarndbgScreen, OpensAHiddenCaseForTheTeacher) {
    writeTempFile("eco.toml", ECHO_EXERCISE);
    Debugger debugger("eco.asm", ECHO_WORD, {"--esercizio", "eco.toml", "--caso", "segreto", "--docente"});
    ASSERT_TRUE(debugger.ready()) << debugger.screen.text();
    ScreenSession& screen = debugger.screen;
    EXPECT_EQ(screen.row(0).rfind("tarndbg: eco.asm, caso 'segreto' ", 0), 0u) << screen.row(0);
    EXPECT_EQ(screen.row(19).substr(30), "Da leggere: x");
    screen.press("ss");
    ASSERT_TRUE(debugger.waitForCount("2")) << screen.text();
    EXPECT_EQ(screen.row(20), "Uscita: x");
    EXPECT_TRUE(debugger.quit());
}

TEST(TarndbgScreen, RefusesACaseThatIsHiddenOrMissingAndAnExerciseWithErrors) {
    const std::string program = writeTempFile("eco.asm", ECHO_WORD);
    const std::string exercise = writeTempFile("eco.toml", ECHO_EXERCISE);
    const std::string broken = writeTempFile("rotto.toml", "titolo = 1\n[[caso]]\nnome = \"a\"\nuscite = \"\"\n");
    const struct {
        std::string exercise;
        const char* name;
        bool teacher;  // --docente
        std::string first;
        std::string second;
    } rows[] = {
        {exercise, "segreto", false, "tarndbg: il caso 'segreto' è nascosto: se ne vede solo l'esito", ""},
        {exercise, "eco di caio", false,
         "tarndbg: l'esercizio non ha un caso 'eco di caio': forse intendevi 'eco di ciao'?", ""},
        // The teacher too is refused a case that is not there.
        {exercise, "segrto", true, "tarndbg: l'esercizio non ha un caso 'segrto': forse intendevi 'segreto'?", ""},
        {broken, "a", false, broken + ":1:10: errore: 'titolo' deve essere una stringa",
         broken + ":4:1: errore: chiave sconosciuta 'uscite' nel caso 'a': forse intendevi 'uscita'?"},
        {writeTempFile("vuoto.toml", "") + ".manca", "a", false,
         "tarndbg: impossibile leggere l'esercizio '" + writeTempFile("vuoto.toml", "") +
             ".manca': file o cartella inesistente",
         ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> argv = {TARNDBG_BINARY, program, "--esercizio", row.exercise, "--caso", row.name};
        if (row.teacher) argv.push_back("--docente");
        const Refusal refused = refusal(argv, ScreenOptions{});
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.firstRow, row.first);
        EXPECT_EQ(refused.secondRow, row.second);
    }
}

// How the run ends, and the wait status that ending calls for.
struct Ending {
    const char* name;
    std::string keys;
    int signalNumber;  // sent to it, when no keys
};

TEST(TarndbgScreen, GivesTheTerminalBackHoweverItEnds) {
    const Ending endings[] = {
        {"q", "q", 0},
        {"Ctrl-C", keys::ctrl('c'), 0},
        {"SIGTERM", "", SIGTERM},
        {"SIGHUP", "", SIGHUP},
        {"SIGSEGV", "", SIGSEGV},
    };
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.name);
        Debugger debugger("conto.asm", COUNTDOWN);
        ScreenSession& screen = debugger.screen;
        ASSERT_TRUE(debugger.ready()) << screen.text();
        // Taken over: single keys, its own screen, no cursor of the terminal's.
        ASSERT_FALSE(screen.settingsDifference().empty());
        EXPECT_TRUE(screen.alternateScreen());
        screen.press("s");
        ASSERT_TRUE(debugger.waitForCount("1")) << screen.text();

        if (ending.signalNumber != 0) screen.signal(ending.signalNumber);
        else screen.press(ending.keys);
        const std::optional<int> status = screen.waitForExit();
        ASSERT_TRUE(status.has_value()) << screen.text();
        if (ending.signalNumber != 0) {
            EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == ending.signalNumber) << describeStatus(*status);
        } else {
            EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << describeStatus(*status);
        }

        EXPECT_EQ(screen.settingsDifference(), "");
        EXPECT_FALSE(screen.alternateScreen());
        EXPECT_TRUE(screen.cursorVisible());
        EXPECT_EQ(screen.text().find("istruzioni eseguite"), std::string::npos) << screen.text();
        EXPECT_FALSE(screen.attributes(0, 0).reverse) << "attributes reset";
    }
}

TEST(TarndbgScreen, SaysItNeedsATerminal) {
    const std::string program = writeTempFile("conto.asm", COUNTDOWN);
    const ProcessResult piped = runProcess({TARNDBG_BINARY, program});
    EXPECT_EQ(piped.exitStatus, 2);
    EXPECT_EQ(piped.out, "");
    EXPECT_EQ(piped.err.rfind("tarndbg: serve un terminale", 0), 0u) << piped.err;
    EXPECT_EQ(std::count(piped.err.begin(), piped.err.end(), '\n'), 1) << piped.err;

    // Only one of the two a terminal: the error shows on it, which is left alone.
    for (bool outputToPipe : {true, false}) {
        SCOPED_TRACE(outputToPipe ? "output to a pipe" : "input from /dev/null");
        ScreenSession screen;
        ScreenOptions options;
        options.outputToPipe = outputToPipe;
        options.inputFromNull = !outputToPipe;
        screen.start({TARNDBG_BINARY, program}, options);
        const std::optional<int> status = screen.waitForExit();
        ASSERT_TRUE(status.has_value());
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 2) << describeStatus(*status);
        EXPECT_EQ(screen.row(0).rfind("tarndbg: serve un terminale", 0), 0u) << screen.text();
        EXPECT_EQ(screen.output(), "");
        EXPECT_EQ(screen.settingsDifference(), "");
    }
}

}  // namespace
}  // namespace tarntest

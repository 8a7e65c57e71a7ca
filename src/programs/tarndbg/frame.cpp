// The frame of tarndbg's screen: its title, the panels drawn in their
// places, the message rows, the key bar, the help window and the cursor.
#include "programs/tarndbg/debugger_screen.hpp"
#include "programs/tarndbg/terminal_text.hpp"

#include <curses.h>

#include <algorithm>
#include <string>
#include <vector>

namespace tarn::dbg {

void Screen::draw() {
    getmaxyx(stdscr, rows_, columns_);
    erase();
    if (tooSmall()) {
        drawTooSmall();
        refresh();
        return;
    }
    // Two refreshes: first the panels, with the count, the message and the
    // keys as they were; then those. ncurses writes a frame in many pieces,
    // so whoever watches the count or the message change (a person, or a
    // test reading the terminal) finds the panels of that moment already
    // there. The help window covers the message rows: it goes in one.
    const bool twoPhases = !helpOpen_;
    drawTitle(shown_.count);
    // The memory cannot keep the focus under an explanation that a smaller
    // terminal has put in its place.
    if (!memoryShown()) focus_ = Focus::Source;
    drawSource();
    if (memoryShown()) drawMemory();
    if (explanationOpen_) drawExplanation();
    drawRegisters();
    drawFlagsAndInput();
    drawOutput();
    if (twoPhases) {
        drawMessage(shown_);
        drawKeys(shown_.inputOpen);
        placeCursor(shown_);
        refresh();
    }
    if (message_ != shown_.message) messagePage_ = 0;
    shown_ = {session_.position(), message_, inputOpen_, typed_, messagePage_};
    drawTitle(shown_.count);
    for (int y = rows_ - 3; y < rows_ - 1; ++y) {
        move(y, 0);
        clrtoeol();
    }
    drawMessage(shown_);
    drawKeys(shown_.inputOpen);
    if (helpOpen_) drawHelp();
    placeCursor(shown_);
    refresh();
}

void Screen::drawTooSmall() {
    curs_set(0);
    const std::string text = "Il terminale è troppo piccolo: servono almeno " + std::to_string(MIN_COLUMNS) + " × " +
                             std::to_string(MIN_ROWS) + " caratteri (ora " + std::to_string(columns_) + " × " +
                             std::to_string(rows_) + ").";
    const Glyphs glyphs = glyphsOf(text);
    const auto lines = wrap(glyphs, std::max(columns_, 1));
    const int top = std::max(0, (rows_ - static_cast<int>(lines.size())) / 2);
    for (std::size_t i = 0; i < lines.size() && top + static_cast<int>(i) < rows_; ++i) {
        const int width = widthOf(glyphs, lines[i].first, lines[i].second);
        putGlyphs(top + static_cast<int>(i), std::max(0, (columns_ - width) / 2), columns_, glyphs, lines[i].first,
                  lines[i].second);
    }
}

void Screen::drawTitle(std::uint64_t count) {
    fillRow(0, 0, columns_, A_REVERSE);
    attron(A_REVERSE);
    const std::string text = "istruzioni eseguite: " + std::to_string(count);
    const int countWidth = static_cast<int>(text.size());
    put(0, 0, std::max(0, columns_ - countWidth - 1), "tarndbg: " + session_.program().name, TextOrigin::Program);
    put(0, columns_ - countWidth, countWidth, text);
    attroff(A_REVERSE);
}

void Screen::drawMessage(const Shown& shown) {
    const int first = rows_ - 3;
    const MessagePages message = messagePages(shown.message, columns_, shown.inputOpen);
    const Pages& pages = message.pages;
    const int page = shown.page % pages.count;
    for (int i = 0; i < pages.rowsPerPage; ++i) {
        const std::size_t index = static_cast<std::size_t>(page * pages.rowsPerPage + i);
        if (index >= pages.rows.size()) break;
        putGlyphs(first + i, 0, columns_, message.glyphs, pages.rows[index].first, pages.rows[index].second);
    }
    if (pages.count > 1) {
        const Glyphs note = glyphsOf(pageNote(page, pages.count, shown.inputOpen ? "Tab" : "m"));
        putGlyphs(first + pages.rowsPerPage - 1, columns_ - widthOf(note), widthOf(note), note);
    }
    if (shown.inputOpen) {
        mvaddstr(first + 1, 0, "> ");
        const Glyphs line = glyphsOf(shown.typed, TextOrigin::Program);
        const int room = columns_ - 3;
        putGlyphs(first + 1, 2, room, line, tailStart(line, room));
    }
}

void Screen::drawKeys(bool typing) {
    const int y = rows_ - 1;
    fillRow(y, 0, columns_, A_REVERSE);
    attron(A_REVERSE);
    for (const std::string& form : barForms(typing ? Bar::Typing : Bar::Browsing)) {
        if (widthOf(glyphsOf(form)) <= columns_) {
            put(y, 0, columns_, form);
            break;
        }
    }
    attroff(A_REVERSE);
}

void Screen::drawHelp() {
    const std::vector<std::string> lines = helpLines();
    const int count = static_cast<int>(lines.size());
    // A blank row under the top border, where the terminal has room for it.
    const int padding = count + 4 <= rows_ ? 1 : 0;
    const int height = count + 3 + padding;
    const int width = 76;
    const int top = std::max(0, (rows_ - height) / 2);
    const int left = std::max(0, (columns_ - width) / 2);
    for (int y = top; y < top + height; ++y) mvhline(y, left, ' ', width);
    attron(A_BOLD);
    mvaddch(top, left, ACS_ULCORNER);
    mvhline(top, left + 1, ACS_HLINE, width - 2);
    mvaddch(top, left + width - 1, ACS_URCORNER);
    mvaddch(top + height - 1, left, ACS_LLCORNER);
    mvhline(top + height - 1, left + 1, ACS_HLINE, width - 2);
    mvaddch(top + height - 1, left + width - 1, ACS_LRCORNER);
    mvvline(top + 1, left, ACS_VLINE, height - 2);
    mvvline(top + 1, left + width - 1, ACS_VLINE, height - 2);
    put(top, left + 2, width - 4, " Tasti di tarndbg ");
    attroff(A_BOLD);
    for (int i = 0; i < count; ++i)
        put(top + 1 + padding + i, left + 3, width - 4, lines[static_cast<std::size_t>(i)]);
    put(top + height - 2, left + 3, width - 4, "Un tasto qualsiasi chiude l'aiuto.");
}

void Screen::placeCursor(const Shown& shown) {
    if (helpOpen_) {
        curs_set(0);
        return;
    }
    curs_set(1);
    if (shown.inputOpen) {
        const Glyphs line = glyphsOf(shown.typed, TextOrigin::Program);
        const int room = columns_ - 3;
        move(rows_ - 2, 2 + widthOf(line, tailStart(line, room)));
    } else if (focus_ == Focus::Source) {
        move(PANEL_TOP + std::clamp(sourceCursor_ - sourceTop_, 0, PANEL_ROWS - 1), 0);
    } else {
        move(PANEL_TOP + gridCursor_ / 16, memoryColumn() + 4 + 3 * (gridCursor_ % 16));
    }
}

}  // namespace tarn::dbg

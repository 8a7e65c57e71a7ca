// Text put on the terminal through ncurses: the cells of text/cells.hpp as
// this terminal shows them (UTF-8 or ASCII, each character as wide as the
// locale says), drawn at a place within a width, and the message's pages.
#pragma once

#include "text/cells.hpp"

#include <curses.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace tarn::dbg {

// Whether the terminal shows UTF-8, and whether it has colours: set once,
// when the screen starts.
struct TerminalCharacters {
    bool utf8 = true;
    bool colours = false;
};
extern TerminalCharacters terminalCharacters;

// The colour pair of the bytes that the last step changed.
constexpr short CHANGED_PAIR = 1;

Glyphs glyphsOf(std::string_view text, TextOrigin origin = TextOrigin::Message, bool lineEnds = false);

// Draws glyphs[from, to) at (y, x) within width columns; the columns used.
int putGlyphs(int y, int x, int width, const Glyphs& glyphs, std::size_t from = 0,
              std::size_t to = std::string::npos);

int put(int y, int x, int width, std::string_view text, TextOrigin origin = TextOrigin::Message);

void fillRow(int y, int x, int width, attr_t attributes);

std::string formatted(const char* format, auto... values) {
    char buffer[128];
    const int length = std::snprintf(buffer, sizeof buffer, format, values...);
    if (length < 0) return {};
    return std::string(buffer, std::min(static_cast<std::size_t>(length), sizeof buffer - 1));
}

// The message wrapped at blanks over its rows: two, or one while a word is
// typed on the row below. A message that needs more is shown a page at a
// time, with a note at the right of the page's last row that says which page
// it is and which key shows the next (m; Tab while a word is typed, since
// letters are typed then); after the last page, the key shows the first.
struct MessagePages {
    Glyphs glyphs;
    Pages pages;
};

// The note of a page: "(m: il seguito, 1/2)", with the key that shows the next.
std::string pageNote(int page, int count, std::string_view key);
MessagePages messagePages(const std::string& message, int columns, bool typing);

}  // namespace tarn::dbg

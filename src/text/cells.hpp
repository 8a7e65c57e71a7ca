// Text as the cells of a character terminal: each character one glyph of
// one or two columns, rows of a given width, wrapped at blanks, and pages of
// rows. Calls nothing of the system: how wide a character is comes from the
// caller, which asks the terminal's locale.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarn {

// What one cell shows (a character with its combining marks, or the mark
// of a byte that does not print) and how many columns it takes.
struct Glyph {
    std::string text;
    int width = 1;
};

using Glyphs = std::vector<Glyph>;

// Where a text comes from: the program's bytes (any bytes at all) or the
// tool's own Italian, which a terminal without UTF-8 gets in plain ASCII.
enum class TextOrigin { Program, Message };

// What the terminal can show: UTF-8 or only ASCII, and, with UTF-8, the
// columns a character takes (as wcwidth says: -1 for one that does not
// print, 0 for a combining mark).
struct CellSet {
    bool utf8 = true;
    int (*width)(char32_t) = nullptr;
};

// The ASCII for one of the tool's own letters ("e'" for è), for a terminal
// that only has ASCII; "?" for any other character.
const char* asciiFor(char32_t point);

// Appends the glyphs of text: a control byte is "·" (or "."), a byte that
// is not UTF-8 "?", and so is every character of the program's on an ASCII
// terminal; a combining mark joins the glyph before it. lineEnds: a line end
// is one glyph "⏎" (or "~") rather than a control byte like the others.
void appendGlyphs(Glyphs& glyphs, std::string_view text, TextOrigin origin, const CellSet& cells,
                  bool lineEnds = false);
Glyphs glyphsOf(std::string_view text, TextOrigin origin, const CellSet& cells, bool lineEnds = false);

// The columns of glyphs[from, to).
int widthOf(const Glyphs& glyphs, std::size_t from = 0, std::size_t to = std::string::npos);

// Where the last glyphs that fit in width columns start.
std::size_t tailStart(const Glyphs& glyphs, int width);

// The glyphs [first, second) of one row.
using GlyphRow = std::pair<std::size_t, std::size_t>;

// Breaks glyphs into rows of at most width columns, at blanks when it can;
// the blanks where a row breaks belong to no row. A glyph wider than the
// row has a row of its own.
std::vector<GlyphRow> wrap(const Glyphs& glyphs, int width);

// Rows shown a page at a time: when the text needs more rows than a page
// has, every row leaves noteWidth columns and a blank for a note on the
// page (which page it is, how to see the next).
struct Pages {
    std::vector<GlyphRow> rows;
    int rowsPerPage = 1;
    int count = 1;
};
Pages paginate(const Glyphs& glyphs, int columns, int rowsPerPage, int noteWidth);

}  // namespace tarn

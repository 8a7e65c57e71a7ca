// Text as a terminal's cells, without a terminal: what each byte becomes on
// a UTF-8 and on an ASCII terminal, rows wrapped at blanks, the tail that
// fits, and pages that leave room for their note.
#include "text/cells.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using tarn::Glyphs;
using tarn::TextOrigin;

// Widths as a locale gives them: CJK ideographs two columns, combining
// accents none, C1 controls not printable.
int width(char32_t point) {
    if (point >= 0x4E00 && point <= 0x9FFF) return 2;
    if (point >= 0x0300 && point <= 0x036F) return 0;
    if (point >= 0x0080 && point <= 0x009F) return -1;
    return 1;
}

const tarn::CellSet UTF8{true, width};
const tarn::CellSet ASCII{false, width};

// The glyphs as "text/width" joined by "|".
std::string shown(const Glyphs& glyphs) {
    std::string text;
    for (const tarn::Glyph& glyph : glyphs) {
        if (!text.empty()) text += '|';
        text += glyph.text + '/' + std::to_string(glyph.width);
    }
    return text;
}

TEST(Cells, EachByteBecomesWhatTheTerminalCanShow) {
    struct Case {
        const char* text;
        TextOrigin origin;
        const tarn::CellSet* cells;
        bool lineEnds;
        const char* glyphs;
    };
    const std::vector<Case> cases = {
        {"ab", TextOrigin::Program, &UTF8, false, "a/1|b/1"},
        {"a\tb\x7F", TextOrigin::Program, &UTF8, false, "a/1|·/1|b/1|·/1"},
        {"a\tb\x7F", TextOrigin::Program, &ASCII, false, "a/1|./1|b/1|./1"},
        {"a\n", TextOrigin::Program, &UTF8, false, "a/1|·/1"},
        {"a\n", TextOrigin::Program, &UTF8, true, "a/1|⏎/1"},
        {"a\n", TextOrigin::Program, &ASCII, true, "a/1|~/1"},
        {"\xFF" "a\xC3", TextOrigin::Program, &UTF8, false, "?/1|a/1|?/1"},  // not UTF-8, cut short
        {"\xC0\xAF", TextOrigin::Program, &UTF8, false, "?/1|?/1"},           // overlong
        {"è", TextOrigin::Program, &UTF8, false, "è/1"},
        {"è", TextOrigin::Program, &ASCII, false, "?/1|?/1"},  // the program's bytes, one by one
        {"è…×", TextOrigin::Message, &ASCII, false, "e/1|'/1|./1|./1|./1|x/1"},
        {"«a»", TextOrigin::Message, &ASCII, false, "\"/1|a/1|\"/1"},
        {"中", TextOrigin::Message, &ASCII, false, "?/1"},     // no ASCII of its own
        {"a中b", TextOrigin::Program, &UTF8, false, "a/1|中/2|b/1"},
        {"e\xCC\x81x", TextOrigin::Program, &UTF8, false, "e\xCC\x81/1|x/1"},  // e and a combining acute
        {"\xCC\x81x", TextOrigin::Program, &UTF8, false, "x/1"},       // a mark with no letter before it
        {"a\xC2\x85", TextOrigin::Program, &UTF8, false, "a/1|·/1"},    // C1 control
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.glyphs, shown(tarn::glyphsOf(c.text, c.origin, *c.cells, c.lineEnds))) << c.text;
}

TEST(Cells, WidthsAndTheTailThatFits) {
    const Glyphs glyphs = tarn::glyphsOf("a中b中", TextOrigin::Program, UTF8);
    EXPECT_EQ(6, tarn::widthOf(glyphs));
    EXPECT_EQ(3, tarn::widthOf(glyphs, 1, 3));
    EXPECT_EQ(0, tarn::widthOf(glyphs, 3, 1));
    EXPECT_EQ(3, tarn::widthOf(glyphs, 2, 99));
    struct Case {
        int width;
        std::size_t start;
    };
    for (const Case& c : std::vector<Case>{{0, 4}, {1, 4}, {2, 3}, {3, 2}, {4, 2}, {5, 1}, {6, 0}, {60, 0}})
        EXPECT_EQ(c.start, tarn::tailStart(glyphs, c.width)) << c.width;
}

// The rows of text wrapped at width, each as its text.
std::vector<std::string> wrapped(const std::string& text, int width) {
    const Glyphs glyphs = tarn::glyphsOf(text, TextOrigin::Message, UTF8);
    std::vector<std::string> rows;
    for (const auto& [from, to] : tarn::wrap(glyphs, width)) {
        std::string row;
        for (std::size_t i = from; i < to; ++i) row += glyphs[i].text;
        rows.push_back(row);
    }
    return rows;
}

TEST(Cells, RowsBreakAtBlanksWhenTheyCan) {
    struct Case {
        const char* text;
        int width;
        std::vector<std::string> rows;
    };
    const std::vector<Case> cases = {
        {"", 10, {}},
        {"uno due", 10, {"uno due"}},
        {"uno due tre", 7, {"uno due", "tre"}},
        {"uno   due", 5, {"uno  ", "due"}},        // the blanks after a break start no row
        {"abcdefghij", 4, {"abcd", "efgh", "ij"}},  // no blank: cut where the row ends
        {"ab 中中", 4, {"ab", "中中"}},
        {"中", 1, {"中"}},                          // wider than the row: a row of its own
        {"a 中 b", 1, {"a", "中", "b"}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.rows, wrapped(c.text, c.width)) << c.text << " at " << c.width;
}

TEST(Cells, PagesLeaveRoomForTheirNoteOnlyWhenThereAreMany) {
    const std::string text = "uno due tre quattro cinque";
    const Glyphs glyphs = tarn::glyphsOf(text, TextOrigin::Message, UTF8);
    struct Case {
        int columns;
        int rowsPerPage;
        int wrappedAt;  // the rows' width: the whole, or less the note's 4 columns and a blank
        int count;
    };
    const std::vector<Case> cases = {
        {30, 1, 30, 1},  // one row
        {15, 2, 15, 1},  // "uno due tre" "quattro cinque": one page of two
        {15, 1, 10, 4},  // "uno due" "tre" "quattro" "cinque", a page each
        {12, 2, 7, 2},   // the same four rows, two pages of two
        {11, 2, 6, 3},   // "uno" "due" "tre" "quattr" "o" "cinque", in pages of two
    };
    for (const Case& c : cases) {
        const tarn::Pages pages = tarn::paginate(glyphs, c.columns, c.rowsPerPage, 4);
        EXPECT_EQ(tarn::wrap(glyphs, c.wrappedAt), pages.rows) << c.columns;
        EXPECT_EQ(c.rowsPerPage, pages.rowsPerPage) << c.columns;
        EXPECT_EQ(c.count, pages.count) << c.columns;
    }
    EXPECT_EQ(std::vector<std::string>({"uno due", "tre", "quattro", "cinque"}), wrapped(text, 10));
}

}  // namespace

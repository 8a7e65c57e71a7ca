#include "text/cells.hpp"

#include "text/utf8.hpp"

#include <algorithm>
#include <iterator>

namespace tarn {

const char* asciiFor(char32_t point) {
    switch (point) {
        case U'à': case U'á': return "a'";
        case U'è': case U'é': return "e'";
        case U'ì': case U'í': return "i'";
        case U'ò': case U'ó': return "o'";
        case U'ù': case U'ú': return "u'";
        case U'È': return "E'";
        case U'×': return "x";
        case U'⏎': return "~";
        case U'·': return ".";
        case U'–': case U'—': return "-";
        case U'…': return "...";
        case U'↻': return "@";
        case U'«': case U'»': return "\"";
        default: return "?";
    }
}

namespace {

void addGlyph(Glyphs& glyphs, std::string text, int width = 1) {
    glyphs.push_back({std::move(text), width});
}

}  // namespace

void appendGlyphs(Glyphs& glyphs, std::string_view text, TextOrigin origin, const CellSet& cells, bool lineEnds) {
    const char* control = cells.utf8 ? "·" : ".";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n' && lineEnds) {
            addGlyph(glyphs, cells.utf8 ? "⏎" : "~");
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            addGlyph(glyphs, control);
            ++i;
        } else if (c < 0x80) {
            addGlyph(glyphs, std::string(1, static_cast<char>(c)));
            ++i;
        } else if (!cells.utf8 && origin == TextOrigin::Program) {
            addGlyph(glyphs, "?");
            ++i;
        } else {
            const Utf8Sequence sequence = utf8At(text, i);
            const std::size_t length = sequence.length;
            const auto point = static_cast<char32_t>(sequence.code);
            if (length == 0) {
                addGlyph(glyphs, "?");
                ++i;
                continue;
            }
            if (!cells.utf8) {
                const std::string ascii = asciiFor(point);
                for (char a : ascii) addGlyph(glyphs, std::string(1, a));
            } else {
                const int width = cells.width != nullptr ? cells.width(point) : 1;
                if (width < 0)
                    addGlyph(glyphs, control);
                else if (width == 0 && !glyphs.empty())
                    glyphs.back().text.append(text.substr(i, length));  // a combining mark joins its letter
                else if (width > 0)
                    addGlyph(glyphs, std::string(text.substr(i, length)), width);
            }
            i += length;
        }
    }
}

Glyphs glyphsOf(std::string_view text, TextOrigin origin, const CellSet& cells, bool lineEnds) {
    Glyphs glyphs;
    appendGlyphs(glyphs, text, origin, cells, lineEnds);
    return glyphs;
}

int widthOf(const Glyphs& glyphs, std::size_t from, std::size_t to) {
    to = std::min(to, glyphs.size());
    from = std::min(from, to);
    int width = 0;
    for (std::size_t i = from; i < to; ++i) width += glyphs[i].width;
    return width;
}

std::size_t tailStart(const Glyphs& glyphs, int width) {
    std::size_t start = glyphs.size();
    int used = 0;
    while (start > 0 && used + glyphs[start - 1].width <= width) used += glyphs[--start].width;
    return start;
}

std::vector<GlyphRow> wrap(const Glyphs& glyphs, int width) {
    std::vector<GlyphRow> rows;
    std::size_t start = 0;
    while (start < glyphs.size()) {
        std::size_t end = start;
        int used = 0;
        while (end < glyphs.size() && used + glyphs[end].width <= width) used += glyphs[end++].width;
        if (end == start) ++end;  // a glyph wider than the row
        if (end < glyphs.size()) {
            std::size_t blank = end;
            while (blank > start && glyphs[blank].text != " ") --blank;
            if (blank > start) end = blank;
        }
        rows.emplace_back(start, end);
        start = end;
        while (start < glyphs.size() && glyphs[start].text == " ") ++start;
    }
    return rows;
}

Pages paginate(const Glyphs& glyphs, int columns, int rowsPerPage, int noteWidth) {
    Pages pages;
    pages.rowsPerPage = std::max(rowsPerPage, 1);
    pages.rows = wrap(glyphs, columns);
    if (pages.rows.size() <= static_cast<std::size_t>(pages.rowsPerPage)) return pages;
    // Every row leaves room for the note, whichever row of its page it is.
    pages.rows = wrap(glyphs, columns - noteWidth - 1);
    const auto rows = static_cast<int>(pages.rows.size());
    pages.count = (rows + pages.rowsPerPage - 1) / pages.rowsPerPage;
    return pages;
}

}  // namespace tarn

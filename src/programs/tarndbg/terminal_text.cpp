#include "programs/tarndbg/terminal_text.hpp"

#include <cwchar>

namespace tarn::dbg {

TerminalCharacters terminalCharacters;

namespace {

int localeWidth(char32_t point) { return ::wcwidth(static_cast<wchar_t>(point)); }

}  // namespace

Glyphs glyphsOf(std::string_view text, TextOrigin origin, bool lineEnds) {
    return tarn::glyphsOf(text, origin, CellSet{terminalCharacters.utf8, localeWidth}, lineEnds);
}

int putGlyphs(int y, int x, int width, const Glyphs& glyphs, std::size_t from, std::size_t to) {
    std::string text;
    int used = 0;
    for (std::size_t i = from; i < std::min(to, glyphs.size()); ++i) {
        if (used + glyphs[i].width > width) break;
        text += glyphs[i].text;
        used += glyphs[i].width;
    }
    if (!text.empty()) mvaddstr(y, x, text.c_str());
    return used;
}

int put(int y, int x, int width, std::string_view text, TextOrigin origin) {
    return putGlyphs(y, x, width, glyphsOf(text, origin));
}

void fillRow(int y, int x, int width, attr_t attributes) {
    attron(attributes);
    mvhline(y, x, ' ', width);
    attroff(attributes);
}

std::string pageNote(int page, int count, std::string_view key) {
    return "(" + std::string(key) + (page + 1 < count ? ": il seguito, " : ": da capo, ") +
           std::to_string(page + 1) + "/" + std::to_string(count) + ")";
}

MessagePages messagePages(const std::string& message, int columns, bool typing) {
    MessagePages result;
    result.glyphs = glyphsOf(message);
    // The note as wide as it can be: its count is at most one page a glyph.
    const int noteWidth =
        widthOf(glyphsOf(pageNote(0, static_cast<int>(result.glyphs.size()), typing ? "Tab" : "m")));
    result.pages = paginate(result.glyphs, columns, typing ? 1 : 2, noteWidth);
    return result;
}

}  // namespace tarn::dbg

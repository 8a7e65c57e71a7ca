#include "assembly/source_characters.hpp"

#include "text/numbers.hpp"
#include "text/utf8.hpp"

#include <algorithm>

namespace tarn {

namespace {

struct Range {
    std::uint32_t first, last;
};

bool within(std::uint32_t code, std::initializer_list<Range> ranges) {
    return std::any_of(ranges.begin(), ranges.end(),
                       [code](const Range& range) { return code >= range.first && code <= range.last; });
}

// Past ASCII, what reads as a letter: everything from U+00C0 on but the
// blocks of spaces, punctuation, symbols, arrows, shapes and emoji, the
// private use area and the invisible marks. No table of every script is
// needed: the answer only chooses between two wordings of an error.
bool letterLike(std::uint32_t code) {
    if (code < 0xC0 || code == 0xD7 || code == 0xF7) return false;
    return !within(code, {{0x2000, 0x2BFF},
                          {0x2E00, 0x2E7F},
                          {0x3000, 0x303F},
                          {0xE000, 0xF8FF},
                          {0xFE00, 0xFE0F},
                          {0xFE30, 0xFE6F},
                          {0xFEFF, 0xFEFF},
                          {0xFF00, 0xFF0F},
                          {0xFFF0, 0xFFFF},
                          {0x1F000, 0x1FAFF},
                          {0xE0000, 0x10FFFF}});
}

bool combiningAccent(std::uint32_t code) {
    return code >= 0x300 && code <= 0x36F;
}

bool spaceLike(std::uint32_t code) {
    return within(code, {{0xA0, 0xA0}, {0x2000, 0x200A}, {0x202F, 0x202F}, {0x205F, 0x205F}, {0x3000, 0x3000}});
}

// Characters a terminal shows as nothing, or as a space, or that turn the
// text around them.
bool invisible(std::uint32_t code) {
    return spaceLike(code) || combiningAccent(code) ||
           within(code, {{0xAD, 0xAD},
                         {0x34F, 0x34F},
                         {0x115F, 0x1160},
                         {0x180E, 0x180E},
                         {0x200B, 0x200F},
                         {0x2028, 0x202E},
                         {0x2060, 0x206F},
                         {0x3164, 0x3164},
                         {0xFE00, 0xFE0F},
                         {0xFEFF, 0xFEFF},
                         {0xFFA0, 0xFFA0},
                         {0xFFF0, 0xFFFF},
                         {0xE0000, 0x10FFFF}});
}

std::string codeName(std::uint32_t code) {
    constexpr char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (; code != 0 || hex.size() < 4; code >>= 4) hex.insert(hex.begin(), digits[code & 0x0F]);
    return "U+" + hex;
}

// The Latin-1 letters from U+00C0 to U+00FF without their accents; '.' for
// a letter that has no single ASCII one (Æ, ß) and for × and ÷.
// The characters of a word that a message shows; a longer one is cut.
constexpr std::size_t MAX_SHOWN_CHARACTERS = 40;

constexpr std::string_view LATIN1_BASE = "AAAAAA.CEEEEIIII.NOOOOO..UUUUY..aaaaaa.ceeeeiiii.nooooo..uuuuy.y";

}  // namespace

bool continuesName(std::string_view text, std::size_t at) {
    const Utf8Sequence sequence = utf8At(text, at);
    return sequence.length == 0 || letterLike(sequence.code) || combiningAccent(sequence.code);
}

bool beginsName(std::string_view text, std::size_t at) {
    const Utf8Sequence sequence = utf8At(text, at);
    return sequence.length != 0 && letterLike(sequence.code);
}

std::string describeCharacter(std::string_view text, std::size_t at) {
    const Utf8Sequence sequence = utf8At(text, at);
    if (sequence.length == 0) return "\\x" + hexDigits(static_cast<unsigned char>(text[at]));
    if (sequence.code < 0x80) {
        if (sequence.code >= 0x20 && sequence.code < 0x7F)
            return std::string("'") + static_cast<char>(sequence.code) + "'";
        return "\\x" + hexDigits(sequence.code);
    }
    if (!printableAt(text, at) || invisible(sequence.code)) return codeName(sequence.code);
    return "'" + std::string(text.substr(at, sequence.length)) + "'";
}

std::string nameCharacterMessage(std::string_view word, std::size_t at) {
    const bool alone = characterLengthAt(word, at) == word.size();
    std::string message = utf8At(word, at).length == 0 ? "byte " + describeCharacter(word, at) + ", che non è UTF-8,"
                                                        : "carattere " + describeCharacter(word, at);
    // A word of any length is named by its first characters at most.
    const bool cut = characterCount(word) > MAX_SHOWN_CHARACTERS;
    std::size_t shown = 0;
    for (std::size_t count = 0; shown < word.size() && count < MAX_SHOWN_CHARACTERS; ++count)
        shown += characterLengthAt(word, shown);
    if (!alone) message += " in " + quotedName(word.substr(0, shown)) + (cut ? "…" : "");
    message += ": le etichette si scrivono con lettere ASCII senza accenti, cifre e '_'";
    if (cut) return message;
    // The same word without its accents, when each of them can go.
    std::string plain;
    for (std::size_t index = 0; index < word.size();) {
        const Utf8Sequence sequence = utf8At(word, index);
        if (sequence.length == 1) {
            plain += word[index];
        } else if (sequence.code >= 0xC0 && sequence.code <= 0xFF && LATIN1_BASE[sequence.code - 0xC0] != '.') {
            plain += LATIN1_BASE[sequence.code - 0xC0];
        } else if (sequence.length == 0 || !combiningAccent(sequence.code)) {
            return message;
        }
        index += std::max<std::size_t>(sequence.length, 1);
    }
    return message + " (per esempio '" + plain + "')";
}

std::string unexpectedCharacterMessage(std::string_view text, std::size_t at) {
    std::string message = "carattere inatteso " + describeCharacter(text, at);
    const Utf8Sequence sequence = utf8At(text, at);
    if (sequence.length < 2) return message;
    if (spaceLike(sequence.code)) return message + " (uno spazio che non è ASCII: scrivi uno spazio normale)";
    if (sequence.code == 0xFEFF) return message + " (il segno BOM: salva il file in UTF-8 senza BOM)";
    if (invisible(sequence.code)) return message + " (un carattere che non si vede)";
    if (within(sequence.code, {{0x201C, 0x201F}, {0xAB, 0xAB}, {0xBB, 0xBB}}))
        return message + " (una stringa si scrive tra virgolette diritte: \"ciao\")";
    if (within(sequence.code, {{0x2018, 0x201B}}))
        return message + " (un carattere si scrive tra apici diritti: 'a')";
    return message;
}

}  // namespace tarn

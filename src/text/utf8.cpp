#include "text/utf8.hpp"

#include <algorithm>

namespace tarn {

Utf8Sequence utf8At(std::string_view bytes, std::size_t index) {
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(bytes[at]); };
    const unsigned first = byte(index);
    if (first < 0x80) return {1, first};
    std::size_t length = 0;
    std::uint32_t code = 0;
    unsigned low = 0x80;  // the range of the second byte
    unsigned high = 0xBF;
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
        code = first & 0x1F;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        code = first & 0x0F;
        if (first == 0xE0) low = 0xA0;  // overlong
        if (first == 0xED) high = 0x9F; // surrogates
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        code = first & 0x07;
        if (first == 0xF0) low = 0x90;  // overlong
        if (first == 0xF4) high = 0x8F; // past U+10FFFF
    } else {
        return {};
    }
    if (bytes.size() - index < length) return {};
    for (std::size_t at = 1; at < length; ++at) {
        const unsigned next = byte(index + at);
        if (at == 1 ? (next < low || next > high) : (next & 0xC0) != 0x80) return {};
        code = (code << 6) | (next & 0x3F);
    }
    return {length, code};
}

std::size_t characterLengthAt(std::string_view bytes, std::size_t index) {
    return std::max<std::size_t>(utf8At(bytes, index).length, 1);
}

std::size_t characterCount(std::string_view bytes) {
    std::size_t count = 0;
    for (std::size_t index = 0; index < bytes.size(); ++count) index += characterLengthAt(bytes, index);
    return count;
}

std::u32string characters(std::string_view bytes) {
    std::u32string text;
    for (std::size_t index = 0; index < bytes.size();) {
        const Utf8Sequence sequence = utf8At(bytes, index);
        if (sequence.length == 0) {
            text += static_cast<char32_t>(0x110000u + static_cast<unsigned char>(bytes[index]));
            ++index;
        } else {
            text += static_cast<char32_t>(sequence.code);
            index += sequence.length;
        }
    }
    return text;
}

namespace {

// The length of a character that visibleText shows as it is, at the start
// of bytes, or 0: valid UTF-8 past ASCII, but no C1 control and neither
// U+FFFE nor U+FFFF, which XML refuses.
std::size_t shownLength(std::string_view bytes) {
    const std::size_t length = utf8At(bytes, 0).length;
    return length >= 2 && printableAt(bytes, 0) ? length : 0;
}

std::string hexEscape(unsigned char byte) {
    constexpr char digits[] = "0123456789ABCDEF";
    return {'\\', 'x', digits[byte >> 4], digits[byte & 0x0F]};
}

std::string shownBytes(std::string_view bytes, bool keepNewLines, bool doubleBackslashes = true) {
    std::string text;
    text.reserve(bytes.size());
    std::size_t index = 0;
    while (index < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[index]);
        if ((byte == '\n' && keepNewLines) || (byte >= 0x20 && byte < 0x7F && byte != '\\')) {
            text += static_cast<char>(byte);
            ++index;
        } else if (byte == '\\') {
            text += doubleBackslashes ? "\\\\" : "\\";
            ++index;
        } else if (byte == '\n') {
            text += "\\n";
            ++index;
        } else if (byte == '\t') {
            text += "\\t";
            ++index;
        } else if (byte == '\r') {
            text += "\\r";
            ++index;
        } else if (const std::size_t length = byte >= 0x80 ? shownLength(bytes.substr(index)) : 0; length > 0) {
            text.append(bytes.substr(index, length));
            index += length;
        } else {
            text += hexEscape(byte);
            ++index;
        }
    }
    return text;
}

}  // namespace

std::string visibleText(std::string_view bytes) {
    return shownBytes(bytes, true);
}

std::string visibleName(std::string_view bytes) {
    return visibleName(bytes, shownPlatform());
}

std::string visibleName(std::string_view bytes, Platform platform) {
    return shownBytes(bytes, false, platform == Platform::Posix);
}

std::string quotedName(std::string_view bytes) {
    return "'" + visibleName(bytes) + "'";
}

bool printableAt(std::string_view bytes, std::size_t index) {
    const Utf8Sequence sequence = utf8At(bytes, index);
    return sequence.length != 0 && sequence.code >= 0x20 && (sequence.code < 0x7F || sequence.code >= 0xA0) &&
           sequence.code != 0xFFFE && sequence.code != 0xFFFF;
}

}  // namespace tarn

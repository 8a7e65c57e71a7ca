#include "tools/utf8.hpp"

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

}  // namespace tarn

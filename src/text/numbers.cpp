#include "text/numbers.hpp"

namespace tarn {

std::string hexDigits(unsigned value) {
    constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    if (value > 0xFF) text += digits[(value >> 8) & 0xF];
    text += digits[(value >> 4) & 0xF];
    text += digits[value & 0xF];
    return text;
}

std::string hexAddress(unsigned address) {
    return "0x" + hexDigits(address);
}

std::string addressText(unsigned address) {
    return hexAddress(address) + " (" + std::to_string(address) + ")";
}

std::string byteText(std::uint8_t value) {
    std::string text = hexAddress(value) + " (" + std::to_string(value);
    if (value >= 32 && value < 127) {
        text += ", '";
        if (value == '\'' || value == '\\') text += '\\';
        text += static_cast<char>(value);
        text += '\'';
    }
    return text + ")";
}

char rowCharacter(std::uint8_t value) {
    return value >= 32 && value < 127 ? static_cast<char>(value) : '.';
}

}  // namespace tarn

// How every program writes an address or a byte for a person to read: in
// hexadecimal, as the memory grid and the listing show them, with the
// decimal beside it where that helps and the character where it prints.
#pragma once

#include <cstdint>
#include <string>

namespace tarn {

// "1F": two hexadecimal digits, capital letters; three above 0xFF (an
// effective address A + X reaches 0x1FE).
std::string hexDigits(unsigned value);

// "0x1F".
std::string hexAddress(unsigned address);

// "0x1F (31)".
std::string addressText(unsigned address);

// "0x6F (111, 'o')"; "0x0A (10)" for a byte that does not print (below 32,
// 127 and above). The apostrophe is written '\'' and the backslash '\\', as
// a source writes them.
std::string byteText(std::uint8_t value);

// The byte as one character of a memory row: itself when it prints (32 to
// 126), else '.'.
char rowCharacter(std::uint8_t value);

}  // namespace tarn

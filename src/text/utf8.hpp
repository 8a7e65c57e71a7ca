// UTF-8 as the tools read it in untrusted text: one sequence at a time,
// every malformed form refused.
#pragma once

#include "text/platform.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarn {

// A valid UTF-8 sequence at bytes[index]: its length (0 when there is none:
// a bad byte, an overlong form, a surrogate, past U+10FFFF, cut short) and
// the character it encodes.
struct Utf8Sequence {
    std::size_t length = 0;
    std::uint32_t code = 0;
};
Utf8Sequence utf8At(std::string_view bytes, std::size_t index);

// The bytes of the character at bytes[index]: those of its UTF-8 sequence,
// or 1 for a byte that is not part of one (a character of its own, as an
// editor shows U+FFFD for it).
std::size_t characterLengthAt(std::string_view bytes, std::size_t index);

// How many characters a person sees in bytes: one for each valid UTF-8
// sequence, one for each byte that is not part of one (as an editor shows
// U+FFFD for it).
std::size_t characterCount(std::string_view bytes);

// The characters of bytes, as characterCount counts them: a valid sequence
// as its code point, a byte that is not part of one as 0x110000 plus the
// byte, past every code point, so that it equals only the same byte.
std::u32string characters(std::string_view bytes);

// Any bytes as valid UTF-8 text that shows what they are: valid UTF-8 stays
// (new lines too), a backslash is "\\", a tab "\t", a carriage return "\r",
// and every other control character or invalid byte "\xHH".
std::string visibleText(std::string_view bytes);

// The same on one line, for a name inside a message: a new line is "\n".
// A backslash is doubled on POSIX, where a name may hold one and "\n" or
// "\xHH" must be the escapes; on Windows it stays single, as the path was
// typed ("uni\rossi.asm"): there it separates folders, and a name holds no
// character to escape. The platform is the one shown (text/platform.hpp)
// unless given.
std::string visibleName(std::string_view bytes);
std::string visibleName(std::string_view bytes, Platform platform);

// A name inside a message, on one line and between apostrophes: 'x.asm'.
std::string quotedName(std::string_view bytes);

// Whether the character at bytes[index] is one that a text can show as it
// is: valid UTF-8 that is neither a control character (C0, DEL, C1) nor
// U+FFFE or U+FFFF, which XML refuses.
bool printableAt(std::string_view bytes, std::size_t index);

}  // namespace tarn

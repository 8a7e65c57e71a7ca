// The characters of a source line as the assembler's messages name them.
// Names are ASCII letters, digits and '_'; a student who writes "più:" or
// "città" meets one error that names the character and says so, and a
// character outside ASCII is one character, never one error per byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarn {

// Whether the character past ASCII at text[at] reads as part of a word that
// was meant as a name: a letter with or without accents, of any script, or a
// combining accent, and also a byte that is not UTF-8 (a file in Latin-1),
// but never a space, a mark of punctuation or a symbol such as '“' or '€'.
bool continuesName(std::string_view text, std::size_t at);

// Whether a word past ASCII may begin at text[at]: as continuesName, but
// not a byte that is not UTF-8, which is an error of its own.
bool beginsName(std::string_view text, std::size_t at);

// The character at text[at] as a message shows it: 'c' for a character one
// can see, "U+00A0" for a space, a mark or a control character one cannot
// tell apart from another, \xHH for a byte that is not UTF-8.
std::string describeCharacter(std::string_view text, std::size_t at);

// The error for a word with characters past ASCII, the first at word[at]:
// "carattere 'ù' in 'più': le etichette si scrivono con lettere ASCII senza
// accenti, cifre e '_' (per esempio 'piu')"; the example only when every
// such character is a letter of Latin-1, whose accent can go.
std::string nameCharacterMessage(std::string_view word, std::size_t at);

// The error for a character that no token begins with: "carattere inatteso
// '€'", with a hint for what a word processor or a copy from a page brings
// in: a space that is not ASCII, a BOM, curly quotes and apostrophes.
std::string unexpectedCharacterMessage(std::string_view text, std::size_t at);

}  // namespace tarn

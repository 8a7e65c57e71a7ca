// Suggestions for a student's slips: the keyword nearest to an unknown
// mnemonic, the defined label nearest to an undefined one.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn {

// The mnemonic of the instruction table, or the directive DB or ORG, nearest
// to a word, compared without case; nothing when none is near enough or when
// the nearest ones are too many to choose from.
//
// Nearness is the optimal string alignment distance, in characters (UTF-8):
// one edit is a character changed, added or removed, or two neighbours
// swapped. A keyword is near enough when the distance is at most 1 if the
// shorter of the two words has 3 letters or fewer, at most 2 otherwise, and
// less than the word's length: most mnemonics have 3 letters, and 2 edits on
// 3 letters leave one in place, which suggests about anything. Among equally
// near keywords, the one that keeps the word's first letter is chosen; when
// no single one does, there is no suggestion. A word much longer than any keyword costs nothing.
std::optional<std::string_view> nearestKeyword(std::string_view word);

// A name of `names` that differs from `name` only in case, or, case aside, by
// one character of UTF-8 (changed, added, removed, or two neighbours swapped):
// "tre piu quattro" is one character from "tre più quattro". Case is that of
// the ASCII and Latin-1 letters. A case-only match wins over a one-character
// one; nothing when there is none, or when two different names are equally
// close. The work is linear in the names' total length.
std::optional<std::string> similarName(std::string_view name, const std::vector<std::string_view>& names);

// The slips of a command line, worded alike in every program.
//
// An unknown option, with the known one of `options` it most likely meant:
// the same word with other dashes ("-junit" for --junit), or, for a word of
// three letters or more, a similarName ("--jsno"); what follows '=' is left
// out. "opzione sconosciuta '-junit': forse intendevi --junit?"
std::string unknownOptionMessage(std::string_view argument, const std::vector<std::string_view>& options);

// A separate value that looks like an option, most likely the next option
// after a forgotten value: "l'opzione -o vuole un nome di file, ma '-l'
// sembra un'opzione: per un file con questo nome scrivi ./-l". `wanted` is
// what the option takes, `named` what could bear such a name, `spelled` how
// to give it all the same.
std::string optionLikeValueMessage(std::string_view option, std::string_view wanted, std::string_view named,
                                   std::string_view value, std::string_view spelled);

}  // namespace tarn

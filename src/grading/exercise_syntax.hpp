// An exercise file as text, before its keys are read: how deep it nests,
// its TOML syntax errors told in Italian with the key they concern, the kind
// of string a value is written as, and names quoted for a message.
#pragma once

#include "grading/exercise.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarn::grading::syntax {

// A name or key of the file between quotes, fit for a one-line message:
// control characters escaped, a long one cut at a character's boundary.
std::string quote(std::string_view text);

// Where the text first nests its tables and arrays deeper than
// MAX_EXERCISE_NESTING, if it does: the offset of the byte.
std::optional<std::size_t> firstTooDeep(std::string_view text);

// The fault at a byte of the text, its line and column counted from 1.
ExerciseError placeOf(std::string_view text, std::size_t offset, std::string message);

// The error moved within the text: the TOML parser reports a fault found at
// the end of the input one column past the line's end, which no editor can
// go to.
ExerciseError withinText(std::string_view text, ExerciseError error);

// The TOML parser's description of a syntax error at a line and column
// (counted from 1, the column in characters, as the parser counts them), in
// Italian. A key defined twice is named as the file writes it.
std::string syntaxErrorMessage(std::string_view description, std::string_view text, std::int64_t line,
                               std::int64_t column);

// Whether the string value that begins at a line and column (as the parser
// counts them) is written between single quotes, where a backslash is only
// a backslash.
bool literalStringAt(std::string_view text, std::int64_t line, std::int64_t column);

}  // namespace tarn::grading::syntax

// The checks of the grader's fuzz target, shared with the replay test that
// runs them on its corpus and past findings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnfuzz {

// Any bytes. An even first byte makes the rest an exercise file, checked by
// checkExercise. An odd one makes them a run of one case: the second byte
// (plus one when bit 4 of the first is set) is the length of an image taken
// from the bytes after it, at most 256, and what follows is the input; bit 1
// forbids MUL, bit 2 compares blanks loosely, bit 3 hides the case, bit 5
// runs the case a second time.
//
// Returns "" when everything holds, otherwise what did not.
std::string checkGrading(const std::uint8_t* data, std::size_t size);

// An exercise file: an error has a message of one line with no control
// characters, in valid UTF-8, at a line and column inside the text (or at
// 0:0); a valid exercise has at least one case, uniquely named, and every
// limit, address, register and flag in range.
std::string checkExercise(std::string_view text);

// One run of an image on a fixed small case (20000 instructions, 512 bytes
// of output, an expected output, memory placed and expected, a register and
// a flag expected): the counts within their limits, a run whose output goes
// past the limit stopped right after the instruction that printed it, passed
// exactly when no part of the result fails it, reasons exactly when it
// failed, every mismatch true of the final machine and every expectation not
// listed met,
// every text valid UTF-8 with no control characters but line ends, and, when
// bit 5 of options is set, the same result when run again.
std::string checkRun(std::string_view image, std::string_view input, std::uint8_t options);

}  // namespace tarnfuzz

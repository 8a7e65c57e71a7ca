// Standard input of the simulator, read in blocks and taken word by word.
#pragma once

#include <optional>

namespace tarn {

// The next character of standard input, or nothing at the end of input. The
// end is final: once standard input has ended, it is never read again.
std::optional<char> nextInputChar();

// Puts the last character taken back, so that the next call returns it again.
void ungetInputChar();

}  // namespace tarn

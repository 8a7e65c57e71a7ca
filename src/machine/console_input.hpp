// Standard input of the simulator, read in blocks and taken word by word.
#pragma once

#include <optional>

namespace tarn {

// The next character of standard input, or nothing at the end of input. The
// end is final: once standard input has ended, it is never read again.
std::optional<char> nextInputChar();

// Puts the last character taken back, so that the next call returns it again.
void ungetInputChar();

// Reads from another descriptor from now on, with nothing buffered and the
// end not yet met (the fuzz harness feeds the machine this way).
void redirectInput(int fd);

}  // namespace tarn

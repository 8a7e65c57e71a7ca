// Runs a program image on the machine for a bounded number of instructions,
// with given bytes on standard input, checking after every instruction what
// must always hold. Shared by the fuzz target and the replay test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnfuzz {

// The input's first two bytes give the image length (modulo 257, so 0..256
// bytes), the image follows, and the rest is standard input.
// Returns "" when every check held, otherwise what went wrong.
std::string checkedRun(const std::uint8_t* data, std::size_t size, unsigned maxSteps = 4096);

}  // namespace tarnfuzz

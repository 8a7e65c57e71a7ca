// The checks of the assembler and disassembler fuzz targets, shared with the
// replay test that runs them on their corpora and past findings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnfuzz {

// Any bytes as a source (the first tarn::MAX_SOURCE_BYTES of them, as much as
// tarnasm reads): every diagnostic well formed and in order, no more of them
// kept than the limit, failed() exactly when there are errors, an image only
// without errors and of at most 256 bytes, the same errors and image with the
// warnings switched off, and an image that the disassembler turns into a
// source of the same image.
//
// Returns "" when everything holds, otherwise what did not.
std::string checkAssembly(const std::uint8_t* data, std::size_t size);

// Any image (its first 256 bytes, as much as tarndis reads): the disassembly
// assembles without errors into the same bytes.
std::string checkDisassembly(const std::uint8_t* data, std::size_t size);

}  // namespace tarnfuzz

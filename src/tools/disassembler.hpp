// The disassembler: turns a program image back into a source that the
// assembler turns into exactly the same bytes.
#pragma once

#include "machine/machine_state.hpp"

#include <string>
#include <vector>

namespace tarn {

// The source of an image; only its first 256 bytes are read.
//
// Code is told from data by following the control flow from address 0: every
// instruction reached is written with its mnemonic, every other byte with DB.
// Jump targets and the addresses that instructions use get labels (L_xx for
// code, D_xx for data, xx the address in hexadecimal), and every statement
// carries its address in a comment.
std::string disassemble(const std::vector<Byte>& image);

}  // namespace tarn

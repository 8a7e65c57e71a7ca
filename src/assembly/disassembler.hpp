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
// code, D_xx for data, xx the address in hexadecimal); addresses at or past
// the end of the image share one label B_xx, defined after an ORG at the end
// of the source (the others are B_xx plus an offset). Every statement carries
// its address in a comment.
//
// Data is written as the program uses it: what a WRT prints is a string up
// to its 0, whatever its bytes; other runs of text with at least three
// printable characters are strings too; a byte that the program compares
// with text, and the value a VAL stores into text, is a character in
// apostrophes; every other byte is a number. At least eight zero bytes that
// nothing names, with more of the image after them, are skipped with ORG.
std::string disassemble(const std::vector<Byte>& image);

}  // namespace tarn

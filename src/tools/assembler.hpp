// The assembler: turns a source text in mnemonics into the bytes of a program
// image, with every error of the source found along the way.
//
// The source language, one statement per line:
//
//     [etichetta:] [MNEMONICO operandi | DB valori | ORG indirizzo]   ; commento
//
// Mnemonics, their lengths and their operands all come from the machine's
// instruction table (machine/instruction_set.hpp).
#pragma once

#include "machine/machine_state.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace tarn {

// One error of the source, at a line and column both counted from 1.
struct Diagnostic {
    int line = 0;
    int column = 0;
    std::string message;  // Italian, without the position
};

// The bytes one source line produced, for the listing.
struct ListingEntry {
    int line = 0;
    int address = 0;
    std::vector<Byte> bytes;
};

struct Assembly {
    // From address 0 to the highest address written, gaps filled with 0;
    // empty whenever there are diagnostics.
    std::vector<Byte> image;
    // Every error, ordered by line and column; none means success.
    std::vector<Diagnostic> diagnostics;
    // The lines that produced bytes, in source order.
    std::vector<ListingEntry> listing;
};

Assembly assemble(std::string_view source);

// "FILE:LINE:COLUMN: errore: MESSAGE", without the line end.
std::string formatDiagnostic(const std::string& file, const Diagnostic& diagnostic);

// The listing: for every source line its address and bytes in hexadecimal,
// then the line itself; bytes past the fourth continue on lines of their own.
std::string formatListing(std::string_view source, const Assembly& assembly);

}  // namespace tarn

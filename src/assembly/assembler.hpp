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

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarn {

// A program for a 256-byte machine never needs a source this large; the
// tools refuse anything longer before assembling it.
constexpr std::size_t MAX_SOURCE_BYTES = std::size_t{1} << 20;

// At most this many errors, and as many warnings, are kept and reported:
// the first ones by position. The rest are only counted.
constexpr std::size_t MAX_REPORTED_DIAGNOSTICS = 20;

// The directives, besides the mnemonics of the instruction table.
inline constexpr std::array<std::string_view, 2> DIRECTIVES{"DB", "ORG"};

enum class Severity { Error, Warning };

// One error or warning of the source, at a line and column both counted
// from 1 (the column counts bytes).
struct Diagnostic {
    std::int64_t line = 0;
    std::int64_t column = 0;
    Severity severity = Severity::Error;
    std::string message;  // Italian, without the position
};

// The bytes one source line produced, for the listing.
struct ListingEntry {
    std::int64_t line = 0;
    int address = 0;
    std::vector<Byte> bytes;
    bool data = false;  // defined by DB: data, not an instruction
};

// A label and the address it stands for.
struct LabelEntry {
    std::string name;
    std::int64_t line = 0;  // where it is defined
    int address = 0;        // above 255 for a label past the end of memory
};

struct AssemblyOptions {
    bool warnings = true;  // false: no warnings are looked for
};

struct Assembly {
    // From address 0 to the highest address written, gaps filled with 0;
    // empty whenever there are errors.
    std::vector<Byte> image;
    // The first errors and warnings, ordered by line and column.
    std::vector<Diagnostic> diagnostics;
    // Errors and warnings found beyond the ones kept.
    std::uint64_t omittedErrors = 0;
    std::uint64_t omittedWarnings = 0;
    // The lines that produced bytes, in source order; empty whenever there
    // are errors.
    std::vector<ListingEntry> listing;
    // Every label, by address and then by line; empty whenever there are errors.
    std::vector<LabelEntry> labels;

    // Whether the source has any error (warnings alone are a success).
    bool failed() const;
};

Assembly assemble(std::string_view source, const AssemblyOptions& options = {});

// "FILE:LINE:COLUMN: errore: MESSAGE" (or "avviso"), without the line end.
std::string formatDiagnostic(const std::string& file, const Diagnostic& diagnostic);

// Every line that reports an assembly, each without its line end: the
// diagnostics in order, then a line for the errors and one for the warnings
// that were left out, if any.
std::vector<std::string> formatReport(const std::string& file, const Assembly& assembly);

// The listing: for every source line its address and bytes in hexadecimal,
// then the line itself; bytes past the fourth continue on lines of their own.
std::string formatListing(std::string_view source, const Assembly& assembly);

}  // namespace tarn

// A program as the debugger shows it: its image, the lines of its source
// (or of the image's disassembly) and what each byte of memory was made for.
#pragma once

#include "assembly/assembler.hpp"
#include "machine/machine_state.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::debugger {

// One line of the view.
struct ProgramLine {
    std::string text;             // tabs expanded, no line end
    std::int64_t number = 0;      // counted from 1
    std::optional<Byte> address;  // of its first byte, when it has bytes
    bool data = false;            // defined by DB
};

// A label of the source (of the disassembly, for an image).
struct ProgramLabel {
    std::string name;
    std::int64_t line = 0;  // the line that defines it, counted from 1
    unsigned address = 0;
};

// What the program defined each byte of memory to be.
enum class CellRole : Byte {
    Undefined,    // neither the source nor the image gave it a value
    Instruction,  // the opcode of an instruction
    Operand,      // one of the other bytes of an instruction
    Data,         // defined by DB (or, in an image, not reached as code)
};

struct Program {
    std::string name;          // the file, as the user named it
    bool fromSource = false;   // assembled from a source, or a raw image
    std::vector<Byte> image;   // at most 256 bytes, loaded from address 0
    std::vector<ProgramLine> lines;
    std::array<CellRole, 256> roles{};
    // The index in lines of the line that defined each byte, or -1.
    std::array<int, 256> lineOf{};
    // The labels that stand for an address of memory, by address and then
    // by line.
    std::vector<ProgramLabel> labels;
    // For each byte, the index in labels of the label whose bytes it is
    // among (the last label at or before it: of several at one address, the
    // one defined last), or -1 before the first.
    std::array<int, 256> labelOf{};
    // Bytes put into memory after the image is loaded and before the first
    // instruction, over the image's: the memory that a run is prepared with,
    // such as an exercise's case gives it.
    std::array<bool, 256> placed{};
    std::array<Byte, 256> placedValue{};

    // Whether the image, the source or the prepared memory gave the byte a
    // value before the run.
    bool defined(unsigned address) const {
        return address < 256 && (roles[address] != CellRole::Undefined || placed[address]);
    }
    // Puts a byte into the prepared memory (an address above 255 is ignored).
    void place(unsigned address, Byte value);
    // The label whose bytes the byte at address is among, if any.
    const ProgramLabel* labelAt(unsigned address) const;
    // The line that defined the byte at address, if any.
    const ProgramLine* lineAt(unsigned address) const;
    // The index in lines of the line of an address, or -1.
    int lineIndexOf(unsigned address) const { return address < 256 ? lineOf[address] : -1; }
};

// A program from the text of a source. False, with the assembler's report
// (one line each, "FILE:LINE:COLUMN: errore: ..."), when it has errors.
bool programFromSource(const std::string& name, std::string_view source, Program& program,
                       std::vector<std::string>& report);

// The same from a source already assembled without errors.
Program programFromAssembly(const std::string& name, std::string_view source, const Assembly& assembly);

// A program from an image: its disassembly is what the view shows. Only the
// first 256 bytes are taken.
Program programFromImage(const std::string& name, const std::vector<Byte>& image);

// The longest source the debugger reads, and the longest input file.
inline constexpr std::size_t MAX_INPUT_BYTES = std::size_t{16} << 20;

}  // namespace tarn::debugger

// Where each part of tarndbg's screen stands. Layout (W x H, at least 80 x 24):
//
//   row 0            title: the program's name, the instructions executed
//   rows 1..17       left: source or disassembly, each line with its number
//                    and its address; right (the last 52 columns): the
//                    memory, 16 x 16, and beside it (17 more columns) the
//                    row's bytes as characters, when the terminal has 100
//                    columns or the memory has the focus
//   row 18           registers
//   row 19           flags, and from column 30 the input not yet read
//   rows 20..H-4     what the program has printed
//   rows H-3..H-2    the message, wrapped at blanks (or its first row and the
//                    input line); a longer one a page at a time
//   row H-1          the keys
//
// The explanation of a step, while open, stands between source and memory
// when the terminal is wide enough (138 columns), in the memory's place
// otherwise.
//
// One column stays blank between source and memory. The memory
// title "Memoria" covers the place of the first column header, so the
// headers (the low hex digit, above the low digit of each cell) start from
// column 1. A last line end of the output does not open an empty row of its
// own: at 80 x 24 the single output row still shows the last line printed.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace tarn::dbg {

constexpr int MIN_COLUMNS = 80;
constexpr int MIN_ROWS = 24;
constexpr int MEMORY_WIDTH = 52;
constexpr int CHARACTERS_WIDTH = 17;    // a blank, then a row's 16 bytes as characters
constexpr int CHARACTERS_ALWAYS = 100;  // from this many columns the characters always show
constexpr int PANEL_TOP = 2;            // first row of source lines and memory rows
constexpr int PANEL_ROWS = 16;          // rows 2..17
constexpr int REGISTER_ROW = 18;
constexpr int FLAG_ROW = 19;
constexpr int OUTPUT_ROW = 20;
constexpr int INPUT_COLUMN = 30;
// The explanation of a step: beside the memory when the source keeps
// SOURCE_ROOM columns (its width at 80) and the explanation at least
// EXPLANATION_MIN_WIDTH; in the memory's place otherwise.
constexpr int SOURCE_ROOM = 80 - MEMORY_WIDTH - 1;
constexpr int EXPLANATION_MIN_WIDTH = 40;
constexpr int EXPLANATION_MAX_WIDTH = 64;

// How the screen waits and runs.
constexpr std::uint64_t RUN_CHUNK = 100000;
constexpr int KEY_WAIT_MS = 200;
constexpr std::size_t MAX_LINE_BYTES = 255;  // one typed line
constexpr auto REDRAW_INTERVAL = std::chrono::milliseconds(100);

}  // namespace tarn::dbg

// An exercise: the cases a program is graded on, read from a TOML file.
//
//     titolo = "Somma di due cifre"
//     testo = """
//     Leggi due cifre e stampa la loro somma."""  # the statement, any lines
//     soluzione = "somma-giusta.asm"  # the teacher's, beside the exercise
//     limite_istruzioni = 100000     # default of every case
//     limite_uscita = 4096           # default of every case
//     proibite = ["MUL"]             # opcodes the program must never execute
//     dimensione_massima = 128       # bytes of image allowed
//
//     [[caso]]
//     nome = "tre più quattro"
//     ingresso = "3 4\n"
//     uscita = "7\n"
//     confronto = "esatto"           # or "spazi"
//     punti = 2
//     nascosto = false
//     memoria = { "0xC8" = [5, 7, 9, 0] }
//     atteso.memoria = { "0xF0" = [21] }
//     atteso.registri = { X = 3 }
//     atteso.flag = ["Z"]
#pragma once

#include "machine/machine_state.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::grading {

// An exercise file longer than this is refused before it is parsed.
constexpr std::size_t MAX_EXERCISE_BYTES = std::size_t{4} << 20;
// How deep the tables and arrays of an exercise file may lie, one level for
// each part of a dotted key or table name, each [[...]] and each array or
// inline table: a file nested deeper is refused before it is parsed. A real
// exercise goes 7 levels down ([[caso]], atteso.memoria = { "0xF0" = [21] }).
constexpr std::size_t MAX_EXERCISE_NESTING = 64;
// The longest statement ('testo') an exercise may have, in bytes: some
// pages of text, which a page shows whole.
constexpr std::size_t MAX_STATEMENT_BYTES = 65536;
// The faults of a file told one by one; the others are only counted.
constexpr std::size_t MAX_EXERCISE_ERRORS = 100;

constexpr std::uint64_t DEFAULT_INSTRUCTION_LIMIT = 100'000;
constexpr std::uint64_t MAX_INSTRUCTION_LIMIT = 1'000'000'000'000;
constexpr std::size_t DEFAULT_OUTPUT_LIMIT = 4096;
// What a case may keep of a program's output: whole reports of a class stay
// within memory even when every case of every submission fails.
constexpr std::size_t MAX_OUTPUT_LIMIT = 65536;

// How the output of a program is compared with the expected one.
enum class Comparison {
    Exact,   // "esatto": byte for byte
    Blanks,  // "spazi": blanks at line ends and the line ends at the end ignored
};

// Bytes from an address on, as placed in memory or expected there.
struct MemoryBytes {
    unsigned address = 0;     // 0..255
    std::vector<Byte> bytes;  // address + bytes.size() <= 256
};

// A register expected after the run: its machine address (256 PC, 258 A,
// 259 B, 260 X) and value.
struct ExpectedRegister {
    unsigned address = 0;
    Byte value = 0;
};

struct TestCase {
    std::string name;                   // unique within the exercise
    std::string input;                  // standard input of the run
    std::optional<std::string> output;  // what WRT must print; nothing: not checked
    Comparison comparison = Comparison::Exact;
    double points = 1;                  // >= 0
    bool hidden = false;                // only pass or fail is ever shown
    std::uint64_t instructionLimit = DEFAULT_INSTRUCTION_LIMIT;  // the case's own, or the exercise's
    std::size_t outputLimit = DEFAULT_OUTPUT_LIMIT;              // the case's own, or the exercise's
    std::vector<MemoryBytes> memory;            // placed after loading, before the run
    std::vector<MemoryBytes> expectedMemory;    // in memory after the run
    std::vector<ExpectedRegister> expectedRegisters;
    Byte expectedFlags = 0;             // flag bits that must be set after the run
};

struct Exercise {
    std::string title;
    // What the student is asked to do, with its line ends and tabs; empty
    // when the file has none. Grading never looks at it.
    std::string statement;
    // The reference solution, as a path from the exercise file's folder;
    // empty when the file names none. Grading never looks at it.
    std::string solution;
    std::uint64_t instructionLimit = DEFAULT_INSTRUCTION_LIMIT;
    std::size_t outputLimit = DEFAULT_OUTPUT_LIMIT;
    std::array<bool, 256> forbidden{};        // by opcode
    std::vector<std::string> forbiddenNames;  // their mnemonics, as the file lists them
    std::optional<std::size_t> maximumSize;   // bytes of image allowed, 1..256
    std::vector<TestCase> cases;              // at least one

    double totalPoints() const;
    // The case of that name, if there is one.
    const TestCase* findCase(std::string_view name) const;
};

// What is wrong with an exercise file, at a line and column counted from 1
// (0 when the fault has no place, such as a missing key of the whole file).
struct ExerciseError {
    std::int64_t line = 0;
    std::int64_t column = 0;
    std::string message;  // Italian, without the position
};

struct ExerciseParse {
    std::optional<Exercise> exercise;  // set when the text is a valid exercise
    ExerciseError error;               // otherwise: the first fault, in the file's order
    // Every fault, in the file's order (those without a place last), up to
    // MAX_EXERCISE_ERRORS. A syntax error stops the reading: it is the only
    // one. Otherwise each key and value is checked, whatever others are.
    std::vector<ExerciseError> errors;
    std::size_t moreErrors = 0;  // faults found beyond those kept
};

ExerciseParse parseExercise(std::string_view text);

// "FILE:LINE:COLUMN: errore: MESSAGE", or "FILE: errore: MESSAGE" without a
// position; no line end.
std::string formatExerciseError(const std::string& file, const ExerciseError& error);
// Every error of a failed parse formatted so, and a last line that counts
// those not kept, if any.
std::vector<std::string> formatExerciseErrors(const std::string& file, const ExerciseParse& parse);

// The names the exercise file and the reports use for registers and flags.
std::string_view registerName(unsigned address);  // "PC", "IR", "A", "B", "X"
struct FlagName {
    Byte bit;
    char letter;
};
inline constexpr std::array<FlagName, 5> FLAG_NAMES{{
    {FLAG_D, 'D'}, {FLAG_Z, 'Z'}, {FLAG_O, 'O'}, {FLAG_P, 'P'}, {FLAG_N, 'N'},
}};

}  // namespace tarn::grading

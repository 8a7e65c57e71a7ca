// A student's submission: a source or an image, or a folder holding one, as
// the grader runs it. Finding and reading it is the host's affair.
#pragma once

#include "machine/machine_state.hpp"
#include "assembly/assembler.hpp"
#include "grading/exercise.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::grading {

enum class ProgramKind { Source, Image };

// A line of a program, as the reports show where a run stood.
struct ProgramLine {
    std::int64_t number = 0;  // in the source, from 1
    std::string text;         // the statement, its blanks run together, cut when long
};

// The lines that placed the program's bytes, and which placed each byte.
struct ProgramLines {
    std::vector<ProgramLine> lines;  // in source order, each line once
    std::array<std::int16_t, 256> at = noLines();  // index in `lines`; -1 for a byte no line placed
    // The program's labels, by address and then by line: for naming the
    // operands of an instruction that the program rewrote.
    std::vector<LabelEntry> labels;

    // The line that placed the byte at an address, or null.
    const ProgramLine* lineAt(Byte address) const;

private:
    static std::array<std::int16_t, 256> noLines() {
        std::array<std::int16_t, 256> none{};
        none.fill(-1);
        return none;
    }
};

// The problem of a submission whose program is a file of 0 bytes: there is
// nothing to run, and nothing more to say.
inline constexpr std::string_view EMPTY_FILE = "il file è vuoto";

// A statement's text is cut after this many characters.
constexpr std::size_t MAX_PROGRAM_LINE_CHARACTERS = 80;

struct Submission {
    std::string argument;  // as given on the command line
    // The name the reports show: the folder's name, or the file's name
    // without its extension; gatherSubmissions makes it longer where two
    // submissions would share it.
    std::string student;
    std::string program;   // path of the file graded; empty when the folder held none
    ProgramKind kind = ProgramKind::Source;
    std::vector<Byte> image;  // loaded from address 0; at most 256 bytes
    // Bytes of the program, as 'dimensione_massima' counts them: of a source,
    // those its instructions and DB place (not the gaps that ORG leaves); of
    // an image, its length before any cut to 256.
    std::size_t size = 0;
    // Why the program cannot be run: every case fails. One line each, ready
    // to print (the assembler's errors as FILE:LINE:COLUMN: errore: ...).
    std::vector<std::string> problems;
    // Worth knowing, failing nothing (an image longer than the memory, say).
    std::vector<std::string> notes;
    // For a folder: its resolved path, the bounds of the submission. Empty
    // for a file given directly.
    std::string folder;
    // Of a source that assembled: its lines that placed bytes. Empty for an
    // image, whose lines come from its disassembly (see programLines).
    ProgramLines source;
    // Of a source that assembled: the bytes its instructions assemble to,
    // by address (not those of DB, nor what a later line placed over them).
    // None for an image, whose instructions are those a run executes.
    std::array<bool, 256> instructionBytes{};

    bool runnable() const { return problems.empty(); }
};

// What tarngrade makes of a source's text, with no file involved: the
// image and the size when it assembles (warnings aside), otherwise the
// assembler's report, named after submission.program, as the problems. A
// text over MAX_SOURCE_BYTES is refused unread.
void assembleSubmission(Submission& submission, std::string_view text);

// The lines of a runnable program: a source's own, or for an image those of
// its disassembly (their numbers then mean nothing, the addresses do).
ProgramLines programLines(const Submission& submission);

// Adds the problem of a runnable program larger than the exercise's
// 'dimensione_massima', when it is.
void checkMaximumSize(Submission& submission, const Exercise& exercise);

}  // namespace tarn::grading

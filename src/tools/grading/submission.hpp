// A student's submission: a source or an image, or a folder holding one.
#pragma once

#include "machine/machine_state.hpp"
#include "tools/grading/exercise.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tarn::grading {

enum class ProgramKind { Source, Image };

struct Submission {
    std::string argument;  // as given on the command line
    std::string student;   // the folder's name, or the file's name without its extension
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

    bool runnable() const { return problems.empty(); }
};

struct SubmissionLoad {
    std::optional<Submission> submission;
    // Otherwise: why the argument itself cannot be graded (it does not
    // exist, cannot be read, is neither .asm, .bin nor a folder), one line
    // without the program's name; the command fails with status 2.
    std::string error;
};

// Finds the program of a submission and makes its image: a .asm file is
// assembled in process (a source over the assembler's limit is a problem of
// the submission), a .bin file is read (at most 257 bytes are kept), and a
// folder is searched, not recursively, for its one program.
SubmissionLoad loadSubmission(const std::string& argument, const Exercise& exercise);

}  // namespace tarn::grading

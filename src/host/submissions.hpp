// The submissions of a class, found and read from the files and folders of a
// command line.
#pragma once

#include "grading/exercise.hpp"
#include "grading/program_choice.hpp"
#include "grading/submission.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tarn::grading {

struct SubmissionLoad {
    std::optional<Submission> submission;
    // Otherwise: why the argument itself cannot be graded (it does not
    // exist, cannot be read, is neither .asm, .bin nor a folder), one line
    // without the program's name, names shown with visibleName.
    std::string error;
    // The argument is a regular file that is neither .asm nor .bin: among
    // other submissions it is skipped, not an error.
    bool notASubmission = false;
};

// How far a submission's folder is searched for its program.
enum class ProgramSearch {
    // The folder alone: in a class, a folder below may be a classmate's.
    Folder,
    // The folder and the folders below it, down to MAX_PROGRAM_DEPTH (links
    // to folders are not followed): the one submission of a platform, whose
    // archive often holds a folder.
    Below,
};

// A folder is looked at up to this many entries: the program is chosen among
// those, with a note when the folder holds more.
inline constexpr std::size_t MAX_FOLDER_ENTRIES = 100000;

// Finds the program of a submission and makes its image: a .asm file is
// assembled in process (a source over the assembler's limit is a problem of
// the submission), a .bin file is read (at most 257 bytes are kept), and a
// folder is searched for its one program, as far as `search` says (see
// chooseProgram). A file given directly is read through a link; the program
// of a folder is refused, as a problem, when it is a link that leads out of
// the folder. A folder is looked at up to maxEntries entries, those below
// it included (smaller in tests); one below it that cannot be read is a
// problem of the submission.
SubmissionLoad loadSubmission(const std::string& argument, const Exercise& exercise,
                              std::size_t maxEntries = MAX_FOLDER_ENTRIES,
                              ProgramSearch search = ProgramSearch::Folder);

struct SubmissionSet {
    std::vector<Submission> submissions;  // in the order of the arguments
    // For standard error, one line each, without the program's name: the
    // arguments skipped, the names made longer.
    std::vector<std::string> warnings;
    // Not empty when nothing can be graded: the command fails with status 2.
    std::string error;
};

// Loads the submissions of a command line. A file that cannot be a
// submission is skipped with a warning when others remain; an argument that
// names a submission given before is skipped too. A lone folder that holds
// several programs, or folders with programs, is taken for a folder of
// submissions and refused, unless it is known to be one student's
// (oneStudent). Students who share a name get, all of them, the shortest end
// of their paths that tells them apart: "a/rossi" and "b/rossi",
// "rossi.asm" and "rossi.bin"; each such name is warned about once.
SubmissionSet gatherSubmissions(const std::vector<std::string>& arguments, const Exercise& exercise,
                                bool oneStudent, ProgramSearch search = ProgramSearch::Folder);

// Whether writing a report to output would replace a file that already
// exists inside the submission's folder, the path or the file it leads to.
bool replacesSubmissionFile(const std::string& output, const Submission& submission);

// The same for any folder, such as the one that holds a solution: false
// when folder is none.
bool replacesFileInFolder(const std::string& output, const std::string& folder);

}  // namespace tarn::grading

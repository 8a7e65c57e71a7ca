// Which of the programs found in a student's folder is graded: a source
// before an image, and never one of several alike. Looking in the folder is
// the host's affair; the choice and what it says are the same everywhere.
#pragma once

#include "grading/submission.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::grading {

// A folder is searched this many folders down for a platform that grades
// one submission, whose archive often holds a folder.
inline constexpr std::size_t MAX_PROGRAM_DEPTH = 3;

// Programs named one by one when a folder holds too many.
inline constexpr std::size_t MAX_NAMED_PROGRAMS = 5;

// The programs of one kind that a folder holds: how many, and the first
// names in order, each with whether it is a link that leads out.
struct FoundPrograms {
    struct Named {
        std::string name;  // relative to the folder searched: "somma.asm", "lab/somma.asm"
        bool leadsOut = false;
    };
    std::size_t count = 0;
    std::vector<Named> first;  // in order of name, at most MAX_NAMED_PROGRAMS

    void add(std::string_view name, bool leadsOut);
    // "a.asm, lab/b.asm e altri 3".
    std::string list() const;
};

// What a search of a folder found.
struct FolderSearch {
    FoundPrograms sources, images;
    bool below = false;          // its subfolders were searched too
    bool cut = false;            // it stopped at maxEntries entries
    std::size_t maxEntries = 0;  // the bound of the search

    bool severalPrograms() const { return sources.count > 1 || (sources.count == 0 && images.count > 1); }
};

struct ProgramChoice {
    const FoundPrograms::Named* program = nullptr;  // into the search; null when none is graded
    ProgramKind kind = ProgramKind::Source;
    // Why none is graded: no program, or several alike, named. One line.
    std::vector<std::string> problems;
    // Worth knowing: the images left for the source, a search cut short.
    std::vector<std::string> notes;
};

// The program graded from a search of the folder shown as `folder`: the one
// source wherever it lies, else the one image; several sources (or several
// images and no source) are a problem that names them.
ProgramChoice chooseProgram(const FolderSearch& search, std::string_view folder);

// What follows a list cut short, for `rest` names not shown: "", " e un
// altro" (" e un'altra"), " e altri N" (" e altre N").
std::string othersTail(std::size_t rest, bool feminine);

}  // namespace tarn::grading

// What the grader's submissions need of the file system, one file for each
// host (submission_files.cpp, submission_files_windows.cpp): what a path
// names, where it leads, the entries of a folder and an image's bytes. Each
// failure comes with the system's reason, in Italian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace tarn::grading::files {

// The characters that end a folder's name in a path on this host, the one
// it joins names with first.
extern const std::string_view SEPARATORS;

enum class Kind { Folder, Regular, Other };

// What path names, links followed. False, with the reason, when it cannot
// be looked at (it does not exist, say).
bool kindOf(const std::string& path, Kind& kind, std::string& reason);

// What tells one file from every other on the machine, links followed;
// false when it cannot be looked at.
using Identity = std::pair<std::uint64_t, std::uint64_t>;
bool identityOf(const std::string& path, Identity& identity);

// The real path of a file, through every link; empty when it cannot be
// found (it does not exist, a link dangles or loops).
std::string resolved(const std::string& path);

// Whether the name itself exists, be it a link that leads nowhere.
bool nameExists(const std::string& path);

// Reads at most limit bytes of the image at path into buffer, never waiting
// on what is not a regular file (notRegular, false). got is what was read,
// stated the size the file claims. False, with the reason, when it cannot
// be read.
bool readImage(const std::string& path, unsigned char* buffer, std::size_t limit, std::size_t& got,
               std::uint64_t& stated, bool& notRegular, std::string& reason);

// A candidate of a folder: a regular file, or a link to one inside the
// folder, is a program; a link that leads out of the folder is refused
// whatever it leads to; anything else (a folder, a FIFO, a dangling link)
// does not count, and is never opened.
enum class Entry { Program, LeadsOut, Other };

// The entries of one folder, in the order the system gives them, "." and
// ".." among them where the system lists them.
class FolderEntries {
public:
    explicit FolderEntries(const std::string& folder);
    ~FolderEntries();
    FolderEntries(const FolderEntries&) = delete;
    FolderEntries& operator=(const FolderEntries&) = delete;

    // False, with the reason, when the folder cannot be read.
    bool opened(std::string& reason) const;
    // The next entry's name, and whether it may be a folder (or a link to
    // one). False at the end, or with the reason when reading fails.
    bool next(std::string& name, bool& mayBeFolder, std::string& reason);
    // What the entry of that name is, as a candidate program; realFolder is
    // the folder resolved.
    Entry classify(const std::string& name, const std::string& realFolder);
    // Whether the entry of that name is a folder itself, not a link to one:
    // a search below a folder goes into no link, so never out of it nor
    // round in a loop.
    bool isFolder(const std::string& name);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tarn::grading::files

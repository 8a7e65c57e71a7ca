#include "host/submissions.hpp"
#include "host/submission_files.hpp"

#include "assembly/assembler.hpp"
#include "text/file_names.hpp"
#include "grading/program_choice.hpp"
#include "grading/wording.hpp"
#include "host/files.hpp"
#include "host/path_text.hpp"
#include "text/utf8.hpp"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <set>
#include <string_view>
#include <utility>

namespace tarn::grading {

namespace {

// An image is read up to one byte past the memory, to tell that it is longer.
constexpr std::size_t MEMORY_BYTES = 256;
// A lone folder that holds no program is taken for a folder of submissions
// when one of its first subfolders holds one among its first entries.
constexpr std::size_t MAX_SUBFOLDERS_LOOKED_AT = 20;
constexpr std::size_t MAX_SUBFOLDER_ENTRIES = 1000;
// Students named one by one in a warning about a shared name.
constexpr std::size_t MAX_NAMED_STUDENTS = 5;

// A name inside a report line: the reports make it visible themselves.
std::string inQuotes(std::string_view text) {
    return "'" + std::string(text) + "'";
}

std::optional<ProgramKind> kindOf(std::string_view name) {
    if (hasExtension(name, ".asm")) return ProgramKind::Source;
    if (hasExtension(name, ".bin")) return ProgramKind::Image;
    return std::nullopt;
}

std::string_view withoutTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && files::SEPARATORS.find(path.back()) != std::string_view::npos) path.remove_suffix(1);
    return path;
}

std::string_view lastComponent(std::string_view path) {
    path = withoutTrailingSlashes(path);
    const std::size_t slash = path.find_last_of(files::SEPARATORS);
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The file's name without its extension (a name that is nothing but the
// extension stays whole).
std::string fileStudent(std::string_view path) {
    const std::string_view name = lastComponent(path);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return std::string(name);
    return std::string(name.substr(0, dot));
}

using files::resolved;

// The folder's own name: "." and ".." are named by where they lead.
std::string folderStudent(const std::string& path) {
    const std::string_view name = lastComponent(path);
    if (!name.empty() && name != "." && name != ".." && name != "/") return std::string(name);
    const std::string real = resolved(path);
    const std::string_view realName = lastComponent(real);
    return std::string(realName.empty() ? name : realName);
}

// The separator that joins a path's folders: the last one the path uses, or
// the host's own ('/'; '\\' on Windows, where '/' is one too).
char separatorOf(std::string_view path) {
    const std::size_t separator = path.find_last_of(files::SEPARATORS);
    return separator == std::string_view::npos ? files::SEPARATORS.front() : path[separator];
}

std::string joined(std::string_view folder, std::string_view name) {
    folder = withoutTrailingSlashes(folder);
    std::string path(folder);
    if (path.empty() || files::SEPARATORS.find(path.back()) == std::string_view::npos) path += separatorOf(folder);
    path += name;
    return path;
}

// Assembles a source in process; what it cannot accept becomes a problem.
// False, with the error, when the file cannot be read.
bool loadSource(Submission& submission, std::string& error) {
    std::string text;
    std::string reason;
    if (!readFile(submission.program, text, reason, MAX_SOURCE_BYTES)) {
        error = "impossibile leggere " + quotedName(submission.program) + ": " + reason;
        return false;
    }
    if (text.empty()) submission.problems.emplace_back(EMPTY_FILE);
    else assembleSubmission(submission, text);
    return true;
}

// Reads an image, never waiting on what is not a regular file. False, with
// the error, when it cannot be read.
bool loadImageFile(Submission& submission, std::string& error) {
    Byte buffer[MEMORY_BYTES + 1];
    std::size_t got = 0;
    std::uint64_t stated = 0;
    bool notRegular = false;
    std::string reason;
    if (!files::readImage(submission.program, buffer, sizeof buffer, got, stated, notRegular, reason)) {
        error = notRegular ? quotedName(submission.program) + " non è un file regolare né una cartella"
                           : "impossibile leggere " + quotedName(submission.program) + ": " + reason;
        return false;
    }
    submission.size = std::max(static_cast<std::size_t>(std::min<std::uint64_t>(stated, SIZE_MAX)), got);
    if (submission.size == 0) {
        submission.problems.emplace_back(EMPTY_FILE);
        return true;
    }
    submission.image.assign(buffer, buffer + std::min(got, MEMORY_BYTES));
    if (submission.size > MEMORY_BYTES)
        submission.notes.push_back("l'immagine " + inQuotes(submission.program) + " ha " +
                                   std::to_string(submission.size) +
                                   " byte: si caricano solo i primi 256, come fa tarnsim");
    return true;
}

// Whether a resolved path is the resolved folder or lies inside it.
bool within(std::string_view path, std::string_view folder) {
    if (folder.empty() || !path.starts_with(folder)) return false;
    return path.size() == folder.size() || folder == "/" || path[folder.size()] == '/';
}

// "a, b e c"; after `named` names, "e altre N" (or "e altri N").
std::string italianList(const std::vector<std::string>& names, std::size_t total, std::size_t named,
                        bool feminine) {
    std::string list;
    const std::size_t shown = std::min(names.size(), named);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0) list += i + 1 == shown && total == shown ? " e " : ", ";
        list += names[i];
    }
    list += othersTail(total - shown, feminine);
    return list;
}

// What a folder holds, as far as grading goes.
struct FolderScan {
    std::size_t maxEntries = MAX_FOLDER_ENTRIES;
    // Whether to look below the folder too, down to MAX_PROGRAM_DEPTH
    // folders: for a platform that grades one submission, whose archive
    // often holds a folder.
    bool deep = false;
    bool folder = false;
    FolderSearch search;
    std::vector<std::string> subfolders;  // the first entries of the folder itself that may be folders

    bool severalPrograms() const { return search.severalPrograms(); }
};

using files::Entry;

// A folder still to look in: its path from the submission's folder ("" for
// that folder itself) and how many folders down it is.
struct PendingFolder {
    std::string relative;
    std::size_t depth = 0;
};

// Looks in a folder, among its first maxEntries entries (and, deep, below it
// breadth first, into folders that are not links, with the same bound for
// all), for its one program: sets program and kind, or adds a problem.
// False, with the error, when the folder itself cannot be read.
bool findProgram(Submission& submission, std::string& error, FolderScan& scan) {
    const std::string& folder = submission.argument;
    const char separator = separatorOf(folder);
    FolderSearch& search = scan.search;
    search.maxEntries = scan.maxEntries;
    search.below = scan.deep;
    std::deque<PendingFolder> pending{PendingFolder{}};
    std::string unreadable;  // the first folder below that could not be read, and why
    std::size_t entries = 0;
    while (!pending.empty() && !search.cut) {
        const PendingFolder current = std::move(pending.front());
        pending.pop_front();
        const bool top = current.relative.empty();
        const std::string path = top ? folder : joined(folder, current.relative);
        files::FolderEntries directory(path);
        std::string reason;
        const auto failed = [&] {
            if (top) {
                error = "impossibile leggere la consegna " + quotedName(folder) + ": " + reason;
                return;
            }
            if (unreadable.empty())
                unreadable = "impossibile leggere la cartella " + inQuotes(path) + " della consegna: " + reason;
        };
        if (!directory.opened(reason)) {
            failed();
            if (top) return false;
            continue;
        }
        if (top) {
            scan.folder = true;
            submission.folder = resolved(folder);
        }
        for (;;) {
            std::string name;
            bool mayBeFolder = false;
            if (!directory.next(name, mayBeFolder, reason)) {
                if (!reason.empty()) {
                    failed();
                    if (top) return false;
                }
                break;
            }
            if (entries == scan.maxEntries) {
                search.cut = true;
                break;
            }
            ++entries;
            if (name.empty() || name.front() == '.') continue;
            const std::string relative = top ? name : current.relative + separator + name;
            const std::optional<ProgramKind> kind = kindOf(name);
            if (kind) {
                const Entry found = directory.classify(name, submission.folder);
                if (found != Entry::Other) {
                    (*kind == ProgramKind::Source ? search.sources : search.images)
                        .add(relative, found == Entry::LeadsOut);
                    continue;
                }
            }
            if (!mayBeFolder) continue;
            if (top && !kind && scan.subfolders.size() < MAX_SUBFOLDERS_LOOKED_AT) scan.subfolders.push_back(name);
            if (scan.deep && current.depth < MAX_PROGRAM_DEPTH && directory.isFolder(name))
                pending.push_back({relative, current.depth + 1});
        }
    }
    // A folder left unread may hold the program, or a second one.
    if (!unreadable.empty()) {
        submission.problems.push_back(unreadable);
        return true;
    }

    const ProgramChoice choice = chooseProgram(search, folder);
    if (choice.program != nullptr) {
        submission.program = joined(folder, choice.program->name);
        submission.kind = choice.kind;
        if (choice.program->leadsOut)
            submission.problems.push_back("il programma " + inQuotes(submission.program) +
                                          " è un collegamento che porta fuori dalla cartella della consegna: "
                                          "non si valuta");
    }
    submission.problems.insert(submission.problems.end(), choice.problems.begin(), choice.problems.end());
    submission.notes.insert(submission.notes.end(), choice.notes.begin(), choice.notes.end());
    return true;
}

// Whether one of the first subfolders of a folder holds a program among its
// first entries.
bool subfolderHoldsProgram(const std::string& folder, const std::vector<std::string>& subfolders) {
    for (const std::string& name : subfolders) {
        files::FolderEntries directory(joined(folder, name));
        std::string reason;
        if (!directory.opened(reason)) continue;
        for (std::size_t entries = 0; entries < MAX_SUBFOLDER_ENTRIES; ++entries) {
            std::string entry;
            bool mayBeFolder = false;
            if (!directory.next(entry, mayBeFolder, reason)) break;
            if (!entry.empty() && entry.front() != '.' && kindOf(entry)) return true;
        }
    }
    return false;
}

SubmissionLoad loadOne(const std::string& argument, const Exercise& exercise, FolderScan& scan) {
    SubmissionLoad load;
    files::Kind found = files::Kind::Other;
    std::string reason;
    if (!files::kindOf(argument, found, reason)) {
        load.error = "impossibile leggere la consegna " + quotedName(argument) + ": " + reason;
        return load;
    }
    Submission submission;
    submission.argument = argument;
    if (found == files::Kind::Folder) {
        submission.student = folderStudent(argument);
        if (!findProgram(submission, load.error, scan)) return load;
        if (!submission.problems.empty()) {
            load.submission = std::move(submission);
            return load;
        }
    } else if (found == files::Kind::Regular) {
        const std::optional<ProgramKind> kind = kindOf(lastComponent(argument));
        if (!kind) {
            load.error = quotedName(argument) + " non è una consegna: ci vuole un sorgente .asm, un'immagine .bin o "
                                           "una cartella";
            load.notASubmission = true;
            return load;
        }
        submission.student = fileStudent(argument);
        submission.program = argument;
        submission.kind = *kind;
    } else {
        load.error = quotedName(argument) + " non è un file regolare né una cartella";
        return load;
    }

    const bool read = submission.kind == ProgramKind::Source ? loadSource(submission, load.error)
                                                             : loadImageFile(submission, load.error);
    if (!read) return load;
    checkMaximumSize(submission, exercise);
    load.submission = std::move(submission);
    return load;
}

// The names a submission can be shown under, from the shortest: its student
// (level 0); then its file's whole name (1); then, with one folder more
// each time, the student (2) and the whole name (3), and so on up to the
// whole absolute path.
struct NameParts {
    std::vector<std::string> folders;  // from the root to the one holding the submission
    std::string student, whole;

    std::size_t lastLevel() const { return 2 * folders.size() + 1; }

    std::string at(std::size_t level) const {
        const std::size_t kept = level / 2;
        std::string name;
        for (std::size_t i = folders.size() - std::min(kept, folders.size()); i < folders.size(); ++i)
            name += folders[i] + files::SEPARATORS.front();
        return name + (level % 2 == 1 ? whole : student);
    }
};

NameParts namePartsOf(const Submission& submission) {
    NameParts parts;
    parts.student = submission.student;
    parts.whole = submission.folder.empty() ? std::string(lastComponent(submission.argument)) : submission.student;
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(pathOf(submission.argument), error);
    if (error) path = pathOf(submission.argument);
    const std::filesystem::path normal = path.lexically_normal();
    for (const std::filesystem::path& component : normal) {
        const std::string text = textOf(component);
        if (!text.empty() && component != normal.root_directory() && text != ".") parts.folders.push_back(text);
    }
    if (!parts.folders.empty()) parts.folders.pop_back();  // the submission itself
    return parts;
}

// Gives students who share a name the shortest names that tell them apart,
// and warns once for every name shared.
void distinguishStudents(std::vector<Submission>& submissions, std::vector<std::string>& warnings) {
    std::map<std::string, std::vector<std::size_t>> byStudent;
    for (std::size_t i = 0; i < submissions.size(); ++i) byStudent[submissions[i].student].push_back(i);
    if (byStudent.size() == submissions.size()) return;

    std::vector<NameParts> parts;
    parts.reserve(submissions.size());
    for (const Submission& submission : submissions) parts.push_back(namePartsOf(submission));
    std::vector<std::size_t> levels(submissions.size(), 0);
    std::vector<std::string> names(submissions.size());
    for (;;) {
        std::map<std::string, std::vector<std::size_t>> byName;
        for (std::size_t i = 0; i < submissions.size(); ++i) {
            names[i] = parts[i].at(levels[i]);
            byName[names[i]].push_back(i);
        }
        bool shared = false, longer = false;
        for (const auto& [name, holders] : byName) {
            if (holders.size() < 2) continue;
            shared = true;
            for (const std::size_t i : holders)
                if (levels[i] < parts[i].lastLevel()) {
                    ++levels[i];
                    longer = true;
                }
        }
        if (!shared) break;
        if (longer) continue;
        // One path named twice, through links: a number tells them apart.
        std::set<std::string> taken(names.begin(), names.end());
        for (const auto& [name, holders] : byName)
            for (std::size_t k = 1; k < holders.size(); ++k) {
                std::size_t number = k + 1;
                while (taken.contains(name + " (" + std::to_string(number) + ")")) ++number;
                names[holders[k]] = name + " (" + std::to_string(number) + ")";
                taken.insert(names[holders[k]]);
            }
        break;
    }

    for (const auto& [student, holders] : byStudent) {
        bool renamed = false;
        for (const std::size_t i : holders) renamed = renamed || names[i] != student;
        if (!renamed) continue;
        std::vector<std::string> shownNames;
        for (std::size_t k = 0; k < holders.size() && k < MAX_NAMED_STUDENTS; ++k)
            shownNames.push_back(quotedName(names[holders[k]]));
        if (holders.size() == 1)
            warnings.push_back("la consegna " + quotedName(submissions[holders.front()].argument) +
                               " si chiamerebbe come un'altra: nei rapporti è " + shownNames.front());
        else
            warnings.push_back(std::to_string(holders.size()) + " consegne si chiamano " + quotedName(student) +
                               ": nei rapporti sono " +
                               italianList(shownNames, holders.size(), MAX_NAMED_STUDENTS, true));
    }
    for (std::size_t i = 0; i < submissions.size(); ++i) submissions[i].student = names[i];
}

}  // namespace

SubmissionLoad loadSubmission(const std::string& argument, const Exercise& exercise, std::size_t maxEntries,
                              ProgramSearch search) {
    FolderScan scan;
    scan.maxEntries = maxEntries;
    scan.deep = search == ProgramSearch::Below;
    return loadOne(argument, exercise, scan);
}

SubmissionSet gatherSubmissions(const std::vector<std::string>& arguments, const Exercise& exercise,
                                bool oneStudent, ProgramSearch search) {
    SubmissionSet set;
    std::vector<std::string> skipped;  // why each file skipped is not a submission
    std::map<files::Identity, std::string> given;
    for (const std::string& argument : arguments) {
        FolderScan scan;
        scan.deep = search == ProgramSearch::Below;
        SubmissionLoad loaded = loadOne(argument, exercise, scan);
        if (!loaded.submission && loaded.notASubmission) {
            skipped.push_back(loaded.error);
            set.warnings.push_back(quotedName(argument) +
                                   " non è una consegna e si salta: ci vuole un sorgente .asm, un'immagine .bin o "
                                   "una cartella");
            continue;
        }
        if (!loaded.submission) {
            set.error = loaded.error;
            return set;
        }
        if (scan.folder && arguments.size() == 1 && !oneStudent) {
            const bool several = scan.severalPrograms();
            if (several || (scan.search.sources.count == 0 && scan.search.images.count == 0 &&
                            subfolderHoldsProgram(argument, scan.subfolders))) {
                std::string folder(withoutTrailingSlashes(argument));
                const char separator = separatorOf(folder);
                if (folder.front() == '-') folder = std::string(".") + separator + folder;
                set.error = quotedName(argument) + " sembra una cartella di consegne, perché contiene " +
                            (several ? "più programmi" : "cartelle con un programma") +
                            ": per valutarle tutte scrivi " + commandWord(folder, shownPlatform()) + separator +
                            "* al suo posto";
                return set;
            }
        }
        if (files::Identity identity; files::identityOf(argument, identity)) {
            const auto [before, added] = given.try_emplace(identity, argument);
            if (!added) {
                set.warnings.push_back(quotedName(argument) + " è la stessa consegna di " + quotedName(before->second) +
                                       ": si valuta una volta sola");
                continue;
            }
        }
        set.submissions.push_back(std::move(*loaded.submission));
    }
    if (set.submissions.empty()) {
        if (skipped.size() == 1) {
            set.warnings.clear();
            set.error = skipped.front();
        } else {
            set.error = "nessuno degli argomenti dati è una consegna";
        }
        return set;
    }
    distinguishStudents(set.submissions, set.warnings);
    return set;
}

namespace {

// The same, with the folder resolved.
bool replacesFileWithin(const std::string& output, const std::string& folder) {
    if (folder.empty()) return false;
    // The file it leads to.
    const std::string target = resolved(output);
    if (!target.empty() && within(target, folder)) return true;
    // The name itself, a link say, in its resolved folder.
    if (!files::nameExists(output)) return false;
    const std::filesystem::path path = pathOf(output);
    const std::string name = textOf(path.filename());
    const std::string parent = resolved(path.has_parent_path() ? textOf(path.parent_path()) : ".");
    return !name.empty() && !parent.empty() && within(joined(parent, name), folder);
}

}  // namespace

bool replacesSubmissionFile(const std::string& output, const Submission& submission) {
    return replacesFileWithin(output, submission.folder);
}

bool replacesFileInFolder(const std::string& output, const std::string& folder) {
    files::Kind kind{};
    std::string reason;
    if (!files::kindOf(folder, kind, reason) || kind != files::Kind::Folder) return false;
    return replacesFileWithin(output, resolved(folder));
}

}  // namespace tarn::grading

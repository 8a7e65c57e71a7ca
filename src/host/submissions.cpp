#include "host/submissions.hpp"
#include "host/submission_files.hpp"

#include "assembly/assembler.hpp"
#include "text/file_names.hpp"
#include "grading/wording.hpp"
#include "host/files.hpp"
#include "host/path_text.hpp"
#include "text/utf8.hpp"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string_view>
#include <utility>

namespace tarn::grading {

namespace {

// Programs named one by one when a folder holds too many.
constexpr std::size_t MAX_NAMED_PROGRAMS = 5;
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

// What follows a list cut short, for `rest` names not shown: "", " e un
// altro" (" e un'altra"), " e altri N" (" e altre N").
std::string othersTail(std::size_t rest, bool feminine) {
    if (rest == 0) return "";
    if (rest == 1) return feminine ? " e un'altra" : " e un altro";
    return (feminine ? " e altre " : " e altri ") + std::to_string(rest);
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

// The programs of one kind that a folder holds: how many, and the first
// names in order, each with whether it is a link that leads out.
struct Programs {
    struct Named {
        std::string name;
        bool leadsOut = false;
    };
    std::size_t count = 0;
    std::vector<Named> first;  // in order, at most MAX_NAMED_PROGRAMS

    void add(std::string_view name, bool leadsOut) {
        ++count;
        const auto at = std::lower_bound(first.begin(), first.end(), name,
                                         [](const Named& named, std::string_view other) { return named.name < other; });
        if (first.size() == MAX_NAMED_PROGRAMS && at == first.end()) return;
        first.insert(at, Named{std::string(name), leadsOut});
        if (first.size() > MAX_NAMED_PROGRAMS) first.pop_back();
    }

    std::string list() const {
        std::string text;
        for (std::size_t i = 0; i < first.size(); ++i) text += (i > 0 ? ", " : "") + first[i].name;
        text += othersTail(count - first.size(), false);
        return text;
    }
};

// What a folder holds, as far as grading goes.
struct FolderScan {
    std::size_t maxEntries = MAX_FOLDER_ENTRIES;
    bool folder = false;
    Programs sources, images;
    bool cut = false;                     // it holds more than maxEntries entries
    std::vector<std::string> subfolders;  // the first entries that may be folders

    bool severalPrograms() const { return sources.count > 1 || (sources.count == 0 && images.count > 1); }
};

using files::Entry;

// Looks in a folder, not recursively and among its first maxEntries
// entries, for its one program: sets program and kind, or adds a problem.
// False, with the error, when it cannot be read.
bool findProgram(Submission& submission, std::string& error, FolderScan& scan) {
    const std::string& folder = submission.argument;
    files::FolderEntries directory(folder);
    std::string reason;
    if (!directory.opened(reason)) {
        error = "impossibile leggere la consegna " + quotedName(folder) + ": " + reason;
        return false;
    }
    scan.folder = true;
    submission.folder = resolved(folder);
    std::size_t entries = 0;
    for (;;) {
        std::string name;
        bool mayBeFolder = false;
        if (!directory.next(name, mayBeFolder, reason)) {
            if (!reason.empty()) {
                error = "impossibile leggere la consegna " + quotedName(folder) + ": " + reason;
                return false;
            }
            break;
        }
        if (entries == scan.maxEntries) {
            scan.cut = true;
            break;
        }
        ++entries;
        if (name.empty() || name.front() == '.') continue;
        const std::optional<ProgramKind> kind = kindOf(name);
        if (!kind) {
            if (mayBeFolder && scan.subfolders.size() < MAX_SUBFOLDERS_LOOKED_AT) scan.subfolders.push_back(name);
            continue;
        }
        const Entry found = directory.classify(name, submission.folder);
        if (found == Entry::Other) continue;
        (*kind == ProgramKind::Source ? scan.sources : scan.images).add(name, found == Entry::LeadsOut);
    }

    const std::string bound = std::to_string(scan.maxEntries);
    const auto choose = [&](const Programs::Named& program, ProgramKind kind) {
        submission.program = joined(folder, program.name);
        submission.kind = kind;
        if (program.leadsOut)
            submission.problems.push_back("il programma " + inQuotes(submission.program) +
                                          " è un collegamento che porta fuori dalla cartella della consegna: "
                                          "non si valuta");
        if (scan.cut)
            submission.notes.push_back("la cartella " + inQuotes(folder) + " ha più di " + bound +
                                       " voci: il programma si è cercato solo tra le prime " + bound);
    };
    const Programs& sources = scan.sources;
    const Programs& images = scan.images;
    if (sources.count == 1) {
        choose(sources.first.front(), ProgramKind::Source);
        if (images.count == 1)
            submission.notes.push_back("si valuta il sorgente " + inQuotes(sources.first.front().name) +
                                       ": l'immagine " + inQuotes(images.first.front().name) + " è ignorata");
        else if (images.count > 1)
            submission.notes.push_back("si valuta il sorgente " + inQuotes(sources.first.front().name) + ": le " +
                                       std::to_string(images.count) + " immagini .bin sono ignorate");
    } else if (sources.count == 0 && images.count == 1) {
        choose(images.first.front(), ProgramKind::Image);
    } else if (sources.count == 0 && images.count == 0) {
        submission.problems.push_back("nessun programma " +
                                      (scan.cut ? "tra le prime " + bound + " voci della cartella "
                                                : std::string("nella cartella ")) +
                                      inQuotes(folder) + ": ci vuole un file .asm o .bin");
    } else {
        submission.problems.push_back("più programmi nella cartella " + inQuotes(folder) + ": " +
                                      (sources.count > 0 ? sources : images).list());
    }
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

SubmissionLoad loadSubmission(const std::string& argument, const Exercise& exercise, std::size_t maxEntries) {
    FolderScan scan;
    scan.maxEntries = maxEntries;
    return loadOne(argument, exercise, scan);
}

SubmissionSet gatherSubmissions(const std::vector<std::string>& arguments, const Exercise& exercise,
                                bool oneStudent) {
    SubmissionSet set;
    std::vector<std::string> skipped;  // why each file skipped is not a submission
    std::map<files::Identity, std::string> given;
    for (const std::string& argument : arguments) {
        FolderScan scan;
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
            if (several || (scan.sources.count == 0 && scan.images.count == 0 &&
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

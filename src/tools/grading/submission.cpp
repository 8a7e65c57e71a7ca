#include "tools/grading/submission.hpp"
#include "host/system_reason.hpp"

#include "tools/assembler.hpp"
#include "tools/tool_files.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarn::grading {

namespace {

// A folder is read up to this many entries: a class folder never holds more,
// and memory stays bounded whatever it holds.
constexpr std::size_t MAX_FOLDER_ENTRIES = 10000;
// Programs named one by one when a folder holds too many.
constexpr std::size_t MAX_NAMED_PROGRAMS = 5;
// An image is read up to one byte past the memory, to tell that it is longer.
constexpr std::size_t MEMORY_BYTES = 256;

std::string quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

char lowered(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether a name ends with the extension (".asm"), in any case.
bool hasExtension(std::string_view name, std::string_view extension) {
    if (name.size() < extension.size()) return false;
    const std::string_view end = name.substr(name.size() - extension.size());
    for (std::size_t i = 0; i < extension.size(); ++i)
        if (lowered(end[i]) != extension[i]) return false;
    return true;
}

std::optional<ProgramKind> kindOf(std::string_view name) {
    if (hasExtension(name, ".asm")) return ProgramKind::Source;
    if (hasExtension(name, ".bin")) return ProgramKind::Image;
    return std::nullopt;
}

std::string_view withoutTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return path;
}

std::string_view lastComponent(std::string_view path) {
    path = withoutTrailingSlashes(path);
    const std::size_t slash = path.rfind('/');
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

// The folder's own name: "." and ".." are named by where they lead.
std::string folderStudent(const std::string& path) {
    const std::string_view name = lastComponent(path);
    if (!name.empty() && name != "." && name != ".." && name != "/") return std::string(name);
    struct Freer {
        void operator()(char* text) const { std::free(text); }
    };
    const std::unique_ptr<char, Freer> real(::realpath(path.c_str(), nullptr));
    if (real) {
        const std::string_view realName = lastComponent(real.get());
        if (!realName.empty()) return std::string(realName);
    }
    return std::string(name);
}

std::string joined(std::string_view folder, std::string_view name) {
    folder = withoutTrailingSlashes(folder);
    std::string path(folder);
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    return path;
}

std::string systemReason(int error) {
    return tarn::systemReason(error);
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Assembles a source in process; what it cannot accept becomes a problem.
// False, with the error, when the file cannot be read.
bool loadSource(Submission& submission, std::string& error) {
    std::string text;
    std::string reason;
    if (!readFile(submission.program, text, reason, MAX_SOURCE_BYTES)) {
        error = "impossibile leggere " + quoted(submission.program) + ": " + reason;
        return false;
    }
    if (text.size() > MAX_SOURCE_BYTES) {
        submission.problems.push_back("il sorgente " + quoted(submission.program) + " supera il limite di " +
                                      std::to_string(MAX_SOURCE_BYTES) + " byte");
        return true;
    }
    Assembly assembly = assemble(text, AssemblyOptions{false});
    if (assembly.failed()) {
        submission.problems = formatReport(submission.program, assembly);
        if (submission.problems.empty()) submission.problems.push_back("il sorgente non si assembla");
        return true;
    }
    submission.image = std::move(assembly.image);
    submission.size = submission.image.size();
    if (submission.image.size() > MEMORY_BYTES) submission.image.resize(MEMORY_BYTES);
    return true;
}

// Reads an image, never waiting on what is not a regular file. False, with
// the error, when it cannot be read.
bool loadImageFile(Submission& submission, std::string& error) {
    const Descriptor file(::open(submission.program.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat status {};
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0) {
        error = "impossibile leggere " + quoted(submission.program) + ": " + systemReason(errno);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        error = quoted(submission.program) + " non è un file regolare né una cartella";
        return false;
    }
    Byte buffer[MEMORY_BYTES + 1];
    std::size_t got = 0;
    while (got < sizeof buffer) {
        const ssize_t count = ::read(file.get(), buffer + got, sizeof buffer - got);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) {
            error = "impossibile leggere " + quoted(submission.program) + ": " + systemReason(errno);
            return false;
        }
        if (count == 0) break;
        got += static_cast<std::size_t>(count);
    }
    const std::size_t stated = status.st_size > 0 ? static_cast<std::size_t>(status.st_size) : 0;
    submission.size = std::max(stated, got);
    submission.image.assign(buffer, buffer + std::min(got, MEMORY_BYTES));
    if (submission.size > MEMORY_BYTES)
        submission.notes.push_back("l'immagine " + quoted(submission.program) + " ha " +
                                   std::to_string(submission.size) +
                                   " byte: si caricano solo i primi 256, come fa tarnsim");
    return true;
}

std::string namedList(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    std::string list;
    for (std::size_t i = 0; i < names.size() && i < MAX_NAMED_PROGRAMS; ++i) {
        if (i > 0) list += ", ";
        list += names[i];
    }
    if (names.size() > MAX_NAMED_PROGRAMS) list += " e altri " + std::to_string(names.size() - MAX_NAMED_PROGRAMS);
    return list;
}

// Looks in a folder, not recursively, for its one program: sets program and
// kind, or adds a problem. False, with the error, when it cannot be read.
bool findProgram(Submission& submission, std::string& error) {
    const std::string& folder = submission.argument;
    DIR* directory = ::opendir(folder.c_str());
    if (directory == nullptr) {
        error = "impossibile leggere la consegna " + quoted(folder) + ": " + systemReason(errno);
        return false;
    }
    struct Closer {
        void operator()(DIR* open) const { ::closedir(open); }
    };
    const std::unique_ptr<DIR, Closer> closer(directory);
    std::vector<std::string> sources;
    std::vector<std::string> images;
    std::size_t entries = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(directory);
        if (entry == nullptr) {
            if (errno != 0) {
                error = "impossibile leggere la consegna " + quoted(folder) + ": " + systemReason(errno);
                return false;
            }
            break;
        }
        const std::string_view name = entry->d_name;
        if (name.empty() || name.front() == '.') continue;
        if (++entries > MAX_FOLDER_ENTRIES) {
            submission.problems.push_back("troppi file nella cartella " + quoted(folder) + ": se ne leggono al più " +
                                          std::to_string(MAX_FOLDER_ENTRIES));
            return true;
        }
        const std::optional<ProgramKind> kind = kindOf(name);
        if (!kind) continue;
        struct stat status {};
        if (::fstatat(::dirfd(directory), entry->d_name, &status, 0) != 0 || !S_ISREG(status.st_mode)) continue;
        (*kind == ProgramKind::Source ? sources : images).emplace_back(name);
    }
    const auto choose = [&](const std::string& name, ProgramKind kind) {
        submission.program = joined(folder, name);
        submission.kind = kind;
    };
    if (sources.size() == 1) {
        choose(sources.front(), ProgramKind::Source);
        if (images.size() == 1)
            submission.notes.push_back("si valuta il sorgente " + quoted(sources.front()) + ": l'immagine " +
                                       quoted(images.front()) + " è ignorata");
        else if (images.size() > 1)
            submission.notes.push_back("si valuta il sorgente " + quoted(sources.front()) + ": le " +
                                       std::to_string(images.size()) + " immagini .bin sono ignorate");
    } else if (sources.empty() && images.size() == 1) {
        choose(images.front(), ProgramKind::Image);
    } else if (sources.empty() && images.empty()) {
        submission.problems.push_back("nessun programma nella cartella " + quoted(folder) +
                                      ": ci vuole un file .asm o .bin");
    } else {
        submission.problems.push_back("più programmi nella cartella " + quoted(folder) + ": " +
                                      namedList(sources.empty() ? std::move(images) : std::move(sources)));
    }
    return true;
}

}  // namespace

SubmissionLoad loadSubmission(const std::string& argument, const Exercise& exercise) {
    SubmissionLoad load;
    struct stat status {};
    if (::stat(argument.c_str(), &status) != 0) {
        load.error = "impossibile leggere la consegna " + quoted(argument) + ": " + systemReason(errno);
        return load;
    }
    Submission submission;
    submission.argument = argument;
    if (S_ISDIR(status.st_mode)) {
        submission.student = folderStudent(argument);
        if (!findProgram(submission, load.error)) return load;
        if (submission.program.empty()) {
            load.submission = std::move(submission);
            return load;
        }
    } else if (S_ISREG(status.st_mode)) {
        const std::optional<ProgramKind> kind = kindOf(lastComponent(argument));
        if (!kind) {
            load.error = quoted(argument) + " non è una consegna: ci vuole un sorgente .asm, un'immagine .bin o "
                                            "una cartella";
            return load;
        }
        submission.student = fileStudent(argument);
        submission.program = argument;
        submission.kind = *kind;
    } else {
        load.error = quoted(argument) + " non è un file regolare né una cartella";
        return load;
    }

    const bool read = submission.kind == ProgramKind::Source ? loadSource(submission, load.error)
                                                             : loadImageFile(submission, load.error);
    if (!read) return load;
    if (submission.problems.empty() && exercise.maximumSize && submission.size > *exercise.maximumSize)
        submission.problems.push_back("il programma occupa " + std::to_string(submission.size) + " byte, oltre il limite di " +
                                      std::to_string(*exercise.maximumSize));
    load.submission = std::move(submission);
    return load;
}

}  // namespace tarn::grading

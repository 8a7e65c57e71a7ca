#include "host/files.hpp"

#include "host/descriptors.hpp"
#include "host/system_reason.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarn {

namespace {

// close() that reports a failure, such as a write that the file system
// could only refuse at the end.
int closeChecked(int fd) {
    if (::close(fd) == 0 || errno == EINTR) return 0;
    return errno;
}

std::string reasonOf(int error) {
    return systemReason(error);
}

// --- Temporary files and the signals that remove them ----------------------

constexpr int CLEANUP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

// The temporary files that exist at this moment, for the signal handler to
// remove. The table is fixed in size and changed only with the cleanup
// signals blocked, so the handler never sees a half-written name.
constexpr std::size_t TEMPORARY_SLOTS = 4;
constexpr std::size_t TEMPORARY_NAME_SIZE = PATH_MAX;
constexpr const char TEMPORARY_PREFIX[] = ".tarn-";

char temporaryNames[TEMPORARY_SLOTS][TEMPORARY_NAME_SIZE];
volatile std::sig_atomic_t temporaryInUse[TEMPORARY_SLOTS];

sigset_t cleanupSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : CLEANUP_SIGNALS) sigaddset(&set, signal);
    return set;
}

// Holds the cleanup signals back while it lives; they arrive at its end.
class CleanupSignalsHeld {
public:
    CleanupSignalsHeld() {
        const sigset_t set = cleanupSignalSet();
        ::sigprocmask(SIG_BLOCK, &set, &previous_);
    }
    ~CleanupSignalsHeld() { ::sigprocmask(SIG_SETMASK, &previous_, nullptr); }
    CleanupSignalsHeld(const CleanupSignalsHeld&) = delete;
    CleanupSignalsHeld& operator=(const CleanupSignalsHeld&) = delete;

private:
    sigset_t previous_;
};

// Async-signal-safe: unlink, then endBySignal.
extern "C" void removeTemporariesAndEnd(int signal) {
    for (std::size_t slot = 0; slot < TEMPORARY_SLOTS; ++slot)
        if (temporaryInUse[slot] != 0) ::unlink(temporaryNames[slot]);
    endBySignal(signal);
}

// Creates a temporary file in folder ("" is the current one) and records it
// in the table. Its descriptor, or -1 with errno set.
int createTemporary(const std::string& folder, std::size_t& slot) {
    std::string pattern = folder.empty() ? std::string() : folder == "/" ? folder : folder + "/";
    pattern += TEMPORARY_PREFIX;
    pattern += "XXXXXX";
    if (pattern.size() >= TEMPORARY_NAME_SIZE) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const CleanupSignalsHeld held;
    for (slot = 0; slot < TEMPORARY_SLOTS && temporaryInUse[slot] != 0; ++slot) {}
    if (slot == TEMPORARY_SLOTS) {
        errno = EMFILE;
        return -1;
    }
    std::memcpy(temporaryNames[slot], pattern.c_str(), pattern.size() + 1);
    const int fd = ::mkostemp(temporaryNames[slot], O_CLOEXEC);
    if (fd >= 0) temporaryInUse[slot] = 1;
    return fd;
}

void removeTemporary(std::size_t slot) {
    const CleanupSignalsHeld held;
    if (temporaryInUse[slot] == 0) return;
    ::unlink(temporaryNames[slot]);
    temporaryInUse[slot] = 0;
}

// --- Where and how each output is written ----------------------------------

enum class Way {
    Replace,  // a temporary file renamed over the path (which may not exist yet)
    InPlace,  // an existing regular file, rewritten
    Direct,   // a device or a FIFO, opened and written
    Descriptor,  // an open descriptor of the program (/dev/stdout, /dev/fd/N), written
};

constexpr std::size_t NO_SLOT = TEMPORARY_SLOTS;

struct Target {
    std::string path;  // with every symbolic link followed
    Way way = Way::Replace;
    int descriptor = -1;  // the descriptor of a Descriptor target
    bool existed = false;
    struct stat old {};  // of the file, or of what the descriptor is open on
    std::size_t slot = NO_SLOT;  // the temporary file, while it exists
    bool exchanged = false;      // renamed: the temporary name holds the old file
    bool renamed = false;        // renamed over nothing, or with no way back
};

// The folder part of a path: "" for a bare name, "/" at the root.
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return "";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The descriptor number N that a path names: /dev/stdin, /dev/stdout and
// /dev/stderr (0, 1, 2), /dev/fd/N, and /proc/self/fd/N with the forms of
// /proc that mean this process. -1 for any other path.
int descriptorNamed(const std::string& given) {
    std::error_code error;
    const std::string path = std::filesystem::absolute(given, error).lexically_normal().string();
    if (error) return -1;
    if (path == "/dev/stdin") return 0;
    if (path == "/dev/stdout") return 1;
    if (path == "/dev/stderr") return 2;
    const std::string prefixes[] = {"/dev/fd/", "/proc/self/fd/", "/proc/thread-self/fd/",
                                    "/proc/" + std::to_string(::getpid()) + "/fd/"};
    for (const std::string& prefix : prefixes) {
        if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) continue;
        int number = 0;
        for (std::size_t i = prefix.size(); i < path.size(); ++i) {
            const char digit = path[i];
            if (digit < '0' || digit > '9' || number > (INT_MAX - 9) / 10) return -1;
            number = number * 10 + (digit - '0');
        }
        return number;
    }
    return -1;
}

// A Descriptor target for fd, when it is open for writing.
bool resolveDescriptor(int fd, Target& target, std::string& reason) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY || ::fstat(fd, &target.old) != 0) {
        reason = reasonOf(EBADF);
        return false;
    }
    target.way = Way::Descriptor;
    target.descriptor = fd;
    target.existed = true;
    return true;
}

// Follows the symbolic links of path and decides how to write what is at
// the end of them.
bool resolve(const std::string& given, Target& target, std::string& reason) {
    constexpr int MAX_LINKS = 40;  // as the kernel does when it follows them itself
    std::string path = given;
    for (int links = 0;; ++links) {
        if (path.empty()) {
            reason = reasonOf(ENOENT);
            return false;
        }
        // Read as text, the link of an open descriptor names what it was
        // opened on ("pipe:[42]", or a file that would then be replaced
        // instead of written where the descriptor stands): it is written
        // through the descriptor itself.
        if (const int fd = descriptorNamed(path); fd >= 0) {
            target.path = path;
            return resolveDescriptor(fd, target, reason);
        }
        if (path.back() == '/') {  // only a folder can be named so
            reason = reasonOf(EISDIR);
            return false;
        }
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0) {
            if (errno != ENOENT) {
                reason = reasonOf(errno);
                return false;
            }
            target.path = path;  // a new file (its folder may be missing: creating it will tell)
            target.way = Way::Replace;
            return true;
        }
        if (!S_ISLNK(status.st_mode)) {
            if (S_ISDIR(status.st_mode)) {
                reason = reasonOf(EISDIR);
                return false;
            }
            target.path = path;
            target.existed = true;
            target.old = status;
            target.way = S_ISREG(status.st_mode) ? Way::Replace : Way::Direct;
            return true;
        }
        if (links == MAX_LINKS) {
            reason = reasonOf(ELOOP);
            return false;
        }
        char link[PATH_MAX];
        const ssize_t length = ::readlink(path.c_str(), link, sizeof link);
        if (length < 0) {
            reason = reasonOf(errno);
            return false;
        }
        if (static_cast<std::size_t>(length) == sizeof link) {
            reason = reasonOf(ENAMETOOLONG);
            return false;
        }
        // A relative link is relative to the folder that holds it.
        const std::string next(link, static_cast<std::size_t>(length));
        if (next.empty() || next.front() == '/') {
            path = next;
        } else {
            const std::string folder = folderOf(path);
            if (folder.empty()) path = next;
            else if (folder == "/") path = folder + next;
            else path = folder + "/" + next;
        }
    }
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// Whether the process may write to path itself (by its effective ids).
bool writableInPlace(const std::string& path) {
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// Writes the temporary file of a Replace target in full, with the mode (and
// owner) it will have once renamed. A target that turns out to be better
// written in place becomes InPlace, without a temporary file.
bool prepareTemporary(Target& target, const std::string& content, std::string& reason) {
    const int fd = createTemporary(folderOf(target.path), target.slot);
    if (fd < 0) {
        const int error = errno;
        target.slot = NO_SLOT;
        if (target.existed && (error == EACCES || error == EROFS)) {
            // The folder refuses new files, but the file itself may take writes.
            target.way = Way::InPlace;
            return true;
        }
        reason = reasonOf(error);
        return false;
    }
    int error = 0;
    if (target.existed) {
        struct stat mine {};
        if (::fstat(fd, &mine) != 0) error = errno;
        if (error == 0 && (mine.st_uid != target.old.st_uid || mine.st_gid != target.old.st_gid) &&
            ::fchown(fd, target.old.st_uid, target.old.st_gid) != 0 && writableInPlace(target.path)) {
            // A new file would change hands: keep the old one and write over it.
            ::close(fd);
            removeTemporary(target.slot);
            target.slot = NO_SLOT;
            target.way = Way::InPlace;
            return true;
        }
        // After fchown, which clears the set-user-ID and set-group-ID bits.
        if (error == 0 && ::fchmod(fd, target.old.st_mode & 07777) != 0) error = errno;
    } else if (::fchmod(fd, 0666 & ~currentUmask()) != 0) {  // mkstemp makes it private
        error = errno;
    }
    if (error == 0) error = writeAll(fd, content);
    const int closeError = closeChecked(fd);
    if (error == 0) error = closeError;
    if (error != 0) {
        removeTemporary(target.slot);
        target.slot = NO_SLOT;
        reason = reasonOf(error);
        return false;
    }
    return true;
}

// Rewrites an existing regular file. The space is claimed first, so that a
// full disk or the file size limit usually fails before any old byte is
// overwritten; the old content is cut to the new length only at the end.
int writeInPlace(int fd, const std::string& content) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) return errno;
    if (!S_ISREG(status.st_mode)) return writeAll(fd, content);
    const off_t length = static_cast<off_t>(content.size());
    if (length > status.st_size) {
        const int error = ::posix_fallocate(fd, 0, length);
        if (error != 0 && error != EOPNOTSUPP && error != EINVAL) {
            if (::ftruncate(fd, status.st_size) != 0) {}  // undo any growth; the data is untouched
            return error;
        }
    }
    const int error = writeAll(fd, content);
    if (error != 0) return error;
    return ::ftruncate(fd, length) == 0 ? 0 : errno;
}

// Opens and writes a device, a FIFO or a file written in place: without
// O_CREAT (it exists) and without O_TRUNC (the old content goes only once
// the new one is written).
bool writeDirectly(const Target& target, const std::string& content, std::string& reason) {
    int fd;
    do fd = ::open(target.path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        reason = reasonOf(errno);
        return false;
    }
    int error = target.way == Way::InPlace ? writeInPlace(fd, content) : writeAll(fd, content);
    const int closeError = closeChecked(fd);
    if (error == 0) error = closeError;
    if (error != 0) {
        reason = reasonOf(error);
        return false;
    }
    return true;
}

bool unsupportedExchange(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOENT;
}

// Puts the temporary file of a Replace target at its path. An existing file
// is exchanged with it, so that the old one stays under the temporary name
// until every output is in place; where the file system cannot exchange
// names, a plain rename replaces it for good.
bool putInPlace(Target& target, std::string& reason) {
    const char* temporary = temporaryNames[target.slot];
    if (target.existed) {
        if (::renameat2(AT_FDCWD, temporary, AT_FDCWD, target.path.c_str(), RENAME_EXCHANGE) == 0) {
            target.exchanged = true;
            return true;
        }
        if (!unsupportedExchange(errno)) {
            reason = reasonOf(errno);
            return false;
        }
    }
    if (::rename(temporary, target.path.c_str()) != 0) {
        reason = reasonOf(errno);
        return false;
    }
    temporaryInUse[target.slot] = 0;  // signals are held by the caller
    target.slot = NO_SLOT;
    target.renamed = true;
    return true;
}

// Gives a renamed output back what it had; false when it cannot.
bool takeBack(Target& target) {
    if (target.exchanged) {
        if (::renameat2(AT_FDCWD, temporaryNames[target.slot], AT_FDCWD, target.path.c_str(), RENAME_EXCHANGE) != 0)
            return false;
        target.exchanged = false;
        return true;  // the temporary name holds the new content again, to be removed
    }
    if (target.renamed && !target.existed) return ::unlink(target.path.c_str()) == 0;
    return !target.renamed;
}

// Removes whatever temporary files the targets still have, however the
// writing ended.
class TemporaryFiles {
public:
    explicit TemporaryFiles(std::vector<Target>& targets) : targets_(targets) {}
    ~TemporaryFiles() {
        for (Target& target : targets_)
            if (target.slot != NO_SLOT) removeTemporary(target.slot);
    }
    TemporaryFiles(const TemporaryFiles&) = delete;
    TemporaryFiles& operator=(const TemporaryFiles&) = delete;

private:
    std::vector<Target>& targets_;
};

}  // namespace

namespace {

// Reads fd to its end, or to one byte past limit (0: no limit), and closes it.
bool readOpenFile(int fd, std::string& content, std::string& reason, std::size_t limit) {
    char buffer[65536];
    while (limit == 0 || content.size() <= limit) {
        std::size_t wanted = sizeof buffer;
        if (limit != 0) wanted = std::min(wanted, limit + 1 - content.size());
        const ssize_t got = ::read(fd, buffer, wanted);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            reason = reasonOf(errno);
            ::close(fd);
            return false;
        }
        if (got == 0) break;
        content.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return true;
}

}  // namespace

bool readFile(const std::string& path, std::string& content, std::string& reason, std::size_t limit) {
    content.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        reason = reasonOf(errno);
        return false;
    }
    return readOpenFile(fd, content, reason, limit);
}

bool readRegularFile(const std::string& path, std::string& content, std::string& reason, std::size_t limit,
                     bool& notRegular) {
    content.clear();
    notRegular = false;
    // Opened without blocking, so that a FIFO or a device is not waited on
    // before fstat tells what it is.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        reason = reasonOf(errno);
        return false;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        notRegular = true;
        return false;
    }
    return readOpenFile(fd, content, reason, limit);
}

void prepareSignals() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, nullptr);
    ::sigaction(SIGPIPE, &ignore, nullptr);

    struct sigaction cleanup {};
    cleanup.sa_handler = removeTemporariesAndEnd;
    cleanup.sa_mask = cleanupSignalSet();  // one cleanup at a time
    for (int signal : CLEANUP_SIGNALS) {
        struct sigaction previous {};
        ::sigaction(signal, nullptr, &previous);
        if (previous.sa_handler == SIG_IGN) continue;  // as under nohup: the user wants it ignored
        ::sigaction(signal, &cleanup, nullptr);
    }
}

bool writeOutputs(const std::vector<OutputFile>& outputs, OutputFailure& failure) {
    std::vector<Target> targets(outputs.size());
    const TemporaryFiles temporaries(targets);
    const auto fail = [&failure](std::size_t index, std::string reason) {
        failure.index = index;
        failure.reason = std::move(reason);
        return false;
    };
    std::string reason;
    for (std::size_t i = 0; i < outputs.size(); ++i)
        if (!resolve(outputs[i].path, targets[i], reason)) return fail(i, reason);

    for (std::size_t i = 0; i < outputs.size(); ++i)
        if (targets[i].way == Way::Replace && !prepareTemporary(targets[i], outputs[i].content, reason))
            return fail(i, reason);

    // What cannot be taken back goes after everything that can still fail
    // on its own, and before any rename; the program's own descriptors,
    // such as standard output, last.
    for (std::size_t i = 0; i < outputs.size(); ++i)
        if ((targets[i].way == Way::InPlace || targets[i].way == Way::Direct) &&
            !writeDirectly(targets[i], outputs[i].content, reason))
            return fail(i, reason);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (targets[i].way != Way::Descriptor) continue;
        // Written where the descriptor stands: appended when it was opened
        // to append, at its position otherwise; neither moved nor closed.
        if (const int error = writeAll(targets[i].descriptor, outputs[i].content); error != 0)
            return fail(i, reasonOf(error));
    }

    // The renames, with the signals held: a signal in their midst would
    // leave some outputs new and some old.
    const CleanupSignalsHeld held;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (targets[i].way != Way::Replace || putInPlace(targets[i], reason)) continue;
        for (std::size_t j = i; j-- > 0;)
            if (targets[j].way == Way::Replace && !takeBack(targets[j])) failure.notRestored = outputs[j].path;
        return fail(i, reason);
    }
    return true;  // the old files, under the temporary names, go with them
}

namespace {

// The absolute name of a file yet to be made: its folder with every link
// resolved, and its own name. A folder that does not exist (the write will
// fail) is taken as written.
std::string newFileName(const std::string& path) {
    const std::string folder = folderOf(path);
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    char* real = ::realpath(folder.empty() ? "." : folder.c_str(), nullptr);
    if (real == nullptr) {
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(path, error);
        return error ? path : absolute.lexically_normal().string();
    }
    std::string result = real;
    std::free(real);
    if (result != "/") result += '/';
    return result + name;
}

// Where an output given as path will be written, as writeOutputs sees it.
struct Destination {
    bool resolved = false;  // false: writing it would fail anyway
    Target target;
    std::string newName;    // of a file yet to be made
};

Destination destinationOf(const std::string& path) {
    Destination destination;
    std::string reason;
    destination.resolved = resolve(path, destination.target, reason);
    if (destination.resolved && !destination.target.existed) destination.newName = newFileName(destination.target.path);
    return destination;
}

}  // namespace

bool sameFile(const std::string& a, const std::string& b) {
    const Destination first = destinationOf(a);
    const Destination second = destinationOf(b);
    if (!first.resolved || !second.resolved) return a == b;
    const Target& x = first.target;
    const Target& y = second.target;
    // One descriptor twice: two contents in one stream, unless it is a
    // device such as a terminal or /dev/null. Two descriptors are two
    // streams, even when they lead to one place: neither replaces the other.
    if (x.way == Way::Descriptor && y.way == Way::Descriptor)
        return x.descriptor == y.descriptor && !S_ISCHR(x.old.st_mode);
    if (!x.existed || !y.existed) return !x.existed && !y.existed && first.newName == second.newName;
    // Two existing files, or a file and a descriptor open on it (which the
    // new file would take from under the descriptor). Devices and FIFOs
    // take any number of writers.
    return S_ISREG(x.old.st_mode) && S_ISREG(y.old.st_mode) && x.old.st_dev == y.old.st_dev &&
           x.old.st_ino == y.old.st_ino;
}

}  // namespace tarn

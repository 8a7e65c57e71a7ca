#include "host/files.hpp"

#include "host/descriptors.hpp"
#include "host/system_reason.hpp"
#include "host/windows_system.hpp"

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <windows.h>

namespace tarn {

namespace {

using windows::Handle;
using windows::lastErrorReason;
using windows::widened;

// --- Handles and the temporary files a signal removes ------------------------

// The temporary files, and the old files kept aside during the renames,
// that exist at this moment, for the handler of Ctrl-C (which Windows runs
// in a thread of its own) to remove. The renames hold the lock, so the
// handler never removes what is being put in place.
constexpr std::size_t TEMPORARY_SLOTS = 16;
std::array<std::atomic<const wchar_t*>, TEMPORARY_SLOTS> temporaryNames{};
std::mutex renaming;

constexpr int CLEANUP_SIGNALS[] = {SIGINT, SIGTERM, SIGBREAK};

extern "C" void removeTemporariesAndEnd(int signal) {
    const std::lock_guard<std::mutex> held(renaming);
    for (std::atomic<const wchar_t*>& name : temporaryNames)
        if (const wchar_t* path = name.exchange(nullptr)) ::DeleteFileW(path);
    endBySignal(signal);
}

// Keeps a name in the table while it lives (when there is room: the
// outputs of one program are few).
class TemporaryName {
public:
    TemporaryName() = default;
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;
    ~TemporaryName() { forget(); }

    void hold(std::wstring path) {
        forget();
        path_ = std::move(path);
        for (std::size_t i = 0; i < TEMPORARY_SLOTS; ++i) {
            const wchar_t* expected = nullptr;
            if (temporaryNames[i].compare_exchange_strong(expected, path_.c_str())) {
                slot_ = i;
                return;
            }
        }
    }
    // Removes the file, if it is still there, and forgets its name.
    void remove() {
        if (!path_.empty()) ::DeleteFileW(path_.c_str());
        forget();
    }
    void forget() {
        if (slot_ < TEMPORARY_SLOTS) temporaryNames[slot_].store(nullptr);
        slot_ = TEMPORARY_SLOTS;
        path_.clear();
    }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
    std::size_t slot_ = TEMPORARY_SLOTS;
};

// --- Reading ------------------------------------------------------------------

bool isFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Opens a file to read it; a folder, which cannot be opened so, fails with
// the reason it has elsewhere.
HANDLE openToRead(const std::string& path, std::string& reason) {
    const std::wstring wide = widened(path);
    if (wide.empty()) {
        reason = path.empty() ? systemReason(ENOENT) : windows::errorReason(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        reason = isFolder(wide) ? systemReason(EISDIR) : windows::pathReason(path, ::GetLastError());
    return file;
}

// Reads to the end, or to one byte past limit (0: no limit).
bool readOpenFile(HANDLE file, std::string& content, std::string& reason, std::size_t limit) {
    static char buffer[65536];
    while (limit == 0 || content.size() <= limit) {
        std::size_t wanted = sizeof buffer;
        if (limit != 0) wanted = std::min(wanted, limit + 1 - content.size());
        DWORD got = 0;
        if (!::ReadFile(file, buffer, static_cast<DWORD>(wanted), &got, nullptr)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) break;  // the writer is done
            reason = windows::errorReason(error);
            return false;
        }
        if (got == 0) break;
        content.append(buffer, got);
    }
    return true;
}

// --- Where and how each output is written ------------------------------------

enum class Way {
    Replace,  // a regular file, or a new one: a temporary file renamed over it
    InPlace,  // a regular file in a folder that refuses the temporary file
    Direct,   // a device or a pipe, written as it is
};

struct Target {
    std::wstring path;
    Way way = Way::Replace;
    bool existed = false;
    DWORD attributes = 0;  // of the old file
    TemporaryName temporary;
    TemporaryName backup;  // the old file, kept aside while the others are renamed
};

// The folder that holds a path, with its separator, or "" for the current one.
std::wstring folderPart(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L"\\/:");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
}

std::string reparseReason() {
    return "è un collegamento simbolico o un punto di giunzione: non si segue e non si sostituisce";
}

// The last name of a path, after the folder's separator.
std::wstring lastName(const std::wstring& path) {
    return path.substr(folderPart(path).size());
}

// Whether the file open as file is known under another name than path's
// own: the name is then a link that the system followed all the same, as
// wine does with the host's symbolic links. Short names (8.3) are made long
// first, not to be taken for links.
bool namesAnother(HANDLE file, const std::wstring& path) {
    std::wstring full(32768, L'\0');
    DWORD length = ::GetFullPathNameW(path.c_str(), 32768, full.data(), nullptr);
    if (length == 0 || length >= 32768) return false;
    full.resize(length);
    std::wstring longer(32768, L'\0');
    length = ::GetLongPathNameW(full.c_str(), longer.data(), 32768);
    if (length > 0 && length < 32768) full.assign(longer.data(), length);
    std::wstring final(32768, L'\0');
    length = ::GetFinalPathNameByHandleW(file, final.data(), 32768, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= 32768) return false;
    final.resize(length);
    const std::wstring given = lastName(full);
    const std::wstring found = lastName(final);
    return given.size() <= INT_MAX && found.size() <= INT_MAX &&
           ::CompareStringOrdinal(given.c_str(), static_cast<int>(given.size()), found.c_str(),
                                  static_cast<int>(found.size()), TRUE) != CSTR_EQUAL;
}

bool resolve(const std::string& given, Target& target, std::string& reason) {
    target.path = widened(given);
    if (target.path.empty()) {
        reason = given.empty() ? systemReason(ENOENT) : windows::errorReason(ERROR_INVALID_NAME);
        return false;
    }
    // The name itself, not what a link leads to.
    const Handle file(::CreateFileW(target.path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) {
            reason = windows::errorReason(error);
            return false;
        }
        target.way = Way::Replace;  // a new file
        return true;
    }
    target.existed = true;
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
        target.way = Way::Direct;
        return true;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(file.get(), &information)) {
        reason = lastErrorReason();
        return false;
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        reason = reparseReason();
        return false;
    }
    // A folder before any link: named with its separator ("uni\\"), its
    // last name is empty, and namesAnother would take it for one.
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        reason = systemReason(EISDIR);
        return false;
    }
    if (namesAnother(file.get(), target.path)) {
        reason = reparseReason();
        return false;
    }
    target.attributes = information.dwFileAttributes;
    target.way = Way::Replace;
    return true;
}

bool writeHandle(HANDLE file, const std::string& content, std::string& reason) {
    std::size_t done = 0;
    while (done < content.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, content.data() + done, chunk, &written, nullptr)) {
            reason = lastErrorReason();
            return false;
        }
        if (written == 0) {
            reason = systemReason(EIO);
            return false;
        }
        done += written;
    }
    return true;
}

// A fresh name ".tarn-XXXXXX" in the folder of path.
std::wstring freshName(const std::wstring& path, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    std::uint64_t mixed = static_cast<std::uint64_t>(now.QuadPart) ^ (std::uint64_t{::GetCurrentProcessId()} << 32) ^
                          (std::uint64_t{counter++} * 0x9E3779B97F4A7C15u) ^ attempt;
    constexpr wchar_t LETTERS[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
    std::wstring name = folderPart(path) + L".tarn-";
    for (int i = 0; i < 6; ++i) {
        name += LETTERS[mixed % 36];
        mixed /= 36;
    }
    return name;
}

// Writes the content to a new temporary file in the output's folder. When
// the folder refuses it, an existing file is written in place instead.
bool prepareTemporary(Target& target, const std::string& content, std::string& reason) {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        std::wstring name = freshName(target.path, attempt);
        Handle file(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
            if (target.existed && error == ERROR_ACCESS_DENIED) {
                target.way = Way::InPlace;
                return true;
            }
            reason = windows::errorReason(error);
            return false;
        }
        target.temporary.hold(std::move(name));
        if (!writeHandle(file.get(), content, reason)) return false;
        if (!file.close()) {
            reason = lastErrorReason();
            return false;
        }
        return true;
    }
    reason = systemReason(EEXIST);
    return false;
}

bool writeDirectly(const Target& target, const std::string& content, std::string& reason) {
    const DWORD disposition = target.way == Way::InPlace ? TRUNCATE_EXISTING : OPEN_EXISTING;
    Handle file(::CreateFileW(target.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        reason = lastErrorReason();
        return false;
    }
    if (!writeHandle(file.get(), content, reason)) return false;
    if (!file.close()) {
        reason = lastErrorReason();
        return false;
    }
    return true;
}

// Puts the temporary file in the output's place; an old file is first
// moved aside under a fresh name, to be given back if a later output fails.
// (Two renames rather than ReplaceFileW: under wine, that one follows a
// host's symbolic link and moves its target away.) The new file keeps the
// old one's hidden and system marks; its permissions are its folder's, as
// for any new file.
bool putInPlace(Target& target, std::string& reason) {
    if (!target.existed) {
        // Not over a file that has appeared in the meantime.
        if (!::MoveFileExW(target.temporary.path().c_str(), target.path.c_str(), MOVEFILE_WRITE_THROUGH)) {
            reason = lastErrorReason();
            return false;
        }
        target.temporary.forget();
        return true;
    }
    constexpr DWORD KEPT = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if ((target.attributes & KEPT) != 0)
        ::SetFileAttributesW(target.temporary.path().c_str(), target.attributes & KEPT);
    std::wstring backup = freshName(target.path, 0);
    for (unsigned attempt = 1; attempt < 100 && ::GetFileAttributesW(backup.c_str()) != INVALID_FILE_ATTRIBUTES;
         ++attempt)
        backup = freshName(target.path, attempt);
    if (!::MoveFileExW(target.path.c_str(), backup.c_str(), MOVEFILE_WRITE_THROUGH)) {
        reason = lastErrorReason();
        return false;
    }
    target.backup.hold(backup);
    if (::MoveFileExW(target.temporary.path().c_str(), target.path.c_str(), MOVEFILE_WRITE_THROUGH)) {
        target.temporary.forget();
        return true;
    }
    reason = lastErrorReason();
    if (::MoveFileExW(backup.c_str(), target.path.c_str(), MOVEFILE_WRITE_THROUGH)) target.backup.forget();
    return false;
}

// Gives an output put in place its old file back.
bool takeBack(Target& target) {
    if (!target.existed) return ::DeleteFileW(target.path.c_str()) != 0;
    if (!::MoveFileExW(target.backup.path().c_str(), target.path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return false;
    target.backup.forget();
    return true;
}

// --- The identity of a file, for sameFile --------------------------------------

struct Identity {
    bool exists = false;
    bool disk = false;  // a file or a folder, not a device or a pipe
    DWORD volume = 0;
    std::uint64_t index = 0;
};

Identity identityOf(const std::wstring& path) {
    Identity identity;
    const Handle file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) return identity;
    identity.exists = true;
    identity.disk = ::GetFileType(file.get()) == FILE_TYPE_DISK;
    BY_HANDLE_FILE_INFORMATION information{};
    if (identity.disk && ::GetFileInformationByHandle(file.get(), &information)) {
        identity.volume = information.dwVolumeSerialNumber;
        identity.index = (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
    } else {
        identity.disk = false;
    }
    return identity;
}

// The full name of a file yet to be made: its folder's final path and its
// own name, as the system will make it (without the dots and spaces that
// end it: "a.csv." and "a.csv " are "a.csv").
std::wstring newFileName(const std::wstring& path) {
    std::wstring folder = folderPart(path);
    std::wstring name = path.substr(folder.size());
    wchar_t final[32768];
    const DWORD fullLength = ::GetFullPathNameW(path.c_str(), 32768, final, nullptr);
    if (fullLength > 0 && fullLength < 32768) name = lastName(std::wstring(final, fullLength));
    if (folder.empty()) folder = L".";
    const Handle handle(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (handle.valid()) {
        const DWORD length = ::GetFinalPathNameByHandleW(handle.get(), final, 32768, FILE_NAME_NORMALIZED);
        if (length > 0 && length < 32768) return std::wstring(final, length) + L"\\" + name;
    }
    const DWORD length = ::GetFullPathNameW(path.c_str(), 32768, final, nullptr);
    return length > 0 && length < 32768 ? std::wstring(final, length) : path;
}

}  // namespace

bool readFile(const std::string& path, std::string& content, std::string& reason, std::size_t limit) {
    content.clear();
    Handle file(openToRead(path, reason));
    return file.valid() && readOpenFile(file.get(), content, reason, limit);
}

bool readRegularFile(const std::string& path, std::string& content, std::string& reason, std::size_t limit,
                     bool& notRegular) {
    content.clear();
    notRegular = false;
    if (isFolder(widened(path))) {
        notRegular = true;
        return false;
    }
    Handle file(openToRead(path, reason));
    if (!file.valid()) return false;
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
        notRegular = true;
        return false;
    }
    return readOpenFile(file.get(), content, reason, limit);
}

void prepareSignals() {
    for (int signal : CLEANUP_SIGNALS) {
        const auto previous = std::signal(signal, removeTemporariesAndEnd);
        if (previous == SIG_IGN) std::signal(signal, SIG_IGN);  // the user wants it ignored
    }
}

bool writeOutputs(const std::vector<OutputFile>& outputs, OutputFailure& failure) {
    std::vector<Target> targets(outputs.size());
    const auto fail = [&](std::size_t index, std::string reason) {
        failure.index = index;
        failure.reason = std::move(reason);
        for (Target& target : targets) target.temporary.remove();
        return false;
    };
    std::string reason;
    for (std::size_t i = 0; i < outputs.size(); ++i)
        if (!resolve(outputs[i].path, targets[i], reason)) return fail(i, reason);
    for (std::size_t i = 0; i < outputs.size(); ++i)
        if (targets[i].way == Way::Replace && !prepareTemporary(targets[i], outputs[i].content, reason))
            return fail(i, reason);

    // What cannot be taken back goes after everything that can still fail
    // on its own, and before any rename.
    for (std::size_t i = 0; i < outputs.size(); ++i)
        if (targets[i].way != Way::Replace && !writeDirectly(targets[i], outputs[i].content, reason))
            return fail(i, reason);

    // The renames, with Ctrl-C held back: it would leave some outputs new
    // and some old.
    const std::lock_guard<std::mutex> held(renaming);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (targets[i].way != Way::Replace || putInPlace(targets[i], reason)) continue;
        for (std::size_t j = i; j-- > 0;)
            if (targets[j].way == Way::Replace && !takeBack(targets[j])) failure.notRestored = outputs[j].path;
        return fail(i, reason);
    }
    for (Target& target : targets) target.backup.remove();  // the old files
    return true;
}

bool sameFile(const std::string& a, const std::string& b) {
    const std::wstring first = widened(a);
    const std::wstring second = widened(b);
    if (first.empty() || second.empty()) return a == b;
    const Identity x = identityOf(first);
    const Identity y = identityOf(second);
    // Devices and pipes take any number of writers.
    if (x.exists && y.exists) return x.disk && y.disk && x.volume == y.volume && x.index == y.index;
    if (x.exists || y.exists) return false;
    // Two new files: one when their folders and names are one, whatever
    // their case, as the file system takes them.
    const std::wstring one = newFileName(first);
    const std::wstring other = newFileName(second);
    return one.size() <= INT_MAX && other.size() <= INT_MAX &&
           ::CompareStringOrdinal(one.c_str(), static_cast<int>(one.size()), other.c_str(),
                                  static_cast<int>(other.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace tarn

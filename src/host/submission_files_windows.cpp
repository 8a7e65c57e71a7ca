#include "host/submission_files.hpp"

#include "host/system_reason.hpp"
#include "host/windows_system.hpp"

#include <algorithm>
#include <cerrno>
#include <windows.h>

namespace tarn::grading::files {

const std::string_view SEPARATORS = "\\/";

namespace {

using windows::Handle;
using windows::lastErrorReason;
using windows::widened;

// Opens what a path leads to, links followed, to look at it; a folder too.
HANDLE openToLook(const std::string& path) {
    const std::wstring wide = widened(path);
    if (wide.empty()) {
        ::SetLastError(path.empty() ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    return ::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool within(const std::string& path, const std::string& folder) {
    if (folder.empty() || !path.starts_with(folder)) return false;
    return path.size() == folder.size() || folder.back() == '/' || path[folder.size()] == '/';
}

}  // namespace

bool kindOf(const std::string& path, Kind& kind, std::string& reason) {
    const Handle file(openToLook(path));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!file.valid()) {
        reason = windows::pathReason(path, ::GetLastError());
        return false;
    }
    if (::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file.get(), &information))
        kind = Kind::Other;
    else
        kind = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Kind::Folder : Kind::Regular;
    return true;
}

bool identityOf(const std::string& path, Identity& identity) {
    const Handle file(openToLook(path));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!file.valid() || ::GetFileType(file.get()) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandle(file.get(), &information))
        return false;
    identity = {information.dwVolumeSerialNumber,
                (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
    return true;
}

// The final path, with "/" between its folders, as the other hosts write it.
std::string resolved(const std::string& path) {
    const Handle file(openToLook(path));
    if (!file.valid()) return {};
    std::wstring final(32768, L'\0');
    const DWORD length = ::GetFinalPathNameByHandleW(file.get(), final.data(), 32768, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= 32768) return {};
    final.resize(length);
    if (final.starts_with(L"\\\\?\\UNC\\")) final = L"\\\\" + final.substr(8);
    else if (final.starts_with(L"\\\\?\\")) final.erase(0, 4);
    std::string result = windows::narrowed(final);
    std::replace(result.begin(), result.end(), '\\', '/');
    return result;
}

bool nameExists(const std::string& path) {
    const std::wstring wide = widened(path);
    return !wide.empty() && ::GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool readImage(const std::string& path, unsigned char* buffer, std::size_t limit, std::size_t& got,
               std::uint64_t& stated, bool& notRegular, std::string& reason) {
    got = 0;
    stated = 0;
    notRegular = false;
    const std::wstring wide = widened(path);
    const Handle file(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) {
        reason = windows::pathReason(path, ::GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file.get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        notRegular = true;
        return false;
    }
    while (got < limit) {
        DWORD count = 0;
        if (!::ReadFile(file.get(), buffer + got, static_cast<DWORD>(limit - got), &count, nullptr)) {
            reason = lastErrorReason();
            return false;
        }
        if (count == 0) break;
        got += count;
    }
    stated = (std::uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
    return true;
}

struct FolderEntries::State {
    std::string folder;
    HANDLE search = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW found{};
    bool pending = false;  // found holds an entry not yet given
    DWORD error = 0;
};

FolderEntries::FolderEntries(const std::string& folder) : state_(new State) {
    state_->folder = folder;
    std::wstring pattern = widened(folder);
    if (pattern.empty()) {
        state_->error = folder.empty() ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_NAME;
        return;
    }
    if (pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
    pattern += L'*';
    state_->search = ::FindFirstFileW(pattern.c_str(), &state_->found);
    if (state_->search == INVALID_HANDLE_VALUE) state_->error = ::GetLastError();
    else state_->pending = true;
}

FolderEntries::~FolderEntries() {
    if (state_->search != INVALID_HANDLE_VALUE) ::FindClose(state_->search);
}

bool FolderEntries::opened(std::string& reason) const {
    if (state_->search != INVALID_HANDLE_VALUE) return true;
    reason = windows::pathReason(state_->folder, state_->error);
    return false;
}

bool FolderEntries::next(std::string& name, bool& mayBeFolder, std::string& reason) {
    reason.clear();
    if (!state_->pending) {
        if (!::FindNextFileW(state_->search, &state_->found)) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_NO_MORE_FILES) reason = windows::errorReason(error);
            return false;
        }
    }
    state_->pending = false;
    name = windows::narrowed(state_->found.cFileName);
    if (name.empty()) name = ".?";  // a name the code page cannot spell: not a candidate
    mayBeFolder = (state_->found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0;
    return true;
}

Entry FolderEntries::classify(const std::string& name, const std::string& realFolder) {
    std::string path = state_->folder;
    if (path.empty() || SEPARATORS.find(path.back()) == std::string_view::npos) path += '/';
    path += name;
    const std::wstring wide = widened(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Entry::Other;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        const std::string target = resolved(path);
        if (target.empty()) return Entry::Other;
        if (!within(target, realFolder)) return Entry::LeadsOut;
        Kind kind = Kind::Other;
        std::string reason;
        return kindOf(target, kind, reason) && kind == Kind::Regular ? Entry::Program : Entry::Other;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Entry::Other : Entry::Program;
}

bool FolderEntries::isFolder(const std::string& name) {
    std::string path = state_->folder;
    if (path.empty() || SEPARATORS.find(path.back()) == std::string_view::npos) path += '/';
    path += name;
    const DWORD attributes = ::GetFileAttributesW(widened(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

}  // namespace tarn::grading::files

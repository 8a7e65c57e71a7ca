#include "host/submission_files.hpp"

#include "host/system_reason.hpp"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarn::grading::files {

const std::string_view SEPARATORS = "/";

namespace {

// Whether a resolved path is the resolved folder or lies inside it.
bool within(const std::string& path, const std::string& folder) {
    if (folder.empty() || !path.starts_with(folder)) return false;
    return path.size() == folder.size() || folder == "/" || path[folder.size()] == '/';
}

}  // namespace

bool kindOf(const std::string& path, Kind& kind, std::string& reason) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        reason = systemReason(errno);
        return false;
    }
    kind = S_ISDIR(status.st_mode) ? Kind::Folder : S_ISREG(status.st_mode) ? Kind::Regular : Kind::Other;
    return true;
}

bool identityOf(const std::string& path, Identity& identity) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return false;
    identity = {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
    return true;
}

std::string resolved(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) return {};
    std::string result = real;
    std::free(real);
    return result;
}

bool nameExists(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

bool readImage(const std::string& path, unsigned char* buffer, std::size_t limit, std::size_t& got,
               std::uint64_t& stated, bool& notRegular, std::string& reason) {
    got = 0;
    stated = 0;
    notRegular = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        reason = systemReason(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        notRegular = true;
        return false;
    }
    while (got < limit) {
        const ssize_t count = ::read(fd, buffer + got, limit - got);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) {
            reason = systemReason(errno);
            ::close(fd);
            return false;
        }
        if (count == 0) break;
        got += static_cast<std::size_t>(count);
    }
    ::close(fd);
    stated = status.st_size > 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
    return true;
}

struct FolderEntries::State {
    std::string folder;
    DIR* directory = nullptr;
    int error = 0;
};

FolderEntries::FolderEntries(const std::string& folder) : state_(new State) {
    state_->folder = folder;
    state_->directory = ::opendir(folder.c_str());
    if (state_->directory == nullptr) state_->error = errno;
}

FolderEntries::~FolderEntries() {
    if (state_->directory != nullptr) ::closedir(state_->directory);
}

bool FolderEntries::opened(std::string& reason) const {
    if (state_->directory != nullptr) return true;
    reason = systemReason(state_->error);
    return false;
}

bool FolderEntries::next(std::string& name, bool& mayBeFolder, std::string& reason) {
    reason.clear();
    errno = 0;
    const dirent* entry = ::readdir(state_->directory);
    if (entry == nullptr) {
        if (errno != 0) reason = systemReason(errno);
        return false;
    }
    name = entry->d_name;
    mayBeFolder = entry->d_type == DT_DIR || entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN;
    return true;
}

Entry FolderEntries::classify(const std::string& name, const std::string& realFolder) {
    struct stat status {};
    if (::fstatat(::dirfd(state_->directory), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return Entry::Other;
    if (S_ISREG(status.st_mode)) return Entry::Program;
    if (!S_ISLNK(status.st_mode)) return Entry::Other;
    std::string path = state_->folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path.empty() || path.back() != '/') path += '/';
    const std::string target = resolved(path + name);
    if (target.empty()) return Entry::Other;
    if (!within(target, realFolder)) return Entry::LeadsOut;
    if (::stat(target.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return Entry::Other;
    return Entry::Program;
}

bool FolderEntries::isFolder(const std::string& name) {
    struct stat status {};
    return ::fstatat(::dirfd(state_->directory), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISDIR(status.st_mode);
}

}  // namespace tarn::grading::files

#include "tools/tool_files.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarn {

namespace {

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

bool readFile(const std::string& path, std::string& content, std::string& reason, std::size_t limit) {
    content.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    char buffer[65536];
    while (limit == 0 || content.size() <= limit) {
        std::size_t wanted = sizeof buffer;
        if (limit != 0) wanted = std::min(wanted, limit + 1 - content.size());
        const ssize_t got = ::read(fd, buffer, wanted);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            reason = std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (got == 0) break;
        content.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return true;
}

bool writeFileAtomically(const std::string& path, const std::string& content, std::string& reason) {
    std::string pattern = path + ".tmp-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    // mkstemp makes the file private; give it the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool ok = ::fchmod(fd, 0666 & ~mask) == 0 && writeAll(fd, content.data(), content.size());
    if (!ok) reason = std::strerror(errno);
    if (::close(fd) != 0 && ok) {
        ok = false;
        reason = std::strerror(errno);
    }
    if (ok && ::rename(name.data(), path.c_str()) != 0) {
        ok = false;
        reason = std::strerror(errno);
    }
    if (!ok) ::unlink(name.data());
    return ok;
}

void printError(const std::string& line) {
    const std::string text = line + "\n";
    writeAll(STDERR_FILENO, text.data(), text.size());
}

}  // namespace tarn

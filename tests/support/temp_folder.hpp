// Where tests put the files they make: one folder for the whole test
// process, removed with everything in it however the process ends.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

namespace tarntest {

// This process's folder, tarnsim-test-PID in $TMPDIR (or /tmp), made on first
// use. It is removed when the process exits, and when a signal ends it (a
// crash, an abort, Ctrl-C), as long as a handler can still run. Processes
// forked from this one leave it alone.
const std::filesystem::path& processFolder();

// A new empty folder inside processFolder(), its name starting with prefix.
std::string freshFolder(std::string_view prefix);

// A fresh folder of one test's own, removed with everything in it at the end.
class ScratchFolder {
public:
    explicit ScratchFolder(std::string_view prefix);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Writes a file (its folders made as needed); its path.
    std::filesystem::path put(const std::string& name, std::string_view content) const;
    // Removes everything in the folder but the names kept.
    void clear(std::initializer_list<std::string_view> kept = {}) const;
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A file's whole content, "" when it cannot be read.
std::string fileContent(const std::filesystem::path& path);

}  // namespace tarntest

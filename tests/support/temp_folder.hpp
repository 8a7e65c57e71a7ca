// Where tests put the files they make: one folder for the whole test
// process, removed with everything in it however the process ends.
#pragma once

#include <filesystem>
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

}  // namespace tarntest

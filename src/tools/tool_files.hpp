// Reading and writing the files of the tools, with the system's reason when
// something fails.
#pragma once

#include <cstddef>
#include <string>

namespace tarn {

// Reads at most limit bytes of a file (all of it when limit is 0) into
// content; with a limit, one byte more is read so the caller can tell that
// the file is longer. False, with the reason, when it cannot be read.
bool readFile(const std::string& path, std::string& content, std::string& reason, std::size_t limit = 0);

// Writes content to path through a temporary file in the same folder that is
// renamed over path only once it is complete: on any failure path keeps its
// old content (or stays absent). False, with the reason, on failure.
bool writeFileAtomically(const std::string& path, const std::string& content, std::string& reason);

// Writes a line to standard error in one piece.
void printError(const std::string& line);

}  // namespace tarn

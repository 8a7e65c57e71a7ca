// Reading and writing the files of the tools, with the system's reason (in
// Italian) when something fails.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarn {

// Reads at most limit bytes of a file (all of it when limit is 0) into
// content; with a limit, one byte more is read so the caller can tell that
// the file is longer. False, with the reason, when it cannot be read.
bool readFile(const std::string& path, std::string& content, std::string& reason, std::size_t limit = 0);

// The same for a file that must be a regular one: anything else (a FIFO, a
// device, a folder) is refused, with notRegular set, without being waited on.
bool readRegularFile(const std::string& path, std::string& content, std::string& reason, std::size_t limit,
                     bool& notRegular);

// Sets up the signals of a program that writes files: SIGINT, SIGTERM and
// SIGHUP (unless they were ignored when it started) remove the temporary
// files of writeOutputs, then end the program as they would have; SIGXFSZ
// and SIGPIPE are ignored, so that a write past the file size limit or to a
// reader that went away fails with EFBIG or EPIPE instead.
void prepareSignals();

// Whether two outputs would be written to the same file, judged by what
// each path leads to, as writeOutputs follows it, and not by its spelling:
// an existing file by its device and inode, a new one by its folder (links
// resolved) and its name, a symbolic link by its final target, an open
// descriptor (/dev/stdout, /dev/fd/N) by its number or by the file it is
// open on. Two names of one device or FIFO are not the same file (both
// outputs to /dev/null, say), nor is one descriptor open on a terminal or
// another device; one descriptor otherwise is.
bool sameFile(const std::string& a, const std::string& b);

// One file a program writes.
struct OutputFile {
    std::string path;
    std::string content;
};

// Which output could not be written, and why.
struct OutputFailure {
    std::size_t index = 0;
    std::string reason;
    // Not empty in the rare case that an output already put in place could
    // not be given back its old content: the path of that output.
    std::string notRestored;
};

// Writes every output, or leaves every one as it was.
//
// A symbolic link is followed to its target (a dangling one gets its target
// created). A regular file, or a new one, is written to a temporary file in
// its folder (a short name, ".tarn-XXXXXX"), which takes the old file's
// mode and owner and is renamed over it; when the folder refuses the
// temporary file, or the owner cannot be kept, an existing file is written
// in place. A device or a FIFO is written directly. A folder is an error.
// A path that names one of the program's open descriptors (/dev/stdin,
// /dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N), given or reached
// by a link, is written through that descriptor: appended when it was
// opened to append, at its position otherwise; one not open for writing is
// an error.
//
// Every temporary file is complete before anything else happens; then
// devices, FIFOs and files written in place get their content, and then
// descriptors; then the temporary files are renamed, and if one rename
// fails the outputs already renamed get their old files back. False, with
// the failure, when any output cannot be written.
bool writeOutputs(const std::vector<OutputFile>& outputs, OutputFailure& failure);

// Writes text to standard output in full, waiting when it is non-blocking
// and full. False, with the reason, when a write fails.
bool writeStandardOutput(std::string_view text, std::string& reason);

// Writes text to standard output; a failed write is reported as program's
// error. The exit status: 0, or 2 after a failure.
int printStandardOutput(std::string_view program, std::string_view text);

// The main of a tool: stands in for closed standard streams, prepares the
// signals, and runs body; running out of memory or any other exception
// becomes one line on standard error and exit status 2.
int runTool(std::string_view program, int (*body)(int, char**), int argc, char** argv);

// Writes a line to standard error in one piece, without allocating; while a
// HeldErrors lives, keeps it there instead.
void printError(std::string_view line);

// While one lives, the lines given to printError are kept in it, not
// written: for a program whose reader takes every message from standard
// output (tarngrade --coderunner). One at a time, on the main thread; a line
// that memory cannot hold is lost.
class HeldErrors {
public:
    HeldErrors();
    ~HeldErrors();
    HeldErrors(const HeldErrors&) = delete;
    HeldErrors& operator=(const HeldErrors&) = delete;

    const std::vector<std::string>& lines() const { return lines_; }

private:
    std::vector<std::string> lines_;
    std::vector<std::string>* before_;
};

}  // namespace tarn

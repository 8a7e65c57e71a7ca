// Hostile images, input and output: the specified output or one clear line
// on standard error, never a crash, a hang or a signal.
#include "support/process.hpp"

#include <gtest/gtest.h>

#include <random>
#include <sys/stat.h>
#include <unistd.h>

using tarntest::bytes;
using tarntest::ProcessOptions;
using tarntest::ProcessResult;
using tarntest::runProcess;
using tarntest::SHUTDOWN;
using tarntest::writeTempFile;

namespace {

ProcessResult run(const std::string& path, ProcessOptions options = {}) {
    return runProcess({TARNSIM_BINARY, path}, options);
}

// The output of a whole run that printed `printed`.
void expectRun(const ProcessResult& result, const std::string& path, const std::string& printed) {
    EXPECT_EQ(0, result.signal);
    const std::string start = " Caricamento del programma (" + path +
                              ") da eseguire... \n" + tarntest::RUN_STARTED;
    const std::size_t at = result.out.find(start);
    ASSERT_NE(std::string::npos, at) << result.out;
    EXPECT_EQ(printed + SHUTDOWN, result.out.substr(at + start.size()));
}

}  // namespace

TEST(HostileImage, OversizedOrEndlessImagesLoadTheirFirst256Bytes) {
    std::string huge(1 << 20, '\x47');  // a megabyte: WRT 3, RST, "ok", then WRTs
    huge.replace(0, 6, bytes({0x47, 0x03, 0x00, 'o', 'k', 0x00}));
    const std::string path = writeTempFile("huge.bin", huge);
    ProcessResult result = run(path);
    expectRun(result, path, "ok");
    EXPECT_EQ("tarnsim: il programma '" + path + "' supera i 256 byte: caricati solo i primi 256\n", result.err);
    EXPECT_EQ(0, result.exitStatus);

    result = run("/dev/zero");
    expectRun(result, "/dev/zero", "");
    EXPECT_EQ("tarnsim: il programma '/dev/zero' supera i 256 byte: caricati solo i primi 256\n", result.err);
    EXPECT_EQ(0, result.exitStatus);
}

TEST(HostileImage, UnreadableImagesRunAnEmptyMachine) {
    struct Case {
        std::string path, message;
    };
    std::vector<Case> cases = {
        {"/tmp", "impossibile leggere il programma '/tmp': Is a directory"},
        {"/proc/self/mem", "impossibile leggere il programma '/proc/self/mem': Input/output error"},
        {"/nonexistent/dir/x.bin", "impossibile aprire il programma '/nonexistent/dir/x.bin': No such file or directory"},
    };
    if (::geteuid() != 0) {  // root reads whatever the permissions say
        const std::string locked = writeTempFile("locked.bin", bytes({0x47, 0x03, 0x00, 'x', 0x00}));
        ::chmod(locked.c_str(), 0);
        cases.push_back({locked, "impossibile aprire il programma '" + locked + "': Permission denied"});
    }
    for (const Case& c : cases) {
        const ProcessResult result = run(c.path);
        expectRun(result, c.path, "");
        EXPECT_EQ("tarnsim: " + c.message + "\n", result.err);
        EXPECT_EQ(0, result.exitStatus);
    }
}

TEST(HostileInput, BinaryBytesAndClosedInputAreJustInput) {
    // Thirty rounds of INP 200, WRT 200, then RST; words stay short, so they
    // never reach the registers.
    std::string image;
    for (int i = 0; i < 30; ++i) image += bytes({0x46, 200, 0x47, 200});
    const std::string path = writeTempFile("echo.bin", image);

    std::mt19937 random(7);
    std::string noise;
    for (int i = 0; i < 4000; ++i) noise += static_cast<char>(i % 37 == 0 ? ' ' : static_cast<char>(random()));
    ProcessOptions options;
    options.input = noise;
    ProcessResult result = run(path, options);
    EXPECT_EQ(0, result.exitStatus);
    EXPECT_EQ(0, result.signal);
    EXPECT_EQ("", result.err);

    ProcessOptions closed;
    closed.closeInput = true;
    result = run(path, closed);
    expectRun(result, path, "");
    EXPECT_EQ("", result.err);
    EXPECT_EQ(0, result.exitStatus);
}

TEST(HostileOutput, FailedWritesAreReportedOnceAndFailTheRun) {
    const std::string path = writeTempFile("print.bin", bytes({0x47, 0x03, 0x00, 'x', 0x00}));
    ProcessOptions full;
    full.outputPath = "/dev/full";
    ProcessResult result = run(path, full);
    EXPECT_EQ("tarnsim: impossibile scrivere sullo standard output: No space left on device\n", result.err);
    EXPECT_EQ(1, result.exitStatus);
    EXPECT_EQ(0, result.signal);

    ProcessOptions closed;
    closed.closeOutput = true;
    result = run(path, closed);
    EXPECT_EQ("tarnsim: impossibile scrivere sullo standard output: Bad file descriptor\n", result.err);
    EXPECT_EQ(1, result.exitStatus);
    EXPECT_EQ(0, result.signal);
}

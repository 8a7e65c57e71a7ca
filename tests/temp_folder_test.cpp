// The tests' own files: a test process's folder goes away however the
// process ends, and only the process that made it removes it.
#include "support/process.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <ostream>

namespace {

using tarntest::runProcess;

struct Ending {
    const char* how;
    int signal;  // 0: it exits
};

void PrintTo(const Ending& ending, std::ostream* out) { *out << ending.how; }

class TempFolderEnding : public testing::TestWithParam<Ending> {};

TEST_P(TempFolderEnding, LeavesNothingBehind) {
    const Ending ending = GetParam();
    const std::string tmpdir = tarntest::freshFolder("probe");
    const auto result = runProcess({TEMP_FOLDER_PROBE, tmpdir, ending.how});

    const std::string folder = result.out.substr(0, result.out.find('\n'));
    ASSERT_EQ(folder.rfind(tmpdir + "/tarnsim-test-", 0), 0u) << result.out << result.err;
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_TRUE(std::filesystem::is_empty(tmpdir));
    if (ending.signal == 0) {
        EXPECT_EQ(result.exitStatus, 0) << result.err;
    } else if (ending.signal == SIGSEGV) {
        // Under AddressSanitizer the fault ends in its report and exit status 1.
        EXPECT_TRUE(result.signal == SIGSEGV || result.exitStatus > 0) << result.err;
    } else {
        EXPECT_EQ(result.signal, ending.signal) << result.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Endings, TempFolderEnding,
                         testing::Values(Ending{"exit", 0}, Ending{"throw", SIGABRT}, Ending{"abort", SIGABRT},
                                         Ending{"fault", SIGSEGV}, Ending{"overflow", SIGSEGV},
                                         Ending{"terminate", SIGTERM}, Ending{"interrupt", SIGINT}),
                         [](const testing::TestParamInfo<Ending>& info) { return std::string(info.param.how); });

TEST(TempFolder, IsNotRemovedByAForkedChildThatExits) {
    const std::string tmpdir = tarntest::freshFolder("probe");
    const auto result = runProcess({TEMP_FOLDER_PROBE, tmpdir, "fork"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_NE(result.out.find("\nkept\n"), std::string::npos) << result.out;
    EXPECT_TRUE(std::filesystem::is_empty(tmpdir));
}

TEST(TempFolder, FreshFoldersAreEmptyAndDistinct) {
    const std::string first = tarntest::freshFolder("uno");
    const std::string second = tarntest::freshFolder("uno");
    EXPECT_NE(first, second);
    EXPECT_EQ(std::filesystem::path(first).parent_path(), tarntest::processFolder());
    EXPECT_TRUE(std::filesystem::is_empty(first));
}

}  // namespace

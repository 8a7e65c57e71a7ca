// The check of the debugger fuzz target on its seed corpus and on every
// input that ever broke it: part of every test run.
#include "fuzz/debug_checks.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

TEST(DebuggerFuzzReplay, SeedsAndRegressions) {
    int inputs = 0;
    for (const char* folder : {"corpus-tarndbg", "regressions-tarndbg"}) {
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(FUZZ_DIR) / folder)) {
            if (!entry.is_regular_file() || entry.path().filename().string().front() == '.') continue;
            std::ifstream file(entry.path(), std::ios::binary);
            const std::string data{std::istreambuf_iterator<char>(file), {}};
            EXPECT_EQ("", tarnfuzz::checkSession(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()))
                << entry.path();
            ++inputs;
        }
    }
    EXPECT_GT(inputs, 10);
}

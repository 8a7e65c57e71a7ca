// The fuzz target's checks on its seed corpus, on every input that ever broke
// them, and on many generated programs: part of every test run.
#include "fuzz/checked_run.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace {

std::string checkFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    const std::string data{std::istreambuf_iterator<char>(file), {}};
    return tarnfuzz::checkedRun(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
}

}  // namespace

TEST(FuzzReplay, SeedsAndRegressionsKeepEveryInvariant) {
    int count = 0;
    for (const char* folder : {"corpus", "regressions"}) {
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(FUZZ_DIR) / folder)) {
            if (!entry.is_regular_file() || entry.path().filename().string().front() == '.') continue;
            EXPECT_EQ("", checkFile(entry.path())) << entry.path();
            ++count;
        }
    }
    EXPECT_GT(count, 5);
}

TEST(FuzzReplay, GeneratedProgramsKeepEveryInvariant) {
    // Random images biased toward real opcodes and small addresses, with input.
    std::mt19937 random(20261208);
    const std::uint8_t opcodes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 64, 65, 66, 67,
                                    68, 69, 70, 71, 72, 73, 74, 128, 129, 130, 131, 132, 133, 134};
    for (int run = 0; run < 3000; ++run) {
        const auto length = static_cast<unsigned>(random() % 257);
        std::vector<std::uint8_t> data{static_cast<std::uint8_t>(length & 0xFF), static_cast<std::uint8_t>(length >> 8)};
        for (unsigned i = 0; i < length; ++i) {
            const auto pick = random() % 4;
            data.push_back(pick == 0   ? opcodes[random() % std::size(opcodes)]
                           : pick == 1 ? static_cast<std::uint8_t>(random() % 32)
                                       : static_cast<std::uint8_t>(random()));
        }
        const auto inputLength = static_cast<unsigned>(random() % 64);
        for (unsigned i = 0; i < inputLength; ++i)
            data.push_back(static_cast<std::uint8_t>(random() % 3 == 0 ? ' ' : 'a' + random() % 26));
        ASSERT_EQ("", tarnfuzz::checkedRun(data.data(), data.size(), 2000)) << "run " << run;
    }
}

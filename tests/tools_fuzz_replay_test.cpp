// The checks of the tarnasm and tarndis fuzz targets on their seed corpora,
// on every input that ever broke them, and on sources mutated from the
// corpus: part of every test run, so that a fixed finding stays fixed.
#include "fuzz/tool_checks.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using Check = std::string (*)(const std::uint8_t*, std::size_t);

std::string contentOf(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

std::string run(Check check, const std::string& data) {
    return check(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
}

// Every file of a target's corpus and regressions folders, dot files left out.
std::vector<std::filesystem::path> inputsOf(const std::string& tool) {
    std::vector<std::filesystem::path> paths;
    for (const std::string& folder : {"corpus-" + tool, "regressions-" + tool})
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(FUZZ_DIR) / folder))
            if (entry.is_regular_file() && entry.path().filename().string().front() != '.')
                paths.push_back(entry.path());
    return paths;
}

}  // namespace

TEST(ToolsFuzzReplay, AssemblerSeedsAndRegressions) {
    const std::vector<std::filesystem::path> paths = inputsOf("tarnasm");
    for (const auto& path : paths) EXPECT_EQ("", run(tarnfuzz::checkAssembly, contentOf(path))) << path;
    EXPECT_GT(paths.size(), 25u);
}

TEST(ToolsFuzzReplay, DisassemblerSeedsAndRegressions) {
    const std::vector<std::filesystem::path> paths = inputsOf("tarndis");
    for (const auto& path : paths) EXPECT_EQ("", run(tarnfuzz::checkDisassembly, contentOf(path))) << path;
    EXPECT_GT(paths.size(), 15u);
}

TEST(ToolsFuzzReplay, AssemblerSourcesMutatedFromTheCorpus) {
    // Pieces that make the assembler take its other paths: directives,
    // literals, separators, line ends, bytes that are no text.
    static const std::string PIECES[] = {"DB ", "ORG ", "VAL ", "WRT ", "JMP ", "RST", ":", ",", "'", "\"", "\\",
                                         "\\x", ";", "\n", "\r\n", "\t", "+", "-", "0x", "0b", "255", "256",
                                         "99999999999999999999", "x:", "x", std::string(1, '\0'), "\xFF", "\xC3\xA8"};
    std::mt19937 random(20261209);
    const auto below = [&random](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    int runs = 0;
    for (const auto& path : inputsOf("tarnasm")) {
        const std::string original = contentOf(path);
        if (original.empty() || original.size() > 8192) continue;
        for (int round = 0; round < 30; ++round) {
            std::string source = original;
            for (std::size_t edits = 1 + below(4); edits > 0; --edits) {
                const std::size_t at = below(source.size() + 1);
                switch (below(4)) {
                    case 0: source.insert(at, PIECES[below(std::size(PIECES))]); break;
                    case 1: source.erase(at, below(8)); break;
                    case 2:
                        if (at < source.size()) source[at] = static_cast<char>(random());
                        break;
                    default: {  // a line again, somewhere else
                        const std::size_t start = source.rfind('\n', at == 0 ? 0 : at - 1);
                        const std::size_t from = start == std::string::npos ? 0 : start + 1;
                        const std::string line = source.substr(from, source.find('\n', from) - from) + "\n";
                        source.insert(below(source.size() + 1), line);
                    }
                }
            }
            ASSERT_EQ("", run(tarnfuzz::checkAssembly, source)) << path << " round " << round << ":\n" << source;
            ++runs;
        }
    }
    EXPECT_GT(runs, 500);
}

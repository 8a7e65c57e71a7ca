// The checks of the tarngrade fuzz target on its seed corpus, on every input
// that ever broke it, and on exercise files mutated from the corpus: part of
// every test run, so that a fixed finding stays fixed.
#include "fuzz/grade_checks.hpp"

#include "grading/exercise.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

std::string contentOf(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

std::string check(const std::string& data) {
    return tarnfuzz::checkGrading(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
}

// Every file of the corpus and regressions folders, dot files left out.
std::vector<std::filesystem::path> inputs() {
    std::vector<std::filesystem::path> paths;
    for (const char* folder : {"corpus-tarngrade", "regressions-tarngrade"})
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(FUZZ_DIR) / folder))
            if (entry.is_regular_file() && entry.path().filename().string().front() != '.')
                paths.push_back(entry.path());
    return paths;
}

}  // namespace

TEST(GradeFuzzReplay, SeedsAndRegressions) {
    const std::vector<std::filesystem::path> paths = inputs();
    std::size_t exercises = 0;
    for (const auto& path : paths) {
        const std::string data = contentOf(path);
        EXPECT_EQ("", check(data)) << path;
        if (!data.empty() && (static_cast<unsigned char>(data[0]) & 1) == 0) ++exercises;
    }
    // Both kinds of input are seeded, and the exercises of the issue's
    // format are valid ones, so that the checks of a valid exercise run.
    EXPECT_GE(exercises, 5u);
    EXPECT_GE(paths.size() - exercises, 5u);
    for (const char* valid : {"esercizio-completo", "esercizio-minimo", "esercizio-nascosti", "esercizio-memoria"}) {
        const std::string data = contentOf(std::filesystem::path(FUZZ_DIR) / "corpus-tarngrade" / valid);
        ASSERT_FALSE(data.empty()) << valid;
        const tarn::grading::ExerciseParse parse = tarn::grading::parseExercise(std::string_view(data).substr(1));
        EXPECT_TRUE(parse.exercise.has_value()) << valid << ": " << parse.error.line << ":" << parse.error.column
                                                << ": " << parse.error.message;
    }
}

TEST(GradeFuzzReplay, ExercisesMutatedFromTheCorpus) {
    // Pieces that take the reader down its other paths: tables, arrays,
    // keys of the format, numbers out of range, broken strings and bytes.
    static const std::string PIECES[] = {
        "[[caso]]\n", "[caso]\n", "nome = ", "\"x\"", "'", "\"\"\"", "=", "{", "}", "[", "]", ",", "\n", "\r\n",
        "# c\n", "0x", "-1", "256", "1e309", "99999999999999999999", "nan", "inf", "true", "1979-05-27",
        "limite_istruzioni = ", "limite_uscita = ", "proibite = [\"MUL\"]", "punti = ", "nascosto = ",
        "confronto = \"spazi\"", "memoria = { \"0xC8\" = [5, 7] }", "atteso.memoria = { \"0xFF\" = [1, 2] }",
        "atteso.registri = { X = 3 }", "atteso.flag = [\"Z\"]", "\\u0000", "\\n", std::string(1, '\0'), "\xFF",
        "\xC3\xA8", "\x1B[2J"};
    std::mt19937 random(20261211);
    const auto below = [&random](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    int runs = 0;
    for (const auto& path : inputs()) {
        const std::string original = contentOf(path);
        if (original.empty() || (static_cast<unsigned char>(original[0]) & 1) != 0) continue;
        for (int round = 0; round < 40; ++round) {
            std::string data = original;
            for (std::size_t edits = 1 + below(3); edits > 0; --edits) {
                const std::size_t at = 1 + below(data.size());
                switch (below(3)) {
                    case 0: data.insert(at, PIECES[below(std::size(PIECES))]); break;
                    case 1: data.erase(at, below(6)); break;
                    default:
                        if (at < data.size()) data[at] = static_cast<char>(random());
                }
            }
            ASSERT_EQ("", check(data)) << path << " round " << round << ":\n" << data.substr(1);
            ++runs;
        }
    }
    EXPECT_GE(runs, 200);
}

// The fuzz target's check, the machine against the reference model after
// every instruction, on its seed corpus, on every input that ever broke it,
// and on many generated programs: part of every test run.
#include "fuzz/checked_run.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

namespace {

std::string checkFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    const std::string data{std::istreambuf_iterator<char>(file), {}};
    return tarnfuzz::checkedRun(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
}

using Bytes = std::vector<std::uint8_t>;

// Programs built from the instruction set, with operands and data where the
// rules have their edges: overflow bounds, signs, the registers above
// address 255, the top of memory.
class ProgramMaker {
public:
    explicit ProgramMaker(unsigned seed) : random_(seed) {}

    // The two length bytes, the image and the input.
    Bytes next() {
        Bytes image;
        switch (below(4)) {
            case 0: image = randomBytes(); break;
            default: image = instructions(); break;
        }
        Bytes data{static_cast<std::uint8_t>(image.size() & 0xFF), static_cast<std::uint8_t>(image.size() >> 8)};
        data.insert(data.end(), image.begin(), image.end());
        const Bytes in = input();
        data.insert(data.end(), in.begin(), in.end());
        return data;
    }

private:
    unsigned below(unsigned n) { return static_cast<unsigned>(random_() % n); }
    std::uint8_t byte() { return static_cast<std::uint8_t>(random_()); }

    template <std::size_t N>
    std::uint8_t pick(const std::uint8_t (&values)[N]) {
        return values[below(N)];
    }

    // A value where arithmetic changes behaviour.
    std::uint8_t edgeValue() {
        static constexpr std::uint8_t EDGES[] = {0,   1,   2,   3,   5,   7,   8,   9,   16,  27,  28,  64,
                                                 100, 120, 121, 126, 127, 128, 129, 130, 156, 200, 240, 248,
                                                 252, 253, 254, 255};
        return below(3) == 0 ? byte() : pick(EDGES);
    }

    // An address: the data area, the start of memory, or high enough that
    // adding X reaches the registers.
    std::uint8_t address() {
        switch (below(4)) {
            case 0: return static_cast<std::uint8_t>(200 + below(56));
            case 1: return static_cast<std::uint8_t>(below(32));
            case 2: return static_cast<std::uint8_t>(245 + below(11));
            default: return byte();
        }
    }

    Bytes randomBytes() {
        static constexpr std::uint8_t OPCODES[] = {1,  2,  3,  4,  5,  6,  7,   8,   9,   10,  11,
                                                   12, 13, 64, 65, 66, 67, 68,  69,  70,  71,  72,
                                                   73, 74, 128, 129, 130, 131, 132, 133, 134};
        Bytes image(below(257));
        for (std::uint8_t& cell : image) {
            const unsigned kind = below(4);
            cell = kind == 0 ? pick(OPCODES) : kind == 1 ? static_cast<std::uint8_t>(below(32)) : byte();
        }
        return image;
    }

    Bytes instructions() {
        // Flag setting and clearing comes often, so that flags do not just pile up.
        static constexpr std::uint8_t OPCODES[] = {
            1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 7,   8,   9,   10,  11,  64,  65,  66,  67, 68,
            69, 70, 71, 72, 73, 74, 74, 74, 128, 129, 130, 131, 132, 133, 134, 129, 130, 131, 132, 14,  75,  135, 200};
        Bytes image(256, 0);
        // Data at the top, code from 0.
        for (unsigned a = 200; a < 256; ++a) image[a] = below(6) == 0 ? 0 : edgeValue();
        unsigned pc = 0;
        std::vector<unsigned> starts, jumps;
        const unsigned count = 1 + below(40);
        for (unsigned i = 0; i < count && pc < 196; ++i) {
            const std::uint8_t opcode = pick(OPCODES);
            starts.push_back(pc);
            image[pc] = opcode;
            const unsigned length = opcode / 64u + 1u;
            if (opcode >= 64 && opcode <= 69) jumps.push_back(pc + 1);
            if (length >= 2) image[pc + 1] = address();
            if (length >= 3) image[pc + 2] = opcode == 134 ? edgeValue() : address();
            pc += length;
        }
        // Jumps mostly land on an instruction of the program, some past its end.
        for (const unsigned operand : jumps) {
            const unsigned target = below(8) == 0 ? pc : starts[below(static_cast<unsigned>(starts.size()))];
            image[operand] = static_cast<std::uint8_t>(target);
        }
        // Sometimes the program runs on to the end of memory, sometimes it stops.
        image.resize(below(2) == 0 ? 256 : std::max(pc + 1, 200u + below(57)));
        return image;
    }

    // Words of letters, 0 bytes and every kind of blank, now and then a long one.
    Bytes input() {
        static constexpr std::uint8_t CHARACTERS[] = {'a', 'b', 'z', 'A', '0', 0x80, 0xFF, 1};
        static constexpr std::uint8_t BLANKS[] = {' ', '\t', '\n', '\v', '\f', '\r'};
        Bytes in;
        const unsigned words = below(5);
        for (unsigned w = 0; w < words; ++w) {
            for (unsigned b = below(3); b > 0; --b) in.push_back(pick(BLANKS));
            const unsigned length = below(8) == 0 ? 1 + below(300) : 1 + below(12);
            for (unsigned c = 0; c < length; ++c) in.push_back(below(10) == 0 ? 0 : pick(CHARACTERS));
        }
        if (below(2) == 0) in.push_back(pick(BLANKS));
        return in;
    }

    std::mt19937 random_;
};

}  // namespace

TEST(FuzzReplay, SeedsAndRegressionsAgreeWithTheReference) {
    int count = 0;
    for (const char* folder : {"corpus", "regressions"}) {
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(FUZZ_DIR) / folder)) {
            if (!entry.is_regular_file() || entry.path().filename().string().front() == '.') continue;
            EXPECT_EQ("", checkFile(entry.path())) << entry.path();
            ++count;
        }
    }
    EXPECT_GT(count, 20);
}

TEST(FuzzReplay, GeneratedProgramsAgreeWithTheReference) {
    ProgramMaker maker(20261208);
    for (int run = 0; run < 12000; ++run) {
        const Bytes data = maker.next();
        ASSERT_EQ("", tarnfuzz::checkedRun(data.data(), data.size())) << "run " << run;
    }
}

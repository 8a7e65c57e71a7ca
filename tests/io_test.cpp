// INP and WRT end to end: the program's own output between the driver's messages.
#include "support/process.hpp"

#include <gtest/gtest.h>

using tarntest::bytes;
using tarntest::ProcessOptions;
using tarntest::ProcessResult;
using tarntest::runProcess;
using tarntest::writeTempFile;

namespace {

// An image of 256 bytes from pieces placed at given addresses.
std::string image(std::initializer_list<std::pair<int, std::string>> pieces) {
    std::string memory(256, '\0');
    for (const auto& [address, piece] : pieces) memory.replace(static_cast<std::size_t>(address), piece.size(), piece);
    return memory;
}

// What the program printed: the run's standard output between the start and
// the shutdown messages.
std::string programOutput(const std::string& memory, const std::string& input = "") {
    static int count = 0;
    const std::string path = writeTempFile("io" + std::to_string(++count) + ".bin", memory);
    ProcessOptions options;
    options.input = input;
    const ProcessResult result = runProcess({TARNSIM_BINARY, path}, options);
    EXPECT_EQ(0, result.exitStatus);
    EXPECT_EQ("", result.err);
    const std::string& start = tarntest::RUN_STARTED;
    const std::string& end = tarntest::SHUTDOWN;
    const std::size_t from = result.out.find(start);
    if (from == std::string::npos || result.out.size() < from + start.size() + end.size() ||
        result.out.compare(result.out.size() - end.size(), end.size(), end) != 0) {
        ADD_FAILURE() << "unexpected output:\n" << result.out;
        return "";
    }
    return result.out.substr(from + start.size(), result.out.size() - from - start.size() - end.size());
}

}  // namespace

TEST(Output, SamplesPrintTheirText) {
    EXPECT_EQ("ciao\n", programOutput(bytes({0x47, 0x03, 0x00, 'c', 'i', 'a', 'o', 0x0A, 0x00})));

    std::string asterisks = bytes({0x86, 0x1E, 0x03, 0x47, 0x1F, 0x08, 0x49, 0x1E, 0x43, 0x0C, 0x40, 0x03, 0x00});
    asterisks.resize(30, '\0');
    asterisks += bytes({0x00, 0x2A, 0x00});
    EXPECT_EQ("***", programOutput(asterisks));

    EXPECT_EQ("", programOutput(bytes({0x47, 0x05, 0x47, 0x05, 0x00, 0x00})));
}

TEST(Output, StringRunsOnThroughTheRegisters) {
    // X = 'x', B = 'y'; WRT 250 at address 62 leaves PC = 64 '@' and IR = 'G'.
    const std::string memory = image({
        {0, bytes({0x4A, 'x', 0x86, 150, 'y', 0x40, 62})},
        {62, bytes({0x47, 250})},
        {250, "abcdef"},
    });
    EXPECT_EQ("abcdef@G\xFAyx", programOutput(memory));
}

TEST(Input, WordsAreTakenOneAtATimeWithoutTerminator) {
    // INP 100, INP 120, WRT 100, WRT 120; INP leaves the bytes after a word alone.
    const std::string memory = image({
        {0, bytes({0x46, 100, 0x46, 120, 0x47, 100, 0x47, 120})},
        {100, "....!"},
    });
    EXPECT_EQ("ciao!mondo", programOutput(memory, "ciao mondo\n"));
    EXPECT_EQ("uno.!due", programOutput(memory, " \t\n\v\f\r uno\t\v\fdue\r\n"));
    // A 0 byte ends the copy, but the whole word is consumed.
    EXPECT_EQ("ab..!tre", programOutput(memory, std::string("ab\0cd tre", 9)));
    // X plays no part in INP.
    const std::string offset = image({{0, bytes({0x4A, 7, 0x46, 100, 0x47, 100})}});
    EXPECT_EQ("sette", programOutput(offset, "sette"));
}

TEST(Input, EndOfInputStoresNothingNowOrLater) {
    // INP 100, INP 120, INP 120, WRT 100, WRT 120 with '-' preset at 120.
    const std::string memory = image({
        {0, bytes({0x46, 100, 0x46, 120, 0x46, 120, 0x47, 100, 0x47, 120})},
        {100, "."},
        {120, "-"},
    });
    EXPECT_EQ(".-", programOutput(memory, ""));
    EXPECT_EQ("solo-", programOutput(memory, "solo"));
    EXPECT_EQ("solo-", programOutput(memory, "  solo \n\n  "));
}

TEST(Input, WordRewritingATakesTheNewA) {
    // INP 250 with "abcdefghijk": "abcdef" fills 250..255, 'g' lands in PC,
    // 'h' in IR, 'i' (105) in A, and then 'j', 'k' go to 105+9, 105+10.
    // The run goes on at 'g' (103): WRT 114 prints "jk", then RST at 105.
    const std::string memory = image({
        {0, bytes({0x46, 250})},
        {103, bytes({0x47, 114})},
    });
    EXPECT_EQ("jk", programOutput(memory, "abcdefghijk"));
}

TEST(Input, GiantWordIsConsumedWhole) {
    // INP 200 with ten million 'a': 200..255 fill, PC becomes 97, A becomes 97
    // and the word runs on to X; the rest never reaches the machine. At 97 the
    // next INP reads the following word.
    const std::string memory = image({
        {0, bytes({0x46, 200})},
        {97, bytes({0x46, 10, 0x47, 10})},
    });
    EXPECT_EQ("fine", programOutput(memory, std::string(10'000'000, 'a') + " fine\n"));
}

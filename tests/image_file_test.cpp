// Reading a program image from a file: every byte as it is, whatever its
// value, at most one byte past the memory's size, and the system's reason when
// the file cannot be read.
#include "host/image_file.hpp"
#include "support/machine_differences.hpp"
#include "support/process.hpp"
#include "support/temp_folder.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

using namespace tarn;
using tarntest::differences;
using tarntest::expectRegistersReset;
using tarntest::patternedMachine;
using tarntest::writeTempFile;

TEST(ImageFile, LoadsEveryByteUnalteredLineEndsAndEndOfFileMarksIncluded) {
    std::string image(256, '\0');
    for (int i = 0; i < 256; ++i) image[static_cast<std::size_t>(i)] = static_cast<char>(255 - i);
    image[10] = '\r';
    image[11] = '\n';
    image[12] = '\x1a';  // ends a file read in a text mode
    image[13] = '\n';
    MachineState state = patternedMachine();
    const LoadReport report = loadProgram(writeTempFile("full.bin", image), state);
    EXPECT_TRUE(report.opened);
    EXPECT_FALSE(report.readFailed);
    EXPECT_FALSE(report.truncated);
    EXPECT_EQ(0, std::memcmp(state.M, image.data(), 256));
    expectRegistersReset(state, "full image");
}

TEST(ImageFile, ShortFileLeavesTheRestOfMemoryAndLongFileIsCut) {
    MachineState state = patternedMachine();
    MachineState expected = state;
    expected.M[0] = 0x06;
    expected.M[1] = 0x00;
    expected.F = expected.PC = expected.A = expected.B = expected.X = 0;
    EXPECT_FALSE(loadProgram(writeTempFile("short.bin", std::string("\x06\x00", 2)), state).truncated);
    EXPECT_EQ("", differences(expected, state));

    std::string image(300, '\x06');
    image[256] = '\x47';
    EXPECT_TRUE(loadProgram(writeTempFile("long.bin", image), state).truncated);
    EXPECT_EQ(0x06, state.M[255]);
}

TEST(ImageFile, MissingFileOrFolderResetsOnlyTheRegisters) {
    MachineState expected = patternedMachine();
    expected.F = expected.PC = expected.A = expected.B = expected.X = 0;

    MachineState state = patternedMachine();
    LoadReport report = loadProgram("/nonexistent/prog.bin", state);
    EXPECT_FALSE(report.opened);
    EXPECT_EQ(ENOENT, report.error);
    EXPECT_EQ("", differences(expected, state)) << "missing file";

    state = patternedMachine();
    report = loadProgram(tarntest::processFolder().string(), state);
    EXPECT_TRUE(report.opened);
    EXPECT_TRUE(report.readFailed);
    EXPECT_EQ(EISDIR, report.error);
    EXPECT_EQ("", differences(expected, state)) << "folder";

    state = patternedMachine();
    report = loadProgram(writeTempFile("empty.bin", ""), state);
    EXPECT_TRUE(report.opened);
    EXPECT_FALSE(report.truncated);
    EXPECT_EQ("", differences(expected, state)) << "empty file";
}

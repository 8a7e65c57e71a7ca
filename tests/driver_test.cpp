// The tarnsim program end to end: its whole standard output and exit status.
#include "support/process.hpp"

#include <gtest/gtest.h>

using tarntest::bytes;
using tarntest::ProcessResult;
using tarntest::runProcess;
using tarntest::writeTempFile;

namespace {

const std::string STARS(75, '*');
const std::string EMPTY = "*" + std::string(73, ' ') + "*\n";

const std::string BANNER =
    "\n" + STARS + "\n" + EMPTY +
    "*    Morvel Virtual Machine - Versione 1.1                                *\n" + EMPTY +
    "*    Simulatore di una ipotetica Macchina di Von Neumann. Versione 1.1    *\n" + EMPTY +
    "*    Autore -> gli sviluppatori di tarnsim                                *\n" + EMPTY +
    "*    Sito Web dell'autore -> https://tarnsim.example.org/                 *\n" + EMPTY +
    "*    Ultima revisione 22/05/2003 - Versione non esente da difetti.        *\n" + EMPTY +
    STARS + "\n\n";

std::string startOf(const std::string& path) {
    return BANNER + " Avvio della macchina virtuale simulata...\n Caricamento del programma (" + path +
           ") da eseguire... \n" + tarntest::RUN_STARTED;
}

using tarntest::SHUTDOWN;

ProcessResult runTarnsim(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), TARNSIM_BINARY);
    tarntest::ProcessOptions options;
    options.input = input;
    return runProcess(args, options);
}

}  // namespace

TEST(Driver, BannerLinesAreAll75Characters) {
    std::size_t start = 1;
    for (int line = 0; line < 13; ++line) {
        const std::size_t end = BANNER.find('\n', start);
        EXPECT_EQ(75u, end - start) << "line " << line + 1;
        start = end + 1;
    }
}

TEST(Driver, NoArgumentPrintsUsage) {
    const ProcessResult result = runTarnsim({});
    EXPECT_EQ(BANNER +
                  " Numero di parametri insufficienti.\n"
                  " E' necesaria la seguente sintassi : tarnsim <programma> \n\n",
              result.out);
    EXPECT_EQ("", result.err);
    EXPECT_EQ(0, result.exitStatus);
}

TEST(Driver, ProgramStartingWithZeroStopsAtOnce) {
    const std::string path = writeTempFile("nothing.bin", bytes({0x00, 0x47, 0x03}));
    const ProcessResult result = runTarnsim({path, "ignored second argument"});
    EXPECT_EQ(startOf(path) + SHUTDOWN, result.out);
    EXPECT_EQ("", result.err);
    EXPECT_EQ(0, result.exitStatus);
}

TEST(Driver, PathsAreEchoedAsGiven) {
    const std::string spaced = writeTempFile("con spazi nel nome.bin", bytes({0x06, 0x06, 0x00}));
    ProcessResult result = runTarnsim({spaced});
    EXPECT_EQ(startOf(spaced) + SHUTDOWN, result.out);

    // An empty argument is still an argument: it cannot be opened.
    result = runTarnsim({""});
    EXPECT_EQ(startOf("") + SHUTDOWN, result.out);
    EXPECT_EQ("tarnsim: impossibile aprire il programma '': No such file or directory\n", result.err);
    EXPECT_EQ(0, result.exitStatus);
}

TEST(Driver, UnopenableImageRunsAnEmptyMachineAndSaysWhyOnStandardError) {
    const ProcessResult result = runTarnsim({"/nonexistent/x.bin"});
    EXPECT_EQ(startOf("/nonexistent/x.bin") + SHUTDOWN, result.out);
    EXPECT_EQ("tarnsim: impossibile aprire il programma '/nonexistent/x.bin': No such file or directory\n",
              result.err);
    EXPECT_EQ(0, result.exitStatus);
}

TEST(Driver, LongImageIsCutTo256BytesWithAWarning) {
    // 300 bytes: all NOPs up to 255 would wrap PC forever, so place a 0 at 255;
    // the byte at 256 (a WRT) must never be loaded.
    std::string image(300, '\x06');
    image[255] = '\0';
    image[256] = '\x47';
    const std::string path = writeTempFile("long.bin", image);
    const ProcessResult result = runTarnsim({path});
    EXPECT_EQ(startOf(path) + SHUTDOWN, result.out);
    EXPECT_EQ("tarnsim: il programma '" + path + "' supera i 256 byte: caricati solo i primi 256\n",
              result.err);
    EXPECT_EQ(0, result.exitStatus);
}

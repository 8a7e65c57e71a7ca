// The tarnsim program end to end: its whole standard output and exit status.
#include "support/process.hpp"

#include <gtest/gtest.h>

#include <cstdio>

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
    EXPECT_EQ("tarnsim: impossibile aprire il programma '': file o cartella inesistente\n", result.err);
    EXPECT_EQ(0, result.exitStatus);
}

TEST(Driver, UnopenableImageRunsAnEmptyMachineAndSaysWhyOnStandardError) {
    const ProcessResult result = runTarnsim({"/nonexistent/x.bin"});
    EXPECT_EQ(startOf("/nonexistent/x.bin") + SHUTDOWN, result.out);
    EXPECT_EQ("tarnsim: impossibile aprire il programma '/nonexistent/x.bin': file o cartella inesistente\n",
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

// A source given to tarnsim by mistake under another name than NAME.asm
// still runs as the image it is, with the specified output; standard error
// has one hint about it.
TEST(Driver, SourceRunByMistakeRunsAsAnImageWithAHint) {
    struct Case {
        const char* name;
        std::string text;
        std::string printed;  // what its bytes print as machine code
    };
    const Case cases[] = {
        {"ciao.txt", "; saluta chi lo esegue\n\tWRT msg\n\tRST\nmsg:\tDB \"ciao\\n\", 0\n", ""},
        {"minimo", "RST\n", ""},
        {"dos.s", "\tWRT msg\r\n\tRST\r\n", ""},
        {"accenti.asm.bin", "; è già così: un commento\nRST\n", ""},
        // WRT 32 prints the text from address 32 on: "ciao\n".
        {"scrive.sorgente", "G ; scrive il saluto qui sotto:\nciao\n", "ciao\n"},
    };
    for (const Case& c : cases) {
        const std::string path = writeTempFile(c.name, c.text);
        const ProcessResult result = runTarnsim({path});
        EXPECT_EQ(startOf(path) + c.printed + SHUTDOWN, result.out) << c.name;
        EXPECT_EQ("tarnsim: '" + path + "' sembra un sorgente: assemblalo prima con tarnasm\n", result.err)
            << c.name;
        EXPECT_EQ(0, result.exitStatus) << c.name;

        // The same bytes followed by a 0 and a byte no text holds: an image,
        // no hint, and the same run.
        const std::string image = writeTempFile(c.name, c.text + bytes({0x00, 0x01}));
        const ProcessResult plain = runTarnsim({image});
        EXPECT_EQ(result.out, plain.out) << c.name;
        EXPECT_EQ("", plain.err) << c.name;
    }
}

TEST(Driver, LongSourceGetsBothTheCutAndTheHint) {
    // Past 256 bytes of comment lines, with a character of two bytes cut by
    // the end of memory: the first 256 bytes are still text. As machine code,
    // INP 32 stores the input's byte 1 at 32, DEC 32 makes it 0, and the NOPs
    // of the comments step onto it: the machine stops.
    std::string text = "F I ; la parola letta finisce qui\n";
    while (text.size() < 255) text += "; commento\n";
    text.resize(255);
    text += "è; il resto non entra\nRST\n";
    const std::string path = writeTempFile("lungo.txt", text);
    const ProcessResult result = runTarnsim({path}, "\x01");
    EXPECT_EQ(startOf(path) + SHUTDOWN, result.out);
    EXPECT_EQ("tarnsim: il programma '" + path + "' supera i 256 byte: caricati solo i primi 256\n"
              "tarnsim: '" + path + "' sembra un sorgente: assemblalo prima con tarnasm\n",
              result.err);
    EXPECT_EQ(0, result.exitStatus);
}

// A file named NAME.asm is a source whatever it holds: it is not run, its
// standard output is that of an image that cannot be opened (an empty
// machine stops at once), the hint goes to standard error, and the status
// is 2.
TEST(Driver, AFileNamedAsASourceIsNotRun) {
    std::string longSource;
    while (longSource.size() < 300) longSource += "; commento\n";
    const struct {
        const char* name;
        std::string content;
    } cases[] = {
        {"scrive.asm", "G ; scrive il saluto qui sotto:\nciao\n"},  // run, it would print "ciao"
        {"PRIMO.ASM", bytes({0x47, 0x03, 0x00, 'n', 'o', 0})},     // an image: it would print "no"
        {"ciclo.Asm", bytes({0x40, 0x00, 0x00})},                   // JMP 0: it would never end
        {"lungo.asm", longSource},                                  // no word of its length
    };
    for (const auto& c : cases) {
        const std::string path = writeTempFile(c.name, c.content);
        const ProcessResult result = runTarnsim({path}, "x\n");
        EXPECT_EQ(startOf(path) + SHUTDOWN, result.out) << c.name;
        EXPECT_EQ("tarnsim: '" + path + "' sembra un sorgente: assemblalo prima con tarnasm\n", result.err)
            << c.name;
        EXPECT_EQ(2, result.exitStatus) << c.name;
    }

    // One that cannot be opened says why, and is not run either.
    const ProcessResult missing = runTarnsim({"/nonexistent/prog.asm"});
    EXPECT_EQ(startOf("/nonexistent/prog.asm") + SHUTDOWN, missing.out);
    EXPECT_EQ("tarnsim: impossibile aprire il programma '/nonexistent/prog.asm': file o cartella inesistente\n",
              missing.err);
    EXPECT_EQ(2, missing.exitStatus);
}

// The loading line echoes the path as given; standard error shows it on one
// line, escaped.
TEST(Driver, AFileNameOnStandardErrorIsShownOnOneLineWithoutControlCharacters) {
    const std::string name = "riga\n\x1b[2Jnuova";
    const std::string source = writeTempFile(name + ".asm", "RST\n");
    const std::string folder = source.substr(0, source.size() - name.size() - 4);
    ProcessResult result = runTarnsim({source});
    EXPECT_EQ(startOf(source) + SHUTDOWN, result.out);
    EXPECT_EQ("tarnsim: '" + folder + "riga\\n\\x1B[2Jnuova.asm' sembra un sorgente: assemblalo prima con tarnasm\n",
              result.err);

    result = runTarnsim({folder + name + ".bin"});
    EXPECT_EQ(startOf(folder + name + ".bin") + SHUTDOWN, result.out);
    EXPECT_EQ("tarnsim: impossibile aprire il programma '" + folder +
                  "riga\\n\\x1B[2Jnuova.bin': file o cartella inesistente\n",
              result.err);
    std::remove(source.c_str());
}

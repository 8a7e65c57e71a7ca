// Hostile images, input and output: the specified output or one clear line
// on standard error, never a crash, a hang or a signal.
#include "support/process.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using tarntest::bytes;
using tarntest::ChildProcess;
using tarntest::ProcessOptions;
using tarntest::ProcessResult;
using tarntest::runProcess;
using tarntest::SHUTDOWN;
using tarntest::writeTempFile;

namespace {

ProcessResult run(const std::string& path, ProcessOptions options = {}) {
    return runProcess({TARNSIM_BINARY, path}, options);
}

// The output of a whole run that printed `printed`.
void expectRun(const ProcessResult& result, const std::string& path, const std::string& printed) {
    EXPECT_EQ(0, result.signal);
    const std::string start = " Caricamento del programma (" + path +
                              ") da eseguire... \n" + tarntest::RUN_STARTED;
    const std::size_t at = result.out.find(start);
    ASSERT_NE(std::string::npos, at) << result.out;
    EXPECT_EQ(printed + SHUTDOWN, result.out.substr(at + start.size()));
}

}  // namespace

TEST(HostileImage, OversizedOrEndlessImagesLoadTheirFirst256Bytes) {
    std::string huge(1 << 20, '\x47');  // a megabyte: WRT 3, RST, "ok", then WRTs
    huge.replace(0, 6, bytes({0x47, 0x03, 0x00, 'o', 'k', 0x00}));
    const std::string path = writeTempFile("huge.bin", huge);
    ProcessResult result = run(path);
    expectRun(result, path, "ok");
    EXPECT_EQ("tarnsim: il programma '" + path + "' supera i 256 byte: caricati solo i primi 256\n", result.err);
    EXPECT_EQ(0, result.exitStatus);

    result = run("/dev/zero");
    expectRun(result, "/dev/zero", "");
    EXPECT_EQ("tarnsim: il programma '/dev/zero' supera i 256 byte: caricati solo i primi 256\n", result.err);
    EXPECT_EQ(0, result.exitStatus);
}

TEST(HostileImage, UnreadableImagesRunAnEmptyMachine) {
    struct Case {
        std::string path, message;
    };
    std::vector<Case> cases = {
        {"/tmp", "impossibile leggere il programma '/tmp': è una cartella"},
        {"/proc/self/mem", "impossibile leggere il programma '/proc/self/mem': errore di ingresso/uscita"},
        {"/nonexistent/dir/x.bin", "impossibile aprire il programma '/nonexistent/dir/x.bin': file o cartella inesistente"},
    };
    if (::geteuid() != 0) {  // root reads whatever the permissions say
        const std::string locked = writeTempFile("locked.bin", bytes({0x47, 0x03, 0x00, 'x', 0x00}));
        ::chmod(locked.c_str(), 0);
        cases.push_back({locked, "impossibile aprire il programma '" + locked + "': permesso negato"});
    }
    for (const Case& c : cases) {
        const ProcessResult result = run(c.path);
        expectRun(result, c.path, "");
        EXPECT_EQ("tarnsim: " + c.message + "\n", result.err);
        EXPECT_EQ(0, result.exitStatus);
    }
}

// Images that are nearly text, each missing one mark of a source (text
// only, up to the end of the file; a line end; a word of three letters), get
// no hint: only their run.
TEST(HostileImage, NearlyTextImagesGetNoSourceHint) {
    struct Case {
        const char* name;
        std::string image, input, printed;
    };
    const Case cases[] = {
        {"dopo-lo-zero.bin", "RST ; fine\n" + bytes({0x00, 0x01}), "", ""},
        {"senza-righe.bin", "RST RST", "", ""},
        {"senza-parole.bin", "F\nG\n", "ciao", "ciao"},  // INP 10, WRT 10, RST
        {"controllo.bin", "RST\x07\n", "", ""},
        {"utf8-spezzato.bin", "RST ; \xC3\n", "", ""},
        {"utf8-in-fondo.bin", "RST\n; \xC3", "", ""},  // cut by the end of the file
        {"utf8-troppo-lungo.bin", "RST\n; \xC0\xAF", "", ""},
        {"utf8-continuazione.bin", "RST\n\x80 ; x", "", ""},
    };
    for (const Case& c : cases) {
        const std::string path = writeTempFile(c.name, c.image);
        ProcessOptions options;
        options.input = c.input;
        const ProcessResult result = run(path, options);
        expectRun(result, path, c.printed);
        EXPECT_EQ("", result.err) << c.name;
        EXPECT_EQ(0, result.exitStatus) << c.name;
    }
}

// The example programs, as tarnasm builds them and as the source tree keeps
// them, run on their inputs with nothing on standard error.
TEST(HostileImage, ExampleImagesGetNoSourceHint) {
    namespace fs = std::filesystem;
    const fs::path sources = fs::path(FUZZ_DIR).parent_path().parent_path() / "examples";
    std::vector<fs::path> images;
    for (const fs::path& folder : {sources, fs::path(TARNSIM_BINARY).parent_path() / "examples"})
        for (const fs::directory_entry& entry : fs::directory_iterator(folder))
            if (entry.path().extension() == ".bin") images.push_back(entry.path());
    ASSERT_GE(images.size(), 9u);
    for (const fs::path& image : images) {
        ProcessOptions options;
        options.inputPath = (sources / image.filename()).replace_extension(".in").string();
        if (!fs::exists(options.inputPath)) options.inputPath.clear();
        const ProcessResult result = run(image.string(), options);
        EXPECT_EQ(0, result.exitStatus) << image;
        EXPECT_EQ("", result.err) << image;
    }
}

TEST(HostileInput, BinaryBytesAndClosedInputAreJustInput) {
    // Thirty rounds of INP 200, WRT 200, then RST; words stay short, so they
    // never reach the registers.
    std::string image;
    for (int i = 0; i < 30; ++i) image += bytes({0x46, 200, 0x47, 200});
    const std::string path = writeTempFile("echo.bin", image);

    std::mt19937 random(7);
    std::string noise;
    for (int i = 0; i < 4000; ++i) noise += static_cast<char>(i % 37 == 0 ? ' ' : static_cast<char>(random()));
    ProcessOptions options;
    options.input = noise;
    ProcessResult result = run(path, options);
    EXPECT_EQ(0, result.exitStatus);
    EXPECT_EQ(0, result.signal);
    EXPECT_EQ("", result.err);

    ProcessOptions closed;
    closed.closeInput = true;
    result = run(path, closed);
    expectRun(result, path, "");
    EXPECT_EQ("", result.err);
    EXPECT_EQ(0, result.exitStatus);
}

TEST(HostileInput, ReadErrorIsReportedOnceAndEndsTheInput) {
    // INP 100, INP 100, WRT 100, WRT 110, RST; "fine" at 110. An INP that
    // finds no input stores nothing, so WRT 100 prints nothing.
    std::string image = bytes({0x46, 100, 0x46, 100, 0x47, 100, 0x47, 110, 0x00});
    image.resize(110, '\0');
    image += "fine";
    const std::string path = writeTempFile("unreadable-input.bin", image);
    struct Case {
        std::string input;
        int openFlags;
        std::string error;
    };
    const Case cases[] = {
        {std::filesystem::path(path).parent_path().string(), O_RDONLY, "è una cartella"},
        {"/dev/null", O_WRONLY, "descrittore di file non valido"},
    };
    for (const Case& c : cases) {
        ProcessOptions options;
        options.inputPath = c.input;
        options.inputOpenFlags = c.openFlags;
        const ProcessResult result = run(path, options);
        expectRun(result, path, "fine");
        EXPECT_EQ("tarnsim: impossibile leggere lo standard input: " + c.error + "\n", result.err);
        EXPECT_EQ(0, result.exitStatus);
    }
}

TEST(HostileInput, NonBlockingInputIsWaitedFor) {
    // Three rounds of INP 100, WRT 100, then RST.
    const std::string path = writeTempFile(
        "nonblocking-input.bin", bytes({0x46, 100, 0x47, 100, 0x46, 100, 0x47, 100, 0x46, 100, 0x47, 100, 0x00}));
    ProcessOptions options;
    options.nonBlockingInput = true;
    ChildProcess child({TARNSIM_BINARY, path}, options);
    // Each word comes only once the program has echoed the one before and
    // sleeps: standard input has nothing for it when it reads.
    const std::string words[] = {"uno ", "due\n", "tre"};
    std::string echoed;
    for (const std::string& word : words) {
        ASSERT_TRUE(child.readUntil([&] {
            return child.out().find(tarntest::RUN_STARTED + echoed) != std::string::npos || child.ended();
        })) << child.out();
        ASSERT_TRUE(child.waitUntilAsleepOrEnded());
        child.send(word);
        echoed += word.substr(0, 3);
    }
    const ProcessResult result = child.finish();
    expectRun(result, path, "unoduetre");
    EXPECT_EQ("", result.err);
    EXPECT_EQ(0, result.exitStatus);
}

TEST(HostileOutput, NonBlockingOutputIsWaitedFor) {
    // VAL 21, 8; then 8 times 129 rounds of WRT 22 (the 200 characters
    // there): the inner count at 20 runs from 0 down and through -128 back
    // to 0 with Z, the outer count at 21 from 8 down to 0.
    std::string image = bytes({0x86, 21, 8,               // 0: VAL 21, 8
                               0x47, 22,                  // 3: WRT 22
                               0x08, 0x49, 20, 0x43, 12,  // 5: CLZ; DEC 20; JPZ 12
                               0x40, 3,                   // 10: JMP 3
                               0x08, 0x49, 21, 0x43, 19,  // 12: CLZ; DEC 21; JPZ 19
                               0x40, 3,                   // 17: JMP 3
                               0x00, 0x00, 0x00});        // 19: RST; the two counts
    std::string line;
    for (int i = 0; i < 200; ++i) line += static_cast<char>('A' + i % 26);
    image += line + '\0';
    const std::string path = writeTempFile("nonblocking-output.bin", image);
    std::string printed;
    for (int i = 0; i < 8 * 129; ++i) printed += line;
    ASSERT_GT(printed.size(), 3u * 65536);  // several times what a pipe holds

    ProcessOptions options;
    options.nonBlockingOutput = true;
    ChildProcess child({TARNSIM_BINARY, path}, options);
    // Nothing is read until the program has filled the pipe and sleeps (or
    // has ended); then a little at a time.
    ASSERT_TRUE(child.waitUntilAsleepOrEnded());
    const ProcessResult result = child.finish(4096, 1);
    expectRun(result, path, printed);
    EXPECT_EQ("", result.err);
    EXPECT_EQ(0, result.exitStatus);
}

TEST(HostileOutput, FailedWritesAreReportedOnceAndFailTheRun) {
    const std::string path = writeTempFile("print.bin", bytes({0x47, 0x03, 0x00, 'x', 0x00}));
    ProcessOptions full;
    full.outputPath = "/dev/full";
    ProcessResult result = run(path, full);
    EXPECT_EQ("tarnsim: impossibile scrivere sullo standard output: spazio esaurito sul dispositivo\n", result.err);
    EXPECT_EQ(1, result.exitStatus);
    EXPECT_EQ(0, result.signal);

    ProcessOptions closed;
    closed.closeOutput = true;
    result = run(path, closed);
    EXPECT_EQ("tarnsim: impossibile scrivere sullo standard output: descrittore di file non valido\n", result.err);
    EXPECT_EQ(1, result.exitStatus);
    EXPECT_EQ(0, result.signal);
}

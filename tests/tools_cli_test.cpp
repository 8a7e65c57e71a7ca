// The tarnasm and tarndis programs end to end: files written or left alone,
// standard error, exit status.
#include "support/process.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

using tarntest::bytes;
using tarntest::ProcessResult;
using tarntest::runProcess;
using tarntest::writeTempFile;

namespace {

ProcessResult run(const char* program, std::vector<std::string> args) {
    args.insert(args.begin(), program);
    return runProcess(args);
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

// Temporary files left in a folder by a write that did not finish.
int leftoverTemporaries(const std::filesystem::path& folder) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().rfind(".tarn-", 0) == 0) ++count;
    return count;
}

}  // namespace

TEST(TarnasmProgram, WritesTheImageBesideTheSourceAndTheListingOnRequest) {
    const std::string source = writeTempFile("prog.asm", "inizio: WRT testo\n RST\ntesto: DB \"ok\", 0\n");
    ProcessResult result = run(TARNASM_BINARY, {source});
    EXPECT_EQ(0, result.exitStatus);
    EXPECT_EQ("", result.out);
    EXPECT_EQ("", result.err);
    const std::string image = std::filesystem::path(source).replace_extension(".bin").string();
    EXPECT_EQ(bytes({0x47, 0x03, 0x00, 'o', 'k', 0}), readFile(image));

    const std::string other = writeTempFile("altro.img", "");
    const std::string listing = std::filesystem::path(source).replace_extension(".lst").string();
    result = run(TARNASM_BINARY, {"-l", listing, source, "-o", other});
    EXPECT_EQ(0, result.exitStatus) << result.err;
    EXPECT_EQ(readFile(image), readFile(other));
    EXPECT_EQ("  1  00  47 03        inizio: WRT testo\n"
              "  2  02  00            RST\n"
              "  3  03  6F 6B 00     testo: DB \"ok\", 0\n",
              readFile(listing));
}

TEST(TarnasmProgram, SourceErrorsExitWith1AndLeaveEveryFileAsItWas) {
    const std::string source = writeTempFile("errato.asm", "  NOP\n  JMP dove\n  FOO\n  VAL 1, 300\n");
    const std::string image = writeTempFile("errato.bin", "old image");
    const std::string listing = std::filesystem::path(source).replace_extension(".lst").string();
    const ProcessResult result = run(TARNASM_BINARY, {source, "-l", listing});
    EXPECT_EQ(1, result.exitStatus);
    EXPECT_EQ("", result.out);
    EXPECT_EQ(source + ":2:7: errore: etichetta non definita 'dove'\n" +
                  source + ":3:3: errore: mnemonico sconosciuto 'FOO'\n" +
                  source + ":4:10: errore: valore 300 fuori dall'intervallo -128..255\n",
              result.err);
    EXPECT_EQ("old image", readFile(image));
    EXPECT_FALSE(exists(listing));

    // Without an old image, none appears.
    const std::string fresh = std::filesystem::path(source).replace_filename("nuovo.bin").string();
    EXPECT_EQ(1, run(TARNASM_BINARY, {source, "-o", fresh}).exitStatus);
    EXPECT_FALSE(exists(fresh));
    EXPECT_EQ(0, leftoverTemporaries(std::filesystem::path(source).parent_path()));
}

TEST(TarnasmProgram, UsageErrorsExitWith2WithOneLineOnStandardError) {
    const std::string source = writeTempFile("uso.asm", "RST\n");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"-x", source},
        {source, "-o"},
        {source, "altro.asm"},
        {source, "-o", source},
        {"/nonexistent/folder/prog.asm"},
        {source, "-o", "/nonexistent/folder/prog.bin"},
    };
    for (const std::vector<std::string>& args : cases) {
        const ProcessResult result = run(TARNASM_BINARY, args);
        std::string shown;
        for (const std::string& arg : args) shown += arg + " ";
        EXPECT_EQ(2, result.exitStatus) << shown;
        EXPECT_EQ("", result.out) << shown;
        EXPECT_EQ(0u, result.err.find("tarnasm: ")) << shown << result.err;
        EXPECT_EQ(result.err.size() - 1, result.err.find('\n')) << shown << result.err;
    }
    EXPECT_EQ("RST\n", readFile(source));

    const ProcessResult help = run(TARNASM_BINARY, {"--help"});
    EXPECT_EQ(0, help.exitStatus);
    EXPECT_EQ(0u, help.out.find("Uso: tarnasm SORGENTE [-o IMMAGINE] [-l LISTATO] [-w]\n"));
}

TEST(TarndisProgram, ItsSourceGoesBackThroughTarnasmToTheSameImage) {
    std::mt19937 random(99);
    std::string noise(256, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    const std::vector<std::string> images = {
        "",
        bytes({0x86, 0x1E, 0x03, 0x47, 0x1F, 0x08, 0x49, 0x1E, 0x43, 0x0C, 0x40, 0x03, 0x00}) + std::string(17, '\0') +
            bytes({0, '*', 0}),
        bytes({0x06, 0x00, 0x00, 0x00}),
        noise,
        noise.substr(0, 77),
    };
    for (std::size_t index = 0; index < images.size(); ++index) {
        const std::string name = "giro" + std::to_string(index);
        const std::string image = writeTempFile(name + ".bin", images[index]);
        const ProcessResult disassembly = run(TARNDIS_BINARY, {image});
        ASSERT_EQ(0, disassembly.exitStatus) << disassembly.err;
        EXPECT_EQ("", disassembly.err);
        const std::string source = writeTempFile(name + ".asm", disassembly.out);
        const std::string again = std::filesystem::path(image).replace_filename(name + "-di-nuovo.bin").string();
        const ProcessResult assembly = run(TARNASM_BINARY, {source, "-o", again});
        ASSERT_EQ(0, assembly.exitStatus) << assembly.err << disassembly.out;
        EXPECT_EQ(images[index], readFile(again)) << disassembly.out;
    }
}

TEST(TarndisProgram, LongImageIsCutTo256BytesWithAWarning) {
    std::string long_(300, '\x06');
    long_[255] = '\x47';
    const std::string image = writeTempFile("lungo.bin", long_);
    const ProcessResult result = run(TARNDIS_BINARY, {image});
    EXPECT_EQ(0, result.exitStatus);
    EXPECT_EQ("tarndis: l'immagine '" + image + "' supera i 256 byte: disassemblati solo i primi 256\n", result.err);
    const std::string source = writeTempFile("lungo.asm", result.out);
    const std::string again = std::filesystem::path(image).replace_filename("lungo-256.bin").string();
    ASSERT_EQ(0, run(TARNASM_BINARY, {source, "-o", again}).exitStatus);
    EXPECT_EQ(long_.substr(0, 256), readFile(again));
}

TEST(TarndisProgram, UsageAndReadErrorsExitWith2) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"/nonexistent/x.bin"}, {"-q"}, {"a.bin", "b.bin"}}) {
        const ProcessResult result = run(TARNDIS_BINARY, args);
        EXPECT_EQ(2, result.exitStatus);
        EXPECT_EQ("", result.out);
        EXPECT_EQ(0u, result.err.find("tarndis: ")) << result.err;
        EXPECT_EQ(result.err.size() - 1, result.err.find('\n')) << result.err;
    }
    const ProcessResult help = run(TARNDIS_BINARY, {"-h"});
    EXPECT_EQ(0, help.exitStatus);
    EXPECT_EQ(0u, help.out.find("Uso: tarndis IMMAGINE\n"));
}

TEST(TarnasmProgram, ARepeatedOptionOrAValueThatLooksLikeAnOptionIsAUsageError) {
    const std::string source = writeTempFile("opzioni.asm", "RST\n");
    const std::string image = std::filesystem::path(source).replace_filename("opzioni-altra.bin").string();
    const std::string usage = " (uso: tarnasm SORGENTE [-o IMMAGINE] [-l LISTATO] [-w])\n";
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{source, "-o", image, "-o", image}, "l'opzione -o è ripetuta"},
        {{source, "-l", "a.lst", "-l", "b.lst"}, "l'opzione -l è ripetuta"},
        {{"-w", source, "--senza-avvisi"}, "l'opzione --senza-avvisi è ripetuta"},
        {{source, "-o", "-l", image},
         "l'opzione -o vuole un nome di file, ma '-l' sembra un'opzione: per un file con questo nome scrivi ./-l"},
        {{source, "--senza-avvisii"}, "opzione sconosciuta '--senza-avvisii': forse intendevi --senza-avvisi?"},
        {{source, "--o", image}, "opzione sconosciuta '--o': forse intendevi -o?"},
        {{source, "-l", "--help"},
         "l'opzione -l vuole un nome di file, ma '--help' sembra un'opzione: per un file con questo nome scrivi "
         "./--help"},
    };
    for (const auto& c : cases) {
        const ProcessResult result = run(TARNASM_BINARY, c.args);
        EXPECT_EQ(2, result.exitStatus) << c.error;
        EXPECT_EQ("tarnasm: " + c.error + usage, result.err);
        EXPECT_FALSE(exists(image)) << c.error;
        EXPECT_FALSE(exists("-l") || exists("--help") || exists("a.lst") || exists("b.lst")) << c.error;
    }
    for (const std::string& path : {source, image, std::string("-l"), std::string("--help")}) std::remove(path.c_str());
}

// A file name with a new line and an escape goes on one line of standard
// error, escaped, in every message that names it.
TEST(ToolMessages, AFileNameIsShownOnOneLineWithoutControlCharacters) {
    const std::string name = "riga\n\x1b[2Jnuova";
    const std::string shown = "riga\\n\\x1B[2Jnuova";
    const std::string source = writeTempFile(name + ".asm", "  FOO\n");
    const std::string valid = writeTempFile("valido.asm", "RST\n");
    const std::string folder = std::filesystem::path(source).parent_path().string() + "/";
    const struct {
        const char* program;
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {TARNASM_BINARY, {source}, folder + shown + ".asm:1:3: errore: mnemonico sconosciuto 'FOO'"},
        {TARNASM_BINARY, {folder + name + ".manca"},
         "tarnasm: impossibile leggere il sorgente '" + folder + shown + ".manca': file o cartella inesistente"},
        {TARNASM_BINARY, {valid, "-o", folder + name + "/x.bin"},
         "tarnasm: impossibile scrivere l'immagine '" + folder + shown + "/x.bin': file o cartella inesistente"},
        {TARNASM_BINARY, {source, "-o", source},
         "tarnasm: l'immagine '" + folder + shown +
             ".asm' prenderebbe il posto del sorgente (uso: tarnasm SORGENTE [-o IMMAGINE] [-l LISTATO] [-w])"},
        {TARNASM_BINARY, {"-" + name}, "tarnasm: opzione sconosciuta '-" + shown +
                                           "' (uso: tarnasm SORGENTE [-o IMMAGINE] [-l LISTATO] [-w])"},
        {TARNDIS_BINARY, {folder + name + ".bin"},
         "tarndis: impossibile leggere l'immagine '" + folder + shown + ".bin': file o cartella inesistente"},
        {TARNDIS_BINARY, {"a.bin", name}, "tarndis: una sola immagine alla volta, ma c'è anche '" + shown +
                                              "' (uso: tarndis IMMAGINE)"},
    };
    for (const auto& c : cases) {
        const ProcessResult result = run(c.program, c.args);
        EXPECT_EQ(c.error + "\n", result.err);
        EXPECT_NE(0, result.exitStatus);
    }
    std::filesystem::remove(source);
    std::filesystem::remove(valid);
}

namespace {

// A text line as a groff page writes it: the backslash escaped.
std::string asGroff(const std::string& line) {
    std::string text;
    for (const char c : line) text += c == '\\' ? std::string("\\e") : std::string(1, c);
    return text;
}

// Every line of an output appears, in order, among the lines of a page.
void expectShownIn(const std::string& page, const std::string& output, const std::string& what) {
    const std::string text = readFile((std::filesystem::path(TARNSIM_SOURCE_DIR) / "man" / page).string());
    ASSERT_FALSE(output.empty()) << what;
    std::size_t from = 0;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = text.find("\n" + asGroff(line) + "\n", from);
        ASSERT_NE(std::string::npos, at) << page << " non mostra la riga di " << what << ":\n" << line;
        from = at + 1;
    }
}

}  // namespace

// The manual pages' examples are the real output of the programs.
TEST(ToolManualPages, ShowTheRealListingAndDisassembly) {
    const std::string source =
        writeTempFile("saluta.asm", "; saluta e si ferma\n        WRT testo\n        RST\n\ntesto:  DB \"ciao!\", 0\n");
    const std::string listing = std::filesystem::path(source).replace_extension(".lst").string();
    const std::string image = std::filesystem::path(source).replace_extension(".bin").string();
    const ProcessResult assembled = run(TARNASM_BINARY, {source, "-l", listing});
    ASSERT_EQ(0, assembled.exitStatus) << assembled.err;
    expectShownIn("tarnasm.1", readFile(listing), "tarnasm -l");
    std::filesystem::remove(listing);
    std::filesystem::remove(image);

    const ProcessResult disassembled =
        run(TARNDIS_BINARY, {(std::filesystem::path(TARNSIM_SOURCE_DIR) / "examples" / "ciao.bin").string()});
    ASSERT_EQ(0, disassembled.exitStatus) << disassembled.err;
    expectShownIn("tarndis.1", disassembled.out, "tarndis ciao.bin");
}

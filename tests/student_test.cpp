// What a student sees from the real tarnasm: the whole standard error and
// the exit status for the slips students make, the warnings and their
// silencing, and the limits on what is reported.
#include "support/process.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using tarntest::runProcess;
using tarntest::writeTempFile;

namespace {

struct Outcome {
    std::string err;  // the source's path shown as p.asm
    int exitStatus = -1;
    std::string image;  // what was written, if anything
    bool imageWritten = false;
};

// Assembles a source with the real tarnasm, with the extra options given.
Outcome tarnasm(const std::string& source, const std::vector<std::string>& options = {}) {
    const std::string path = writeTempFile("p.asm", source);
    const std::string image = path + ".bin";
    std::filesystem::remove(image);
    std::vector<std::string> argv{TARNASM_BINARY, path, "-o", image};
    argv.insert(argv.end(), options.begin(), options.end());
    const tarntest::ProcessResult result = runProcess(argv);
    Outcome outcome;
    outcome.exitStatus = result.exitStatus;
    outcome.err = result.err;
    for (std::size_t at = outcome.err.find(path); at != std::string::npos; at = outcome.err.find(path, at))
        outcome.err.replace(at, path.size(), "p.asm");
    EXPECT_EQ("", result.out);
    if (std::filesystem::exists(image)) {
        std::ifstream file(image, std::ios::binary);
        std::ostringstream content;
        content << file.rdbuf();
        outcome.image = content.str();
        outcome.imageWritten = true;
    }
    return outcome;
}

std::string repeated(const std::string& line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += line;
    return text;
}

}  // namespace

TEST(StudentSlips, AProgramPastAddress255GetsOneErrorWhereItCrosses) {
    // 85 instructions of 3 bytes fill 0..254; the 86th crosses, and the label
    // after them all lies past the end.
    const Outcome outcome = tarnasm(repeated("        VAL x, 1\n", 200) + "x:      DB 0\n        JMP x\n");
    EXPECT_EQ("p.asm:86:9: errore: il programma va oltre l'indirizzo 255\n", outcome.err);
    EXPECT_EQ(1, outcome.exitStatus);
    EXPECT_FALSE(outcome.imageWritten);
}

TEST(StudentSlips, ALabelWithoutItsColonIsOneErrorAndStillDefined) {
    const Outcome outcome = tarnasm(
        "        JMP ciclo\n"
        "ciclo   INC conto\n"
        "        JPZ fine\n"
        "fine    RST\n"
        "conto   DB 300, 'ab'\n");
    EXPECT_EQ("p.asm:2:6: errore: manca ':' dopo l'etichetta 'ciclo'\n"
              "p.asm:4:5: errore: manca ':' dopo l'etichetta 'fine'\n"
              "p.asm:5:6: errore: manca ':' dopo l'etichetta 'conto'\n",
              outcome.err);
    EXPECT_EQ(1, outcome.exitStatus);
}

TEST(StudentSlips, UnknownMnemonicsAndUndefinedLabelsGetTheNearestName) {
    const Outcome outcome = tarnasm(
        "        WTR messaggio\n"
        "        JMP Fine\n"
        "        WRT mesaggio\n"
        "        JMP altrove\n"
        "fine:   RST\n"
        "messaggio: DB \"ciao\", 0\n");
    EXPECT_EQ("p.asm:1:9: errore: mnemonico sconosciuto 'WTR': forse intendevi WRT?\n"
              "p.asm:2:13: errore: etichetta non definita 'Fine': forse intendevi 'fine'?\n"
              "p.asm:3:13: errore: etichetta non definita 'mesaggio': forse intendevi 'messaggio'?\n"
              "p.asm:4:13: errore: etichetta non definita 'altrove'\n",
              outcome.err);
    EXPECT_EQ(1, outcome.exitStatus);
}

TEST(StudentSlips, NumbersTooLargeAreOutOfRangeAsWritten) {
    const Outcome outcome = tarnasm(
        "        DB 99999999999999999999\n"
        "        DB 1099511627777 - 1099511627776\n"
        "        DB 9223372036854775807 + 1\n"
        "        ORG -0xFFFFFFFFFFFFFFFFFF\n");
    EXPECT_EQ("p.asm:1:12: errore: valore 99999999999999999999 fuori dall'intervallo -128..255\n"
              "p.asm:3:12: errore: valore 9223372036854775808 fuori dall'intervallo -128..255\n"
              "p.asm:4:13: errore: valore -0xFFFFFFFFFFFFFFFFFF fuori dall'intervallo 0..255 di ORG\n",
              outcome.err);
    EXPECT_EQ(1, outcome.exitStatus);

    const Outcome exact = tarnasm("DB 1099511627777 - 1099511627776\n");
    EXPECT_EQ("", exact.err);
    EXPECT_EQ(0, exact.exitStatus);
    EXPECT_EQ(std::string(1, '\1'), exact.image);
}

TEST(StudentWarnings, EveryKindIsShownAndTheImageIsWritten) {
    const std::string source =
        "        VAL conta, 0\n"
        "        WRT testo\n"
        "        JPZ salta\n"
        "        CPY conta, 0\n"
        "salta:  WRT testo\n"
        "jmp:    DB 0\n"
        "conta:  DB 1\n"
        "testo:  DB \"ciao\"\n";
    // VAL at 0, WRT 3, JPZ 5, CPY 7, salta 10, jmp 12, conta 13, testo 14.
    const std::string image = tarntest::bytes(
        {0x86, 13, 0, 0x47, 14, 0x43, 10, 0x85, 13, 0, 0x47, 14, 0, 1, 'c', 'i', 'a', 'o'});
    const Outcome outcome = tarnasm(source);
    EXPECT_EQ("p.asm:1:20: avviso: con B = 0 VAL accende il flag D: da qui la macchina mostra la traccia a ogni "
              "istruzione\n"
              "p.asm:2:13: avviso: dopo la stringa manca uno 0: WRT stampa fino al primo byte 0\n"
              "p.asm:4:20: avviso: con B = 0 CPY accende il flag D: da qui la macchina mostra la traccia a ogni "
              "istruzione\n"
              "p.asm:5:9: avviso: l'esecuzione prosegue nei dati dopo questa istruzione: manca RST?\n"
              "p.asm:5:13: avviso: dopo la stringa manca uno 0: WRT stampa fino al primo byte 0\n"
              "p.asm:6:1: avviso: l'etichetta 'jmp' ha il nome del mnemonico JMP\n",
              outcome.err);
    EXPECT_EQ(0, outcome.exitStatus);
    EXPECT_EQ(image, outcome.image);

    for (const char* option : {"-w", "--senza-avvisi"}) {
        const Outcome quiet = tarnasm(source, {option});
        EXPECT_EQ("", quiet.err) << option;
        EXPECT_EQ(0, quiet.exitStatus) << option;
        EXPECT_EQ(image, quiet.image) << option;
    }
}

TEST(StudentWarnings, AreNotShownBesideErrors) {
    const Outcome outcome = tarnasm("        VAL x, 0\n        FOO\nx:      DB 1\n");
    EXPECT_EQ("p.asm:2:9: errore: mnemonico sconosciuto 'FOO'\n", outcome.err);
    EXPECT_EQ(1, outcome.exitStatus);
}

TEST(ReportLimits, ErrorsPastTheFirst20AreCounted) {
    Outcome outcome = tarnasm(repeated("FOO\n", 21));
    std::string first20;
    for (int line = 1; line <= 20; ++line)
        first20 += "p.asm:" + std::to_string(line) + ":1: errore: mnemonico sconosciuto 'FOO'\n";
    EXPECT_EQ(first20 + "p.asm: un altro errore non mostrato\n", outcome.err);
    EXPECT_EQ(1, outcome.exitStatus);

    outcome = tarnasm(repeated("FOO\n", 25));
    EXPECT_EQ(first20 + "p.asm: altri 5 errori non mostrati\n", outcome.err);
    EXPECT_EQ(1, outcome.exitStatus);
}

TEST(ReportLimits, WarningsPastTheFirst20AreCountedAndStillSucceed) {
    const Outcome outcome = tarnasm(repeated("VAL x, 0\n", 22) + "RST\nx: DB 1\n");
    std::string first20;
    for (int line = 1; line <= 20; ++line)
        first20 += "p.asm:" + std::to_string(line) +
                   ":8: avviso: con B = 0 VAL accende il flag D: da qui la macchina mostra la traccia a ogni "
                   "istruzione\n";
    EXPECT_EQ(first20 + "p.asm: altri 2 avvisi non mostrati\n", outcome.err);
    EXPECT_EQ(0, outcome.exitStatus);
    EXPECT_EQ(68u, outcome.image.size());
}

TEST(ReportLimits, AMegabyteOfFFBytesGives20ErrorsAndACount) {
    const Outcome outcome = tarnasm(std::string(std::size_t{1} << 20, '\xFF'));
    std::string expected;
    for (int column = 1; column <= 20; ++column)
        expected += "p.asm:1:" + std::to_string(column) + ": errore: carattere inatteso \\xFF\n";
    expected += "p.asm: altri 1048556 errori non mostrati\n";
    EXPECT_EQ(expected, outcome.err);
    EXPECT_EQ(1, outcome.exitStatus);
}

#if defined(__SANITIZE_ADDRESS__)
#define TARNSIM_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARNSIM_SANITIZED 1
#endif
#endif

TEST(ReportLimits, AMegabyteOfLinesAssemblesInLittleMemory) {
#ifdef TARNSIM_SANITIZED
    GTEST_SKIP() << "the sanitizers reserve far more address space than any limit";
#else
    // Before, a million empty lines took over 200 MB; now the address space
    // of a small process is enough, listing included.
    const std::string path = writeTempFile("righe.asm", std::string(std::size_t{1} << 20, '\n'));
    tarntest::ProcessOptions options;
    options.addressSpaceLimit = rlim_t{64} << 20;
    const tarntest::ProcessResult result = runProcess({TARNASM_BINARY, path, "-l", path + ".lst"}, options);
    EXPECT_EQ("", result.err);
    EXPECT_EQ(0, result.exitStatus);
    // A row a line, each its number alone in 7 columns.
    EXPECT_EQ(std::uintmax_t{8} << 20, std::filesystem::file_size(path + ".lst"));
#endif
}

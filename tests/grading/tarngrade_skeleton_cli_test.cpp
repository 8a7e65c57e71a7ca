// tarngrade --somiglianze --scheletro end to end: a class folder that
// completed the code every student received, with stray files and two
// students of the same name, and the skeleton as a source or an image.
#include "support/process.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using tarntest::ProcessResult;
using tarntest::runProcess;

namespace {

ProcessResult grade(std::vector<std::string> args) {
    args.insert(args.begin(), TARNGRADE_BINARY);
    return runProcess(args);
}

class Folder : public tarntest::ScratchFolder {
public:
    Folder() : ScratchFolder("scheletro") {}
    std::string write(const std::string& name, const std::string& content) const {
        return put(name, content).string();
    }
    std::string operator/(const std::string& name) const { return (path() / name).string(); }
};

const char* const EXERCISE =
    "titolo = \"Il doppio più uno\"\n"
    "\n"
    "[[caso]]\n"
    "nome = \"tre\"\n"
    "ingresso = \"3\\n\"\n"
    "uscita = \"7\\n\"\n";

// What every student received: read a digit, print the result.
const std::string SKELETON =
    "; leggi la cifra, poi scrivi il tuo codice al posto del commento\n"
    "        INP numero\n"
    "        SUB numero, zero\n"
    "        VALOFFST 0\n"
    "        CLZ\n"
    "        CPY numero, copia\n"
    "; il tuo codice\n"
    "        ADD copia, zero\n"
    "        WRT copia\n"
    "        WRT acapo\n"
    "        CLZ\n"
    "        RST\n"
    "numero: DB 0, 0\n"
    "copia:  DB 0, 0\n"
    "zero:   DB '0'\n"
    "acapo:  DB 10, 0\n";

std::string completed(const std::string& code) {
    std::string source = SKELETON;
    const std::string mark = "; il tuo codice\n";
    source.replace(source.find(mark), mark.size(), code);
    return source;
}

const std::string OWN = "        ADD copia, numero\n        INC copia\n        DEC numero\n        CLZ\n"
                        "        MUL copia, zero\n        INCOFFST\n        STN\n";

// The similarity section of a report, up to the summary.
std::string similaritySection(const std::string& report) {
    const std::size_t from = report.find("Consegne simili");
    const std::size_t to = report.find("Riepilogo:");
    if (from == std::string::npos || to == std::string::npos || to < from) return "";
    return report.substr(from, to - from);
}

}  // namespace

TEST(TarngradeSkeleton, OnlyTheStudentsOwnCodeMakesThemAlike) {
    Folder folder;
    const std::string exercise = folder.write("esercizio.toml", EXERCISE);
    const std::string skeleton = folder.write("scheletro.asm", SKELETON);
    // Two students kept the skeleton (one with a NOP), two of them both
    // named rossi share their own code, and one wrote something else; a
    // stray file lies among the folders.
    folder.write("classe/bianchi/programma.asm", SKELETON);
    folder.write("classe/neri/esercizio.asm", completed("        NOP\n"));
    folder.write("classe/sez-a/rossi/rossi.asm", completed(OWN));
    folder.write("classe/sez-b/rossi/mio.asm", completed(OWN + "        NOP\n"));
    folder.write("classe/verdi/programma.asm", completed("        DIV copia, zero\n        STO\n        JPN 0\n"
                                                        "        SUB numero, copia\n        DECOFFST\n"));
    folder.write("classe/leggimi.txt", "consegne del 10 dicembre\n");
    const std::vector<std::string> students = {folder / "classe/bianchi", folder / "classe/leggimi.txt",
                                               folder / "classe/neri",    folder / "classe/sez-a/rossi",
                                               folder / "classe/sez-b/rossi", folder / "classe/verdi"};
    std::vector<std::string> args = {exercise};
    args.insert(args.end(), students.begin(), students.end());
    args.push_back("--somiglianze");

    // Without the skeleton, keeping it is enough to be alike.
    const ProcessResult plain = grade(args);
    ASSERT_EQ(1, plain.exitStatus) << plain.err;
    const std::string plainSection = similaritySection(plain.out);
    EXPECT_NE(plainSection.find("bianchi e neri"), std::string::npos) << plainSection;
    EXPECT_EQ(plainSection.find("scheletro"), std::string::npos) << plainSection;

    args.push_back("--scheletro");
    args.push_back(skeleton);
    const ProcessResult excluded = grade(args);
    EXPECT_EQ(1, excluded.exitStatus) << excluded.err;
    EXPECT_NE(excluded.err.find("'" + folder / "classe/leggimi.txt" + "' non è una consegna e si salta"),
              std::string::npos)
        << excluded.err;
    const std::string section = similaritySection(excluded.out);
    EXPECT_EQ(section.rfind("Consegne simili (il codice confrontato come sequenza di istruzioni):\n"
                            "  Non contano le sequenze di almeno 5 istruzioni consecutive presenti anche nello "
                            "scheletro.\n"
                            "  sez-a/rossi e sez-b/rossi  ",
                            0),
              0u)
        << section;
    for (const char* alone : {"bianchi", "neri", "verdi"}) EXPECT_EQ(section.find(alone), std::string::npos) << alone;
    EXPECT_EQ(SKELETON, tarntest::fileContent(skeleton));

    // The skeleton as an image: the same comparison.
    const std::string image = folder / "scheletro.bin";
    const ProcessResult assembled = runProcess({TARNASM_BINARY, skeleton, "-o", image});
    ASSERT_EQ(0, assembled.exitStatus) << assembled.err;
    args.back() = image;
    const ProcessResult fromImage = grade(args);
    EXPECT_EQ(1, fromImage.exitStatus) << fromImage.err;
    EXPECT_EQ(section, similaritySection(fromImage.out));
}

TEST(TarngradeSkeleton, ASkeletonThatCannotBeUsedStopsTheGradingWithOneMessage) {
    Folder folder;
    const std::string exercise = folder.write("esercizio.toml", EXERCISE);
    const std::string student = folder.write("classe/rossi/programma.asm", completed(OWN));
    const std::string skeleton = folder.write("scheletro.asm", SKELETON);
    const std::string broken = folder.write("rotto.asm", "        INP numero\n        SALTA fine\n");
    const std::string text = folder.write("scheletro.txt", SKELETON);
    std::filesystem::create_directory(folder / "cartella.asm");
    // One byte over the limit of a source: comments, which would assemble.
    std::string comments;
    while (comments.size() <= (std::size_t{1} << 20)) comments += "; commento\n";
    comments.resize((std::size_t{1} << 20) + 1);
    const std::string huge = folder.write("enorme.asm", comments);
    const struct {
        std::vector<std::string> extra;
        std::string error;
    } cases[] = {
        {{"--scheletro", folder / "manca.asm"},
         "tarngrade: impossibile leggere lo scheletro '" + folder / "manca.asm" + "': file o cartella inesistente\n"},
        {{"--scheletro", broken}, broken + ":1:13: errore: etichetta non definita 'numero'\n"},
        {{"--scheletro", text},
         "tarngrade: lo scheletro '" + text + "' dev'essere un sorgente .asm o un'immagine .bin\n"},
        {{"--scheletro", folder / "cartella.asm"},
         "tarngrade: lo scheletro '" + folder / "cartella.asm" + "' non è un file regolare\n"},
        {{"--scheletro", huge},
         "tarngrade: lo scheletro '" + huge + "' supera il limite di 1048576 byte di un sorgente\n"},
        {{"--scheletro", skeleton, "--json", skeleton},
         "tarngrade: il rapporto --json '" + skeleton +
             "' prenderebbe il posto dello scheletro (uso: tarngrade ESERCIZIO CONSEGNA... [-j N] [--json F] "
             "[--junit F] [--csv F] [--xlsx F] [--gradescope F] [--github-classroom F] [--prairielearn F] [--caso NOME] [--somiglianze [--scheletro F]] "
             "[--sintesi] [--docente] [--vpl | --coderunner], oppure tarngrade --verifica ESERCIZIO)\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {exercise, folder / "classe/rossi", "--somiglianze"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const ProcessResult result = grade(args);
        EXPECT_EQ(2, result.exitStatus) << c.error;
        EXPECT_EQ("", result.out) << c.error;
        EXPECT_EQ(c.error, result.err);
    }
    EXPECT_EQ(SKELETON, tarntest::fileContent(skeleton));
    EXPECT_EQ(completed(OWN), tarntest::fileContent(student));
}

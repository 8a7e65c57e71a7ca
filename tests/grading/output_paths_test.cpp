// tarngrade end to end on where its reports go: a report named by one of its
// descriptors (/dev/stdout, /dev/fd/N) is written through it beside the
// text report, and two reports that name one file are refused however the
// name is spelled.
#include "support/process.hpp"
#include "support/temp_folder.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

using tarntest::ProcessResult;
using tarntest::runProcess;

namespace {

namespace fs = std::filesystem;

const std::string EXAMPLES = std::string(TARNSIM_SOURCE_DIR) + "/examples/esercizi";
const std::string CSV_HEADER = "studente,tre più quattro,";
const std::string SUMMARY = "Riepilogo: 1 consegna; 1 ha superato tutti i casi.";

using tarntest::fileContent;

// A fresh folder with the example exercise "somma" and its right answer,
// removed at the end.
class Folder : public tarntest::ScratchFolder {
public:
    Folder() : ScratchFolder("tarngrade-uscite") {
        fs::copy_file(EXAMPLES + "/somma.toml", path() / "somma.toml");
        fs::copy_file(EXAMPLES + "/somma-giusta.asm", path() / "somma-giusta.asm");
    }
};

// Runs a shell command line in the folder, with "$G" naming tarngrade.
ProcessResult shell(const Folder& folder, const std::string& script) {
    return runProcess({"/bin/sh", "-c", "G=\"$1\"; cd \"$2\" || exit 99\n" + script, "sh", TARNGRADE_BINARY,
                       folder.path().string()});
}

}  // namespace

TEST(ReportOnADescriptor, TheLogKeepsItsLinesTheReportAndTheText) {
    const Folder folder;
    const std::string old = "lezione del 3 marzo\n";
    std::ofstream(folder / "registro.log", std::ios::trunc) << old;
    ProcessResult result =
        shell(folder, "\"$G\" somma.toml somma-giusta.asm --csv /dev/stdout >> registro.log; echo \"stato $?\"");
    EXPECT_EQ("stato 0\n", result.out) << result.err;
    std::string log = fileContent(folder / "registro.log");
    EXPECT_EQ(0u, log.find(old)) << log;
    EXPECT_NE(std::string::npos, log.find("\n" + CSV_HEADER)) << log;
    EXPECT_NE(std::string::npos, log.find(SUMMARY)) << log;

    // A plain redirection keeps the text report too.
    result = shell(folder, "\"$G\" somma.toml somma-giusta.asm --json /dev/fd/1 > registro.log; echo \"stato $?\"");
    EXPECT_EQ("stato 0\n", result.out) << result.err;
    log = fileContent(folder / "registro.log");
    EXPECT_EQ(0u, log.find('{')) << log;
    EXPECT_NE(std::string::npos, log.find(SUMMARY)) << log;
}

TEST(ReportOnADescriptor, APipeTakesTheReport) {
    const Folder folder;
    const ProcessResult result = runProcess({TARNGRADE_BINARY, (folder / "somma.toml").string(),
                                             (folder / "somma-giusta.asm").string(), "--csv", "/dev/stdout"});
    EXPECT_EQ(0, result.exitStatus) << result.err;
    EXPECT_EQ("", result.err);
    EXPECT_NE(std::string::npos, result.out.find(CSV_HEADER)) << result.out;
    EXPECT_NE(std::string::npos, result.out.find(SUMMARY)) << result.out;
}

TEST(ReportNames, OneFileSpelledTwoWaysIsRefusedAndNothingIsWritten) {
    const Folder folder;
    const struct {
        std::string setup;
        std::string json, csv;
    } cases[] = {
        {"", "v.csv", "./v.csv"},
        {"", "v.csv", "\"$PWD/v.csv\""},
        {"mkdir voti", "voti/../v.csv", "v.csv"},
        {"ln -s v.csv collegamento", "collegamento", "v.csv"},  // dangling, and its target
        {"mkdir voti && ln -s ../v.csv voti/l", "\"$PWD/voti/l\"", "./v.csv"},
        {"echo vecchio > v.csv && ln v.csv duro", "duro", "./v.csv"},
    };
    for (const auto& c : cases) {
        for (const char* name : {"v.csv", "collegamento", "duro", "voti"}) fs::remove_all(folder / name);
        const std::string command =
            "\"$G\" somma.toml somma-giusta.asm --json " + c.json + " --csv " + c.csv + "; echo \"stato $?\"";
        const ProcessResult result = shell(folder, (c.setup.empty() ? "" : c.setup + " && ") + command);
        EXPECT_EQ("stato 2\n", result.out) << command << " dopo " << c.setup;
        EXPECT_EQ(0u, result.err.find("tarngrade: i rapporti ")) << result.err;
        EXPECT_NE(std::string::npos, result.err.find(" non possono essere lo stesso file")) << result.err;
        if (c.setup.find("vecchio") == std::string::npos)
            EXPECT_FALSE(fs::exists(folder / "v.csv")) << command << " dopo " << c.setup;
        else
            EXPECT_EQ("vecchio\n", fileContent(folder / "v.csv")) << command << " dopo " << c.setup;
    }
}

TEST(ReportNames, NoReportTakesThePlaceOfTheSolutionTheExerciseNames) {
    const Folder folder;
    fs::copy_file(EXAMPLES + "/somma-sbagliata.asm", folder / "somma-sbagliata.asm");
    const std::string solution = fileContent(folder / "somma-giusta.asm");
    // The solution as a folder, in an exercise of its own.
    std::string ownExercise = fileContent(folder / "somma.toml");
    const std::string named = "\"somma-giusta.asm\"";
    ownExercise.replace(ownExercise.find(named), named.size(), "\"giusta\"");
    std::ofstream(folder / "cartella.toml") << ownExercise;
    fs::create_directory(folder / "giusta");
    fs::copy_file(folder / "somma-giusta.asm", folder / "giusta/programma.asm");
    const struct {
        std::string setup;
        std::string exercise;
        std::string report;
        std::string refusal;
    } cases[] = {
        {"", "somma.toml", "somma-giusta.asm", "posto della soluzione indicata dall'esercizio, 'somma-giusta.asm'"},
        {"", "somma.toml", "./somma-giusta.asm", "posto della soluzione"},
        {"", "somma.toml", "\"$PWD/somma-giusta.asm\"", "posto della soluzione"},
        {"ln -s somma-giusta.asm collegamento", "somma.toml", "collegamento", "posto della soluzione"},
        // Given through a link from another folder: --verifica looks for it
        // beside the link, the teacher may have meant it beside the file.
        {"mkdir altrove && ln -s ../somma.toml altrove/somma.toml", "altrove/somma.toml", "somma-giusta.asm",
         "posto della soluzione indicata dall'esercizio, '" + (folder / "somma-giusta.asm").string() + "'"},
        {"", "cartella.toml", "giusta/programma.asm", "posto di un file della soluzione indicata dall'esercizio"},
    };
    for (const auto& c : cases) {
        for (const char* option : {"--csv", "--json", "--junit", "--xlsx", "--gradescope"}) {
            fs::remove_all(folder / "altrove");
            fs::remove(folder / "collegamento");
            const std::string command = "\"$G\" " + c.exercise + " somma-sbagliata.asm " + option + " " + c.report +
                                        "; echo \"stato $?\"";
            const ProcessResult result = shell(folder, (c.setup.empty() ? "" : c.setup + " && ") + command);
            EXPECT_EQ("stato 2\n", result.out) << command << " dopo " << c.setup;
            EXPECT_EQ(0u, result.err.find(std::string("tarngrade: il rapporto ") + option + " ")) << result.err;
            EXPECT_NE(std::string::npos, result.err.find(c.refusal)) << result.err;
            EXPECT_EQ(solution, fileContent(folder / "somma-giusta.asm")) << command;
            EXPECT_EQ(solution, fileContent(folder / "giusta/programma.asm")) << command;
        }
    }
}

// The real tarngrade on a class folder where programs loop for ever, stop
// on a forbidden instruction or work: the report names the loop and its
// lines, says a stop shared by every case once, and the JSON keeps the facts.
#include "support/process.hpp"
#include "support/temp_folder.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

using tarntest::ProcessResult;
using tarntest::runProcess;

namespace {

class ClassFolder : public tarntest::ScratchFolder {
public:
    ClassFolder() : ScratchFolder("tarngrade-ciclo") {}
    std::string write(const std::string& name, const std::string& content) const {
        return put(name, content).string();
    }
};

const char* const EXERCISE =
    "titolo = \"Eco\"\n"
    "limite_istruzioni = 5000\n"
    "proibite = [\"MUL\"]\n"
    "\n"
    "[[caso]]\n"
    "nome = \"uno\"\n"
    "ingresso = \"1\"\n"
    "uscita = \"1\"\n"
    "\n"
    "[[caso]]\n"
    "nome = \"due\"\n"
    "ingresso = \"2\"\n"
    "uscita = \"2\"\n"
    "\n"
    "[[caso]]\n"
    "nome = \"segreto\"\n"
    "ingresso = \"3\"\n"
    "uscita = \"3\"\n"
    "nascosto = true\n";

// Echoes the word it reads.
const char* const ECHO = "        INP parola\n        WRT parola\n        RST\nparola: DB 0, 0\n";

// Reads, then waits for ever on the wrong label.
const char* const STUCK =
    "; legge e poi aspetta\n"
    "        INP parola\n"
    "attesa: JMP attesa\n"
    "        WRT parola\n"
    "        RST\n"
    "parola: DB 0, 0\n";

}  // namespace

TEST(TarngradeEndlessLoop, TheReportNamesTheLoopAndItsLinesOncePerStudent) {
    const ClassFolder folder;
    const std::string exercise = folder.write("eco.toml", EXERCISE);
    // A student's folder with a stray file beside the program, two students
    // of the same name in two classes, and an image.
    folder.write("classe/rossi/eco.asm", STUCK);
    folder.write("classe/rossi/appunti.txt", "da finire\n");
    const std::string bianchi = folder.write("classe/bianchi.asm", ECHO);
    const std::string otherBianchi = folder.write("altra/bianchi.asm", STUCK);
    ProcessResult image = runProcess({TARNASM_BINARY, otherBianchi, "-o", (folder / "classe/verdi.bin").string()});
    ASSERT_EQ(image.exitStatus, 0) << image.err;
    const std::string json = (folder / "rapporto.json").string();

    const ProcessResult result = runProcess({TARNGRADE_BINARY, exercise, (folder / "classe/rossi").string(), bianchi,
                                             otherBianchi, (folder / "classe/verdi.bin").string(), "--json", json});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(result.err, "tarngrade: 2 consegne si chiamano 'bianchi': nei rapporti sono 'classe/bianchi' e "
                          "'altra/bianchi'\n");
    const std::string& out = result.out;
    // Rossi's folder: the loop once for both visible cases, with its line.
    EXPECT_NE(out.find("  ✗ in tutti i casi visibili: ciclo infinito: dal passo 2 la macchina ripete sempre lo "
                       "stesso passo\n"
                       "    istruzioni del ciclo:\n"
                       "      riga 3: attesa: JMP attesa\n"
                       "    per rivederlo: tarngrade "),
              std::string::npos)
        << out;
    // The image: its address and disassembly.
    EXPECT_NE(out.find("      0x02  L_02: JMP L_02\n"), std::string::npos) << out;
    // Three students loop; each says so once, and the hidden case never.
    std::size_t loops = 0;
    for (std::size_t at = out.find("ciclo infinito"); at != std::string::npos; at = out.find("ciclo infinito", at + 1))
        ++loops;
    EXPECT_EQ(loops, 3u) << out;
    EXPECT_EQ(out.find("✗ segreto"), std::string::npos) << out;
    EXPECT_NE(out.find("altra/bianchi  ("), std::string::npos) << out;

    const nlohmann::json report = nlohmann::json::parse(tarntest::fileContent(json));
    const nlohmann::json& cases = report.at("consegne").at(0).at("casi");
    ASSERT_EQ(cases.size(), 3u);
    for (const nlohmann::json& item : cases) {
        EXPECT_EQ(item.at("ciclo_infinito").at("passo"), 2);
        EXPECT_EQ(item.at("ciclo_infinito").at("lunghezza"), 1);
        EXPECT_EQ(item.at("ciclo_infinito").at("istruzioni").at(0).at("riga"), 3);
    }
    EXPECT_TRUE(report.at("consegne").at(1).at("casi").at(0).at("ciclo_infinito").is_null());
}

TEST(TarngradeEndlessLoop, TheReplayAndGradescopeShowWhereTheRunStood) {
    const ClassFolder folder;
    const std::string exercise = folder.write("eco.toml", EXERCISE);
    folder.write("rossi/eco.asm", STUCK);
    const std::string forbidden = folder.write("neri.asm", " INP parola\n MUL parola, due\n RST\nparola: DB 0, 0\ndue: DB 2\n");

    const ProcessResult replay = runProcess({TARNGRADE_BINARY, exercise, (folder / "rossi").string(), "--caso", "due"});
    EXPECT_EQ(replay.exitStatus, 1) << replay.err;
    EXPECT_NE(replay.out.find("  ciclo infinito: dal passo 2 la macchina ripete sempre lo stesso passo\n"
                              "  istruzioni del ciclo:\n"
                              "    riga 3: attesa: JMP attesa\n"),
              std::string::npos)
        << replay.out;

    const std::string results = (folder / "results.json").string();
    const ProcessResult gradescope = runProcess({TARNGRADE_BINARY, exercise, forbidden, "--gradescope", results});
    EXPECT_EQ(gradescope.exitStatus, 1) << gradescope.err;
    const nlohmann::json report = nlohmann::json::parse(tarntest::fileContent(results));
    const std::string first = report.at("tests").at(0).at("output").get<std::string>();
    EXPECT_NE(first.find("istruzione proibita MUL all'indirizzo 0x02, dopo 1 istruzione: l'esecuzione si è fermata lì\n"
                         "    istruzione a PC: riga 2: MUL parola, due\n"
                         "    ultime istruzioni eseguite, dalla più vecchia:\n"
                         "      riga 1: INP parola\n"),
              std::string::npos)
        << first;
    EXPECT_EQ(first.find("tarngrade "), std::string::npos) << first;  // no command for the student
    // The hidden case tells nothing of where the run stood.
    EXPECT_EQ(report.at("tests").at(2).at("output"), "non superato");
}

TEST(TarngradeEndlessLoop, WaitingOnINPAfterTheCaseInputIsAnEndlessLoop) {
    // A case has all its input from the start: once its words are read, the
    // INP finds nothing for ever, as with a file. The report, the replay of
    // the case and the JSON all call it an endless loop, from the same step.
    const ClassFolder folder;
    const std::string exercise = folder.write("parole.toml",
                                              "titolo = \"Parole\"\n"
                                              "limite_istruzioni = 5000\n"
                                              "[[caso]]\n"
                                              "nome = \"a\"\n"
                                              "ingresso = \"uno due\"\n"
                                              "uscita = \"uno due\"\n");
    folder.write("rossi/parole.asm", "ciclo: INP buf\n       JMP ciclo\nbuf:   DB 0, 0, 0, 0\n");
    const std::string json = (folder / "rapporto.json").string();
    const ProcessResult report = runProcess({TARNGRADE_BINARY, exercise, (folder / "rossi").string(), "--json", json});
    EXPECT_EQ(report.exitStatus, 1) << report.err;
    const std::string loop = "ciclo infinito: dal passo 3 la macchina ripete gli stessi 2 passi\n";
    EXPECT_NE(report.out.find(loop), std::string::npos) << report.out;
    EXPECT_EQ(report.out.find("limite di istruzioni"), std::string::npos) << report.out;
    const nlohmann::json cases = nlohmann::json::parse(tarntest::fileContent(json)).at("consegne").at(0).at("casi");
    EXPECT_EQ(cases.at(0).at("ciclo_infinito").at("passo"), 3);

    const ProcessResult replay = runProcess({TARNGRADE_BINARY, exercise, (folder / "rossi").string(), "--caso", "a"});
    EXPECT_EQ(replay.exitStatus, 1) << replay.err;
    EXPECT_NE(replay.out.find(loop), std::string::npos) << replay.out;
    EXPECT_NE(replay.out.find("    riga 1: ciclo: INP buf\n    riga 2: JMP ciclo\n"), std::string::npos) << replay.out;
}

// The real tarngrade --verifica on exercise files with faults, and on the
// solutions they name: every fault told at its place, a failing case named
// with its details (a hidden one too), the solution found beside the
// exercise wherever the command runs.
#include "support/process.hpp"
#include "support/temp_folder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using tarntest::ProcessResult;
using tarntest::runProcess;
using tarntest::ScratchFolder;

namespace {

// Reads two digits and prints their sum as one character: "9 9" prints 'B'.
const char* const ADDER =
    "        INP a\n"
    "        INP b\n"
    "        SUB a, x\n"
    "        ADD a, b\n"
    "        WRT a\n"
    "        WRT fine\n"
    "        RST\n"
    "a:      DB 0, 0\n"
    "b:      DB 0, 0\n"
    "x:      DB '0'\n"
    "fine:   DB 10, 0\n";

std::string adderExercise(const std::string& solution) {
    return "titolo = \"Somma\"\n"
           "soluzione = \"" + solution + "\"\n"
           "[[caso]]\n"
           "nome = \"tre più quattro\"\n"
           "ingresso = \"3 4\"\n"
           "uscita = \"7\\n\"\n"
           "punti = 2\n"
           "[[caso]]\n"
           "nome = \"nove più nove\"\n"
           "ingresso = \"9 9\"\n"
           "uscita = \"18\\n\"\n"
           "nascosto = true\n";
}

ProcessResult verify(const std::string& exercise, std::vector<std::string> more = {}) {
    std::vector<std::string> argv = {TARNGRADE_BINARY, "--verifica", exercise};
    argv.insert(argv.end(), more.begin(), more.end());
    return runProcess(argv);
}

}  // namespace

TEST(TarngradeVerify, TellsEveryFaultOfTheFileInItsOrder) {
    const ScratchFolder folder("verifica");
    const std::string exercise = folder.put("es.toml",
                                            "titolo = 3\n"                             // 1
                                            "soluzione = 7\n"                          // 2
                                            "limite_istruzioni = 0\n"                  // 3
                                            "proibite = [\"MULL\", \"rst\"]\n"         // 4
                                            "[[caso]]\n"                               // 5
                                            "nome = \"uno\"\n"                         // 6
                                            "uscite = \"7\"\n"                         // 7
                                            "memoria = { \"300\" = 1, \"5\" = [1, 999] }\n"  // 8
                                            "[[caso]]\n"                               // 9
                                            "nome = \"uno\"\n"                         // 10
                                            "uscita = \"\"\n"                          // 11
                                            "punti = -2\n")                            // 12
                                     .string();
    const ProcessResult result = verify(exercise);
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              exercise + ":1:10: errore: 'titolo' deve essere una stringa\n" +
              exercise + ":2:13: errore: 'soluzione' deve essere una stringa: il percorso della soluzione, a partire "
                         "dalla cartella dell'esercizio\n" +
              exercise + ":3:21: errore: 'limite_istruzioni' deve essere un intero da 1 a 1000000000000\n" +
              exercise + ":4:13: errore: istruzione sconosciuta 'MULL' in 'proibite': forse intendevi MUL?\n" +
              exercise + ":4:21: errore: RST non si può proibire: non viene mai eseguita, il programma si ferma "
                         "quando la incontra\n" +
              exercise + ":7:1: errore: chiave sconosciuta 'uscite' nel caso 'uno': forse intendevi 'uscita'?\n" +
              exercise + ":8:13: errore: indirizzo non valido '300' in 'memoria' del caso 'uno': un indirizzo va da "
                         "0 a 255, in decimale (\"200\") o in esadecimale (\"0xC8\")\n" +
              exercise + ":8:34: errore: ogni byte di 'memoria' del caso 'uno' all'indirizzo '5' deve essere un "
                         "intero da -128 a 255\n" +
              exercise + ":10:8: errore: c'è già un caso chiamato 'uno', alla riga 5\n" +
              exercise + ":12:9: errore: 'punti' del caso 'uno' deve essere un numero da 0 a 1000000\n");

    // Grading a class tells them all as well, before any submission is read.
    const ProcessResult graded = runProcess({TARNGRADE_BINARY, exercise, (folder / "nessuno.asm").string()});
    EXPECT_EQ(graded.exitStatus, 2);
    EXPECT_EQ(graded.err, result.err);
}

TEST(TarngradeVerify, TellsAHundredFaultsAndCountsTheRest) {
    const ScratchFolder folder("verifica");
    std::string text = "titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\natteso.memoria = { \"0\" = [";
    for (int i = 0; i < 130; ++i) text += i == 0 ? "300" : ", 300";
    text += "] }\n";
    const std::string exercise = folder.put("es.toml", text).string();
    const ProcessResult result = verify(exercise);
    EXPECT_EQ(result.exitStatus, 2);
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = result.err.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(result.err.substr(start, end - start));
    ASSERT_EQ(lines.size(), 101u) << result.err;
    EXPECT_EQ(lines.front(), exercise + ":5:27: errore: ogni byte di 'atteso.memoria' del caso 'uno' all'indirizzo "
                                        "'0' deve essere un intero da -128 a 255");
    EXPECT_EQ(lines[99].rfind(exercise + ":5:" + std::to_string(27 + 99 * 5) + ": errore: ", 0), 0u) << lines[99];
    EXPECT_EQ(lines.back(), exercise + ": altri 30 errori non mostrati");
}

TEST(TarngradeVerify, ASoundFileWithoutASolutionIsAllItChecks) {
    const ScratchFolder folder("verifica");
    std::string text = adderExercise("x");
    text.erase(text.find("soluzione"), text.find('\n', text.find("soluzione")) - text.find("soluzione") + 1);
    const std::string exercise = folder.put("es.toml", text).string();
    const ProcessResult result = verify(exercise);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, "Esercizio «Somma» (" + exercise +
                              "): 2 casi, di cui 1 nascosto, 3 punti.\n"
                              "Il file è corretto. Non indica una soluzione da provare sui casi: per farlo, scrivi "
                              "soluzione = \"FILE.asm\" in cima all'esercizio.\n");
}

TEST(TarngradeVerify, ASolutionThatFailsAHiddenCaseIsNamedInFull) {
    const ScratchFolder folder("verifica");
    const std::string solution = folder.put("somma-giusta.asm", ADDER).string();
    const std::string exercise = folder.put("es.toml", adderExercise("somma-giusta.asm")).string();
    const ProcessResult result = verify(exercise, {"-j", "2"});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_NE(result.out.find("Esercizio «Somma» (" + exercise + "): 2 casi, di cui 1 nascosto, 3 punti.\n"
                              "La soluzione " + solution + " NON supera 1 caso su 2:\n"),
              std::string::npos)
        << result.out;
    // The hidden case, with what it expected and what it got.
    EXPECT_NE(result.out.find("✗ nove più nove (nascosto)"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("\"9 9\""), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("18"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("tre più quattro"), std::string::npos) << result.out;
    // No command to replay a hidden case: tarngrade would refuse it.
    EXPECT_EQ(result.out.find("per rivederlo"), std::string::npos) << result.out;
}

TEST(TarngradeVerify, TheSolutionIsFoundFromTheExercisesFolderWhereverItRuns) {
    const ScratchFolder folder("verifica");
    folder.put("esercizi/soluzioni/somma.asm", ADDER);
    std::string text = adderExercise("soluzioni/somma.asm");
    text.replace(text.find("uscita = \"18\\n\""), 15, "uscita = \"B\\n\"");  // what ADDER prints for 9 + 9
    folder.put("esercizi/somma.toml", text);
    folder.put("altrove/.keep", "");
    const ProcessResult result =
        runProcess({"/bin/sh", "-c", "cd \"$1\" && exec \"$0\" --verifica ../esercizi/somma.toml", TARNGRADE_BINARY,
                    (folder / "altrove").string()});
    EXPECT_EQ(result.exitStatus, 0) << result.err << result.out;
    EXPECT_EQ(result.out, "Esercizio «Somma» (../esercizi/somma.toml): 2 casi, di cui 1 nascosto, 3 punti.\n"
                          "La soluzione ../esercizi/soluzioni/somma.asm supera tutti i casi.\n");
}

TEST(TarngradeVerify, ASolutionMissingOrNotAssembledIsAFileError) {
    const ScratchFolder folder("verifica");
    const std::string missing = folder.put("manca.toml", adderExercise("nessuna.asm")).string();
    const ProcessResult none = verify(missing);
    EXPECT_EQ(none.exitStatus, 2);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "tarngrade: impossibile leggere la soluzione '" + (folder / "nessuna.asm").string() +
                            "': file o cartella inesistente\n");

    folder.put("rotta.asm", "        WRT\n        RST\n");
    const std::string broken = folder.put("rotta.toml", adderExercise("rotta.asm")).string();
    const ProcessResult wrong = verify(broken);
    EXPECT_EQ(wrong.exitStatus, 2);
    EXPECT_EQ(wrong.out, "");
    const std::string source = (folder / "rotta.asm").string();
    EXPECT_EQ(wrong.err.rfind(source + ":1:", 0), 0u) << wrong.err;
    EXPECT_NE(wrong.err.find("\ntarngrade: la soluzione '" + source + "' non si può provare sui casi\n"),
              std::string::npos)
        << wrong.err;
}

TEST(TarngradeVerify, ASolutionMissingBesideALinkToTheExerciseSaysWhereItWasLookedFor) {
    const ScratchFolder folder("verifica");
    folder.put("docente/somma.asm", ADDER);
    folder.put("docente/somma.toml", adderExercise("somma.asm"));
    folder.put("corso/.keep", "");
    std::filesystem::create_symlink("../docente/somma.toml", folder / "corso/somma.toml");
    const std::string real = std::filesystem::canonical(folder.path()).string();
    const ProcessResult result = verify((folder / "corso/somma.toml").string());
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "tarngrade: impossibile leggere la soluzione '" + (folder / "corso/somma.asm").string() +
                              "': file o cartella inesistente; l'esercizio è un collegamento simbolico, e "
                              "'soluzione' si cerca dalla cartella del collegamento, '" + real +
                              "/corso', non da quella del file a cui porta, '" + real +
                              "/docente', dove la soluzione c'è\n");
    // Beside the link, it is found.
    folder.put("corso/somma.asm", ADDER);
    EXPECT_EQ(verify((folder / "corso/somma.toml").string()).exitStatus, 1);
}

TEST(TarngradeVerify, ACaseWhoseMemoryLandsOnTheSolutionsInstructionsIsAFault) {
    // ADDER: INP a at 0x00-0x01, INP b at 0x02-0x03, ..., RST at 0x0E, its
    // data from 0x0F. Each memory leaves the bytes as they were: the
    // solution passes every case either way.
    const struct {
        std::string memory;
        bool hidden;
        int status;
        std::string err;
    } rows[] = {
        {"{ \"0x0F\" = [0, 0] }", false, 0, ""},
        {"{ \"0x01\" = 15 }", false, 2, "la memoria del caso «tre più quattro» copre istruzioni della soluzione "
                                        "all'indirizzo 0x01"},
        {"{ \"0x0E\" = [0, 0, 0] }", true, 2, "la memoria del caso «tre più quattro» copre istruzioni della "
                                              "soluzione all'indirizzo 0x0E"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.memory);
        const ScratchFolder folder("verifica");
        folder.put("somma-giusta.asm", ADDER);
        const std::string exercise =
            folder
                .put("es.toml", "titolo = \"Somma\"\n"
                                "soluzione = \"somma-giusta.asm\"\n"
                                "[[caso]]\n"
                                "nome = \"tre più quattro\"\n"
                                "ingresso = \"3 4\"\n"
                                "uscita = \"7\\n\"\n"
                                "nascosto = " + std::string(row.hidden ? "true" : "false") + "\n" +
                                "memoria = " + row.memory + "\n")
                .string();
        const ProcessResult result = verify(exercise);
        EXPECT_EQ(result.exitStatus, row.status) << result.err;
        EXPECT_EQ(result.err, row.err.empty() ? "" : exercise + ": errore: " + row.err + "\n");
        EXPECT_NE(result.out.find("supera tutti i casi"), std::string::npos) << result.out;
    }
}

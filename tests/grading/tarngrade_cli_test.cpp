// The tarngrade program end to end: the command line, the report on standard
// output, the report files, the exit status.
#include "support/process.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using tarntest::ProcessOptions;
using tarntest::ProcessResult;
using tarntest::runProcess;
using tarntest::writeTempFile;

namespace {

const std::string USAGE =
    " (uso: tarngrade ESERCIZIO CONSEGNA... [-j N] [--json F] [--junit F] [--csv F] [--xlsx F] [--gradescope F] "
    "[--github-classroom F] [--prairielearn F] [--caso NOME] [--somiglianze [--scheletro F]] [--sintesi] [--docente] [--vpl | --coderunner], oppure tarngrade --verifica "
    "ESERCIZIO)\n";

ProcessResult grade(std::vector<std::string> args, ProcessOptions options = {}) {
    args.insert(args.begin(), TARNGRADE_BINARY);
    return runProcess(args, options);
}

std::string readFile(const std::string& path) {
    return tarntest::fileContent(path);
}

// A fresh folder of the test's own, removed at the end.
class Folder : public tarntest::ScratchFolder {
public:
    Folder() : ScratchFolder("tarngrade") {}
    std::string write(const std::string& name, const std::string& content) const {
        return put(name, content).string();
    }
    std::string operator/(const std::string& name) const { return (path() / name).string(); }
};

const char* const EXERCISE =
    "titolo = \"Saluto\"\n"
    "\n"
    "[[caso]]\n"
    "nome = \"ciao\"\n"
    "uscita = \"ciao\\n\"\n";

const char* const GREETING = "        WRT testo\n        RST\ntesto:  DB \"ciao\", 10, 0\n";

}  // namespace

TEST(TarngradeCommandLine, UsageErrorsSayWhatIsWrongWithExitStatus2) {
    Folder folder;
    const std::string exercise = folder.write("es.toml", EXERCISE);
    const std::string program = folder.write("rossi.asm", GREETING);
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{}, "manca il file dell'esercizio"},
        {{exercise}, "manca almeno una consegna"},
        {{exercise, program, "--vai"}, "opzione sconosciuta '--vai'"},
        {{exercise, program, "-j"}, "l'opzione -j vuole un numero da 1 a 256"},
        {{exercise, program, "-j", "0"}, "l'opzione -j vuole un numero da 1 a 256"},
        {{exercise, program, "-j257"}, "l'opzione -j vuole un numero da 1 a 256"},
        {{exercise, program, "-j", "2x"}, "l'opzione -j vuole un numero da 1 a 256"},
        {{exercise, program, "--json"}, "l'opzione --json vuole un nome di file"},
        {{exercise, program, "--csv="}, "l'opzione --csv vuole un nome di file"},
        {{exercise, program, "--csv", "a", "--csv", "b"}, "l'opzione --csv è ripetuta"},
        {{exercise, program, "--caso"}, "l'opzione --caso vuole il nome di un caso"},
        {{exercise, program, program, "--caso", "ciao"},
         "l'opzione --caso mostra il caso di una sola consegna, ma ne sono date 2"},
        {{exercise, program, "--caso", "ciao", "--json", folder / "r.json"},
         "l'opzione --caso non si combina con i rapporti, --somiglianze o --sintesi"},
        {{exercise, program, program, "--gradescope", folder / "g.json"},
         "Gradescope valuta una consegna alla volta: --gradescope ne vuole una sola, ma ne sono date 2"},
        {{exercise, program, ""}, "un argomento è vuoto"},
        {{exercise, program, "--json", exercise}, "il rapporto --json '" + exercise + "' prenderebbe il posto dell'esercizio"},
        {{exercise, program, "--csv", program},
         "il rapporto --csv '" + program + "' prenderebbe il posto della consegna '" + program + "'"},
        {{exercise, program, "--csv", folder / "r", "--junit", folder / "r"},
         "i rapporti --junit e --csv non possono essere lo stesso file"},
        // A value that looks like an option is a slip.
        {{exercise, program, "--json", "--somiglianze"},
         "l'opzione --json vuole un nome di file, ma '--somiglianze' sembra un'opzione: per un file con questo nome "
         "scrivi ./--somiglianze"},
        {{exercise, program, "--csv", "-"},
         "l'opzione --csv vuole un nome di file, ma '-' sembra un'opzione: per un file con questo nome scrivi ./-"},
        {{exercise, program, "--caso", "-j"},
         "l'opzione --caso vuole il nome di un caso, ma '-j' sembra un'opzione: per un caso con questo nome scrivi "
         "--caso=-j"},
        // An option spelled with the wrong dashes, or one letter off.
        {{exercise, program, "-junit", folder / "r"}, "opzione sconosciuta '-junit': forse intendevi --junit?"},
        {{exercise, program, "-json=" + folder / "r"}, "opzione sconosciuta '-json=" + folder / "r" +
                                                       "': forse intendevi --json?"},
        {{exercise, program, "--jsno", folder / "r"}, "opzione sconosciuta '--jsno': forse intendevi --json?"},
        {{exercise, program, "--somiglianza"}, "opzione sconosciuta '--somiglianza': forse intendevi --somiglianze?"},
        {{exercise, program, "--j", "2"}, "opzione sconosciuta '--j': forse intendevi -j?"},
        {{exercise, program, "-jx"}, "opzione sconosciuta '-jx'"},
        {{exercise, program, "--\x1b[2J"}, "opzione sconosciuta '--\\x1B[2J'"},
        // Every option once.
        {{exercise, program, "-j8", "-j", "2"}, "l'opzione -j è ripetuta"},
        {{exercise, program, "-j", "2", "-j=2"}, "l'opzione -j è ripetuta"},
        {{exercise, program, "--somiglianze", "--somiglianze"}, "l'opzione --somiglianze è ripetuta"},
        {{exercise, program, "--caso", "ciao", "--caso=ciao"}, "l'opzione --caso è ripetuta"},
        {{exercise, program, "--gradescope", folder / "r", "--gradescope=" + folder / "s"},
         "l'opzione --gradescope è ripetuta"},
    };
    for (const auto& c : cases) {
        const ProcessResult result = grade(c.args);
        EXPECT_EQ(2, result.exitStatus) << c.error;
        EXPECT_EQ("", result.out) << c.error;
        EXPECT_EQ("tarngrade: " + c.error + USAGE, result.err);
    }
    EXPECT_EQ(EXERCISE, readFile(exercise));
    EXPECT_EQ(GREETING, readFile(program));
    EXPECT_FALSE(std::filesystem::exists(folder / "r"));
}

TEST(TarngradeCommandLine, FileErrorsNameTheFileWithExitStatus2) {
    Folder folder;
    const std::string exercise = folder.write("es.toml", EXERCISE);
    const std::string program = folder.write("rossi.asm", GREETING);
    const std::string missing = folder / "manca.toml";
    const std::string big = folder.write("grande.toml", std::string((4u << 20) + 1, '#'));
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{missing, program}, "impossibile leggere l'esercizio '" + missing + "': file o cartella inesistente"},
        {{folder.path().string(), program},
         "impossibile leggere l'esercizio '" + folder.path().string() + "': è una cartella"},
        {{big, program}, "l'esercizio '" + big + "' supera il limite di 4194304 byte"},
        {{exercise, program, "--caso", "Ciao"}, "l'esercizio non ha un caso 'Ciao': forse intendevi 'ciao'?"},
        {{exercise, program, "--caso", "addio"}, "l'esercizio non ha un caso 'addio'"},
    };
    for (const auto& c : cases) {
        const ProcessResult result = grade(c.args);
        EXPECT_EQ(2, result.exitStatus) << c.error;
        EXPECT_EQ("", result.out) << c.error;
        EXPECT_EQ("tarngrade: " + c.error + "\n", result.err);
    }
}

TEST(TarngradeCommandLine, HelpGoesToStandardOutput) {
    const ProcessResult result = grade({"--help"});
    EXPECT_EQ(0, result.exitStatus);
    EXPECT_EQ("", result.err);
    EXPECT_TRUE(result.out.starts_with("Uso: tarngrade ESERCIZIO CONSEGNA... [opzioni]\n")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("  --caso NOME       mostra per intero il caso NOME di una sola consegna\n"));
}

namespace {

const char* const CLASS_EXERCISE =
    "titolo = \"Saluto\"\n"
    "limite_istruzioni = 1000\n"
    "\n"
    "[[caso]]\n"
    "nome = \"ciao\"\n"
    "uscita = \"ciao\\n\"\n"
    "\n"
    "[[caso]]\n"
    "nome = \"eco\"\n"
    "ingresso = \"SEGRETO\"\n"
    "uscita = \"SEGRETO\\n\"\n"
    "punti = 2\n"
    "nascosto = true\n";

// Four students, run from their folder with relative paths as a teacher would.
struct Class {
    Folder folder;
    Class() {
        folder.write("es.toml", CLASS_EXERCISE);
        folder.write("classe/rossi/saluto.asm", GREETING);
        folder.write("classe/rossi/saluto.lst", "ignorato\n");
        folder.write("classe/bianchi.asm", "        WRT testo\n        RST\ntesto:  DB \"ciao\", 0\n");
        folder.write("classe/verdi.asm", "        WTR testo\n        RST\n");
        folder.write("classe/neri.asm", "giro: JMP giro\n");
    }
};

ProcessResult gradeIn(const Folder& folder, std::vector<std::string> args) {
    std::vector<std::string> command = {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", folder.path().string(),
                                        TARNGRADE_BINARY};
    command.insert(command.end(), args.begin(), args.end());
    return runProcess(command);
}

}  // namespace

TEST(TarngradeReport, AClassIsGradedWithOneCommand) {
    Class c;
    const ProcessResult result =
        gradeIn(c.folder, {"es.toml", "classe/rossi", "classe/bianchi.asm", "classe/verdi.asm", "classe/neri.asm"});
    EXPECT_EQ(1, result.exitStatus);
    EXPECT_EQ("", result.err);
    EXPECT_EQ("Esercizio «Saluto» (es.toml): 2 casi, 3 punti\n"
              "\n"
              "rossi  (classe/rossi/saluto.asm)  1/3 punti\n"
              "  superato      ciao  1/1\n"
              "  NON SUPERATO  eco   0/2  (nascosto)\n"
              "\n"
              "bianchi  (classe/bianchi.asm)  0/3 punti\n"
              "  NON SUPERATO  ciao  0/1\n"
              "  NON SUPERATO  eco   0/2  (nascosto)\n"
              "\n"
              "  ✗ ciao: uscita diversa da quella attesa\n"
              "    ingresso: nessuno\n"
              "    uscita (- attesa, + ottenuta):\n"
              "      - ciao\n"
              "      + ciao  (senza a capo finale)\n"
              "    istruzioni eseguite: 1\n"
              "    per rivederlo: tarngrade es.toml classe/bianchi.asm --caso ciao\n"
              "    nel debugger: tarndbg classe/bianchi.asm --esercizio es.toml --caso ciao\n"
              "\n"
              "verdi  (classe/verdi.asm)  0/3 punti\n"
              "  il programma non si può eseguire:\n"
              "    classe/verdi.asm:1:9: errore: mnemonico sconosciuto 'WTR': forse intendevi WRT?\n"
              "  NON SUPERATO  ciao  0/1\n"
              "  NON SUPERATO  eco   0/2  (nascosto)\n"
              "\n"
              "neri  (classe/neri.asm)  0/3 punti\n"
              "  NON SUPERATO  ciao  0/1\n"
              "  NON SUPERATO  eco   0/2  (nascosto)\n"
              "\n"
              "  ✗ ciao: ciclo infinito: dal passo 1 la macchina ripete sempre lo stesso passo\n"
              "    istruzioni del ciclo:\n"
              "      riga 1: giro: JMP giro\n"
              "    ingresso: nessuno\n"
              "    uscita (- attesa, + ottenuta):\n"
              "      - ciao\n"
              "    istruzioni eseguite: 1000\n"
              "    per rivederlo: tarngrade es.toml classe/neri.asm --caso ciao\n"
              "    nel debugger: tarndbg classe/neri.asm --esercizio es.toml --caso ciao\n"
              "\n"
              "Riepilogo: 4 consegne; nessuna ha superato tutti i casi. Media 0,25 su 3 punti.\n"
              "  ciao  superato da 1 consegna su 4\n"
              "  eco   superato da 0 consegne su 4  (nascosto)\n",
              result.out);
    EXPECT_EQ(std::string::npos, result.out.find("SEGRETO"));

    // One thread or many: the same report.
    const ProcessResult serial = gradeIn(
        c.folder, {"-j", "1", "es.toml", "classe/rossi", "classe/bianchi.asm", "classe/verdi.asm", "classe/neri.asm"});
    EXPECT_EQ(result.out, serial.out);

    // Every failing visible case's command replays it.
    const ProcessResult replay = gradeIn(c.folder, {"es.toml", "classe/bianchi.asm", "--caso", "ciao"});
    EXPECT_EQ(1, replay.exitStatus);
    EXPECT_NE(std::string::npos, replay.out.find("Memoria finale:\n")) << replay.out;
    EXPECT_NE(std::string::npos, replay.out.find("Registri finali:\n")) << replay.out;
    EXPECT_EQ(0, gradeIn(c.folder, {"es.toml", "classe/rossi", "--caso", "ciao"}).exitStatus);
    const ProcessResult hidden = gradeIn(c.folder, {"es.toml", "classe/rossi", "--caso", "eco"});
    EXPECT_EQ(2, hidden.exitStatus);
    EXPECT_EQ("tarngrade: il caso 'eco' è nascosto: se ne vede solo l'esito (il docente lo vede per intero con "
              "--docente)\n",
              hidden.err);
}

TEST(TarngradeReport, ReportFilesAreWrittenAllOrNone) {
    Class c;
    const std::string json = c.folder / "r.json", junit = c.folder / "r.xml", csv = c.folder / "voti.csv";
    c.folder.write("voti.csv", "vecchio\n");
    const std::vector<std::string> students = {c.folder / "classe/rossi", c.folder / "classe/neri.asm"};
    std::vector<std::string> args = {c.folder / "es.toml"};
    args.insert(args.end(), students.begin(), students.end());

    std::vector<std::string> failing = args;
    for (const char* option : {"--json", json.c_str(), "--csv", csv.c_str(), "--junit", "/nessuna/cartella/r.xml"})
        failing.push_back(option);
    const ProcessResult failed = grade(failing);
    EXPECT_EQ(2, failed.exitStatus);
    EXPECT_EQ("", failed.out);
    EXPECT_EQ("tarngrade: impossibile scrivere il rapporto '/nessuna/cartella/r.xml': file o cartella inesistente\n",
              failed.err);
    EXPECT_FALSE(std::filesystem::exists(json));
    EXPECT_EQ("vecchio\n", readFile(csv));

    for (const char* option : {"--json", json.c_str(), "--csv", csv.c_str(), "--junit", junit.c_str()})
        args.push_back(option);
    const ProcessResult written = grade(args);
    EXPECT_EQ(1, written.exitStatus) << written.err;
    EXPECT_EQ("studente,ciao,eco,totale\nrossi,1,0,1\nneri,0,0,0\n", readFile(csv));
    EXPECT_NE(std::string::npos, readFile(json).find("\"SEGRETO\""));  // the teacher's record has everything
    const std::string xml = readFile(junit);
    EXPECT_TRUE(xml.starts_with("<?xml")) << xml;
    EXPECT_NE(std::string::npos, xml.find("caso nascosto non superato"));
    EXPECT_EQ(std::string::npos, xml.find("SEGRETO"));
    for (const auto& entry : std::filesystem::directory_iterator(c.folder.path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".tarn-")) << entry.path();
}

TEST(TarngradeReport, HostileSubmissionsFailTheirOwnCasesOnly) {
    Folder folder;
    const std::string exercise = folder.write("es.toml", CLASS_EXERCISE);
    std::string noise;
    std::uint32_t seed = 12345;
    for (int index = 0; index < 3000; ++index) {
        seed = seed * 1103515245u + 12345u;
        noise += static_cast<char>(seed >> 24);
    }
    const std::vector<std::string> students = {
        folder.write("grande.asm", std::string((1u << 20) + 10, ';')),
        folder.write("rumore.asm", noise),
        folder.write("rumore.bin", noise.substr(0, 256)),
        folder.write("stampa.asm", "giro: WRT t\n JMP giro\nt: DB \"x\\x1b[2J\", 0\n"),
        folder.write("riscrive.asm", "        VAL qui, 0x47\nqui:    DB 0, t\n        RST\nt:      DB \"ciao\", 10, 0\n"),
        folder.write("traccia.asm", "        STD\n        WRT t\n        RST\nt:      DB \"ciao\", 10, 0\n"),
    };
    std::vector<std::string> args = {exercise};
    args.insert(args.end(), students.begin(), students.end());
    const auto before = std::distance(std::filesystem::directory_iterator(folder.path()), {});
    const ProcessResult result = grade(args);
    EXPECT_EQ(1, result.exitStatus);
    EXPECT_EQ("tarngrade: 2 consegne si chiamano 'rumore': nei rapporti sono 'rumore.asm' e 'rumore.bin'\n",
              result.err);
    EXPECT_NE(std::string::npos, result.out.find("il sorgente '" + students[0] + "' supera il limite di 1048576 byte"));
    EXPECT_NE(std::string::npos, result.out.find("altri "));  // the assembler's count of the errors left out
    // What prints without end goes round the same states: proved endless.
    EXPECT_NE(std::string::npos, result.out.find("ciclo infinito: dal passo 1 la macchina ripete gli stessi 2 passi\n"
                                                 "    istruzioni del ciclo:\n"
                                                 "      riga 1: giro: WRT t\n"
                                                 "      riga 2: JMP giro\n"))
        << result.out;
    EXPECT_EQ(std::string::npos, result.out.find('\x1b'));  // a program's escapes never reach the terminal
    EXPECT_NE(std::string::npos, result.out.find("riscrive  (" + students[4] + ")  1/3 punti"));
    EXPECT_NE(std::string::npos, result.out.find("traccia  (" + students[5] + ")  1/3 punti"));
    EXPECT_NE(std::string::npos, result.out.find("nota su ciao: il programma lascia acceso il flag D"));
    EXPECT_LT(result.out.size(), 20000u);
    EXPECT_EQ(before, std::distance(std::filesystem::directory_iterator(folder.path()), {}));  // nothing written
}

TEST(TarngradeReport, AMalformedExerciseIsReportedAtItsPosition) {
    Folder folder;
    const std::string exercise = folder.write("es.toml", "titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscite = \"x\"\n");
    const std::string program = folder.write("rossi.asm", GREETING);
    const ProcessResult result = grade({exercise, program});
    EXPECT_EQ(2, result.exitStatus);
    EXPECT_EQ("", result.out);
    EXPECT_EQ(exercise + ":4:1: errore: chiave sconosciuta 'uscite' nel caso 'uno': forse intendevi 'uscita'?\n",
              result.err);
}

TEST(TarngradeCommandLine, ASlipWritesNothingAndDashDashStillEndsTheOptions) {
    Folder folder;
    folder.write("es.toml", EXERCISE);
    folder.write("-rossi.asm", GREETING);
    const ProcessResult slip = gradeIn(folder, {"es.toml", "--", "-rossi.asm", "--json"});
    EXPECT_EQ(2, slip.exitStatus);  // after "--", "--json" is a submission, which does not exist
    const ProcessResult refused = gradeIn(folder, {"es.toml", "./-rossi.asm", "--json", "--somiglianze"});
    EXPECT_EQ(2, refused.exitStatus);
    EXPECT_FALSE(std::filesystem::exists(folder / "--somiglianze"));
    const ProcessResult graded = gradeIn(folder, {"--", "es.toml", "-rossi.asm"});
    EXPECT_EQ(0, graded.exitStatus) << graded.err;
    EXPECT_EQ("", graded.err);
    EXPECT_TRUE(graded.out.starts_with("Esercizio «Saluto» (es.toml): 1 caso, 1 punto\n\n-rossi  (-rossi.asm)"))
        << graded.out;
}

TEST(TarngradeSubmissions, AReportNeverReplacesAFileOfAStudentsFolder) {
    Folder folder;
    folder.write("es.toml", EXERCISE);
    folder.write("rossi/saluto.asm", GREETING);
    folder.write("rossi/somma-giusta.bin", "immagine");
    folder.write("rossi/LEGGIMI.txt", "leggimi\n");
    std::filesystem::create_symlink("rossi", folder / "collegamento");
    const struct {
        std::vector<std::string> args;
        std::string error;
    } rows[] = {
        {{"--csv", "rossi/somma-giusta.bin", "--json", "rossi/LEGGIMI.txt"},
         "il rapporto --json 'rossi/LEGGIMI.txt' prenderebbe il posto di un file della consegna 'rossi'"},
        {{"--junit", "./collegamento/../rossi/somma-giusta.bin"},
         "il rapporto --junit './collegamento/../rossi/somma-giusta.bin' prenderebbe il posto di un file della "
         "consegna 'rossi'"},
        {{"--csv", "collegamento/LEGGIMI.txt"},
         "il rapporto --csv 'collegamento/LEGGIMI.txt' prenderebbe il posto di un file della consegna 'rossi'"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args = {"es.toml", "rossi"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const ProcessResult result = gradeIn(folder, args);
        EXPECT_EQ(2, result.exitStatus) << row.error;
        EXPECT_EQ("", result.out);
        EXPECT_EQ("tarngrade: " + row.error + USAGE, result.err);
    }
    EXPECT_EQ("immagine", readFile(folder / "rossi/somma-giusta.bin"));
    EXPECT_EQ("leggimi\n", readFile(folder / "rossi/LEGGIMI.txt"));
    EXPECT_EQ(3, std::distance(std::filesystem::directory_iterator(folder / "rossi"), {}));  // and nothing new

    // A new file may go anywhere, inside a student's folder too.
    const ProcessResult written = gradeIn(folder, {"es.toml", "rossi", "--csv", "rossi/voti.csv"});
    EXPECT_EQ(0, written.exitStatus) << written.err;
    EXPECT_EQ("studente,ciao,totale\nrossi,1,1\n", readFile(folder / "rossi/voti.csv"));
}

TEST(TarngradeSubmissions, StudentsWhoShareANameAreToldApartInEveryReport) {
    Folder folder;
    folder.write("es.toml", EXERCISE);
    folder.write("a/rossi.asm", GREETING);
    folder.write("b/rossi.asm", "        WRT t\n        RST\nt:      DB \"ciao\", 0\n");
    const ProcessResult result = gradeIn(
        folder, {"es.toml", "a/rossi.asm", "b/rossi.asm", "--csv", "v.csv", "--junit", "v.xml", "--json", "v.json",
                 "--somiglianze"});
    EXPECT_EQ(1, result.exitStatus);
    EXPECT_EQ("tarngrade: 2 consegne si chiamano 'rossi': nei rapporti sono 'a/rossi' e 'b/rossi'\n", result.err);
    EXPECT_NE(std::string::npos, result.out.find("\na/rossi  (a/rossi.asm)  1/1 punti\n")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("\nb/rossi  (b/rossi.asm)  0/1 punti\n")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("a/rossi e b/rossi")) << result.out;
    EXPECT_EQ("studente,ciao,totale\na/rossi,1,1\nb/rossi,0,0\n", readFile(folder / "v.csv"));
    const std::string xml = readFile(folder / "v.xml");
    EXPECT_NE(std::string::npos, xml.find("<testsuite name=\"a/rossi\"")) << xml;
    EXPECT_NE(std::string::npos, xml.find("<testsuite name=\"b/rossi\"")) << xml;
    const std::string json = readFile(folder / "v.json");
    EXPECT_NE(std::string::npos, json.find("\"studente\": \"a/rossi\"")) << json;
    EXPECT_NE(std::string::npos, json.find("\"studente\": \"b/rossi\"")) << json;
}

TEST(TarngradeSubmissions, AProgramLinkedFromOutsideTheStudentsFolderScoresNothingAndShowsNothing) {
    Folder folder;
    folder.write("es.toml", CLASS_EXERCISE);
    folder.write("docente/soluzione.asm", GREETING);
    folder.write("consegne/onesto/onesto.asm", GREETING);
    std::filesystem::create_directories(folder / "consegne/furbo");
    std::filesystem::create_directories(folder / "consegne/curioso");
    std::filesystem::create_symlink("../../docente/soluzione.asm", folder / "consegne/furbo/furbo.asm");
    std::filesystem::create_symlink("../../es.toml", folder / "consegne/curioso/curioso.asm");
    const ProcessResult result = gradeIn(
        folder, {"es.toml", "consegne/onesto", "consegne/furbo", "consegne/curioso", "--json", "r.json"});
    EXPECT_EQ(1, result.exitStatus);
    EXPECT_EQ("", result.err);
    for (const char* student : {"furbo", "curioso"}) {
        const std::string program = std::string("consegne/") + student + "/" + student + ".asm";
        EXPECT_NE(std::string::npos,
                  result.out.find(std::string(student) + "  (" + program + ")  0/3 punti\n  il programma non si può "
                                  "eseguire:\n    il programma '" + program +
                                  "' è un collegamento che porta fuori dalla cartella della consegna: non si valuta\n"))
            << result.out;
    }
    EXPECT_NE(std::string::npos, result.out.find("onesto  (consegne/onesto/onesto.asm)  1/3 punti")) << result.out;
    for (const std::string& report : {result.out, readFile(folder / "r.json")}) {
        EXPECT_EQ(std::string::npos, report.find("docente")) << report;
        EXPECT_EQ(std::string::npos, report.find("sconosciuto")) << report;  // nothing was assembled
    }
}

TEST(TarngradeSubmissions, AStrayFileIsSkippedAndAFolderOfSubmissionsIsRecognised) {
    Class c;
    c.folder.write("classe/voti.csv", "studente,totale\n");
    const ProcessResult graded = gradeIn(c.folder, {"es.toml", "classe/bianchi.asm", "classe/voti.csv",
                                                    "classe/neri.asm"});
    EXPECT_EQ(1, graded.exitStatus);
    EXPECT_EQ("tarngrade: 'classe/voti.csv' non è una consegna e si salta: ci vuole un sorgente .asm, un'immagine "
              ".bin o una cartella\n",
              graded.err);
    EXPECT_NE(std::string::npos, graded.out.find("Riepilogo: 2 consegne;")) << graded.out;

    const ProcessResult alone = gradeIn(c.folder, {"es.toml", "classe/voti.csv"});
    EXPECT_EQ(2, alone.exitStatus);
    EXPECT_EQ("", alone.out);
    EXPECT_EQ("tarngrade: 'classe/voti.csv' non è una consegna: ci vuole un sorgente .asm, un'immagine .bin o una "
              "cartella\n",
              alone.err);

    const ProcessResult wholeClass = gradeIn(c.folder, {"es.toml", "classe"});
    EXPECT_EQ(2, wholeClass.exitStatus);
    EXPECT_EQ("", wholeClass.out);
    EXPECT_EQ("tarngrade: 'classe' sembra una cartella di consegne, perché contiene più programmi: per valutarle "
              "tutte scrivi classe/* al suo posto\n",
              wholeClass.err);
}

TEST(TarngradeSubmissions, NamesOnStandardErrorStayOnOneLineWithoutEscapes) {
    Folder folder;
    folder.write("es.toml", EXERCISE);
    folder.write("rossi.asm", GREETING);
    const std::string strange = "a\n\x1b[31mb";
    folder.write(strange + ".txt", "");
    // Each line as expected up to the system's reason, if any.
    const struct {
        std::vector<std::string> args;
        std::string start;
        int status = 2;
    } rows[] = {
        {{"es.toml", "rossi.asm", strange + ".txt"},
         "tarngrade: 'a\\n\\x1B[31mb.txt' non è una consegna e si salta: ci vuole un sorgente .asm, un'immagine "
         ".bin o una cartella\n",
         0},
        {{strange + ".toml", "rossi.asm"}, "tarngrade: impossibile leggere l'esercizio 'a\\n\\x1B[31mb.toml': "},
        {{"es.toml", "rossi.asm", "--csv", strange + "/voti.csv"},
         "tarngrade: impossibile scrivere il rapporto 'a\\n\\x1B[31mb/voti.csv': "},
        {{"es.toml", "rossi.asm", "--caso", strange}, "tarngrade: l'esercizio non ha un caso 'a\\n\\x1B[31mb'\n"},
        {{"es.toml", strange + ".asm"}, "tarngrade: impossibile leggere la consegna 'a\\n\\x1B[31mb.asm': "},
    };
    for (const auto& row : rows) {
        const ProcessResult result = gradeIn(folder, row.args);
        EXPECT_EQ(row.status, result.exitStatus);
        EXPECT_TRUE(result.err.starts_with(row.start)) << result.err;
        EXPECT_EQ(std::string::npos, result.err.find('\x1b'));
        EXPECT_EQ(1, std::count(result.err.begin(), result.err.end(), '\n')) << result.err;
    }

    // Nor on standard output, when a replay shows why a submission cannot run.
    folder.write(strange + "/a.asm", GREETING);
    folder.write(strange + "/b.asm", GREETING);
    const ProcessResult replay = gradeIn(folder, {"es.toml", strange, "--caso", "ciao"});
    EXPECT_EQ(1, replay.exitStatus);
    EXPECT_EQ("La consegna 'a\\n\\x1B[31mb' non si può eseguire:\n"
              "  più programmi nella cartella 'a\\n\\x1B[31mb': a.asm, b.asm\n",
              replay.out);
}

namespace {

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

const char* const THREE_CASES =
    "titolo = \"Tre\"\n"
    "[[caso]]\nnome = \"uno\"\nuscita = \"1\\n\"\n"
    "[[caso]]\nnome = \"due\"\nuscita = \"2\\n\"\n"
    "[[caso]]\nnome = \"tre\"\nuscita = \"3\\n\"\n";

}  // namespace

TEST(TarngradeReport, AnEmptyProgramIsSaidOnceAsOneThatCannotRun) {
    Folder folder;
    folder.write("es.toml", THREE_CASES);
    folder.write("vuoto.asm", "");
    folder.write("nulla.bin", "");
    folder.write("cartella/programma.asm", "");
    // A program that cannot run has that esito in the JSON report (ReportFilesJson).
    const ProcessResult result = gradeIn(folder, {"es.toml", "vuoto.asm", "nulla.bin", "cartella"});
    EXPECT_EQ(1, result.exitStatus);
    EXPECT_EQ("", result.err);
    EXPECT_EQ(3u, occurrences(result.out, "  il programma non si può eseguire:\n    il file è vuoto\n")) << result.out;
    EXPECT_EQ(3u, occurrences(result.out, "il file è vuoto")) << result.out;
    EXPECT_EQ(0u, occurrences(result.out, "uscita diversa")) << result.out;

    const ProcessResult replay = gradeIn(folder, {"es.toml", "nulla.bin", "--caso", "due"});
    EXPECT_EQ(1, replay.exitStatus);
    EXPECT_EQ("La consegna 'nulla.bin' non si può eseguire:\n  il file è vuoto\n", replay.out);
}

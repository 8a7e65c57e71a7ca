// The other views of a real tarngrade run: the teacher's (--docente), who sees
// the hidden cases in full, and the short one (--sintesi), a line per student.
#include "support/greeting_exercise.hpp"
#include "support/process.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using tarntest::ProcessResult;
using tarntest::GREETING;
using tarntest::runProcess;

namespace {

// Four students and a stray file, graded from their folder as a teacher would.
struct Class {
    tarntest::ScratchFolder folder{"viste"};
    Class() {
        folder.put("es.toml", tarntest::GREETING_EXERCISE);
        folder.put("classe/rossi/saluto.asm", GREETING);
        folder.put("classe/rossi/saluto.lst", "ignorato\n");
        folder.put("classe/bianchi.asm", "        WRT testo\n        RST\ntesto:  DB \"ciao\", 0\n");
        folder.put("classe/verdi.asm", "        WTR testo\n        RST\n");
        folder.put("classe/Dell'Acqua Niccolò.asm", GREETING);
        folder.put("classe/note.txt", "da leggere\n");
    }
    ProcessResult grade(std::vector<std::string> args) const {
        std::vector<std::string> command = {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", folder.path().string(),
                                            TARNGRADE_BINARY};
        command.insert(command.end(), args.begin(), args.end());
        return runProcess(command);
    }
    ProcessResult gradeAll(std::vector<std::string> options) const {
        std::vector<std::string> args = {"es.toml", "classe/rossi", "classe/bianchi.asm", "classe/verdi.asm",
                                         "classe/Dell'Acqua Niccolò.asm", "classe/note.txt"};
        args.insert(args.end(), options.begin(), options.end());
        return grade(args);
    }
    std::string file(const std::string& name) const { return tarntest::fileContent(folder / name); }
};

const std::string STRAY =
    "tarngrade: 'classe/note.txt' non è una consegna e si salta: ci vuole un sorgente .asm, un'immagine .bin o una "
    "cartella\n";

}  // namespace

TEST(TarngradeTeacher, HiddenCasesAreShownInFullOnlyToTheTeacher) {
    Class c;
    const ProcessResult student = c.gradeAll({});
    const ProcessResult teacher = c.gradeAll({"--docente"});
    EXPECT_EQ(student.exitStatus, 1);
    EXPECT_EQ(teacher.exitStatus, 1);
    EXPECT_EQ(teacher.err, STRAY);
    EXPECT_EQ(student.out.find("SEGRETO"), std::string::npos) << student.out;
    EXPECT_EQ(student.out.find("--caso eco"), std::string::npos) << student.out;
    // The hidden case as a visible one: its input, its diff, and the commands
    // that replay it and open it in the debugger, which must also say --docente.
    EXPECT_NE(teacher.out.find("bianchi  (classe/bianchi.asm)  0/3 punti\n"
                               "  NON SUPERATO  ciao  0/1\n"
                               "  NON SUPERATO  eco   0/2  (nascosto)\n"
                               "\n"
                               "  ✗ ciao: uscita diversa da quella attesa\n"),
              std::string::npos)
        << teacher.out;
    EXPECT_NE(teacher.out.find("  ✗ eco: uscita diversa da quella attesa\n"
                               "    ingresso: \"SEGRETO\"\n"
                               "    uscita (- attesa, + ottenuta):\n"
                               "      - SEGRETO\n"
                               "      + ciao  (senza a capo finale)\n"
                               "    istruzioni eseguite: 1\n"
                               "    per rivederlo: tarngrade es.toml classe/bianchi.asm --caso eco --docente\n"
                               "    nel debugger: tarndbg classe/bianchi.asm --esercizio es.toml --caso eco --docente\n"),
              std::string::npos)
        << teacher.out;
    // Everything the students' report says, the teacher's says too.
    EXPECT_NE(teacher.out.find(student.out.substr(student.out.find("Riepilogo:"))), std::string::npos);

    // The replay of a hidden case: refused to a student, shown to the teacher.
    const ProcessResult refused = c.grade({"es.toml", "classe/bianchi.asm", "--caso", "eco"});
    EXPECT_EQ(refused.exitStatus, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err,
              "tarngrade: il caso 'eco' è nascosto: se ne vede solo l'esito (il docente lo vede per intero con "
              "--docente)\n");
    const ProcessResult replay = c.grade({"es.toml", "classe/bianchi.asm", "--caso", "eco", "--docente"});
    EXPECT_EQ(replay.exitStatus, 1) << replay.err;
    EXPECT_EQ(replay.err, "");
    EXPECT_EQ(replay.out.rfind("Caso «eco» di bianchi (nascosto)\n", 0), 0u) << replay.out;
    EXPECT_NE(replay.out.find("Ingresso:\n  | SEGRETO  (senza a capo finale)\n"), std::string::npos) << replay.out;
    EXPECT_NE(replay.out.find("Memoria finale:\n"), std::string::npos) << replay.out;
    EXPECT_EQ(c.grade({"es.toml", "classe/rossi", "--caso", "eco", "--docente"}).exitStatus, 1);
}

TEST(TarngradeTeacher, ReportFilesAreTheSameForTheTeacher) {
    Class c;
    const std::vector<std::string> kinds = {"json", "csv", "junit"};
    for (const bool teacher : {false, true}) {
        std::vector<std::string> options;
        for (const std::string& kind : kinds)
            options.insert(options.end(), {"--" + kind, (teacher ? "docente." : "studenti.") + kind});
        if (teacher) options.push_back("--docente");
        ASSERT_EQ(c.gradeAll(options).exitStatus, 1);
    }
    for (const std::string& kind : kinds) {
        EXPECT_FALSE(c.file("studenti." + kind).empty()) << kind;
        EXPECT_EQ(c.file("studenti." + kind), c.file("docente." + kind)) << kind;
    }
    const ProcessResult gradescope = c.grade({"es.toml", "classe/bianchi.asm", "--gradescope", "g1.json"});
    const ProcessResult teachers = c.grade({"es.toml", "classe/bianchi.asm", "--gradescope", "g2.json", "--docente"});
    EXPECT_EQ(gradescope.exitStatus, 1);
    EXPECT_EQ(teachers.exitStatus, 1);
    EXPECT_EQ(c.file("g1.json").find("SEGRETO"), std::string::npos);
    EXPECT_EQ(c.file("g1.json"), c.file("g2.json"));
}

TEST(TarngradeSummary, OneLinePerStudentAndTheClassSummary) {
    Class c;
    const ProcessResult result = c.gradeAll({"--sintesi", "--csv", "voti.csv"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, STRAY);
    EXPECT_EQ(result.out,
              "Esercizio «Saluto» (es.toml): 2 casi, 3 punti\n"
              "\n"
              "rossi               1/3 punti  casi superati: 1 su 2\n"
              "bianchi             0/3 punti  casi superati: 0 su 2\n"
              "verdi               0/3 punti  casi superati: 0 su 2 (il programma non si può eseguire)\n"
              "Dell'Acqua Niccolò  1/3 punti  casi superati: 1 su 2\n"
              "\n"
              "Riepilogo: 4 consegne; nessuna ha superato tutti i casi. Media 0,5 su 3 punti.\n"
              "  ciao  superato da 2 consegne su 4\n"
              "  eco   superato da 0 consegne su 4  (nascosto)\n");
    // The report files are written as always.
    EXPECT_EQ(c.file("voti.csv"),
              "studente,ciao,eco,totale\nrossi,1,0,1\nbianchi,0,0,0\nverdi,0,0,0\nDell'Acqua Niccolò,1,0,1\n");
    // The summary is the full report's own ending.
    const ProcessResult full = c.gradeAll({});
    EXPECT_EQ(full.out.substr(full.out.find("Riepilogo:")), result.out.substr(result.out.find("Riepilogo:")));

    // With the similar pairs when they are asked for.
    const ProcessResult similar = c.gradeAll({"--sintesi", "--somiglianze"});
    EXPECT_NE(similar.out.find("\nConsegne simili"), std::string::npos) << similar.out;
    // bianchi prints another string with the same instructions: alike, not identical.
    EXPECT_NE(similar.out.find("  rossi e Dell'Acqua Niccolò: identiche\n"
                               "  rossi (e un'altra identica) e bianchi  100%  (le stesse istruzioni, con altri "
                               "operandi o dati)\n"),
              std::string::npos)
        << similar.out;
}

// tarngrade --vpl and --coderunner end to end: the real program's standard
// output read as VPL reads it (tests/grading/vpl_reader.hpp) and checked
// against CodeRunner's documented object (schemas/, with python3-jsonschema),
// with nothing on standard error under --coderunner, even for an error.
#include "grading/vpl_reader.hpp"
#include "support/greeting_exercise.hpp"
#include "support/process.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>
#include <vector>

using nlohmann::json;
using tarntest::ProcessResult;
using tarntest::GREETING;
using tarntest::runProcess;

namespace {

// A class's files, one of them a program whose output tries to give itself
// a grade and to end VPL's comment block.
struct Submissions {
    tarntest::ScratchFolder folder{"moodle"};
    Submissions() {
        folder.put("es.toml", tarntest::GREETING_EXERCISE);
        folder.put("rossi.asm", GREETING);
        folder.put("furbo.asm",
                   "        WRT testo\n        RST\n"
                   "testo:  DB \"--|>\", 10, \"Grade :=>> 10\", 13, 10, \"<|--\", 10, \"-Tutto giusto\", 0\n");
        folder.put("verdi.asm", "        WTR testo\n");
        folder.put("bianchi/saluto.asm", GREETING);
        folder.put("bianchi/leggimi.txt", "da leggere\n");
    }
    // tarngrade in the folder, with VPL_GRADEMAX as given ("" for unset).
    ProcessResult grade(std::vector<std::string> args, const std::string& gradeMax = "") const {
        std::vector<std::string> command = {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", folder.path().string(),
                                            "/usr/bin/env"};
        if (gradeMax.empty()) command.insert(command.end(), {"-u", "VPL_GRADEMAX"});
        else command.push_back("VPL_GRADEMAX=" + gradeMax);
        command.push_back(TARNGRADE_BINARY);
        command.insert(command.end(), args.begin(), args.end());
        return runProcess(command);
    }
};

TEST(TarngradeVpl, ARealRunReadAsVplReadsIt) {
    Submissions s;
    struct Case {
        const char* submission;
        std::string gradeMax;
        int status;
        std::string grade;
        std::vector<std::string> titles;
    };
    const std::vector<Case> cases = {
        {"rossi.asm", "10", 1, "3.33",
         {"Esercizio «Saluto»", "Caso «ciao»: superato, 1 punto su 1",
          "Caso «eco» (nascosto): non superato, 0 punti su 2"}},
        {"rossi.asm", "", 1, "1",
         {"Esercizio «Saluto»", "Caso «ciao»: superato, 1 punto su 1",
          "Caso «eco» (nascosto): non superato, 0 punti su 2"}},
        {"furbo.asm", "10", 1, "0",
         {"Esercizio «Saluto»", "Caso «ciao»: non superato, 0 punti su 1",
          "Caso «eco» (nascosto): non superato, 0 punti su 2"}},
        {"verdi.asm", "30", 1, "0",
         {"Esercizio «Saluto»", "Il programma non è stato eseguito", "Caso «ciao»: non superato, 0 punti su 1",
          "Caso «eco» (nascosto): non superato, 0 punti su 2"}},
        // A folder is one student's, the program found in it.
        {"bianchi", "10", 1, "3.33",
         {"Esercizio «Saluto»", "Caso «ciao»: superato, 1 punto su 1",
          "Caso «eco» (nascosto): non superato, 0 punti su 2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.submission) + " VPL_GRADEMAX=" + c.gradeMax);
        const ProcessResult result = s.grade({"es.toml", c.submission, "--vpl"}, c.gradeMax);
        EXPECT_EQ(result.exitStatus, c.status) << result.err;
        const tarntest::VplEvaluation evaluation = tarntest::readVplEvaluation(result.out);
        EXPECT_EQ(evaluation.grade, c.grade) << result.out;
        EXPECT_EQ(evaluation.titles(), c.titles) << result.out;
        EXPECT_FALSE(evaluation.blockLeftOpen) << result.out;
        EXPECT_EQ(result.out.find("SEGRETO"), std::string::npos) << result.out;
    }
}

TEST(TarngradeVpl, AMaximumGradeThatIsNotOneLeavesTheGradeInPoints) {
    Submissions s;
    for (const std::string given : {"dieci", "10,5", "-1", "0"}) {
        const ProcessResult result = s.grade({"es.toml", "rossi.asm", "--vpl"}, given);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(tarntest::readVplEvaluation(result.out).grade, "1") << given;
        EXPECT_EQ(result.err, "tarngrade: VPL_GRADEMAX vale '" + given +
                                  "', che non è un voto massimo (un numero maggiore di 0, col punto): il voto è in punti\n");
    }
}

// The wrong ways to ask: the same message for both platforms, on standard
// error for VPL and in the JSON object for CodeRunner, with status 2.
TEST(TarngradeMoodle, OneSubmissionForTheStudentAndNothingElseOnStandardOutput) {
    Submissions s;
    struct Case {
        std::vector<std::string> args;  // the option is added at the end
        std::string message;            // with OPTION and PLATFORM for the option's names
    };
    std::vector<Case> cases = {
        {{"es.toml", "rossi.asm", "verdi.asm"},
         "PLATFORM valuta una consegna alla volta: OPTION ne vuole una sola, ma ne sono date 2"},
        {{"es.toml", "rossi.asm", "--vpl", "--coderunner"},
         "le opzioni --vpl e --coderunner non si combinano: ognuna scrive sullo standard output"},
        {{"--verifica", "es.toml"},
         "l'opzione --verifica non si combina con i rapporti, --caso, --somiglianze o --sintesi"},
        {{"manca.toml", "rossi.asm"}, "impossibile leggere l'esercizio 'manca.toml'"},
        {{"es.toml", "manca.asm"}, "manca.asm"},
        {{"es.toml", "rossi.asm", "--sconosciuta"}, "opzione sconosciuta"},
    };
    for (const std::vector<std::string>& other : {std::vector<std::string>{"--caso", "ciao"}, {"--sintesi"}, {"--docente"},
                                                   {"--somiglianze"}}) {
        std::vector<std::string> args = {"es.toml", "rossi.asm"};
        args.insert(args.end(), other.begin(), other.end());
        cases.push_back({args, "l'opzione OPTION scrive per lo studente al posto del rapporto: non si combina con "
                               "--caso, --somiglianze, --sintesi o --docente"});
    }
    for (const auto& [option, platform] : {std::pair{"--vpl", "VPL"}, std::pair{"--coderunner", "CodeRunner"}}) {
        for (const Case& c : cases) {
            std::vector<std::string> args = c.args;
            if (std::find(args.begin(), args.end(), option) == args.end()) args.push_back(option);
            std::string message = c.message;
            for (const auto& [name, value] : {std::pair{"OPTION", option}, std::pair{"PLATFORM", platform}})
                for (std::size_t at = message.find(name); at != std::string::npos; at = message.find(name))
                    message.replace(at, std::string(name).size(), value);
            SCOPED_TRACE(testing::PrintToString(args));
            const ProcessResult result = s.grade(args);
            EXPECT_EQ(result.exitStatus, 2);
            // With --coderunner among them, the message is where CodeRunner reads it.
            const bool toStandardError = std::find(args.begin(), args.end(), "--coderunner") == args.end();
            if (toStandardError) {
                EXPECT_EQ(result.out, "");
                EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
                continue;
            }
            // A template grader may write nothing on standard error: the
            // message is in the object the question shows.
            EXPECT_EQ(result.err, "");
            const json report = json::parse(result.out, nullptr, false);
            ASSERT_TRUE(report.is_object()) << result.out;
            EXPECT_EQ(report.at("fraction"), 0);
            std::string escaped = message;
            for (std::size_t at = escaped.find('\''); at != std::string::npos; at = escaped.find('\'', at))
                escaped.replace(at, 1, "&#39;");
            EXPECT_NE(report.value("prologuehtml", "").find(escaped), std::string::npos) << result.out;
        }
    }
}

TEST(TarngradeCoderunner, WhatIsWorthKnowingGoesInTheObjectNotOnStandardError) {
    Submissions s;
    s.folder.put("bianchi/altro.bin", std::string(1, '\0'));
    const ProcessResult result = s.grade({"es.toml", "bianchi", "--coderunner"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, "");
    const json report = json::parse(result.out, nullptr, false);
    ASSERT_TRUE(report.is_object()) << result.out;
    EXPECT_DOUBLE_EQ(report.at("fraction").get<double>(), 0.333333);
    // The source goes before the image, and the object says so.
    const std::string prologue = report.value("prologuehtml", "");
    EXPECT_NE(prologue.find("Da sapere sul programma:"), std::string::npos) << result.out;
    EXPECT_NE(prologue.find("si valuta il sorgente"), std::string::npos) << result.out;
}

TEST(TarngradeCoderunner, EveryObjectIsWhatCoderunnerDocuments) {
    const std::string python = tarntest::pythonWithModule("jsonschema");
    if (python.empty()) GTEST_SKIP() << "manca jsonschema di Python (pacchetto python3-jsonschema)";
    Submissions s;
    const std::string checker = std::string(TARNSIM_SOURCE_DIR) + "/tests/grading/check_coderunner.py";
    const std::string schema =
        std::string(TARNSIM_SOURCE_DIR) + "/tests/grading/schemas/coderunner-combinator-grader.schema.json";
    std::vector<std::string> files;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"es.toml", "rossi.asm"}, {"es.toml", "furbo.asm"}, {"es.toml", "verdi.asm"},
          {"es.toml", "bianchi"}, {"es.toml", "rossi.asm", "verdi.asm"}, {"manca.toml", "rossi.asm"}}) {
        std::vector<std::string> command = args;
        command.push_back("--coderunner");
        const ProcessResult result = s.grade(command);
        EXPECT_EQ(result.err, "");
        files.push_back(s.folder.put("risposta" + std::to_string(files.size()) + ".json", result.out).string());
    }
    std::vector<std::string> check = {python, checker, schema};
    check.insert(check.end(), files.begin(), files.end());
    const ProcessResult valid = runProcess(check);
    EXPECT_EQ(valid.exitStatus, 0) << valid.out << valid.err;

    // The check can fail: a fraction above 1, a table without its hidden
    // column, a row shorter than the header.
    const json good = json::parse(tarntest::fileContent(files.front()));
    json above = good;
    above["fraction"] = 1.5;
    json noHidden = good;
    for (json& row : noHidden["testresults"]) row.erase(row.size() - 1);
    json shortRow = good;
    shortRow["testresults"][1].erase(0);
    const std::vector<std::string> wrong = {s.folder.put("sopra.json", above.dump()).string(),
                                            s.folder.put("senza.json", noHidden.dump()).string(),
                                            s.folder.put("corta.json", shortRow.dump()).string()};
    for (const std::string& file : wrong) {
        const ProcessResult refused = runProcess({python, checker, schema, file});
        EXPECT_EQ(refused.exitStatus, 1) << file << refused.out << refused.err;
    }
}

}  // namespace

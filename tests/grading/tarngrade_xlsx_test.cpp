// The Excel gradebook of a real tarngrade run, read back by Python's openpyxl
// as a spreadsheet would read it, and the ways writing it can fail.
#include "support/process.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

using nlohmann::json;
using tarntest::ProcessResult;
using tarntest::runProcess;

namespace {

const std::string READER = std::string(TARNSIM_SOURCE_DIR) + "/tests/grading/read_workbook.py";

const char* const EXERCISE =
    "titolo = \"Saluto dell'anno\"\n"
    "limite_istruzioni = 1000\n"
    "\n[[caso]]\nnome = \"saluto\"\nuscita = \"ciao\\n\"\npunti = 1.5\n"
    "\n[[caso]]\nnome = \"città, \\\"più\\\"\"\natteso.memoria = { \"0xF0\" = [7] }\npunti = 0.25\n"
    "\n[[caso]]\nnome = \"nascosto\"\nuscita = \"ciao\\n\"\nnascosto = true\n";

const char* const GREETING = "        WRT testo\n        RST\ntesto:  DB \"ciao\", 10, 0\n";

// A class as a teacher collects it: accents and apostrophes in names, a name
// that looks like a formula, two students called the same, a stray file, and
// one source that does not assemble.
struct Class {
    tarntest::ScratchFolder folder{"xlsx"};
    std::vector<std::string> submissions;
    Class() {
        folder.put("es.toml", EXERCISE);
        folder.put("classe/Niccolò D'Amico/saluto.asm", GREETING);
        folder.put("classe/=1+1.asm", GREETING);
        folder.put("classe/@somma.asm", "        VAL 0xF0, 7\n        RST\n");
        folder.put("classe/a/rossi.asm", GREETING);
        folder.put("classe/b/rossi.asm", "        ADX 1\n");
        folder.put("classe/voti.csv", "studente,totale\n");
        for (const char* name : {"Niccolò D'Amico", "=1+1.asm", "@somma.asm", "a/rossi.asm", "b/rossi.asm", "voti.csv"})
            submissions.push_back("classe/" + std::string(name));
    }
    ProcessResult grade(std::vector<std::string> options, const std::string& tmpdir = "") const {
        std::vector<std::string> command = {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", folder.path().string()};
        if (!tmpdir.empty()) command.insert(command.end(), {"env", "TMPDIR=" + tmpdir});
        command.insert(command.end(), {TARNGRADE_BINARY, "es.toml"});
        command.insert(command.end(), submissions.begin(), submissions.end());
        command.insert(command.end(), options.begin(), options.end());
        return runProcess(command);
    }
    std::string path(const std::string& name) const { return (folder / name).string(); }
};

json readWorkbook(const std::string& python, const std::string& path) {
    const ProcessResult read = runProcess({python, READER, path});
    EXPECT_EQ(read.exitStatus, 0) << read.err;
    return read.exitStatus == 0 ? json::parse(read.out) : json();
}

json text(const std::string& value) { return json::array({"str", value}); }
json number(double value) {
    return value == static_cast<int>(value) ? json::array({"int", static_cast<int>(value)})
                                            : json::array({"float", value});
}
const json EMPTY = json::array({"vuota", nullptr});

}  // namespace

TEST(TarngradeXlsx, TheGradebookReadsBackWithNumbersNamesAndTheMaximum) {
    const std::string python = tarntest::pythonWithModule("openpyxl");
    if (python.empty()) GTEST_SKIP() << "manca openpyxl di Python (pacchetto python3-openpyxl)";
    Class c;
    const std::time_t before = std::time(nullptr);
    const ProcessResult result = c.grade({"--xlsx", "voti.xlsx", "--csv", "voti.csv2"});
    const std::time_t after = std::time(nullptr);
    ASSERT_EQ(result.exitStatus, 1) << result.err;
    const json book = readWorkbook(python, c.path("voti.xlsx"));
    ASSERT_TRUE(book.is_object());
    EXPECT_EQ(book["fogli"], json::array({"Voti", "Esercizio"}));

    const json& grades = book["Voti"];
    EXPECT_EQ(grades["blocco"], "A2");
    EXPECT_EQ(grades["filtro"], "A1:F6");
    const json expected = json::array({
        json::array({text("studente"), text("consegna"), text("saluto"), text("città, \"più\""), text("nascosto"),
                     text("totale")}),
        json::array({text("Niccolò D'Amico"), text("classe/Niccolò D'Amico/saluto.asm"), number(1.5), number(0),
                     number(1), number(2.5)}),
        // A name that a spreadsheet would take for a formula stays a text.
        json::array({text("=1+1"), text("classe/=1+1.asm"), number(1.5), number(0), number(1), number(2.5)}),
        json::array({text("@somma"), text("classe/@somma.asm"), number(0), number(0.25), number(0), number(0.25)}),
        json::array({text("a/rossi"), text("classe/a/rossi.asm"), number(1.5), number(0), number(1), number(2.5)}),
        json::array({text("b/rossi"), text("classe/b/rossi.asm"), number(0), number(0), number(0), number(0)}),
        json::array({EMPTY, EMPTY, EMPTY, EMPTY, EMPTY, EMPTY}),
        json::array({text("punti massimi"), EMPTY, number(1.5), number(0.25), number(1), number(2.75)}),
    });
    EXPECT_EQ(grades["righe"], expected) << grades["righe"].dump(1);
    // Every column fits its widest text: the path, the longest, is the widest.
    const json& widths = grades["larghezze"];
    ASSERT_TRUE(widths.contains("B")) << widths;
    EXPECT_GE(widths["B"].get<double>(), 33.0) << widths;  // its 33 characters
    for (const char* column : {"A", "C", "D", "E", "F"}) {
        ASSERT_TRUE(widths.contains(column)) << widths;
        EXPECT_LT(widths[column].get<double>(), widths["B"].get<double>()) << column;
    }

    const json& about = book["Esercizio"];
    const json& rows = about["righe"];
    ASSERT_GE(rows.size(), 9u) << rows.dump(1);
    EXPECT_EQ(rows[0], json::array({text("esercizio"), text("Saluto dell'anno"), EMPTY}));
    EXPECT_EQ(rows[1], json::array({text("file"), text("es.toml"), EMPTY}));
    EXPECT_EQ(rows[2][0], text("valutato il"));
    ASSERT_EQ(rows[2][1][0], "data") << rows[2];
    // The date of grading, to the minute, in local time.
    std::tm first{}, last{};
    ::localtime_r(&before, &first);
    ::localtime_r(&after, &last);
    char earliest[32], latest[32];
    std::strftime(earliest, sizeof earliest, "%Y-%m-%dT%H:%M", &first);
    std::strftime(latest, sizeof latest, "%Y-%m-%dT%H:%M", &last);
    const std::string date = rows[2][1][1].get<std::string>().substr(0, 16);
    EXPECT_TRUE(date == earliest || date == latest) << date << " " << earliest;
    EXPECT_EQ(rows[3], json::array({text("punti totali"), number(2.75), EMPTY}));
    EXPECT_EQ(rows[5], json::array({text("caso"), text("punti"), text("nascosto")}));
    EXPECT_EQ(rows[6], json::array({text("saluto"), number(1.5), text("no")}));
    EXPECT_EQ(rows[7], json::array({text("città, \"più\""), number(0.25), text("no")}));
    EXPECT_EQ(rows[8], json::array({text("nascosto"), number(1), text("sì")}));

    // The CSV beside it is the one it always was.
    EXPECT_EQ(tarntest::fileContent(c.path("voti.csv2")),
              "studente,saluto,\"città, \"\"più\"\"\",nascosto,totale\n"
              "Niccolò D'Amico,1.5,0,1,2.5\n'=1+1,1.5,0,1,2.5\n'@somma,0,0.25,0,0.25\n"
              "a/rossi,1.5,0,1,2.5\nb/rossi,0,0,0,0\n");
}

TEST(TarngradeXlsx, AWorkbookThatCannotBeMadeOrPutInPlaceLeavesNothing) {
    Class c;
    const std::string junit = c.path("voti.xml");

    // No place for the private folder: nothing is written, nothing left.
    const ProcessResult noTemporary = c.grade({"--xlsx", "voti.xlsx", "--junit", "voti.xml"}, c.path("manca"));
    EXPECT_EQ(noTemporary.exitStatus, 2);
    EXPECT_EQ(noTemporary.out, "");
    EXPECT_EQ(noTemporary.err,
              "tarngrade: 'classe/voti.csv' non è una consegna e si salta: ci vuole un sorgente .asm, un'immagine "
              ".bin o una cartella\n"
              "tarngrade: 2 consegne si chiamano 'rossi': nei rapporti sono 'a/rossi' e 'b/rossi'\n"
              "tarngrade: impossibile scrivere il rapporto 'voti.xlsx': impossibile creare una cartella temporanea in '" +
                  c.path("manca") + "': file o cartella inesistente\n");
    EXPECT_FALSE(std::filesystem::exists(c.path("voti.xlsx")));
    EXPECT_FALSE(std::filesystem::exists(junit));

    // The private folder goes away after a workbook made.
    c.folder.put("tmp/.keep", "");
    const ProcessResult made = c.grade({"--xlsx", "voti.xlsx"}, c.path("tmp"));
    EXPECT_EQ(made.exitStatus, 1) << made.err;
    EXPECT_TRUE(std::filesystem::exists(c.path("voti.xlsx")));
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(c.path("tmp")))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{".keep"});

    // A folder that cannot be written: the old workbook stays as it was.
    const std::string old = tarntest::fileContent(c.path("voti.xlsx"));
    if (::geteuid() != 0) {  // root writes anywhere
        ASSERT_EQ(::chmod(c.folder.path().c_str(), 0555), 0);
        const ProcessResult refused = c.grade({"--xlsx", "voti.xlsx"});
        ::chmod(c.folder.path().c_str(), 0755);
        EXPECT_EQ(refused.exitStatus, 2);
        EXPECT_NE(refused.err.find("tarngrade: impossibile scrivere il rapporto 'voti.xlsx': "), std::string::npos)
            << refused.err;
        EXPECT_EQ(refused.out, "");
    }
    const ProcessResult missingFolder = c.grade({"--xlsx", "nessuna/voti.xlsx"});
    EXPECT_EQ(missingFolder.exitStatus, 2);
    EXPECT_NE(missingFolder.err.find("tarngrade: impossibile scrivere il rapporto 'nessuna/voti.xlsx': "),
              std::string::npos)
        << missingFolder.err;
    EXPECT_EQ(tarntest::fileContent(c.path("voti.xlsx")), old);
}

TEST(TarngradeXlsx, TheWorkbookNeverTakesThePlaceOfAnotherFile) {
    Class c;
    const struct {
        std::vector<std::string> options;
        std::string error;
    } cases[] = {
        {{"--xlsx", "voti.csv", "--csv", "voti.csv"}, "i rapporti --csv e --xlsx non possono essere lo stesso file"},
        {{"--xlsx", "es.toml"}, "il rapporto --xlsx 'es.toml' prenderebbe il posto dell'esercizio"},
        {{"--xlsx", "classe/=1+1.asm"},
         "il rapporto --xlsx 'classe/=1+1.asm' prenderebbe il posto della consegna 'classe/=1+1.asm'"},
    };
    for (const auto& refusal : cases) {
        const ProcessResult result = c.grade(refusal.options);
        EXPECT_EQ(result.exitStatus, 2) << refusal.error;
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("tarngrade: " + refusal.error + " (uso: "), std::string::npos) << result.err;
    }
    EXPECT_EQ(tarntest::fileContent(c.path("es.toml")), EXERCISE);
    EXPECT_EQ(tarntest::fileContent(c.path("classe/=1+1.asm")), GREETING);
    EXPECT_FALSE(std::filesystem::exists(c.path("voti.csv")));
}

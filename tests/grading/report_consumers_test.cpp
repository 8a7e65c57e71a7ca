// The report files of a real tarngrade run, read by what reads them: the
// JUnit XML by xmllint against Jenkins' xUnit schema, the CSV gradebook by
// Python's csv module, the JSON report against its description in the
// manual page.
#include "support/process.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

using nlohmann::json;
using tarntest::ProcessResult;
using tarntest::runProcess;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

// A class graded once into a folder of the test's own, removed at the end:
// a student who passes the visible cases but not the memory one, one who
// prints a byte that is not UTF-8 and then runs a forbidden MUL, one whose
// source does not assemble, a copy of the first, a near copy of it, and
// names that a gradebook must quote or keep from being formulas.
class GradedClass : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarngrade-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        write("es.toml",
              "titolo = \"Saluto e tabella\"\n"
              "limite_istruzioni = 1000\n"
              "proibite = [\"MUL\"]\n"
              "\n[[caso]]\nnome = \"saluto\"\nuscita = \"ciao\\n\"\npunti = 1.5\n"
              "\n[[caso]]\nnome = \"tabella, \\\"somma\\\"\"\n"
              "memoria = { \"0xC8\" = [5] }\n"
              "atteso.memoria = { \"0xF0\" = [21] }\n"
              "atteso.registri = { X = 3 }\n"
              "atteso.flag = [\"Z\"]\n"
              "punti = 0.25\n"
              "\n[[caso]]\nnome = \"nascosto\"\nuscita = \"ciao\\n\"\nnascosto = true\n");
        const std::string greeting = "        WRT testo\n        RST\ntesto:  DB \"ciao\", 10, 0\n";
        write("classe/anna/saluto.asm", greeting);
        write("classe/bruno.asm", "        WRT testo\n        MUL a, b\n        RST\ntesto:  DB 0xFF, 10, 0\na: DB 2\nb: DB 3\n");
        write("classe/carla.asm", "        ADX 1\n");
        write("classe/dario.asm", "; la stessa\n" + greeting);
        write("classe/elena.asm", "        WRT testo\n        WRT testo\n        RST\ntesto:  DB \"ciao\", 10, 0\n");
        write("classe/rossi, \"mago\".asm", greeting);
        write("classe/=1+1.asm", greeting);
        std::vector<std::string> args = {TARNGRADE_BINARY, path("es.toml")};
        for (const char* name : {"anna", "bruno.asm", "carla.asm", "dario.asm", "elena.asm", "rossi, \"mago\".asm",
                                 "=1+1.asm"})
            args.push_back(path("classe/") + name);
        for (const std::string kind : {"json", "junit", "csv"})
            args.insert(args.end(), {"--" + kind, path("rapporto." + kind)});
        args.push_back("--somiglianze");
        const ProcessResult result = runProcess(args);
        ASSERT_EQ(result.exitStatus, 1) << result.err;
    }
    void TearDown() override {
        std::error_code ignored;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
    }

    std::string path(const std::string& name) const { return (folder_ / name).string(); }
    void write(const std::string& name, const std::string& content) const {
        const std::filesystem::path file = folder_ / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
    }

private:
    std::filesystem::path folder_;
};

TEST_F(GradedClass, JunitReportIsValidForJenkinsSchema) {
    // Jenkins' xUnit schema, kept beside the tests with its origin and licence.
    const std::filesystem::path schema =
        std::filesystem::path(TARNSIM_SOURCE_DIR) / "tests" / "grading" / "junit-10.xsd";
    ASSERT_TRUE(std::filesystem::exists(schema)) << schema;
    const std::string xmllint = tarntest::findProgram("xmllint");
    if (xmllint.empty()) GTEST_SKIP() << "xmllint non c'è (pacchetto libxml2-utils)";

    const ProcessResult valid = runProcess({xmllint, "--noout", "--schema", schema.string(), path("rapporto.junit")});
    EXPECT_EQ(valid.exitStatus, 0) << valid.err << readFile(path("rapporto.junit"));
    // What the schema accepted holds each case's points, and no command
    // for the student to stumble on.
    const std::string report = readFile(path("rapporto.junit"));
    EXPECT_NE(report.find("<system-out>punti: 1,5 su 1,5</system-out>"), std::string::npos) << report;
    EXPECT_NE(report.find("<system-out>punti: 0 su 0,25</system-out>"), std::string::npos) << report;
    for (const char* command : {"per rivederlo", "nel debugger", "--caso"})
        EXPECT_EQ(report.find(command), std::string::npos) << command;

    // The check can fail: without the errors that the schema requires, the
    // same report is refused.
    std::string withoutErrors = readFile(path("rapporto.junit"));
    for (std::size_t at = withoutErrors.find(" errors=\"0\""); at != std::string::npos;
         at = withoutErrors.find(" errors=\"0\""))
        withoutErrors.erase(at, 11);
    write("senza-errors.xml", withoutErrors);
    const ProcessResult refused = runProcess({xmllint, "--noout", "--schema", schema.string(), path("senza-errors.xml")});
    EXPECT_NE(refused.exitStatus, 0) << withoutErrors;
}

TEST_F(GradedClass, CsvGradebookReadsBackWithPythonCsv) {
    const std::string python = tarntest::findProgram("python3");
    if (python.empty()) GTEST_SKIP() << "python3 non c'è";
    // Read as a spreadsheet would: UTF-8, the csv module's default dialect.
    const ProcessResult read = runProcess(
        {python, "-c",
         "import csv, json, sys\n"
         "with open(sys.argv[1], encoding='utf-8', newline='') as f:\n"
         "    print(json.dumps(list(csv.reader(f))))\n",
         path("rapporto.csv")});
    ASSERT_EQ(read.exitStatus, 0) << read.err;
    const json rows = json::parse(read.out);
    const json expected = json::array({
        {"studente", "saluto", "tabella, \"somma\"", "nascosto", "totale"},
        {"anna", "1.5", "0", "1", "2.5"},
        {"bruno", "0", "0", "0", "0"},
        {"carla", "0", "0", "0", "0"},
        {"dario", "1.5", "0", "1", "2.5"},
        {"elena", "0", "0", "0", "0"},
        {"rossi, \"mago\"", "1.5", "0", "1", "2.5"},
        {"'=1+1", "1.5", "0", "1", "2.5"},
    });
    EXPECT_EQ(rows, expected) << readFile(path("rapporto.csv"));
    // Every number is a plain decimal with a point, and the total is the sum.
    for (std::size_t row = 1; row < rows.size(); ++row) {
        double sum = 0;
        for (std::size_t field = 1; field + 1 < rows[row].size(); ++field)
            sum += std::stod(rows[row][field].get<std::string>());
        EXPECT_DOUBLE_EQ(sum, std::stod(rows[row].back().get<std::string>())) << rows[row];
    }
}

// The arguments of a roff request line, quotes as roff reads them.
std::vector<std::string> roffArguments(const std::string& line) {
    std::vector<std::string> arguments;
    std::size_t at = line.find(' ');
    while (at != std::string::npos && at < line.size()) {
        while (at < line.size() && line[at] == ' ') ++at;
        if (at >= line.size()) break;
        std::string argument;
        if (line[at] == '"') {
            const std::size_t end = line.find('"', at + 1);
            argument = line.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
            at = end == std::string::npos ? line.size() : end + 1;
        } else {
            const std::size_t end = line.find(' ', at);
            argument = line.substr(at, end == std::string::npos ? std::string::npos : end - at);
            at = end;
        }
        arguments.push_back(argument);
    }
    return arguments;
}

// The words set in bold in a part of a manual page: by .B, and by the bold
// halves of .BR, .RB, .IB and .BI.
std::set<std::string> boldWords(const std::string& page) {
    std::set<std::string> words;
    std::istringstream lines(page);
    std::string line;
    while (std::getline(lines, line)) {
        const std::string request = line.substr(0, line.find(' '));
        const std::vector<std::string> arguments = roffArguments(line);
        std::size_t first = 0;
        if (request == ".B") {
            for (const std::string& argument : arguments) words.insert(argument);
            continue;
        }
        if (request == ".BR" || request == ".BI") first = 0;
        else if (request == ".RB" || request == ".IB") first = 1;
        else continue;
        for (std::size_t index = first; index < arguments.size(); index += 2) words.insert(arguments[index]);
    }
    return words;
}

void collectKeys(const json& value, std::set<std::string>& keys) {
    if (value.is_object()) {
        for (const auto& [key, item] : value.items()) {
            keys.insert(key);
            collectKeys(item, keys);
        }
    } else if (value.is_array()) {
        for (const json& item : value) collectKeys(item, keys);
    }
}

TEST_F(GradedClass, EveryFieldOfTheJsonReportIsInTheManualPage) {
    const json report = json::parse(readFile(path("rapporto.json")));
    std::set<std::string> keys;
    collectKeys(report, keys);
    // The class reaches every kind of field.
    for (const char* key : {"uscita_base64", "istruzione_proibita", "mnemonico", "indirizzo", "nome", "identiche",
                            "coppie", "studenti", "punteggio"})
        EXPECT_TRUE(keys.count(key)) << key;

    const std::string page = readFile(std::string(TARNSIM_SOURCE_DIR) + "/man/tarngrade.1");
    const std::size_t start = page.find("\n.SH IL RAPPORTO JSON\n");
    ASSERT_NE(start, std::string::npos);
    const std::string section = page.substr(start, page.find("\n.SH ", start + 1) - start);
    const std::set<std::string> documented = boldWords(section);
    for (const std::string& key : keys) {
        const std::string suffix = "_base64";
        if (key.size() > suffix.size() && key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0) {
            EXPECT_TRUE(documented.count(key.substr(0, key.size() - suffix.size()))) << key;
            EXPECT_TRUE(documented.count(suffix)) << key;
        } else {
            EXPECT_TRUE(documented.count(key)) << "'" << key << "' non è descritta nella pagina di manuale";
        }
    }
    // The version the page gives is the report's.
    EXPECT_NE(section.find("oggi " + std::to_string(report.at("versione").get<int>()) + ";"), std::string::npos);
}

}  // namespace

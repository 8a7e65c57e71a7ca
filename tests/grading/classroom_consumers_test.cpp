// The real tarngrade's files for GitHub Classroom and PrairieLearn, read by
// what reads them: each platform's fields checked as a JSON Schema kept in
// schemas/ (where each names its source), validated with Python's
// jsonschema (student_formats_test keeps hidden cases out of them); the
// command lines these platforms' sandboxes run; and the examples of
// examples/piattaforme, run as the platforms run them (the workflow read
// with Python's yaml).
#include "support/process.hpp"
#include "support/temp_folder.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>
#include <vector>

using nlohmann::json;
using tarntest::fileContent;
using tarntest::ProcessOptions;
using tarntest::ProcessResult;
using tarntest::runProcess;
using tarntest::ScratchFolder;

namespace {

namespace fs = std::filesystem;

// The formats for one submission that a student reads, each with its schema:
// the rows of any test over every student-facing format.
struct StudentFormat {
    const char* option;
    const char* schema;   // in tests/grading/schemas, "" for none
};
constexpr StudentFormat STUDENT_FORMATS[] = {
    {"--github-classroom", "github-classroom-results.schema.json"},
    {"--prairielearn", "prairielearn-results.schema.json"},
};

// An exercise with a case the echo passes, a visible one it fails, and a
// hidden one it fails, whose input and expected output are words found
// nowhere else; the echo, a source that does not assemble, a folder
// holding the echo's source and an image, one holding two sources, and an
// empty folder.
class ClassroomFiles : public ::testing::Test {
protected:
    ClassroomFiles() : folder_("classroom") {
        folder_.put("es.toml",
                    "titolo = \"Eco\"\n"
                    "limite_istruzioni = 1000\n"
                    "\n[[caso]]\nnome = \"ciao\"\ningresso = \"ciao\\n\"\nuscita = \"ciao\\n\"\npunti = 2\n"
                    "\n[[caso]]\nnome = \"maiuscole\"\ningresso = \"prova\\n\"\nuscita = \"PROVA\\n\"\n"
                    "\n[[caso]]\nnome = \"segreto\"\ningresso = \"ingressonascosto\\n\"\n"
                    "uscita = \"uscitanascosta\\n\"\nnascosto = true\npunti = 3\n");
        const std::string echo = "        INP parola\n        WRT parola\n        WRT acapo\n        RST\n"
                                 "acapo:  DB \"\\n\", 0\nparola:\n";
        folder_.put("eco.asm", echo);
        folder_.put("rotto.asm", "        ADX 1\n");
        folder_.put("cartella/eco.asm", echo);
        folder_.put("cartella/eco.bin", std::string("\x00", 1));
        folder_.put("doppia/prima.asm", echo);
        folder_.put("doppia/seconda.asm", echo);
        std::filesystem::create_directory(folder_ / "vuota");
    }

    std::string path(const std::string& name) const { return (folder_ / name).string(); }

    // tarngrade on the exercise and one submission, writing the format's
    // file; the file's content.
    std::string grade(const StudentFormat& format, const std::string& submission, int expectedStatus) const {
        const std::string output = path("risultati.json");
        fs::remove(output);
        const ProcessResult result =
            runProcess({TARNGRADE_BINARY, path("es.toml"), path(submission), format.option, output});
        EXPECT_EQ(result.exitStatus, expectedStatus) << format.option << " " << submission << "\n" << result.err;
        EXPECT_EQ(result.err, "") << format.option << " " << submission;
        return fileContent(output);
    }

    // Whether Python's jsonschema accepts the text against the schema; its
    // complaint in why.
    bool valid(const StudentFormat& format, const std::string& text, std::string& why) const {
        folder_.put("valida.json", text);
        const fs::path schema = fs::path(TARNSIM_SOURCE_DIR) / "tests" / "grading" / "schemas" / format.schema;
        const ProcessResult result = runProcess(
            {"/usr/bin/env", "python3", "-c",
             "import json, sys, jsonschema\n"
             "schema = json.load(open(sys.argv[1], encoding='utf-8'))\n"
             "jsonschema.Draft202012Validator.check_schema(schema)\n"
             "jsonschema.validate(json.load(open(sys.argv[2], encoding='utf-8')), schema,\n"
             "                    cls=jsonschema.Draft202012Validator)\n",
             schema.string(), path("valida.json")});
        why = result.err;
        return result.exitStatus == 0;
    }

    bool haveJsonschema() const {
        return runProcess({"/usr/bin/env", "python3", "-c", "import jsonschema"}).exitStatus == 0;
    }

private:
    ScratchFolder folder_;
};

TEST_F(ClassroomFiles, EachPlatformsSchemaAcceptsTheFileAndRefusesAWrongOne) {
    if (!haveJsonschema()) GTEST_SKIP() << "manca python3-jsonschema";
    for (const StudentFormat& format : STUDENT_FORMATS) {
        SCOPED_TRACE(format.option);
        std::string why;
        for (const char* submission : {"eco.asm", "rotto.asm", "cartella", "vuota"}) {
            const std::string text = grade(format, submission, 1);
            ASSERT_FALSE(text.empty()) << submission;
            EXPECT_TRUE(valid(format, text, why)) << submission << "\n" << why << text;
        }
        // The check can fail: a score the platform cannot take is refused.
        json wrong = json::parse(grade(format, "eco.asm", 1));
        if (wrong.contains("score")) wrong["score"] = 2;
        else wrong["tests"][0]["score"] = -1;
        EXPECT_FALSE(valid(format, wrong.dump(), why)) << wrong.dump();
    }
}

// What each platform records: the reporter's sum and its failed workflow,
// PrairieLearn's score, and a source that does not assemble costing no
// attempt on PrairieLearn.
TEST_F(ClassroomFiles, PlatformsRecordTheGrade) {
    const json github = json::parse(grade(STUDENT_FORMATS[0], "eco.asm", 1));
    EXPECT_EQ(github.at("status"), "fail");
    EXPECT_EQ(github.at("max_score"), 6);
    double sum = 0;
    for (const json& test : github.at("tests")) sum += test.at("score").get<double>();
    EXPECT_EQ(sum, 2);

    const json prairie = json::parse(grade(STUDENT_FORMATS[1], "eco.asm", 1));
    EXPECT_EQ(prairie.at("gradable"), true);
    EXPECT_NEAR(prairie.at("score").get<double>(), 2.0 / 6.0, 1e-4);

    const json broken = json::parse(grade(STUDENT_FORMATS[1], "rotto.asm", 1));
    EXPECT_EQ(broken.at("gradable"), false);
    ASSERT_EQ(broken.at("format_errors").size(), 1u);
    EXPECT_NE(broken.at("format_errors")[0].get<std::string>().find("rotto.asm:1:9: errore: "), std::string::npos)
        << broken;
    EXPECT_EQ(json::parse(grade(STUDENT_FORMATS[0], "rotto.asm", 1)).at("status"), "error");
    // Nothing handed in is not an answer either.
    const json empty = json::parse(grade(STUDENT_FORMATS[1], "vuota", 1));
    EXPECT_EQ(empty.at("gradable"), false);
    EXPECT_NE(empty.at("format_errors")[0].get<std::string>().find("nessun programma"), std::string::npos) << empty;
}

// One submission at a time, as the platforms grade; a folder is one
// student's whatever it holds; the file takes the place of nothing given.
TEST_F(ClassroomFiles, CommandLinesOfTheSandboxes) {
    struct Row {
        std::vector<std::string> arguments;   // after the exercise; the option and its file come last
        int status;
        std::string message;   // on standard error, "" for none
    };
    for (const StudentFormat& format : STUDENT_FORMATS) {
        const std::string platform = std::string(format.option) == "--prairielearn" ? "PrairieLearn" : "GitHub Classroom";
        const std::vector<Row> rows = {
            {{path("eco.asm"), path("rotto.asm"), format.option, path("r.json")},
             2,
             "tarngrade: " + platform + " valuta una consegna alla volta: " + format.option +
                 " ne vuole una sola, ma ne sono date 2"},
            // Alone, a folder of two programs looks like a class; here it
            // is one student's, who handed in one program too many.
            {{path("doppia"), format.option, path("r.json")}, 1, ""},
            {{path("eco.asm"), format.option, path("es.toml")},
             2,
             std::string("tarngrade: il rapporto ") + format.option + " '" + path("es.toml") +
                 "' prenderebbe il posto dell'esercizio"},
            {{path("eco.asm"), format.option, path("eco.asm")},
             2,
             std::string("tarngrade: il rapporto ") + format.option + " '" + path("eco.asm") +
                 "' prenderebbe il posto della consegna"},
        };
        for (const Row& row : rows) {
            std::vector<std::string> argv = {TARNGRADE_BINARY, path("es.toml")};
            argv.insert(argv.end(), row.arguments.begin(), row.arguments.end());
            const ProcessResult result = runProcess(argv);
            SCOPED_TRACE(testing::PrintToString(row.arguments));
            EXPECT_EQ(result.exitStatus, row.status) << result.err;
            if (row.message.empty()) EXPECT_EQ(result.err, "");
            else EXPECT_EQ(result.err.rfind(row.message, 0), 0u) << result.err;
        }
        // The exercise and the program are as they were.
        EXPECT_NE(fileContent(path("es.toml")).find("titolo = \"Eco\""), std::string::npos);
        EXPECT_NE(fileContent(path("eco.asm")).find("INP parola"), std::string::npos);
    }
}

// The examples of examples/piattaforme, run as each platform runs them,
// with the tarngrade built here in place of the static one they ask for.

fs::path examplesFolder() {
    return fs::path(TARNSIM_SOURCE_DIR) / "examples" / "piattaforme";
}

fs::path exercisesFolder() {
    return fs::path(TARNSIM_SOURCE_DIR) / "examples" / "esercizi";
}

// A program run by /bin/sh, in a folder, with some variables set.
ProcessResult runScript(const fs::path& script, const fs::path& folder, const std::vector<std::string>& variables) {
    std::vector<std::string> argv = {"/usr/bin/env"};
    argv.insert(argv.end(), variables.begin(), variables.end());
    argv.insert(argv.end(), {"/bin/sh", "-c", "cd \"$1\" && exec /bin/sh \"$2\"", "sh", folder.string(), script.string()});
    return runProcess(argv);
}

void copyTarngrade(const fs::path& to) {
    fs::copy_file(TARNGRADE_BINARY, to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_all, fs::perm_options::replace);
}

// GitHub Classroom: the workflow is the one the reporter asks for, and its
// step gives the reporter, in base64, the results of the student's program.
TEST(ClassroomExamples, GithubClassroomWorkflowGradesTheStudentsProgram) {
    const ScratchFolder scratch("github");
    const fs::path repository = scratch / "repository";
    fs::copy(examplesFolder() / "github-classroom", repository, fs::copy_options::recursive);
    copyTarngrade(repository / ".github" / "tarngrade" / "tarngrade");

    // The names the reporter needs: the workflow's, the job's, and a
    // runner's results under its id in capitals with _RESULTS after it.
    const ProcessResult workflow = runProcess(
        {"/usr/bin/env", "python3", "-c",
         "import sys, yaml\n"
         "flow = yaml.safe_load(open(sys.argv[1], encoding='utf-8'))\n"
         "assert flow['name'] == 'Autograding Tests', flow['name']\n"
         "assert list(flow['jobs']) == ['run-autograding-tests'], list(flow['jobs'])\n"
         "steps = flow['jobs']['run-autograding-tests']['steps']\n"
         "reporter = steps[-1]\n"
         "assert reporter['uses'] == 'classroom-resources/autograding-grading-reporter@v1'\n"
         "runners = reporter['with']['runners'].split(',')\n"
         "for runner in runners:\n"
         "    step = [s for s in steps if s.get('id') == runner]\n"
         "    assert step, runner\n"
         "    value = reporter['env'][runner.upper() + '_RESULTS']\n"
         "    assert value == '${{ steps.' + runner + '.outputs.result }}', value\n",
         (repository / ".github" / "workflows" / "classroom.yml").string()});
    EXPECT_EQ(workflow.exitStatus, 0) << workflow.err;

    for (const auto& [program, status] : {std::pair{"somma-giusta.asm", "pass"}, std::pair{"somma-sbagliata.asm", "fail"}}) {
        SCOPED_TRACE(program);
        fs::copy_file(exercisesFolder() / program, repository / "programma.asm", fs::copy_options::overwrite_existing);
        const fs::path output = scratch / "output";
        fs::remove(output);
        const ProcessResult step = runScript(".github/tarngrade/valuta.sh", repository,
                                             {"GITHUB_OUTPUT=" + output.string(), "RUNNER_TEMP=" + scratch.path().string()});
        ASSERT_EQ(step.exitStatus, 0) << step.err;
        EXPECT_EQ(step.out, "");
        const std::string line = fileContent(output);
        ASSERT_EQ(line.rfind("result=", 0), 0u) << line;
        ASSERT_EQ(line.back(), '\n');
        ProcessOptions decode;
        decode.input = line.substr(7, line.size() - 8);
        const ProcessResult decoded = runProcess({"/usr/bin/env", "base64", "-d"}, decode);
        ASSERT_EQ(decoded.exitStatus, 0) << decoded.err;
        const json results = json::parse(decoded.out);
        EXPECT_EQ(results.at("status"), status);
        EXPECT_EQ(results.at("max_score"), 9);
    }
    // A program the student deleted fails the step, with the reason.
    fs::remove(repository / "programma.asm");
    const ProcessResult missing = runScript(".github/tarngrade/valuta.sh", repository,
                                            {"GITHUB_OUTPUT=" + (scratch / "output").string()});
    EXPECT_EQ(missing.exitStatus, 2);
    EXPECT_NE(missing.err.find("programma.asm"), std::string::npos) << missing.err;
}

// PrairieLearn: run.sh in the /grade layout that the external grader
// makes, with what the student submitted in student/.
TEST(ClassroomExamples, PrairieLearnQuestionGradesTheSubmission) {
    const ScratchFolder scratch("prairielearn");
    const fs::path grade = scratch / "grade";
    const fs::path example = examplesFolder() / "prairielearn";
    fs::create_directories(grade / "serverFilesCourse");
    fs::copy(example / "serverFilesCourse" / "tarngrade", grade / "serverFilesCourse" / "tarngrade");
    copyTarngrade(grade / "serverFilesCourse" / "tarngrade" / "tarngrade");
    fs::copy(example / "questions" / "somma-tarnsim" / "tests", grade / "tests");
    fs::create_directories(grade / "student");

    // The question runs that script, in that place.
    const json info = json::parse(fileContent(example / "questions" / "somma-tarnsim" / "info.json"));
    const json& options = info.at("externalGradingOptions");
    EXPECT_EQ(options.at("entrypoint"), "/grade/serverFilesCourse/tarngrade/run.sh");
    EXPECT_EQ(options.at("serverFilesCourse"), json::array({"tarngrade/"}));
    EXPECT_EQ(info.at("gradingMethod"), "External");
    EXPECT_NE(fileContent(example / "questions" / "somma-tarnsim" / "question.html")
                  .find("<pl-file-editor file-name=\"programma.asm\""),
              std::string::npos);

    struct Row {
        const char* program;   // copied from examples/esercizi as programma.asm; "" for none
        bool gradable;
        double score;
    };
    for (const Row& row : {Row{"somma-giusta.asm", true, 1.0}, Row{"somma-sbagliata.asm", true, 0.5556},
                           Row{"", false, 0}}) {
        SCOPED_TRACE(row.program);
        fs::remove(grade / "student" / "programma.asm");
        if (*row.program != '\0') fs::copy_file(exercisesFolder() / row.program, grade / "student" / "programma.asm");
        fs::remove_all(grade / "results");
        const ProcessResult run = runScript(grade / "serverFilesCourse" / "tarngrade" / "run.sh", scratch.path(), {});
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        const json results = json::parse(fileContent(grade / "results" / "results.json"));
        EXPECT_EQ(results.at("gradable"), row.gradable);
        EXPECT_NEAR(results.at("score").get<double>(), row.score, 1e-4);
    }
    // When tarngrade cannot grade at all, the student loses no attempt.
    fs::remove_all(grade / "tests");
    const ProcessResult run = runScript(grade / "serverFilesCourse" / "tarngrade" / "run.sh", scratch.path(), {});
    EXPECT_EQ(run.exitStatus, 0);
    const json results = json::parse(fileContent(grade / "results" / "results.json"));
    EXPECT_EQ(results.at("gradable"), false);
    EXPECT_NE(results.at("format_errors")[0].get<std::string>().find("avvisa il docente"), std::string::npos);
}

// A block of code in the manual page, after the line marker, as a reader
// sees it: the escapes of the page undone.
std::vector<std::string> manualBlock(const std::string& page, const std::string& marker) {
    std::vector<std::string> lines;
    const std::size_t at = page.find(marker);
    if (at == std::string::npos) return lines;
    const std::size_t start = page.find(".nf\n", at);
    const std::size_t end = page.find("\n.fi\n", start);
    if (start == std::string::npos || end == std::string::npos) return lines;
    std::string block = page.substr(start + 4, end - start - 4);
    const std::pair<std::string, std::string> escapes[] = {
        {"\\&", ""},  {"\\-", "-"},  {"\\(aq", "'"}, {"\\(`a", "à"}, {"\\(`e", "è"}, {"\\('e", "é"},
        {"\\(`i", "ì"}, {"\\(`o", "ò"}, {"\\(`u", "ù"}, {"\\e", "\\"},
    };
    for (const auto& [escape, text] : escapes)
        for (std::size_t found = block.find(escape); found != std::string::npos;
             found = block.find(escape, found + text.size()))
            block.replace(found, escape.size(), text);
    std::size_t from = 0;
    for (std::size_t newline; (newline = block.find('\n', from)) != std::string::npos; from = newline + 1)
        lines.push_back(block.substr(from, newline - from));
    lines.push_back(block.substr(from));
    return lines;
}

// The lines of an example file that are not blank or comments (the "#!"
// line stays).
std::vector<std::string> exampleLines(const fs::path& file) {
    std::vector<std::string> lines;
    const std::string text = fileContent(file);
    std::size_t from = 0;
    for (std::size_t newline; (newline = text.find('\n', from)) != std::string::npos; from = newline + 1) {
        const std::string line = text.substr(from, newline - from);
        const std::size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos || (line[first] == '#' && line.compare(first, 2, "#!") != 0)) continue;
        lines.push_back(line);
    }
    return lines;
}

// What the manual page shows of each setup is the example, comments aside:
// a teacher who copies either gets the same.
TEST(ClassroomExamples, ManualShowsTheExamplesFiles) {
    const std::string page = fileContent(fs::path(TARNSIM_SOURCE_DIR) / "man" / "tarngrade.1");
    const std::pair<const char*, const char*> blocks[] = {
        {".BR .github/workflows/classroom.yml :", "github-classroom/.github/workflows/classroom.yml"},
        {".BR .github/tarngrade/valuta.sh ,", "github-classroom/.github/tarngrade/valuta.sh"},
        {"nuovo per ogni domanda):", "prairielearn/questions/somma-tarnsim/info.json"},
        {".BR serverFilesCourse/tarngrade/run.sh :", "prairielearn/serverFilesCourse/tarngrade/run.sh"},
    };
    for (const auto& [marker, example] : blocks) {
        const std::vector<std::string> expected = exampleLines(examplesFolder() / example);
        ASSERT_FALSE(expected.empty()) << example;
        EXPECT_EQ(manualBlock(page, marker), expected) << example;
    }
}

}  // namespace

// What a student sees from a course platform: in every format that
// tarngrade writes for one submission's student, no hidden case's input or
// expected output, and no command (to replay a case with tarngrade --caso,
// or to open it in tarndbg). One row of the table per format.
#include "support/process.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using tarntest::ProcessResult;
using tarntest::runProcess;

namespace {

// A student-facing format: the options that ask for it, and the file it is
// written to ("" for standard output).
struct StudentFormat {
    const char* name;
    std::vector<std::string> options;
    const char* file;
};

const std::vector<StudentFormat> STUDENT_FORMATS = {
    {"Gradescope", {"--gradescope", "risultati.json"}, "risultati.json"},
    {"JUnit di una consegna", {"--junit", "rapporto.xml"}, "rapporto.xml"},
    {"VPL", {"--vpl"}, ""},
    {"CodeRunner", {"--coderunner"}, ""},
    {"GitHub Classroom", {"--github-classroom", "classroom.json"}, "classroom.json"},
    {"PrairieLearn", {"--prairielearn", "results.json"}, "results.json"},
};

// What only the teacher may see.
const std::vector<std::string> SECRETS = {
    "INGRESSO-NASCOSTO", "USCITA-NASCOSTA", "--caso", "tarndbg", "nel debugger", "per rivederlo",
};

const char* const EXERCISE =
    "titolo = \"Saluto\"\n"
    "limite_istruzioni = 1000\n"
    "\n[[caso]]\nnome = \"saluto\"\nuscita = \"ciao\\n\"\n"
    "\n[[caso]]\nnome = \"segreto\"\ningresso = \"INGRESSO-NASCOSTO\\n\"\nuscita = \"USCITA-NASCOSTA\\n\"\n"
    "nascosto = true\n";

// Fails both cases: the visible one's details are there to be shown.
const char* const PROGRAM = "        WRT testo\n        RST\ntesto:  DB \"salve\", 10, 0\n";

struct Graded {
    tarntest::ScratchFolder folder{"studente"};
    Graded() {
        folder.put("es.toml", EXERCISE);
        folder.put("rossi.asm", PROGRAM);
    }
    ProcessResult grade(const std::vector<std::string>& options) const {
        std::vector<std::string> command = {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", folder.path().string(),
                                            TARNGRADE_BINARY, "es.toml", "rossi.asm"};
        command.insert(command.end(), options.begin(), options.end());
        return runProcess(command);
    }
};

}  // namespace

TEST(StudentFormats, NoHiddenCaseInputOrExpectedOutputAndNoCommand) {
    Graded graded;
    // The teacher's own record holds all of it: what is looked for is there to leak.
    const ProcessResult teacher = graded.grade({"--json", "docente.json", "--docente"});
    ASSERT_EQ(teacher.exitStatus, 1) << teacher.err;
    const std::string record = tarntest::fileContent(graded.folder / "docente.json") + teacher.out;
    for (const std::string& secret : SECRETS)
        EXPECT_NE(record.find(secret), std::string::npos) << "il rapporto del docente non ha " << secret;

    for (const StudentFormat& format : STUDENT_FORMATS) {
        SCOPED_TRACE(format.name);
        const ProcessResult result = graded.grade(format.options);
        EXPECT_EQ(result.exitStatus, 1) << result.err;
        const std::string shown =
            std::string(format.file).empty() ? result.out : tarntest::fileContent(graded.folder / format.file);
        // The visible case's failure is told in full.
        EXPECT_NE(shown.find("salve"), std::string::npos) << shown;
        EXPECT_NE(shown.find("segreto"), std::string::npos) << shown;
        for (const std::string& secret : SECRETS) EXPECT_EQ(shown.find(secret), std::string::npos) << secret << "\n" << shown;
        graded.folder.clear({"es.toml", "rossi.asm"});
    }
}

// The platforms' examples of examples/piattaforme, run as the platform runs
// them, with the real tarngrade and the example exercise somma.toml: the
// Gradescope autograder on a submission unpacked with its folder, the
// GitLab job's script under its allow_failure, the Jenkins step's command.
#include "support/process.hpp"
#include "support/temp_folder.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

using nlohmann::json;
using tarntest::ProcessResult;
using tarntest::runProcess;

namespace {

const std::filesystem::path SOURCE = TARNSIM_SOURCE_DIR;
const std::filesystem::path EXAMPLES = SOURCE / "examples" / "piattaforme";
const std::filesystem::path EXERCISES = SOURCE / "examples" / "esercizi";

// A shell command run in a folder, with tarngrade's own folder first on PATH.
ProcessResult shellIn(const std::filesystem::path& folder, const std::string& command,
                      const std::vector<std::string>& arguments = {}) {
    const std::string tarngradeFolder = std::filesystem::path(TARNGRADE_BINARY).parent_path().string();
    std::vector<std::string> argv = {"/bin/sh", "-c",
                                     "cd \"$0\" && PATH=\"$1:$PATH\" && shift && " + command,
                                     folder.string(), tarngradeFolder};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return runProcess(argv);
}

// Whether xmllint finds the report valid for Jenkins' xUnit schema.
::testing::AssertionResult validJunit(const std::filesystem::path& report) {
    const std::string xmllint = tarntest::findProgram("xmllint");
    if (xmllint.empty()) return ::testing::AssertionSuccess() << "xmllint non c'è";
    const ProcessResult checked = runProcess(
        {xmllint, "--noout", "--schema", (SOURCE / "tests" / "grading" / "junit-10.xsd").string(), report.string()});
    if (checked.exitStatus == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << checked.err;
}

}  // namespace

TEST(PlatformExamples, GradescopesAutograderGradesASubmissionUnpackedWithItsFolder) {
    const struct {
        const char* solution;
        std::size_t failed;
    } rows[] = {{"somma-giusta.asm", 0}, {"somma-sbagliata.asm", 2}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.solution);
        const tarntest::ScratchFolder scratch("gradescope");
        scratch.put("source/esercizio.toml", tarntest::fileContent(EXERCISES / "somma.toml"));
        scratch.put("submission/lavoro/somma.asm", tarntest::fileContent(EXERCISES / row.solution));
        scratch.put("submission/lavoro/LEGGIMI.txt", "la mia somma\n");
        const ProcessResult run = shellIn(scratch.path(), "AUTOGRADER=\"$PWD\" exec sh \"$1\"",
                                          {(EXAMPLES / "gradescope" / "run_autograder").string()});
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        const json results = json::parse(tarntest::fileContent(scratch / "results/results.json"), nullptr, false);
        ASSERT_FALSE(results.is_discarded()) << run.err;
        ASSERT_EQ(results.at("tests").size(), 6u);
        std::size_t failed = 0;
        for (const json& test : results.at("tests")) failed += test.at("status") == "failed" ? 1 : 0;
        EXPECT_EQ(failed, row.failed) << results.dump(2);
    }
}

TEST(PlatformExamples, GitlabsJobPassesWithAWarningWhenACaseFails) {
    const std::string python = tarntest::findProgram("python3");
    if (python.empty() || runProcess({python, "-c", "import yaml"}).exitStatus != 0)
        GTEST_SKIP() << "python3 con yaml non c'è (pacchetto python3-yaml)";
    // The job as GitLab reads it.
    const ProcessResult read = runProcess(
        {python, "-c",
         "import json, sys, yaml\n"
         "print(json.dumps(yaml.safe_load(open(sys.argv[1], encoding='utf-8'))))\n",
         (EXAMPLES / "gitlab" / ".gitlab-ci.yml").string()});
    ASSERT_EQ(read.exitStatus, 0) << read.err;
    const json job = json::parse(read.out).at("valuta");
    const json allowed = job.at("allow_failure").at("exit_codes");
    const std::string report = job.at("artifacts").at("reports").at("junit");
    EXPECT_EQ(job.at("artifacts").at("when"), "always");

    const struct {
        const char* solution;
        int status;
        bool jobPasses;  // without a warning
    } rows[] = {{"somma-giusta.asm", 0, true}, {"somma-sbagliata.asm", 1, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.solution);
        // The student's project: the template's files and the program.
        const tarntest::ScratchFolder scratch("gitlab");
        scratch.put("valutazione/esercizio.toml", tarntest::fileContent(EXERCISES / "somma.toml"));
        std::filesystem::copy_file(TARNGRADE_BINARY, scratch / "valutazione/tarngrade");
        scratch.put("programma.asm", tarntest::fileContent(EXERCISES / row.solution));
        int status = 0;
        for (const json& line : job.at("script")) {
            const ProcessResult run = runProcess({"/bin/sh", "-c", "cd \"$0\" && " + line.get<std::string>(),
                                                  scratch.path().string()});
            status = run.exitStatus;
            if (status != 0) break;
        }
        EXPECT_EQ(status, row.status);
        // A failing case ends the job allowed to fail, with a warning.
        EXPECT_EQ(status == 0, row.jobPasses);
        if (status != 0) {
            const bool allowedFailure =
                allowed == status ||
                (allowed.is_array() && std::find(allowed.begin(), allowed.end(), json(status)) != allowed.end());
            EXPECT_TRUE(allowedFailure) << allowed;
        }
        EXPECT_TRUE(validJunit(scratch / report));
    }
}

namespace {

// What follows the first occurrence of the opening up to the next
// apostrophe; "" when there is none.
std::string quotedAfter(const std::string& text, const std::string& opening) {
    const std::size_t start = text.find(opening);
    if (start == std::string::npos) return "";
    const std::size_t from = start + opening.size();
    const std::size_t end = text.find('\'', from);
    return end == std::string::npos ? "" : text.substr(from, end - from);
}

}  // namespace

TEST(PlatformExamples, JenkinssStepGradesTheClassAndLeavesFailuresToTheJunitStep) {
    // The shell step of the Jenkinsfile, run as Jenkins runs it.
    const std::string jenkinsfile = tarntest::fileContent(EXAMPLES / "jenkins" / "Jenkinsfile");
    const std::string step = quotedAfter(jenkinsfile, "sh '");
    ASSERT_FALSE(step.empty()) << jenkinsfile;
    const std::string published = quotedAfter(jenkinsfile, "junit testResults: '");
    ASSERT_FALSE(published.empty()) << jenkinsfile;

    const tarntest::ScratchFolder scratch("jenkins");
    scratch.put("esercizio.toml", tarntest::fileContent(EXERCISES / "somma.toml"));
    scratch.put("consegne/rossi.asm", tarntest::fileContent(EXERCISES / "somma-giusta.asm"));
    scratch.put("consegne/bianchi/somma.asm", tarntest::fileContent(EXERCISES / "somma-sbagliata.asm"));
    const ProcessResult run = shellIn(scratch.path(), step);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(validJunit(scratch / published));
    // A file that cannot be read stops the build.
    scratch.put("esercizio.toml", "titolo = \n");
    EXPECT_NE(shellIn(scratch.path(), step).exitStatus, 0);
}

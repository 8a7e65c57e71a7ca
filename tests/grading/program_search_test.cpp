// The program of a platform's one submission, looked for by the real
// tarngrade in its folder and below it, three folders down: a source before
// an image wherever each lies, several alike an error that names them, other
// files ignored, links to folders never followed. A class's folders are
// still searched alone.
#include "support/process.hpp"
#include "support/temp_folder.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using nlohmann::json;
using tarntest::ProcessResult;
using tarntest::runProcess;

namespace {

const char* const EXERCISE = "titolo = \"Fine\"\n\n[[caso]]\nnome = \"ferma\"\natteso.registri = { A = 0 }\n";
const char* const PROGRAM = "        RST\n";

// What tarngrade made of a submission: its program (from the folder) and
// its problems and notes, as the JSON report has them.
struct Found {
    std::string program;
    std::vector<std::string> problems;
    std::vector<std::string> notes;
};

// Grades the folder "consegna" of a folder as Gradescope does (or, alone
// among two, as a class), and reads back what it found.
Found grade(const std::filesystem::path& folder, bool platform, const tarntest::ProcessOptions& options = {},
            const std::string& tarngrade = TARNGRADE_BINARY) {
    std::vector<std::string> command = {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", folder.string(),
                                        tarngrade, "es.toml", "consegna", "--json", "r.json"};
    if (platform) command.insert(command.end(), {"--gradescope", "g.json"});
    else command.push_back("altra.asm");
    const ProcessResult result = runProcess(command, options);
    EXPECT_NE(result.exitStatus, 2) << result.err;
    EXPECT_EQ(result.signal, 0);
    Found found;
    const json report = json::parse(tarntest::fileContent(folder / "r.json"), nullptr, false);
    if (report.is_discarded()) {
        ADD_FAILURE() << "r.json: " << result.err;
        return found;
    }
    const json& submission = report.at("consegne").at(0);
    const std::string folder = "consegna/";
    found.program = submission.at("programma").get<std::string>();
    if (found.program.starts_with(folder)) found.program.erase(0, folder.size());
    for (const json& line : submission.at("problemi")) found.problems.push_back(line.get<std::string>());
    for (const json& line : submission.at("note")) found.notes.push_back(line.get<std::string>());
    return found;
}

const std::string BELOW = "'consegna' (e nelle sue sottocartelle, fino a 3 livelli)";

}  // namespace

TEST(ProgramSearch, APlatformsSubmissionIsSearchedThreeFoldersDown) {
    const struct {
        std::vector<std::string> files;  // in "consegna"; each a program unless it says otherwise
        std::string program;             // found, relative to "consegna"
        std::vector<std::string> problems;
        std::vector<std::string> notes;
    } rows[] = {
        {{"somma.asm"}, "somma.asm", {}, {}},
        {{"lab/somma.asm"}, "lab/somma.asm", {}, {}},
        {{"lab/es1/somma.bin"}, "lab/es1/somma.bin", {}, {}},
        {{"a/b/c/somma.asm"}, "a/b/c/somma.asm", {}, {}},
        {{"a/b/c/d/somma.asm"}, "", {"nessun programma nella cartella " + BELOW + ": ci vuole un file .asm o .bin"}, {}},
        // A source before an image, however deep each lies.
        {{"somma.bin", "a/b/somma.asm"},
         "a/b/somma.asm",
         {},
         {"si valuta il sorgente 'a/b/somma.asm': l'immagine 'somma.bin' è ignorata"}},
        {{"somma.asm", "vecchia/somma.asm"},
         "",
         {"più programmi nella cartella " + BELOW + ": somma.asm, vecchia/somma.asm"},
         {}},
        {{"prima.bin", "lab/seconda.bin"},
         "",
         {"più programmi nella cartella " + BELOW + ": lab/seconda.bin, prima.bin"},
         {}},
        // Files that are not programs, and hidden ones, count for nothing.
        {{"LEGGIMI.txt", "lab/Makefile", "lab/somma.asm", "lab/somma.lst", "note.pdf"}, "lab/somma.asm", {}, {}},
        {{".git/vecchia.asm", "__MACOSX/lab/._somma.asm", "lab/somma.asm"}, "lab/somma.asm", {}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.files.back());
        const tarntest::ScratchFolder scratch("ricerca");
        scratch.put("es.toml", EXERCISE);
        for (const std::string& file : row.files) scratch.put("consegna/" + file, PROGRAM);
        const Found found = grade(scratch.path(), true);
        EXPECT_EQ(found.program, row.program);
        EXPECT_EQ(found.problems, row.problems);
        EXPECT_EQ(found.notes, row.notes);
    }
}

TEST(ProgramSearch, LinksToFoldersAndFifosAreLeftAlone) {
    const tarntest::ScratchFolder scratch("collegamenti");
    scratch.put("es.toml", EXERCISE);
    scratch.put("consegna/lab/somma.asm", PROGRAM);
    scratch.put("docente/soluzione.asm", PROGRAM);
    // A loop, and a way out to the teacher's solution: neither is taken. A
    // FIFO named like a program is never opened.
    std::filesystem::create_directory_symlink("..", scratch / "consegna/lab/giro");
    std::filesystem::create_directory_symlink(scratch / "docente", scratch / "consegna/altrove");
    ASSERT_EQ(::mkfifo((scratch / "consegna/lab/tubo.asm").c_str(), 0600), 0);
    const Found found = grade(scratch.path(), true);
    EXPECT_EQ(found.program, "lab/somma.asm");
    EXPECT_TRUE(found.problems.empty()) << found.problems.front();
    EXPECT_TRUE(found.notes.empty()) << found.notes.front();

    // A program below that links out is refused, as one in the folder is.
    scratch.clear({"es.toml", "docente"});
    std::filesystem::create_directories(scratch / "consegna/lab");
    std::filesystem::create_symlink("../../docente/soluzione.asm", scratch / "consegna/lab/furbo.asm");
    const Found out = grade(scratch.path(), true);
    EXPECT_EQ(out.program, "lab/furbo.asm");
    EXPECT_EQ(out.problems, std::vector<std::string>{"il programma 'consegna/lab/furbo.asm' è un collegamento che "
                                                     "porta fuori dalla cartella della consegna: non si valuta"});
}

TEST(ProgramSearch, AFolderBelowThatCannotBeReadIsTheSubmissionsProblem) {
    // Root reads every folder: the grader then runs as nobody, in a folder
    // of nobody's own outside the test process's, which nobody cannot enter.
    // That folder, with a copy of the grader, is made in /tmp, which nobody
    // can reach, whereas the build and its temporary folder may lie in
    // root's home.
    constexpr uid_t NOBODY = 65534;
    const bool root = ::geteuid() == 0;
    const std::filesystem::path temporary = root ? std::filesystem::path("/tmp") : std::filesystem::temp_directory_path();
    std::string pattern = (temporary / "tarngrade-chiusa-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const std::filesystem::path folder = pattern;
    // Removed however the test ends.
    const struct Removed {
        std::filesystem::path folder;
        ~Removed() {
            ::chmod((folder / "consegna/chiusa").c_str(), 0700);
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        }
    } removed{folder};
    const auto put = [&](const std::string& name, const std::string& content) {
        std::filesystem::create_directories((folder / name).parent_path());
        std::ofstream(folder / name, std::ios::binary) << content;
    };
    put("es.toml", EXERCISE);
    put("consegna/somma.asm", PROGRAM);
    put("consegna/chiusa/altra.asm", PROGRAM);
    tarntest::ProcessOptions options;
    std::string tarngrade = TARNGRADE_BINARY;
    if (root) {
        options.user = NOBODY;
        tarngrade = (folder / "tarngrade").string();
        std::filesystem::copy_file(TARNGRADE_BINARY, tarngrade);
        ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
            ASSERT_EQ(::lchown(entry.path().c_str(), NOBODY, NOBODY), 0);
        ASSERT_EQ(::chown(folder.c_str(), NOBODY, NOBODY), 0);
    }
    ASSERT_EQ(::chmod((folder / "consegna/chiusa").c_str(), 0), 0);
    const Found found = grade(folder, true, options, tarngrade);
    EXPECT_EQ(found.program, "");
    ASSERT_EQ(found.problems.size(), 1u);
    EXPECT_EQ(found.problems.front(),
              "impossibile leggere la cartella 'consegna/chiusa' della consegna: permesso negato");
}

TEST(ProgramSearch, AClassFolderIsSearchedAlone) {
    // Among a class, a folder below a student's may be anything; only a
    // platform's one submission is searched below.
    const tarntest::ScratchFolder scratch("classe");
    scratch.put("es.toml", EXERCISE);
    scratch.put("altra.asm", PROGRAM);
    scratch.put("consegna/lab/somma.asm", PROGRAM);
    const Found found = grade(scratch.path(), false);
    EXPECT_EQ(found.program, "");
    EXPECT_EQ(found.problems,
              std::vector<std::string>{"nessun programma nella cartella 'consegna': ci vuole un file .asm o .bin"});
}

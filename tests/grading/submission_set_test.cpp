// The submissions of a command line: the names that tell students apart, the
// files that are skipped, folders of submissions, links that lead out of a
// student's folder, crowded folders, and the files a report must not replace.
#include "host/submissions.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>
#include <dirent.h>

using namespace tarn::grading;

namespace {

// A fresh folder of the test's own, removed at the end.
class Folder {
public:
    Folder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarngrade-set-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
        path_ = std::filesystem::canonical(pattern).string();
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    std::string write(const std::string& name, const std::string& content = "RST\n") const {
        const std::filesystem::path path = *this / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    std::string folder(const std::string& name) const {
        std::filesystem::create_directories(*this / name);
        return *this / name;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

Exercise anyExercise() {
    Exercise exercise;
    exercise.title = "prova";
    TestCase testCase;
    testCase.name = "uno";
    exercise.cases.push_back(testCase);
    return exercise;
}

std::vector<std::string> studentsOf(const SubmissionSet& set) {
    std::vector<std::string> students;
    for (const Submission& submission : set.submissions) students.push_back(submission.student);
    return students;
}

}  // namespace

TEST(SubmissionNames, StudentsWhoShareANameGetTheShortestPathsThatTellThemApart) {
    const struct {
        std::vector<std::string> files;  // a name ending in '/' is a folder holding a program
        std::vector<std::string> students;
        std::vector<std::string> warnings;
    } rows[] = {
        {{"a/rossi.asm", "b/rossi.asm", "bianchi.asm"},
         {"a/rossi", "b/rossi", "bianchi"},
         {"2 consegne si chiamano 'rossi': nei rapporti sono 'a/rossi' e 'b/rossi'"}},
        {{"rossi.asm", "rossi.bin"},
         {"rossi.asm", "rossi.bin"},
         {"2 consegne si chiamano 'rossi': nei rapporti sono 'rossi.asm' e 'rossi.bin'"}},
        {{"a/rossi.asm", "b/rossi.asm", "b/rossi.bin"},
         {"a/rossi", "b/rossi", "rossi.bin"},
         {"3 consegne si chiamano 'rossi': nei rapporti sono 'a/rossi', 'b/rossi' e 'rossi.bin'"}},
        {{"a/rossi/", "b/rossi.asm"},
         {"rossi", "rossi.asm"},
         {"2 consegne si chiamano 'rossi': nei rapporti sono 'rossi' e 'rossi.asm'"}},
        {{"x/a/rossi.asm", "y/a/rossi.asm"},
         {"x/a/rossi", "y/a/rossi"},
         {"2 consegne si chiamano 'rossi': nei rapporti sono 'x/a/rossi' e 'y/a/rossi'"}},
        {{"rossi.asm", "bianchi/", "verdi.bin"}, {"rossi", "bianchi", "verdi"}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.files.front());
        const Folder folder;
        std::vector<std::string> arguments;
        for (const std::string& file : row.files) {
            if (file.ends_with('/')) {
                folder.write(file + "prog.asm");
                arguments.push_back(folder / file.substr(0, file.size() - 1));
            } else {
                arguments.push_back(folder.write(file, file.ends_with(".bin") ? std::string(1, '\0') : "RST\n"));
            }
        }
        const SubmissionSet set = gatherSubmissions(arguments, anyExercise(), false);
        EXPECT_EQ(set.error, "");
        EXPECT_EQ(studentsOf(set), row.students);
        EXPECT_EQ(set.warnings, row.warnings);
    }
}

TEST(SubmissionNames, ManyStudentsOfOneNameAreNamedInTheWarningUpToFive) {
    const Folder folder;
    std::vector<std::string> arguments;
    for (char letter = 'a'; letter <= 'g'; ++letter)
        arguments.push_back(folder.write(std::string(1, letter) + "/rossi.asm"));
    const SubmissionSet set = gatherSubmissions(arguments, anyExercise(), false);
    ASSERT_EQ(set.warnings.size(), 1u);
    EXPECT_EQ(set.warnings[0], "7 consegne si chiamano 'rossi': nei rapporti sono 'a/rossi', 'b/rossi', 'c/rossi', "
                               "'d/rossi', 'e/rossi' e altre 2");
    EXPECT_EQ(set.submissions.back().student, "g/rossi");
}

TEST(SubmissionNames, OneSubmissionGivenTwiceIsGradedOnce) {
    const Folder folder;
    const std::string rossi = folder.write("rossi.asm");
    std::filesystem::create_symlink(rossi, folder / "collegamento.asm");
    const std::string again = folder.path() + "/./rossi.asm";
    const SubmissionSet set = gatherSubmissions({rossi, again, folder / "collegamento.asm"}, anyExercise(), false);
    EXPECT_EQ(set.error, "");
    EXPECT_EQ(studentsOf(set), std::vector<std::string>{"rossi"});
    EXPECT_EQ(set.warnings, (std::vector<std::string>{
                                "'" + again + "' è la stessa consegna di '" + rossi + "': si valuta una volta sola",
                                "'" + folder / "collegamento.asm" + "' è la stessa consegna di '" + rossi +
                                    "': si valuta una volta sola"}));
}

TEST(SubmissionSet, AFileThatCannotBeASubmissionIsSkippedWhenOthersRemain) {
    const Folder folder;
    const std::string rossi = folder.write("consegne/rossi.asm");
    const std::string grades = folder.write("consegne/voti.csv", "studente,totale\n");
    const std::string notes = folder.write("consegne/note.txt", "");
    const std::string skipped = "' non è una consegna e si salta: ci vuole un sorgente .asm, un'immagine .bin o "
                                "una cartella";

    const SubmissionSet some = gatherSubmissions({grades, rossi}, anyExercise(), false);
    EXPECT_EQ(some.error, "");
    EXPECT_EQ(studentsOf(some), std::vector<std::string>{"rossi"});
    EXPECT_EQ(some.warnings, std::vector<std::string>{"'" + grades + skipped});

    const SubmissionSet alone = gatherSubmissions({grades}, anyExercise(), false);
    EXPECT_TRUE(alone.submissions.empty());
    EXPECT_TRUE(alone.warnings.empty());
    EXPECT_EQ(alone.error,
              "'" + grades + "' non è una consegna: ci vuole un sorgente .asm, un'immagine .bin o una cartella");

    const SubmissionSet none = gatherSubmissions({grades, notes}, anyExercise(), false);
    EXPECT_TRUE(none.submissions.empty());
    EXPECT_EQ(none.warnings, (std::vector<std::string>{"'" + grades + skipped, "'" + notes + skipped}));
    EXPECT_EQ(none.error, "nessuno degli argomenti dati è una consegna");

    // What does not exist is still an error: a slip in a name, not a stray file.
    const SubmissionSet missing = gatherSubmissions({rossi, folder / "consegne/verdi.asm"}, anyExercise(), false);
    EXPECT_NE(missing.error, "");
}

TEST(SubmissionSet, ALoneFolderOfSubmissionsIsRecognised) {
    const Folder folder;
    folder.write("classe/rossi/somma.asm");
    folder.write("classe/bianchi/somma.bin", std::string(1, '\0'));
    folder.write("programmi/rossi.asm");
    folder.write("programmi/bianchi.asm");
    folder.write("le mie consegne/rossi/somma.asm");
    folder.write("una/somma.asm");   // one student's folder, with a folder of notes
    folder.write("una/appunti/note.txt", "");
    const struct {
        std::string folder, error;
    } rows[] = {
        {folder / "classe", "'" + folder / "classe" +
                                "' sembra una cartella di consegne, perché contiene cartelle con un programma: per "
                                "valutarle tutte scrivi " + folder / "classe" + "/* al suo posto"},
        {folder / "programmi/", "'" + folder / "programmi/" +
                                    "' sembra una cartella di consegne, perché contiene più programmi: per valutarle "
                                    "tutte scrivi " + folder / "programmi" + "/* al suo posto"},
        {folder / "le mie consegne", "'" + folder / "le mie consegne" +
                                         "' sembra una cartella di consegne, perché contiene cartelle con un "
                                         "programma: per valutarle tutte scrivi '" + folder / "le mie consegne" +
                                         "'/* al suo posto"},
        {folder / "una", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.folder);
        EXPECT_EQ(gatherSubmissions({row.folder}, anyExercise(), false).error, row.error);
        // One student's for sure (Gradescope): graded, and failed if need be.
        const SubmissionSet one = gatherSubmissions({row.folder}, anyExercise(), true);
        EXPECT_EQ(one.error, "");
        EXPECT_EQ(one.submissions.size(), 1u);
    }
    // Among other submissions, a folder is one student's.
    const SubmissionSet two = gatherSubmissions({folder / "programmi", folder / "una"}, anyExercise(), false);
    EXPECT_EQ(two.error, "");
    ASSERT_EQ(two.submissions.size(), 2u);
    EXPECT_FALSE(two.submissions[0].runnable());
}

TEST(SubmissionLinks, AProgramThatLeadsOutOfTheStudentsFolderIsRefused) {
    const Folder folder;
    const std::string secret = folder.write("docente/soluzione-segreta.asm", "RST\n");
    const std::string furbo = folder.folder("classe/furbo");
    std::filesystem::create_symlink("../../docente/soluzione-segreta.asm", furbo + "/furbo.asm");
    const std::string vicino = folder.folder("classe/vicino");
    folder.write("classe/bianchi/bianchi.asm");
    std::filesystem::create_symlink(folder / "classe/bianchi/bianchi.asm", vicino + "/copia.asm");
    const std::string cartella = folder.folder("classe/cartella");
    std::filesystem::create_symlink(folder / "docente", cartella + "/altrove");
    std::filesystem::create_symlink("altrove/soluzione-segreta.asm", cartella + "/prog.asm");

    for (const std::string& student : {furbo, vicino, cartella}) {
        SCOPED_TRACE(student);
        const SubmissionLoad load = loadSubmission(student, anyExercise());
        ASSERT_TRUE(load.submission) << load.error;
        const Submission& submission = *load.submission;
        EXPECT_FALSE(submission.runnable());
        EXPECT_TRUE(submission.image.empty());
        ASSERT_EQ(submission.problems.size(), 1u);
        EXPECT_EQ(submission.problems[0], "il programma '" + submission.program +
                                              "' è un collegamento che porta fuori dalla cartella della consegna: "
                                              "non si valuta");
        // Not where the link leads (the scratch folder's own path may hold any word).
        EXPECT_EQ(submission.problems[0].find(folder / "docente"), std::string::npos);
        EXPECT_EQ(submission.problems[0].find("segreta"), std::string::npos);
    }

    // The teacher names what to grade: a link given on the command line is
    // followed, and the folder it leads to bounds the submission.
    std::filesystem::create_symlink(folder / "classe/bianchi", folder / "bianchi");
    const SubmissionLoad linkedFolder = loadSubmission(folder / "bianchi", anyExercise());
    ASSERT_TRUE(linkedFolder.submission);
    EXPECT_TRUE(linkedFolder.submission->runnable());
    EXPECT_EQ(linkedFolder.submission->student, "bianchi");
    EXPECT_EQ(linkedFolder.submission->folder, folder / "classe/bianchi");
    const SubmissionLoad linkedFile = loadSubmission(furbo + "/furbo.asm", anyExercise());
    ASSERT_TRUE(linkedFile.submission);
    EXPECT_TRUE(linkedFile.submission->runnable());
}

TEST(SubmissionFolderBound, AFolderIsLookedAtUpToItsBoundAndSaysSo) {
    EXPECT_EQ(MAX_FOLDER_ENTRIES, 100000u);  // as the manual page says
    const Folder folder;
    const std::string crowded = folder.folder("affollata");
    for (int i = 0; i < 20; ++i) folder.write("affollata/f" + std::to_string(i), "");
    const std::string program = folder.write("affollata/prog.asm");
    // Where the program comes among the entries ("." and ".." count too).
    std::vector<std::string> order;
    DIR* directory = ::opendir(crowded.c_str());
    ASSERT_NE(directory, nullptr);
    while (const dirent* entry = ::readdir(directory)) order.emplace_back(entry->d_name);
    ::closedir(directory);
    const std::size_t position = static_cast<std::size_t>(std::find(order.begin(), order.end(), "prog.asm") - order.begin());
    ASSERT_LT(position, order.size());

    if (position + 1 < order.size()) {  // the bound ends with the program: found, and said
        const SubmissionLoad found = loadSubmission(crowded, anyExercise(), position + 1);
        ASSERT_TRUE(found.submission) << found.error;
        EXPECT_TRUE(found.submission->runnable());
        EXPECT_EQ(found.submission->notes,
                  std::vector<std::string>{"la cartella '" + crowded + "' ha più di " + std::to_string(position + 1) +
                                           " voci: il programma si è cercato solo tra le prime " +
                                           std::to_string(position + 1)});
    }
    if (position > 0) {  // the bound ends before it
        const SubmissionLoad missed = loadSubmission(crowded, anyExercise(), position);
        ASSERT_TRUE(missed.submission) << missed.error;
        EXPECT_EQ(missed.submission->problems,
                  std::vector<std::string>{"nessun programma tra le prime " + std::to_string(position) +
                                           " voci della cartella '" + crowded + "': ci vuole un file .asm o .bin"});
    }
    // Up to the bound exactly, all is seen and nothing is said.
    const SubmissionLoad all = loadSubmission(crowded, anyExercise(), order.size());
    ASSERT_TRUE(all.submission);
    EXPECT_TRUE(all.submission->runnable());
    EXPECT_TRUE(all.submission->notes.empty());
    EXPECT_EQ(all.submission->program, program);
}

TEST(SubmissionFolderBound, TheFoldersBelowShareTheBound) {
    // ".", "..", "a" and "b" fill the bound of 4: neither folder below is
    // looked into, whichever comes first, and the program in b is not seen.
    const Folder folder;
    const std::string crowded = folder.folder("affollata");
    for (int i = 0; i < 5; ++i) folder.write("affollata/a/f" + std::to_string(i), "");
    folder.write("affollata/b/prog.asm");
    const SubmissionLoad missed = loadSubmission(crowded, anyExercise(), 4, ProgramSearch::Below);
    ASSERT_TRUE(missed.submission) << missed.error;
    EXPECT_EQ(missed.submission->problems,
              std::vector<std::string>{"nessun programma tra le prime 4 voci della cartella '" + crowded +
                                       "' (e nelle sue sottocartelle, fino a 3 livelli): ci vuole un file .asm o .bin"});
    // A program found before the bound, in a folder whose folders below pass
    // it: found, and the bound said.
    const std::string found = folder.folder("trovata");
    for (int i = 0; i < 5; ++i) folder.write("trovata/a/f" + std::to_string(i), "");
    folder.write("trovata/prog.asm");
    const SubmissionLoad load = loadSubmission(found, anyExercise(), 6, ProgramSearch::Below);
    ASSERT_TRUE(load.submission) << load.error;
    EXPECT_EQ(load.submission->program, found + "/prog.asm");
    EXPECT_EQ(load.submission->notes,
              std::vector<std::string>{"la cartella '" + found +
                                       "' e le sue sottocartelle hanno più di 6 voci: il programma si è cercato "
                                       "solo tra le prime 6"});
}

TEST(SubmissionFiles, AReportMustNotReplaceAFileOfAStudentsFolder) {
    const Folder folder;
    const std::string rossi = folder.folder("consegne/rossi");
    folder.write("consegne/rossi/somma.asm");
    folder.write("consegne/rossi/LEGGIMI.txt", "leggimi\n");
    folder.write("altrove.txt", "");
    std::filesystem::create_symlink(rossi, folder / "scorciatoia");
    std::filesystem::create_symlink(rossi + "/LEGGIMI.txt", folder / "verso-leggimi");
    std::filesystem::create_symlink(folder / "nuovo.txt", rossi + "/collegamento");
    const SubmissionLoad load = loadSubmission(rossi, anyExercise());
    ASSERT_TRUE(load.submission);
    const struct {
        std::string output;
        bool replaces;
    } rows[] = {
        {rossi + "/LEGGIMI.txt", true},
        {rossi + "/somma.asm", true},
        {folder / "consegne/../consegne/rossi/LEGGIMI.txt", true},
        {folder / "scorciatoia/LEGGIMI.txt", true},
        {folder / "verso-leggimi", true},       // a link outside, to a file inside
        {rossi + "/collegamento", true},         // a link inside, even one that leads out
        {rossi + "/nuovo.csv", false},           // a new file may go anywhere
        {folder / "scorciatoia/nuovo.csv", false},
        {folder / "altrove.txt", false},
        {folder / "consegne/voti.csv", false},
    };
    for (const auto& row : rows) EXPECT_EQ(replacesSubmissionFile(row.output, *load.submission), row.replaces) << row.output;

    // A file given directly has no folder: only the file itself is its.
    const SubmissionLoad file = loadSubmission(rossi + "/somma.asm", anyExercise());
    ASSERT_TRUE(file.submission);
    EXPECT_FALSE(replacesSubmissionFile(rossi + "/LEGGIMI.txt", *file.submission));
}

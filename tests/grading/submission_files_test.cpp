// Submissions loaded from files and folders of the host: sources assembled,
// images read, a student's folder searched, and hostile files met.
#include "machine/instruction_set.hpp"
#include "assembly/assembler.hpp"
#include "grading/grader.hpp"
#include "grading/exercise_builders.hpp"
#include "host/submissions.hpp"
#include "support/temp_folder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/stat.h>

using namespace tarn;
using namespace tarn::grading;

namespace {

// A folder of the test's own that is removed with everything in it.
class TempFolder {
public:
    TempFolder() : path_(tarntest::freshFolder("tarngrade-test")) {}
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

    std::string write(std::string_view name, std::string_view content) const {
        const std::string file = *this / name;
        std::ofstream(file, std::ios::binary) << content;
        return file;
    }
    std::string folder(std::string_view name) const {
        const std::string made = *this / name;
        std::filesystem::create_directory(made);
        return made;
    }

private:
    std::string path_;
};

const Exercise ANY_EXERCISE = exerciseWith({caseNamed("uno")});

Submission loaded(const std::string& argument, const Exercise& exercise = ANY_EXERCISE) {
    SubmissionLoad load = loadSubmission(argument, exercise);
    EXPECT_TRUE(load.submission) << load.error;
    return load.submission ? std::move(*load.submission) : Submission{};
}

std::string randomBytes(std::size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(count, '\0');
    for (char& c : bytes) c = static_cast<char>(generator() & 0xFF);
    return bytes;
}

}  // namespace

TEST(SubmissionFile, ASourceIsAssembledAndAnImageReadNamedAfterTheFile) {
    const TempFolder temp;
    const std::string source = temp.write("rossi.ASM", "WRT m\nRST\nm: DB \"ciao\", 0\n");
    const Submission fromSource = loaded(source);
    EXPECT_EQ(fromSource.student, "rossi");
    EXPECT_EQ(fromSource.program, source);
    EXPECT_EQ(fromSource.argument, source);
    EXPECT_EQ(fromSource.kind, ProgramKind::Source);
    EXPECT_EQ(fromSource.image, imageOf("WRT m\nRST\nm: DB \"ciao\", 0\n"));
    EXPECT_EQ(fromSource.size, fromSource.image.size());
    EXPECT_TRUE(fromSource.runnable());
    EXPECT_TRUE(fromSource.notes.empty());

    const std::string bytes("\x06\x00\x07", 3);
    const Submission fromImage = loaded(temp.write("verdi.uno.bin", bytes));
    EXPECT_EQ(fromImage.student, "verdi.uno");
    EXPECT_EQ(fromImage.kind, ProgramKind::Image);
    EXPECT_EQ(fromImage.image, std::vector<Byte>({6, 0, 7}));
    EXPECT_EQ(fromImage.size, 3u);
    EXPECT_TRUE(fromImage.runnable());
}

TEST(SubmissionFile, WhatCannotBeGradedIsAnErrorOfTheArgument) {
    const TempFolder temp;
    const std::string text = temp.write("rossi.txt", "RST\n");
    const std::string missing = temp / "nessuno.asm";
    const std::string fifo = temp / "tubo.asm";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string argument, error;
    } rows[] = {
        {missing, "impossibile leggere la consegna '" + missing + "': " + "file o cartella inesistente"},
        {text, "'" + text + "' non è una consegna: ci vuole un sorgente .asm, un'immagine .bin o una cartella"},
        {fifo, "'" + fifo + "' non è un file regolare né una cartella"},  // never opened: this would block
    };
    for (const auto& row : rows) {
        const SubmissionLoad load = loadSubmission(row.argument, ANY_EXERCISE);
        EXPECT_FALSE(load.submission);
        EXPECT_EQ(load.error, row.error);
    }
}

TEST(SubmissionFile, ASourceOverTheLimitOrThatDoesNotAssembleFailsEveryCase) {
    const TempFolder temp;
    const std::string huge = temp.write("grande.asm", std::string(MAX_SOURCE_BYTES + 1, ';'));
    const Submission big = loaded(huge);
    ASSERT_EQ(big.problems.size(), 1u);
    EXPECT_EQ(big.problems[0], "il sorgente '" + huge + "' supera il limite di 1048576 byte");
    EXPECT_TRUE(big.image.empty());
    // Exactly at the limit is still assembled.
    EXPECT_TRUE(loaded(temp.write("limite.asm", std::string(MAX_SOURCE_BYTES, ';'))).runnable());

    const std::string noise = temp.write("rumore.asm", randomBytes(5000, 11));
    const Submission random = loaded(noise);
    EXPECT_FALSE(random.runnable());
    for (const std::string& problem : random.problems) EXPECT_EQ(problem.rfind(noise + ":", 0), 0u) << problem;

    const Exercise exercise = classExercise();
    const std::vector<SubmissionResult> results = gradeClass(exercise, {big, random}, 2);
    for (const SubmissionResult& result : results)
        for (const CaseResult& caseResult : result.cases) EXPECT_FALSE(caseResult.ran);
}

TEST(SubmissionFile, RandomBytesAsAnImageRunOnlyTheFirst256WithANote) {
    const TempFolder temp;
    const std::string bytes = randomBytes(1000, 7);
    const std::string path = temp.write("caso.bin", bytes);
    const Submission image = loaded(path);
    EXPECT_TRUE(image.runnable());
    EXPECT_EQ(image.size, 1000u);
    ASSERT_EQ(image.image.size(), 256u);
    EXPECT_TRUE(std::equal(image.image.begin(), image.image.end(), bytes.begin(),
                           [](Byte a, char b) { return a == static_cast<Byte>(b); }));
    ASSERT_EQ(image.notes.size(), 1u);
    EXPECT_EQ(image.notes[0], "l'immagine '" + path + "' ha 1000 byte: si caricano solo i primi 256, come fa tarnsim");
    EXPECT_TRUE(loaded(temp.write("pieno.bin", bytes.substr(0, 256))).notes.empty());

    // Whatever those bytes do, the run ends within its limits.
    TestCase testCase = caseNamed("rumore", 100000);
    testCase.input = randomBytes(300, 3);
    const Exercise exercise = exerciseWith({testCase}, {"DIV"});
    const CaseResult result = runCase(exercise, exercise.cases.front(), image.image).result;
    EXPECT_LE(result.instructions, 100000u);
    EXPECT_LE(result.output.size(), testCase.outputLimit);
}

TEST(SubmissionFile, AProgramLargerThanAllowedIsAProblem) {
    const TempFolder temp;
    Exercise exercise = ANY_EXERCISE;
    exercise.maximumSize = 4;
    const Submission source = loaded(temp.write("a.asm", "NOP\nNOP\nNOP\nNOP\nNOP\n"), exercise);
    ASSERT_EQ(source.problems.size(), 1u);
    EXPECT_EQ(source.problems[0], "le istruzioni e i dati del programma occupano 5 byte, ma l'esercizio ne ammette "
                                  "al massimo 4");
    EXPECT_TRUE(loaded(temp.write("b.bin", "abcd"), exercise).runnable());
    EXPECT_FALSE(loaded(temp.write("c.bin", std::string(300, 'x')), exercise).runnable());
}

// A source's size is what its instructions and data take, wherever ORG puts
// them; an image cannot tell its data from its gaps, and is as long as it is.
TEST(SubmissionFile, TheSizeOfASourceIsItsInstructionsAndDataNotTheGapsOfOrg) {
    const TempFolder temp;
    const std::string source = "WRT msg\nRST\nORG 200\nmsg: DB \"ciao\", 0\n";  // 2 + 1 + 5 bytes
    Exercise exercise = ANY_EXERCISE;
    exercise.maximumSize = 8;
    const Submission fits = loaded(temp.write("a.asm", source), exercise);
    EXPECT_TRUE(fits.runnable());
    EXPECT_EQ(fits.size, 8u);
    EXPECT_EQ(fits.image.size(), 205u);  // still loaded where ORG put the data

    exercise.maximumSize = 7;
    const Submission over = loaded(temp.write("b.asm", source), exercise);
    ASSERT_EQ(over.problems.size(), 1u);
    EXPECT_EQ(over.problems[0], "le istruzioni e i dati del programma occupano 8 byte, ma l'esercizio ne ammette "
                                "al massimo 7");

    const std::vector<Byte> bytes = imageOf(source);
    exercise.maximumSize = 204;
    const Submission image = loaded(temp.write("c.bin", std::string(bytes.begin(), bytes.end())), exercise);
    EXPECT_EQ(image.size, 205u);
    ASSERT_EQ(image.problems.size(), 1u);
    EXPECT_EQ(image.problems[0], "l'immagine è lunga 205 byte, ma l'esercizio ne ammette al massimo 204");

    exercise.maximumSize = 1;
    EXPECT_EQ(loaded(temp.write("d.asm", "NOP\nNOP\n"), exercise).problems,
              std::vector<std::string>{"le istruzioni e i dati del programma occupano 2 byte, ma l'esercizio ne "
                                       "ammette al massimo 1"});
}

TEST(SubmissionFolder, TheOneProgramOfAFolderIsFoundAndTheFolderNamesTheStudent) {
    const TempFolder temp;
    const std::string rossi = temp.folder("rossi");
    temp.write("rossi/somma.asm", "RST\n");
    temp.write("rossi/note.txt", "appunti");
    temp.write("rossi/.vecchio.asm", "RST\n");   // hidden: skipped
    temp.folder("rossi/altro.asm");              // a folder: skipped
    temp.folder("rossi/.git");
    const std::string fifo = rossi + "/tubo.bin";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // not a regular file: skipped, never opened
    for (const std::string& argument : {rossi, rossi + "///", rossi + "/."}) {
        SCOPED_TRACE(argument);
        const Submission submission = loaded(argument);
        EXPECT_EQ(submission.student, "rossi");
        EXPECT_EQ(submission.argument, argument);
        EXPECT_EQ(submission.kind, ProgramKind::Source);
        EXPECT_TRUE(submission.runnable());
        EXPECT_TRUE(submission.notes.empty());
        EXPECT_EQ(std::filesystem::path(submission.program).filename(), "somma.asm");
        EXPECT_TRUE(std::filesystem::equivalent(submission.program, rossi + "/somma.asm"));
    }
    EXPECT_EQ(loaded(rossi).program, rossi + "/somma.asm");

    // A source beside an image: the source is graded.
    temp.write("rossi/somma.bin", std::string("\x06", 1));
    const Submission both = loaded(rossi);
    EXPECT_EQ(both.kind, ProgramKind::Source);
    ASSERT_EQ(both.notes.size(), 1u);
    EXPECT_EQ(both.notes[0], "si valuta il sorgente 'somma.asm': l'immagine 'somma.bin' è ignorata");

    // Only an image, through a link that stays inside the folder.
    const std::string verdi = temp.folder("verdi");
    temp.write("verdi/immagine.dat", std::string("\x06", 1));
    std::filesystem::create_symlink("immagine.dat", verdi + "/prog.BIN");
    const Submission image = loaded(verdi + "/");
    EXPECT_EQ(image.student, "verdi");
    EXPECT_EQ(image.kind, ProgramKind::Image);
    EXPECT_EQ(image.image, std::vector<Byte>({6}));
}

TEST(SubmissionFolder, AFolderWithNoProgramOrSeveralFailsTheStudent) {
    const TempFolder temp;
    const std::string empty = temp.folder("vuota");
    temp.write("vuota/.nascosto.asm", "RST\n");
    const std::string many = temp.folder("tanti");
    for (const char* name : {"g.asm", "b.asm", "f.asm", "a.asm", "e.asm", "c.asm", "d.asm"})
        temp.write(std::string("tanti/") + name, "RST\n");
    temp.write("tanti/h.bin", "x");  // an image does not settle which source
    const std::string six = temp.folder("sei");
    for (const char* name : {"f.asm", "b.asm", "a.asm", "e.asm", "c.asm", "d.asm"})
        temp.write(std::string("sei/") + name, "RST\n");
    const std::string images = temp.folder("immagini");
    temp.write("immagini/z.bin", "a");
    temp.write("immagini/y.bin", "b");
    const struct {
        std::string folder, problem;
    } rows[] = {
        {empty, "nessun programma nella cartella '" + empty + "': ci vuole un file .asm o .bin"},
        {many, "più programmi nella cartella '" + many + "': a.asm, b.asm, c.asm, d.asm, e.asm e altri 2"},
        {six, "più programmi nella cartella '" + six + "': a.asm, b.asm, c.asm, d.asm, e.asm e un altro"},
        {images, "più programmi nella cartella '" + images + "': y.bin, z.bin"},
    };
    for (const auto& row : rows) {
        const Submission submission = loaded(row.folder);
        EXPECT_FALSE(submission.runnable());
        EXPECT_TRUE(submission.program.empty());
        ASSERT_EQ(submission.problems.size(), 1u);
        EXPECT_EQ(submission.problems[0], row.problem);
    }
}

TEST(SubmissionFolder, AProgramAmongManyOtherFilesIsFound) {
    const TempFolder temp;
    const std::string crowded = temp.folder("affollata");
    for (int i = 0; i <= 10000; ++i) {
        const std::string file = crowded + "/f" + std::to_string(i);
        std::ofstream{file};
    }
    temp.write("affollata/prog.asm", "RST\n");
    const Submission submission = loaded(crowded);
    EXPECT_TRUE(submission.runnable());
    EXPECT_TRUE(submission.notes.empty());
    EXPECT_EQ(submission.program, crowded + "/prog.asm");
}

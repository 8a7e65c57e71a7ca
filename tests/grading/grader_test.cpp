// Running the cases: what a run reports and when a case passes. (Loading
// submissions from files and folders: submission_files_test.cpp.)
#include "machine/instruction_set.hpp"
#include "assembly/assembler.hpp"
#include "grading/grader.hpp"
#include "grading/exercise_builders.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <random>
#include <set>

using namespace tarn;
using namespace tarn::grading;

namespace {

CaseResult runOne(const TestCase& testCase, std::string_view source, std::vector<std::string_view> forbidden = {}) {
    const Exercise exercise = exerciseWith({testCase}, std::move(forbidden));
    return runCase(exercise, exercise.cases.front(), imageOf(source)).result;
}

// Every field, so that two gradings can be compared whole.
void expectSameResult(const CaseResult& a, const CaseResult& b, const std::string& where) {
    SCOPED_TRACE(where);
    EXPECT_EQ(a.passed, b.passed);
    EXPECT_EQ(a.points, b.points);
    EXPECT_EQ(a.ran, b.ran);
    EXPECT_EQ(a.instructions, b.instructions);
    EXPECT_EQ(a.limitReached, b.limitReached);
    EXPECT_EQ(a.finalPC, b.finalPC);
    EXPECT_EQ(a.output, b.output);
    EXPECT_EQ(a.outputCut, b.outputCut);
    EXPECT_EQ(a.outputMatches, b.outputMatches);
    EXPECT_EQ(a.tracesShown, b.tracesShown);
    EXPECT_EQ(a.inputTaken, b.inputTaken);
    EXPECT_EQ(a.forbidden.has_value(), b.forbidden.has_value());
    ASSERT_EQ(a.mismatches.size(), b.mismatches.size());
    for (std::size_t i = 0; i < a.mismatches.size(); ++i) {
        EXPECT_EQ(a.mismatches[i].kind, b.mismatches[i].kind);
        EXPECT_EQ(a.mismatches[i].address, b.mismatches[i].address);
        EXPECT_EQ(a.mismatches[i].found, b.mismatches[i].found);
    }
}

Submission submissionOf(std::string student, std::string_view source) {
    Submission submission;
    submission.argument = student + ".asm";
    submission.student = std::move(student);
    submission.program = submission.argument;
    submission.image = imageOf(source);
    submission.size = submission.image.size();
    return submission;
}

}  // namespace

// --- Comparing outputs ------------------------------------------------------

TEST(GraderOutput, ExactComparesBytesBlanksIgnoresLineEndBlanksAndFinalLineEnds) {
    struct Row {
        std::string_view expected, actual;
        bool exact, blanks;
    };
    const Row rows[] = {
        {"7\n", "7\n", true, true},
        {"7\n", "7", false, true},
        {"7", "7\n\n\n", false, true},
        {"7\n", "7 \t\r\n", false, true},
        {"a  \nb\n", "a\nb   ", false, true},
        {"a\n\nb\n", "a\nb\n", false, false},     // a blank line inside counts
        {"a b\n", "a  b\n", false, false},        // blanks inside a line count
        {" 7\n", "7\n", false, false},            // so do leading ones
        {"7\n", "8\n", false, false},
        {"", "\n \n\t\n", false, true},
        {"", "", true, true},
        {"x\n", "", false, false},
        {std::string_view("a\0\n", 3), "a\n", false, false},  // a zero byte is not a blank
        {"\r\n", "", false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.expected) + " | " + std::string(row.actual));
        EXPECT_EQ(outputsMatch(row.expected, row.actual, Comparison::Exact), row.exact);
        EXPECT_EQ(outputsMatch(row.expected, row.actual, Comparison::Blanks), row.blanks);
        EXPECT_EQ(outputsMatch(row.actual, row.expected, Comparison::Blanks), row.blanks);
    }
}

// --- Running one case -------------------------------------------------------

TEST(GraderRun, ExpectedOutputPassesWithItsPointsAndFailsOtherwise) {
    TestCase testCase = caseNamed("uscita");
    testCase.points = 2.5;
    testCase.output = "ab";
    const std::string source = "WRT msg\nRST\nmsg: DB \"ab\", 0\n";
    const CaseResult right = runOne(testCase, source);
    EXPECT_TRUE(right.ran);
    EXPECT_TRUE(right.passed);
    EXPECT_EQ(right.points, 2.5);
    EXPECT_EQ(right.output, "ab");
    EXPECT_EQ(right.instructions, 1u);
    EXPECT_FALSE(right.limitReached);

    testCase.output = "ab\n";
    const CaseResult wrong = runOne(testCase, source);
    EXPECT_FALSE(wrong.passed);
    EXPECT_EQ(wrong.points, 0);
    EXPECT_EQ(wrong.outputMatches, false);
    testCase.comparison = Comparison::Blanks;
    EXPECT_TRUE(runOne(testCase, source).passed);
}

TEST(GraderRun, TheLimitFailsWithWherePcStoodAndTheCountAndAStopExactlyAtItPasses) {
    const CaseResult endless = runOne(caseNamed("ciclo", 1000), "NOP\nciclo: JMP ciclo\n");
    EXPECT_TRUE(endless.limitReached);
    EXPECT_FALSE(endless.passed);
    EXPECT_EQ(endless.instructions, 1000u);
    EXPECT_EQ(endless.finalPC, 1);

    // Three instructions, then RST: a limit of 3 is enough, 2 is not.
    const std::string three = "NOP\nNOP\nNOP\nRST\n";
    const CaseResult exact = runOne(caseNamed("esatto", 3), three);
    EXPECT_TRUE(exact.passed);
    EXPECT_FALSE(exact.limitReached);
    EXPECT_EQ(exact.instructions, 3u);
    EXPECT_EQ(exact.finalPC, 3);
    const CaseResult shortLimit = runOne(caseNamed("corto", 2), three);
    EXPECT_FALSE(shortLimit.passed);
    EXPECT_TRUE(shortLimit.limitReached);
    EXPECT_EQ(shortLimit.instructions, 2u);
    EXPECT_EQ(shortLimit.finalPC, 2);
}

TEST(GraderRun, AnEndlessLoopThatPrintsStopsAsSoonAsItsOutputPassesTheLimit) {
    TestCase testCase = caseNamed("stampa", 1'000'000'000);
    testCase.outputLimit = 100;
    testCase.output = "y";
    testCase.expectedMemory = {{0, {99}}};
    for (const bool watched : {false, true}) {
        SCOPED_TRACE(watched ? "watched" : "fast");
        const CaseResult result = runOne(testCase, "ciclo: WRT msg\nJMP ciclo\nmsg: DB \"x\", 0\n",
                                         watched ? std::vector<std::string_view>{"DIV"}
                                                 : std::vector<std::string_view>{});
        EXPECT_TRUE(result.outputCut);
        EXPECT_EQ(result.output, std::string(100, 'x'));
        // A hundred WRT and JMP, then the WRT that went past the limit: not
        // a billion instructions.
        EXPECT_EQ(result.instructions, 201u);
        EXPECT_EQ(result.finalPC, 2);  // the JMP after it
        EXPECT_FALSE(result.limitReached);
        // Stopped halfway: the output is the reason, not what it printed or the memory.
        EXPECT_FALSE(result.outputMatches.has_value());
        EXPECT_TRUE(result.mismatches.empty());
        EXPECT_FALSE(result.passed);
    }

    // An output that fills the limit exactly stops nothing.
    testCase.instructionLimit = 1000;
    testCase.outputLimit = 3;
    const CaseResult full = runOne(testCase, "WRT msg\nciclo: JMP ciclo\nmsg: DB \"abc\", 0\n");
    EXPECT_FALSE(full.outputCut);
    EXPECT_TRUE(full.limitReached);
    EXPECT_EQ(full.instructions, 1000u);
}

// The stop is exact, however the run gets there: the same image on a plain
// console is one instruction short of the cut, and one more makes it, into
// the very machine the case ends with.
TEST(GraderRun, TheRunStopsRightAfterTheInstructionWhoseOutputPassesTheLimit) {
    const std::string programs[] = {
        "ciclo: WRT msg\nJMP ciclo\nmsg: DB \"abc\", 0\n",
        "STD\nciclo: WRT msg\nNOP\nJMP ciclo\nmsg: DB \"x\", 0\n",  // traced, one at a time
        "ciclo: INC 200\nJPZ stampa\nJMP ciclo\nstampa: WRT msg\nJMP ciclo\nmsg: DB \"ab\", 0\n",
    };
    for (const std::size_t outputLimit :
         {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{16}, std::size_t{17}, std::size_t{5000}}) {
        TestCase testCase = caseNamed("taglio", 10'000'000);
        testCase.outputLimit = outputLimit;
        testCase.output = "";
        for (const std::string& program : programs) {
            for (const bool watched : {false, true}) {
                SCOPED_TRACE(program + " limit " + std::to_string(outputLimit) + (watched ? " watched" : " fast"));
                const Exercise exercise = exerciseWith({testCase}, watched ? std::vector<std::string_view>{"DIV"}
                                                                           : std::vector<std::string_view>{});
                const CaseRun run = runCase(exercise, exercise.cases.front(), imageOf(program));
                ASSERT_TRUE(run.result.outputCut);
                ASSERT_GT(run.result.instructions, 0u);
                MachineState state = run.before;
                MemoryConsole console({}, MemoryConsole::Traces::Counted, outputLimit);
                EXPECT_EQ(runMachineFor(state, console, run.result.instructions - 1), run.result.instructions - 1);
                EXPECT_FALSE(console.outputCut());
                EXPECT_TRUE(stepMachine(state, console));
                EXPECT_TRUE(console.outputCut());
                EXPECT_EQ(std::memcmp(&state, &run.after, sizeof state), 0);
                EXPECT_EQ(console.output(), run.result.output);
                EXPECT_EQ(console.tracesShown(), run.result.tracesShown);
            }
        }
    }
}

TEST(GraderRun, AStringRunningPastAddress255GoesOnThroughTheRegisters) {
    // X = 'x', B = 'y'; WRT 250 at address 62 leaves PC = 64 '@' and IR = 'G'.
    std::vector<Byte> image(256, 0);
    const Byte code[] = {0x4A, 'x', 0x86, 150, 'y', 0x40, 62};
    std::copy(std::begin(code), std::end(code), image.begin());
    image[62] = opcodeOf(Op::Wrt);
    image[63] = 250;
    for (unsigned i = 0; i < 6; ++i) image[250 + i] = static_cast<Byte>('a' + i);
    const struct {
        std::size_t outputLimit;
        std::string output;
        bool cut;
    } cases[] = {
        {4096, "abcdef@G\xFAyx", false},
        {11, "abcdef@G\xFAyx", false},
        {8, "abcdef@G", true},
        {3, "abc", true},
    };
    for (const auto& c : cases) {
        TestCase testCase = caseNamed("registri");
        testCase.outputLimit = c.outputLimit;
        const Exercise exercise = exerciseWith({testCase});
        const CaseResult result = runCase(exercise, exercise.cases.front(), image).result;
        EXPECT_EQ(result.output, c.output) << c.outputLimit;
        EXPECT_EQ(result.outputCut, c.cut) << c.outputLimit;
    }

    // A string whose 0 is the last byte of memory stays in memory.
    image[255] = 0;
    const Exercise exercise = exerciseWith({caseNamed("fine")});
    EXPECT_EQ(runCase(exercise, exercise.cases.front(), image).result.output, "abcde");
}

// Programs that print in a loop, strings anywhere and memory rewritten
// between prints: the output kept and its cut, whatever the limit, are what a
// plain console given the same limit shows.
TEST(GraderRun, PrintingProgramsPrintWhatAPlainConsolePrints) {
    const Byte wrt = opcodeOf(Op::Wrt);
    const Byte inc = opcodeOf(Op::Inc);
    const Byte jmp = opcodeOf(Op::Jmp);
    std::mt19937 random(255);
    std::size_t cut = 0, whole = 0;  // runs of each kind, with some output
    for (int round = 0; round < 200; ++round) {
        std::vector<Byte> image(256);
        for (Byte& byte : image) byte = random() % 8 == 0 ? 0 : static_cast<Byte>(1 + random() % 255);
        // WRT and INC at random addresses, then back to 0.
        std::size_t at = 0;
        for (int instruction = 0; instruction < 12; ++instruction) {
            image[at++] = random() % 3 == 0 ? inc : wrt;
            image[at++] = static_cast<Byte>(random() % 256);
        }
        image[at++] = jmp;
        image[at++] = 0;
        for (const std::size_t outputLimit : {std::size_t{0}, std::size_t{15}, std::size_t{16}, std::size_t{17},
                                              std::size_t{100}, std::size_t{300}, std::size_t{4096}, MAX_OUTPUT_LIMIT}) {
            TestCase testCase = caseNamed("stampa", 3000);
            testCase.outputLimit = outputLimit;
            const Exercise exercise = exerciseWith({testCase});
            const CaseRun run = runCase(exercise, exercise.cases.front(), image);
            MachineState state = run.before;
            MemoryConsole console({}, MemoryConsole::Traces::Counted, outputLimit);
            runMachineFor(state, console, testCase.instructionLimit);
            ASSERT_EQ(run.result.output, console.output()) << "round " << round << " limit " << outputLimit;
            ASSERT_EQ(run.result.outputCut, console.outputCut()) << "round " << round << " limit " << outputLimit;
            if (!run.result.output.empty()) ++(run.result.outputCut ? cut : whole);
        }
    }
    EXPECT_GT(cut, 100u);
    EXPECT_GT(whole, 100u);
}

TEST(GraderRun, OutputPastTheLimitFailsEvenWhenNothingIsExpected) {
    TestCase testCase = caseNamed("taglio");
    testCase.outputLimit = 4;
    const CaseResult result = runOne(testCase, "WRT msg\nRST\nmsg: DB \"abcdef\", 0\n");
    EXPECT_FALSE(result.limitReached);
    EXPECT_TRUE(result.outputCut);
    EXPECT_EQ(result.output, "abcd");
    EXPECT_FALSE(result.passed);
    testCase.outputLimit = 6;
    EXPECT_TRUE(runOne(testCase, "WRT msg\nRST\nmsg: DB \"abcdef\", 0\n").passed);
}

TEST(GraderRun, AForbiddenInstructionStopsTheRunBeforeItIsExecuted) {
    const std::string source = "VAL x, 3\nMUL x, x\nRST\nx: DB 0\n";
    const Exercise exercise = exerciseWith({caseNamed("mul")}, {"MUL"});
    const CaseRun run = runCase(exercise, exercise.cases.front(), imageOf(source));
    ASSERT_TRUE(run.result.forbidden);
    EXPECT_EQ(run.result.forbidden->opcode, opcodeOf(Op::Mul));
    EXPECT_EQ(run.result.forbidden->address, 3);
    EXPECT_EQ(run.result.forbidden->step, 1u);
    EXPECT_EQ(run.result.instructions, 1u);
    EXPECT_EQ(run.result.finalPC, 3);
    EXPECT_FALSE(run.result.limitReached);
    EXPECT_FALSE(run.result.passed);
    EXPECT_EQ(run.after.M[7], 3);  // x: 3, not 9
    // Without the ban it runs to the end.
    EXPECT_TRUE(runOne(caseNamed("mul"), source).passed);
    // A forbidden instruction never reached fails nothing.
    EXPECT_TRUE(runOne(caseNamed("mul"), "RST\nMUL x, x\nx: DB 0\n", {"MUL"}).passed);
}

TEST(GraderRun, AForbiddenInstructionWrittenByTheProgramItselfIsCaughtToo) {
    // The program writes MUL over the NOP at "posto", then reaches it.
    const std::string source = "VAL posto, " + std::to_string(opcodeOf(Op::Mul)) + "\nposto: NOP\nDB x, x\nRST\nx: DB 2\n";
    const CaseResult banned = runOne(caseNamed("auto"), source, {"MUL"});
    ASSERT_TRUE(banned.forbidden);
    EXPECT_EQ(banned.forbidden->address, 3);
    EXPECT_EQ(banned.forbidden->step, 1u);
    EXPECT_FALSE(banned.passed);
    EXPECT_FALSE(runOne(caseNamed("auto"), source).forbidden);
}

TEST(GraderRun, MemoryIsPlacedBeforeTheRunAndCheckedAfterIt) {
    TestCase testCase = caseNamed("memoria");
    testCase.memory = {{200, {5, 7}}, {254, {1, 2}}};
    testCase.expectedMemory = {{200, {12, 7}}, {255, {2}}};
    const Exercise exercise = exerciseWith({testCase});
    const CaseRun run = runCase(exercise, exercise.cases.front(), imageOf("ADD 200, 201\nRST\n"));
    EXPECT_EQ(run.before.M[200], 5);
    EXPECT_EQ(run.before.M[201], 7);
    EXPECT_EQ(run.before.M[0], opcodeOf(Op::Add));  // the image is loaded first
    EXPECT_EQ(run.after.M[200], 12);
    EXPECT_TRUE(run.result.passed);

    testCase.expectedMemory = {{199, {0, 13, 7, 0}}};
    const CaseResult wrong = runOne(testCase, "ADD 200, 201\nRST\n");
    EXPECT_FALSE(wrong.passed);
    ASSERT_EQ(wrong.mismatches.size(), 1u);
    EXPECT_EQ(wrong.mismatches[0].kind, Mismatch::Kind::Memory);
    EXPECT_EQ(wrong.mismatches[0].address, 200u);
    EXPECT_EQ(wrong.mismatches[0].expected, 13);
    EXPECT_EQ(wrong.mismatches[0].found, 12);
}

TEST(GraderRun, RegistersAndFlagsAreCheckedAfterTheRun) {
    TestCase testCase = caseNamed("registri");
    testCase.expectedRegisters = {{260, 3}, {256, 4}};  // X, PC
    testCase.expectedFlags = FLAG_Z;
    const std::string source = "VALOFFST 3\nSTZ\nSTN\nRST\n";  // N too: other flags are free
    EXPECT_TRUE(runOne(testCase, source).passed);

    testCase.expectedRegisters = {{260, 4}, {258, 3}};  // X, A
    testCase.expectedFlags = FLAG_Z | FLAG_P | FLAG_O | FLAG_D;
    const CaseResult wrong = runOne(testCase, source);
    EXPECT_FALSE(wrong.passed);
    ASSERT_EQ(wrong.mismatches.size(), 4u);
    EXPECT_EQ(wrong.mismatches[0].kind, Mismatch::Kind::Register);
    EXPECT_EQ(wrong.mismatches[0].address, 260u);
    EXPECT_EQ(wrong.mismatches[0].expected, 4);
    EXPECT_EQ(wrong.mismatches[0].found, 3);
    EXPECT_EQ(wrong.mismatches[1].kind, Mismatch::Kind::Flag);
    EXPECT_EQ(wrong.mismatches[1].address, FLAG_D);
    EXPECT_EQ(wrong.mismatches[1].expected, 1);
    EXPECT_EQ(wrong.mismatches[1].found, 0);
    EXPECT_EQ(wrong.mismatches[2].address, FLAG_O);
    EXPECT_EQ(wrong.mismatches[3].address, FLAG_P);
}

TEST(GraderRun, TracesLeftOnAreCountedNotPrintedAndDoNotWait) {
    TestCase testCase = caseNamed("traccia");
    testCase.output = "ok";
    const std::string source = "STD\nNOP\nWRT msg\nRST\nmsg: DB \"ok\", 0\n";
    testCase.expectedFlags = FLAG_D;
    for (const bool watched : {false, true}) {
        SCOPED_TRACE(watched ? "watched" : "fast");
        const CaseResult result = runOne(testCase, source, watched ? std::vector<std::string_view>{"DIV"}
                                                                   : std::vector<std::string_view>{});
        EXPECT_TRUE(result.passed);
        EXPECT_EQ(result.tracesShown, 2u);  // before NOP and WRT
        EXPECT_EQ(result.output, "ok");
    }
    // VAL with 0 turns tracing on too.
    EXPECT_EQ(runOne(caseNamed("val"), "VAL 100, 0\nNOP\nRST\n").tracesShown, 1u);
}

TEST(GraderRun, InputMayHoldAnyBytes) {
    TestCase testCase = caseNamed("ingresso");
    testCase.input = std::string("  \xff\x80z\0q rest", 11);
    const CaseResult result = runOne(testCase, "INP 100\nWRT 100\nRST\n");
    EXPECT_EQ(result.output, "\xff\x80z");  // a zero byte ends the copy
    EXPECT_EQ(result.inputTaken, 7u);       // blanks skipped, the word up to the space
    EXPECT_TRUE(result.passed);
}

TEST(GraderRun, TheWatchedRunGivesWhatTheFastRunGives) {
    // With a ban on something never used, every run must come out the same.
    const std::string programs[] = {
        "ciclo: WRT msg\nJMP ciclo\nmsg: DB \"x\", 0\n",
        "NOP\nNOP\nRST\n",
        "STD\nciclo: INC 100\nJMP ciclo\n",
        "INP 100\nWRT 100\nRST\n",
        "VAL 0, 6\nJMP 0\n",  // rewrites itself into NOPs and runs on
    };
    for (const std::uint64_t limit : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{2}, std::uint64_t{777}}) {
        TestCase testCase = caseNamed("pari", limit);
        testCase.input = "abc def";
        testCase.outputLimit = 50;
        testCase.output = "abc";
        for (const std::string& program : programs) {
            const CaseResult fast = runOne(testCase, program);
            const CaseResult watched = runOne(testCase, program, {"DIV"});
            expectSameResult(fast, watched, program + " limit " + std::to_string(limit));
        }
    }
}

// --- Grading a class --------------------------------------------------------

namespace {

// Reads two digits and prints their sum, a digit and a line end.
constexpr std::string_view SUM = R"(
        INP a
        SUB a, zero
        SUB b, zero
        ADD a, b
        ADD a, zero
        CPY out, a
        WRT out
        RST
zero:   DB '0'
a:      DB 0
b:      DB 0
out:    DB 0, "\n", 0
)";

// Writes every byte of memory, its own code too, for ever.
constexpr std::string_view WRITES_ALL = R"(
ciclo:  VAL 0, 255
        INCOFFST
        JMP ciclo
)";

}  // namespace

TEST(GraderClass, ResultsKeepTheOrderSumThePointsAndDoNotDependOnThreads) {
    const Exercise exercise = classExercise();
    Submission broken;
    broken.argument = broken.student = "rotto";
    broken.problems = {"rotto.asm:1:1: errore: qualcosa"};
    std::vector<Submission> submissions = {
        submissionOf("rossi", SUM), submissionOf("verdi", WRITES_ALL), broken,
        submissionOf("bianchi", "ciclo: WRT 0\nJMP ciclo\n"), submissionOf("neri", "RST\n"),
    };
    const std::vector<SubmissionResult> one = gradeClass(exercise, submissions, 1);
    ASSERT_EQ(one.size(), submissions.size());
    for (std::size_t i = 0; i < one.size(); ++i) {
        EXPECT_EQ(one[i].submission.student, submissions[i].student);
        ASSERT_EQ(one[i].cases.size(), exercise.cases.size());
    }
    EXPECT_TRUE(one[0].cases[0].passed) << one[0].cases[0].output;
    EXPECT_EQ(one[0].points, 3.5);
    EXPECT_TRUE(one[0].allPassed());
    EXPECT_EQ(one[1].points, 0);
    EXPECT_TRUE(one[1].cases[1].limitReached);
    for (const CaseResult& result : one[2].cases) {
        EXPECT_FALSE(result.ran);
        EXPECT_FALSE(result.passed);
    }
    EXPECT_FALSE(one[2].allPassed());
    EXPECT_EQ(one[4].points, 1.5);  // the loop case and the empty case

    for (const unsigned jobs : {4u, 0u, 64u}) {
        const std::vector<SubmissionResult> many = gradeClass(exercise, submissions, jobs);
        ASSERT_EQ(many.size(), one.size());
        for (std::size_t i = 0; i < one.size(); ++i) {
            EXPECT_EQ(many[i].points, one[i].points);
            for (std::size_t c = 0; c < exercise.cases.size(); ++c)
                expectSameResult(many[i].cases[c], one[i].cases[c],
                                 "-j " + std::to_string(jobs) + " " + one[i].submission.student);
        }
    }
}

TEST(GraderClass, NothingOneSubmissionDoesReachesAnother) {
    const Exercise exercise = classExercise();
    const std::vector<SubmissionResult> alone = gradeClass(exercise, {submissionOf("rossi", SUM)}, 1);
    std::vector<Submission> crowd;
    for (int i = 0; i < 6; ++i) {
        crowd.push_back(submissionOf("verdi" + std::to_string(i), WRITES_ALL));
        crowd.push_back(submissionOf("rossi" + std::to_string(i), SUM));
    }
    const std::vector<SubmissionResult> together = gradeClass(exercise, crowd, 4);
    for (std::size_t i = 1; i < together.size(); i += 2)
        for (std::size_t c = 0; c < exercise.cases.size(); ++c)
            expectSameResult(together[i].cases[c], alone[0].cases[c], together[i].submission.student);
}

TEST(GraderClass, NoSubmissionsOrOnlyBrokenOnesGiveResultsWithoutRunning) {
    const Exercise exercise = classExercise();
    EXPECT_TRUE(gradeClass(exercise, {}, 4).empty());
    Submission broken;
    broken.problems = {"nessun programma"};
    const std::vector<SubmissionResult> results = gradeClass(exercise, {broken, broken}, 0);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[1].cases.size(), exercise.cases.size());
    EXPECT_FALSE(results[1].cases[0].ran);
    EXPECT_EQ(results[1].points, 0);
}

TEST(GraderClass, ProgressCountsEveryRunAndSubmissionWhateverTheThreads) {
    const Exercise exercise = classExercise();
    Submission broken;
    broken.argument = broken.student = "rotto";
    broken.problems = {"rotto.asm:1:1: errore: qualcosa"};
    std::vector<Submission> submissions = {broken};
    for (int i = 0; i < 7; ++i) submissions.push_back(submissionOf("rossi" + std::to_string(i), SUM));
    for (const unsigned jobs : {1u, 3u, 16u}) {
        std::mutex mutex;
        std::vector<GradingFigures> seen;
        const std::vector<SubmissionResult> results =
            gradeClass(exercise, submissions, jobs, [&](const GradingCount& count) {
                const std::lock_guard<std::mutex> lock(mutex);
                seen.push_back(count.figures());
            });
        ASSERT_EQ(results.size(), submissions.size());
        // Once at the start, with the broken one already graded, then once
        // each time a run ends: short runs tell no count on the way.
        ASSERT_EQ(seen.size(), 1u + 7 * 3) << "-j " << jobs;
        EXPECT_EQ(seen.front().graded, 1u);
        EXPECT_EQ(seen.front().runsEnded, 0u);
        std::size_t graded = 0;
        std::size_t ended = 0;
        for (const GradingFigures& figures : seen) {
            EXPECT_EQ(figures.submissions, 8u);
            EXPECT_EQ(figures.cases, 3u);
            EXPECT_EQ(figures.runs, 21u);
            EXPECT_TRUE(figures.underWay.empty());
            graded = std::max(graded, figures.graded);
            ended = std::max(ended, figures.runsEnded);
        }
        EXPECT_EQ(graded, 8u) << "-j " << jobs;
        EXPECT_EQ(ended, 21u) << "-j " << jobs;
        if (jobs == 1)
            for (std::size_t i = 0; i < seen.size(); ++i) {
                EXPECT_EQ(seen[i].runsEnded, i);
                EXPECT_EQ(seen[i].graded, 1 + i / 3);
            }
    }
    // With nothing to run, the start is the end.
    std::vector<GradingFigures> seen;
    gradeClass(exercise, {broken, broken}, 2, [&](const GradingCount& count) { seen.push_back(count.figures()); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen.front().graded, 2u);
    EXPECT_EQ(seen.front().runs, 0u);
}

TEST(GraderClass, ALongRunTellsItsInstructionsOnTheWayWatchedOrNot) {
    // An endless loop up to a limit of some report intervals, and a case
    // that ends at once.
    TestCase endless = caseNamed("giro", 5 * RUN_REPORT_INTERVAL + 5000);
    endless.output = "";
    TestCase quick = caseNamed("subito", 1000);
    quick.output = "";
    for (const bool watched : {false, true}) {
        const Exercise exercise = watched ? exerciseWith({quick, endless}, {"MUL"}) : exerciseWith({quick, endless});
        std::vector<GradingFigures> seen;
        const std::vector<SubmissionResult> results = gradeClass(
            exercise, {submissionOf("rossi", "giro: JMP giro\n")}, 1,
            [&](const GradingCount& count) { seen.push_back(count.figures()); });
        EXPECT_EQ(results.front().cases[1].instructions, endless.instructionLimit);
        // The start, the quick case's end, a count after each interval
        // but the one that reaches the limit, the long case's end.
        std::vector<std::uint64_t> told;
        for (const GradingFigures& figures : seen)
            for (const RunUnderWay& run : figures.underWay) {
                EXPECT_EQ(run.run, 1u);
                EXPECT_EQ(run.limit, endless.instructionLimit);
                EXPECT_EQ(figures.runsEnded, 1u);
                told.push_back(run.executed);
            }
        ASSERT_EQ(seen.size(), 2u + told.size() + 1) << "watched " << watched;
        ASSERT_EQ(told.size(), 5u) << "watched " << watched;
        for (std::size_t i = 0; i < told.size(); ++i) {
            // Told every interval, give or take a stretch.
            EXPECT_GE(told[i], (i + 1) * RUN_REPORT_INTERVAL) << "watched " << watched;
            EXPECT_LT(told[i], (i + 1) * RUN_REPORT_INTERVAL + 4096) << "watched " << watched;
        }
        EXPECT_TRUE(seen.back().underWay.empty());
        EXPECT_EQ(seen.back().runsEnded, 2u);
    }
}

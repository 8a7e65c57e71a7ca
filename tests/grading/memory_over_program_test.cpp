// A case's memory placed over the program's instructions: a source's are
// the bytes its instructions assemble to, an image's those its run
// executed; the student's report notes it, for visible cases only.
#include "grading/exercise_builders.hpp"
#include "grading/grader.hpp"
#include "grading/report_files.hpp"
#include "grading/report_text.hpp"
#include "grading/submission.hpp"
#include "grading/wording.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

using namespace tarn;
using namespace tarn::grading;

namespace {

TestCase caseWithMemory(std::string name, std::vector<MemoryBytes> memory, bool hidden = false) {
    TestCase testCase = caseNamed(std::move(name));
    testCase.memory = std::move(memory);
    testCase.hidden = hidden;
    return testCase;
}

// 0x00 VAL 0x10, 7 (three bytes); 0x03 JPZ 0x0A (two); 0x05 ADD 0x10, 0x11
// (three); 0x08 RST; 0x09 a NOP that the jump never taken leaves unrun;
// 0x0A RST; then data from 0x10.
const std::string PROGRAM = "        VAL x, 7\n"
                            "        JPZ dopo\n"
                            "        ADD x, y\n"
                            "        RST\n"
                            "        NOP\n"
                            "dopo:   RST\n"
                            "        ORG 16\n"
                            "x:      DB 0\n"
                            "y:      DB 1\n";

}  // namespace

TEST(MemoryOverProgram, ASourceByItsInstructionsAnImageByWhatItsRunExecuted) {
    const struct {
        std::string name;
        std::vector<MemoryBytes> memory;
        std::vector<Byte> source;  // the addresses found for the source
        std::vector<Byte> image;   // and for the same program as an image
    } rows[] = {
        {"data only", {{0x10, {5, 6}}}, {}, {}},
        {"nothing placed", {}, {}, {}},
        {"an opcode", {{0x00, {opcodeOf(Op::Val)}}}, {0x00}, {0x00}},
        // 3 and 4 are JPZ and its operand; 5 is the opcode of ADD, 6 its
        // first operand.
        {"a run of instruction bytes", {{0x03, {opcodeOf(Op::Jpz), 0x0A, opcodeOf(Op::Add), 0x10}}},
         {0x03, 0x04, 0x05, 0x06}, {0x03, 0x04, 0x05, 0x06}},
        // The NOP at 9 and the RST at 0x0A are instructions of the source,
        // but the run never reaches them; the gap at 0x0B is neither's.
        {"code the run never reaches, and a gap", {{0x09, {opcodeOf(Op::Nop), 0, 0}}}, {0x09, 0x0A}, {}},
        // The RST at 8 stops the run: it is not executed.
        {"two blocks", {{0x01, {0x10}}, {0x07, {0x11, 0}}, {0x11, {3}}}, {0x01, 0x07, 0x08}, {0x01, 0x07}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Exercise exercise = exerciseWith({caseWithMemory("caso", row.memory)});
        for (const ProgramKind kind : {ProgramKind::Source, ProgramKind::Image}) {
            const Submission submission = submissionOf("rossi", kind, PROGRAM);
            const std::vector<Byte>& expected = kind == ProgramKind::Source ? row.source : row.image;
            EXPECT_EQ(gradeOne(exercise, submission).cases.front().memoryOverProgram, expected) << submission.program;
            // A case run alone finds the same.
            EXPECT_EQ(runCase(exercise, exercise.cases.front(), submission).result.memoryOverProgram, expected)
                << submission.program;
        }
    }
}

TEST(MemoryOverProgram, AnImageCountsTheBytesItExecutedAfterTheCaseRewroteThem) {
    // The case's memory turns the RST at 3 into a JMP back to 0, and the
    // run then executes the jump's operand at 4 too, until the limit.
    const Exercise exercise = exerciseWith({caseWithMemory("salto", {{0x03, {opcodeOf(Op::Jmp), 0x00}}})});
    const SubmissionResult result = gradeOne(exercise, imageSubmission("rossi", "CLZ\nCLN\nCLO\nRST\n"));
    EXPECT_TRUE(result.cases.front().limitReached);
    EXPECT_EQ(result.cases.front().memoryOverProgram, (std::vector<Byte>{0x03, 0x04}));
}

TEST(MemoryOverProgram, TheNoteNamesTheAddressesAsRanges) {
    const struct {
        std::vector<Byte> addresses;
        std::string ranges;
    } rows[] = {
        {{0x10}, "0x10"},
        {{0x10, 0x11, 0x12}, "0x10-0x12"},
        {{0x01, 0x03}, "0x01 e 0x03"},
        {{0x00, 0x01, 0x05, 0x10, 0x11, 0xFF}, "0x00-0x01, 0x05, 0x10-0x11 e 0xFF"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(addressRanges(row.addresses), row.ranges);
        CaseResult result;
        result.memoryOverProgram = row.addresses;
        EXPECT_EQ(caseNotes(result),
                  std::vector<std::string>{"la memoria del caso copre istruzioni del programma " +
                                           std::string(row.addresses.size() == 1 ? "all'indirizzo " : "agli indirizzi ") +
                                           row.ranges + ": lì il programma eseguito non è quello consegnato"});
    }
    EXPECT_EQ(memoryOverProgramText({0x20, 0x21}, "tabella", "della soluzione"),
              "la memoria del caso «tabella» copre istruzioni della soluzione agli indirizzi 0x20-0x21");
}

TEST(MemoryOverProgram, TheStudentSeesTheNoteOfAVisibleCaseTheTeacherOfEveryCase) {
    // The case overwrites the program's ADD with RST (0): every case passes.
    const Exercise exercise = exerciseWith({caseWithMemory("visibile", {{0x05, {0}}}),
                                            caseWithMemory("segreto", {{0x06, {0x42}}, {0x05, {0}}}, true)});
    const SubmissionResult result = gradeOne(exercise, sourceSubmission("rossi", PROGRAM));
    ASSERT_TRUE(result.allPassed());
    const std::vector<SubmissionResult> results{result};
    const std::string visible =
        "nota su visibile: la memoria del caso copre istruzioni del programma all'indirizzo 0x05";
    const std::string hidden =
        "nota su segreto: la memoria del caso copre istruzioni del programma agli indirizzi 0x05-0x06";
    const std::string student = formatClassReport(exercise, "es.toml", results, nullptr, ReportStyle{});
    EXPECT_NE(student.find(visible), std::string::npos) << student;
    EXPECT_EQ(student.find("0x06"), std::string::npos) << student;
    ReportStyle teacher;
    teacher.teacher = true;
    const std::string full = formatClassReport(exercise, "es.toml", results, nullptr, teacher);
    EXPECT_NE(full.find(visible), std::string::npos) << full;
    EXPECT_NE(full.find(hidden), std::string::npos) << full;

    // The JSON, the teacher's record, has the addresses of every case.
    const nlohmann::json report = nlohmann::json::parse(jsonReport(exercise, "es.toml", results, nullptr));
    const nlohmann::json& cases = report.at("consegne").at(0).at("casi");
    EXPECT_EQ(cases.at(0).at("memoria_sul_programma"), nlohmann::json({5}));
    EXPECT_EQ(cases.at(1).at("memoria_sul_programma"), nlohmann::json({5, 6}));
    EXPECT_EQ(cases.at(1).at("note").size(), 1u);
}

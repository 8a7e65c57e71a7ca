// A sample exercise of three cases and results of every kind on it, for the
// tests of the report files.
#pragma once

#include "grading/grader.hpp"
#include "machine/instruction_set.hpp"

#include <string>
#include <utility>

namespace tarn::grading {

// Three cases: an output checked exactly, a hidden one, one checked in memory only.
inline Exercise sampleExercise() {
    Exercise exercise;
    exercise.title = "Somma di due cifre";
    exercise.instructionLimit = 5000;
    exercise.outputLimit = 100;
    exercise.forbiddenNames = {"MUL"};
    exercise.forbidden[opcodeOf(Op::Mul)] = true;

    TestCase visible;
    visible.name = "tre più quattro";
    visible.input = "3 4\n";
    visible.output = "7\n";
    visible.points = 1.5;

    TestCase hidden;
    hidden.name = "nascosto";
    hidden.input = "9 9\n";
    hidden.output = "18\n";
    hidden.comparison = Comparison::Blanks;
    hidden.hidden = true;
    hidden.points = 2;

    TestCase memory;
    memory.name = "tabella";
    memory.points = 0.25;
    memory.expectedMemory = {{0xF0, {21}}};

    exercise.cases = {visible, hidden, memory};
    return exercise;
}

inline CaseResult passedCase(double points, std::string output) {
    CaseResult result;
    result.passed = true;
    result.points = points;
    result.ran = true;
    result.instructions = 12;
    result.output = std::move(output);
    return result;
}

// Passes the first case, fails the hidden one on its output and the memory
// one on memory, a register, a flag and a forbidden instruction.
inline SubmissionResult mixedResult(const std::string& student) {
    SubmissionResult result;
    result.submission.argument = "consegne/" + student;
    result.submission.student = student;
    result.submission.program = "consegne/" + student + "/somma.asm";
    result.submission.image = {0x00};
    result.submission.size = 1;
    result.cases.push_back(passedCase(1.5, "7\n"));

    CaseResult hidden;
    hidden.ran = true;
    hidden.instructions = 30;
    hidden.output = "SEGRETO\n";
    hidden.outputMatches = false;
    result.cases.push_back(hidden);

    CaseResult memory;
    memory.ran = true;
    memory.instructions = 77;
    memory.finalPC = 0x21;
    memory.tracesShown = 3;
    memory.forbidden = ForbiddenUse{opcodeOf(Op::Mul), 0x10, 5};
    memory.mismatches = {{Mismatch::Kind::Memory, 0xF0, 21, 20},
                         {Mismatch::Kind::Register, 260, 3, 4},
                         {Mismatch::Kind::Flag, FLAG_Z, 1, 0}};
    result.cases.push_back(memory);
    result.points = 1.5;
    return result;
}

inline SubmissionResult allPassedResult(const std::string& student) {
    SubmissionResult result;
    result.submission.argument = student + ".asm";
    result.submission.student = student;
    result.submission.program = student + ".asm";
    result.submission.image = {0x00};
    result.submission.size = 1;
    result.cases = {passedCase(1.5, "7\n"), passedCase(2, "18\n"), passedCase(0.25, "")};
    result.points = 3.75;
    return result;
}

// A source the assembler refused: every case fails without running.
inline SubmissionResult brokenResult(const std::string& student) {
    SubmissionResult result;
    result.submission.argument = student + ".asm";
    result.submission.student = student;
    result.submission.program = student + ".asm";
    result.submission.problems = {student + ".asm:3:5: errore: istruzione sconosciuta 'ADX'"};
    result.cases.assign(3, CaseResult{});
    return result;
}

}  // namespace tarn::grading

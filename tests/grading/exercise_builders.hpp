// Small exercises and programs built in the tests of the grader.
#pragma once

#include "assembly/assembler.hpp"
#include "grading/exercise.hpp"
#include "grading/grader.hpp"
#include "grading/submission.hpp"
#include "machine/instruction_set.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarn::grading {

// The image of a source that must assemble.
inline std::vector<Byte> imageOf(std::string_view source) {
    const Assembly assembly = assemble(source, {.warnings = false});
    EXPECT_FALSE(assembly.failed()) << source;
    return assembly.image;
}

// An exercise of these cases, with these instructions forbidden.
inline Exercise exerciseWith(std::vector<TestCase> cases, std::vector<std::string_view> forbidden = {}) {
    Exercise exercise;
    exercise.title = "prova";
    exercise.cases = std::move(cases);
    for (std::string_view name : forbidden) {
        exercise.forbidden[findInstruction(name)->opcode] = true;
        exercise.forbiddenNames.emplace_back(name);
    }
    return exercise;
}

inline TestCase caseNamed(std::string name, std::uint64_t limit = 1000) {
    TestCase testCase;
    testCase.name = std::move(name);
    testCase.instructionLimit = limit;
    return testCase;
}

// A class's exercise: a sum, a loop checked in memory, and a third case.
inline Exercise classExercise() {
    TestCase sum = caseNamed("somma", 10000);
    sum.input = "34";
    sum.output = "7\n";
    sum.points = 2;
    TestCase loop = caseNamed("ciclo", 20000);
    loop.memory = {{200, {1, 2, 3}}};
    loop.expectedMemory = {{200, {1, 2, 3}}};
    TestCase third = caseNamed("vuoto", 500);
    third.points = 0.5;
    return exerciseWith({sum, loop, third});
}

// One student's program, handed in as this source or as the image it
// assembles to.
inline Submission submissionOf(const std::string& student, ProgramKind kind, std::string_view source) {
    Submission submission;
    submission.student = student;
    submission.argument = submission.program = student + (kind == ProgramKind::Source ? ".asm" : ".bin");
    submission.kind = kind;
    if (kind == ProgramKind::Source) {
        assembleSubmission(submission, source);
    } else {
        submission.image = imageOf(source);
        submission.size = submission.image.size();
    }
    return submission;
}

inline Submission sourceSubmission(const std::string& student, std::string_view source) {
    return submissionOf(student, ProgramKind::Source, source);
}

inline Submission imageSubmission(const std::string& student, std::string_view source) {
    return submissionOf(student, ProgramKind::Image, source);
}

// The result of one submission graded alone.
inline SubmissionResult gradeOne(const Exercise& exercise, Submission submission) {
    std::vector<Submission> submissions;
    submissions.push_back(std::move(submission));
    return gradeClass(exercise, std::move(submissions), 1).front();
}

}  // namespace tarn::grading

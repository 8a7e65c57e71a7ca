// Small exercises and programs built in the tests of the grader.
#pragma once

#include "assembly/assembler.hpp"
#include "grading/exercise.hpp"
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

}  // namespace tarn::grading

// The exercises of the page: one read from its TOML text, with its
// statement and its visible cases for the page to show, and a source
// verified on those cases as tarngrade grades it.
#include "grading/exercise.hpp"
#include "grading/grader.hpp"
#include "grading/report_text.hpp"
#include "grading/submission.hpp"
#include "programs/web/wasm/reply.hpp"
#include "programs/web/wasm/source.hpp"
#include "text/utf8.hpp"

#include <emscripten/emscripten.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using namespace tarn::web;
namespace grading = tarn::grading;

namespace {

std::optional<grading::Exercise> exercise;
std::string exerciseName;

// Bytes from their addresses on: [{ address, bytes }].
json memoryJson(const std::vector<grading::MemoryBytes>& memory) {
    json ranges = json::array();
    for (const grading::MemoryBytes& range : memory) ranges.push_back({{"address", range.address}, {"bytes", range.bytes}});
    return ranges;
}

// A visible case as the page shows it before anything runs: what goes in
// (the input, and bytes placed in memory) and what must come out: the
// output and how it is compared (null: not checked), the bytes, registers
// and flags expected after the run.
json visibleCase(const grading::TestCase& testCase) {
    json registers = json::array();
    for (const grading::ExpectedRegister& expected : testCase.expectedRegisters)
        registers.push_back({{"name", grading::registerName(expected.address)}, {"value", expected.value}});
    json flags = json::array();
    for (const grading::FlagName& flag : grading::FLAG_NAMES)
        if ((testCase.expectedFlags & flag.bit) != 0) flags.push_back(std::string(1, flag.letter));
    return {{"name", testCase.name},
            {"hidden", false},
            {"points", testCase.points},
            {"input", testCase.input},
            {"memory", memoryJson(testCase.memory)},
            {"expected",
             {{"output", testCase.output ? json(*testCase.output) : json(nullptr)},
              {"comparison", testCase.comparison == grading::Comparison::Exact ? "esatto" : "spazi"},
              {"memory", memoryJson(testCase.expectedMemory)},
              {"registers", std::move(registers)},
              {"flags", std::move(flags)}}}};
}

}  // namespace

extern "C" {

// Reads an exercise and keeps it for tw_verify: { title, statement, cases,
// hidden, total }, or { ok: false, error }. The statement is the file's
// 'testo' ("" when it has none); the cases are the visible ones, each with
// what it gives the program and expects of it (visibleCase). Of the hidden
// ones only their number leaves the module.
EMSCRIPTEN_KEEPALIVE const char* tw_exercise(const char* textData, std::size_t textSize, const char* nameData,
                                             std::size_t nameSize) {
    exercise.reset();
    const std::string_view contents = text(textData, textSize);
    exerciseName = tarn::visibleName(text(nameData, nameSize));
    if (contents.size() > grading::MAX_EXERCISE_BYTES)
        return failure("l'esercizio '" + exerciseName + "' supera il limite di " +
                       std::to_string(grading::MAX_EXERCISE_BYTES) + " byte");
    grading::ExerciseParse parse = grading::parseExercise(contents);
    if (!parse.exercise) {
        // Every fault of the file, one a line, as tarngrade lists them.
        std::string errors;
        for (const std::string& line : grading::formatExerciseErrors(exerciseName, parse))
            errors += (errors.empty() ? "" : "\n") + line;
        return failure(errors);
    }
    exercise = std::move(parse.exercise);
    json cases = json::array();
    std::size_t hidden = 0;
    for (const grading::TestCase& testCase : exercise->cases) {
        if (testCase.hidden) {
            ++hidden;
            continue;
        }
        cases.push_back(visibleCase(testCase));
    }
    return give(json{{"title", exercise->title},
                     {"statement", exercise->statement},
                     {"cases", std::move(cases)},
                     {"hidden", hidden},
                     {"total", exercise->totalPoints()}});
}

// Grades a source on the visible cases of the exercise read last, as
// tarngrade does: { failed: true, diagnostics, omitted } when it does not
// assemble, else { failed: false, results, hidden, points, total }. The
// hidden cases are not run.
EMSCRIPTEN_KEEPALIVE const char* tw_verify(const char* sourceData, std::size_t sourceSize, const char* nameData,
                                           std::size_t nameSize) {
    if (!exercise) return failure("Nessun esercizio caricato.");
    const std::string_view source = text(sourceData, sourceSize);
    const std::string_view name = text(nameData, nameSize);
    if (const auto error = sourceTooLong(source, name)) return failure(*error);
    json result = json::object();
    const tarn::Assembly assembly = assembleInto(result, source, name);
    if (assembly.failed()) return give(result);

    grading::SubmissionResult graded;
    graded.submission.argument = graded.submission.program = sourceName(name);
    graded.submission.student = programName(name);
    graded.submission.kind = grading::ProgramKind::Source;
    // An empty program is not run, as tarngrade does not run an empty file.
    if (source.empty()) graded.submission.problems.emplace_back(grading::EMPTY_FILE);
    else grading::assembleSubmission(graded.submission, source);
    grading::checkMaximumSize(graded.submission, *exercise);
    graded.cases.resize(exercise->cases.size());
    json results = json::array();
    std::size_t hidden = 0;
    for (std::size_t index = 0; index < exercise->cases.size(); ++index) {
        const grading::TestCase& testCase = exercise->cases[index];
        if (testCase.hidden) {
            ++hidden;
            continue;
        }
        if (graded.submission.runnable())
            graded.cases[index] = grading::runCase(*exercise, testCase, graded.submission).result;
        graded.points += graded.cases[index].points;
    }
    for (std::size_t index = 0; index < exercise->cases.size(); ++index) {
        const grading::TestCase& testCase = exercise->cases[index];
        if (testCase.hidden) continue;
        const grading::CaseResult& caseResult = graded.cases[index];
        results.push_back({{"name", testCase.name},
                           {"passed", caseResult.passed},
                           {"points", caseResult.points},
                           {"maxPoints", testCase.points},
                           {"details", caseResult.passed ? std::string()
                                                         : grading::formatCaseDetails(*exercise, exerciseName, graded, index,
                                                                                      grading::ReportStyle{false, false})}});
    }
    result["results"] = std::move(results);
    result["hidden"] = hidden;
    result["points"] = graded.points;
    result["total"] = exercise->totalPoints();
    return give(result);
}

}  // extern "C"

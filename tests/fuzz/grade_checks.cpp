#include "fuzz/grade_checks.hpp"

#include "machine/console.hpp"
#include "machine/instruction_set.hpp"
#include "grading/exercise.hpp"
#include "grading/grader.hpp"
#include "grading/submission.hpp"
#include "grading/wording.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <span>
#include <vector>

namespace tarnfuzz {

namespace {

using tarn::Byte;
using tarn::visibleText;
using namespace tarn::grading;

// What is wrong with a text meant for a terminal or a report: "" when it is
// valid UTF-8 with no control character (C0, DEL or C1) but, when allowed,
// the line end.
std::string textProblem(std::string_view text, bool lineEnds) {
    std::size_t index = 0;
    while (index < text.size()) {
        const auto first = static_cast<unsigned char>(text[index]);
        if (first < 0x80) {
            if ((first < 0x20 && !(lineEnds && first == '\n')) || first == 0x7F)
                return "control character " + std::to_string(first) + " at byte " + std::to_string(index);
            ++index;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (first >= 0xC2 && first <= 0xDF) {
            length = 2;
            code = first & 0x1Fu;
        } else if (first >= 0xE0 && first <= 0xEF) {
            length = 3;
            code = first & 0x0Fu;
        } else if (first >= 0xF0 && first <= 0xF4) {
            length = 4;
            code = first & 0x07u;
        } else {
            return "invalid UTF-8 at byte " + std::to_string(index);
        }
        if (text.size() - index < length) return "cut UTF-8 at byte " + std::to_string(index);
        for (std::size_t offset = 1; offset < length; ++offset) {
            const auto next = static_cast<unsigned char>(text[index + offset]);
            if ((next & 0xC0) != 0x80) return "invalid UTF-8 at byte " + std::to_string(index);
            code = (code << 6) | (next & 0x3Fu);
        }
        if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || (code >= 0xD800 && code <= 0xDFFF) ||
            code > 0x10FFFF)
            return "invalid UTF-8 at byte " + std::to_string(index);
        if (code < 0xA0) return "C1 control character at byte " + std::to_string(index);
        index += length;
    }
    return "";
}

// The byte lengths of the text's lines, split at every '\n'.
std::vector<std::size_t> lineLengths(std::string_view text) {
    std::vector<std::size_t> lengths;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            lengths.push_back(text.size() - start);
            return lengths;
        }
        lengths.push_back(end - start);
        start = end + 1;
    }
}

std::string checkBlocks(const std::vector<MemoryBytes>& blocks, const std::string& what) {
    for (const MemoryBytes& block : blocks) {
        if (block.address > 255) return what + " at address " + std::to_string(block.address);
        if (block.address + block.bytes.size() > 256)
            return what + ": " + std::to_string(block.bytes.size()) + " bytes from " + std::to_string(block.address);
    }
    return "";
}

std::string checkValidExercise(const Exercise& exercise) {
    if (exercise.cases.empty()) return "a valid exercise without cases";
    if (exercise.instructionLimit > MAX_INSTRUCTION_LIMIT) return "exercise instruction limit out of range";
    if (exercise.outputLimit > MAX_OUTPUT_LIMIT) return "exercise output limit out of range";
    if (exercise.maximumSize && (*exercise.maximumSize < 1 || *exercise.maximumSize > 256))
        return "maximum size " + std::to_string(*exercise.maximumSize);
    if (!std::isfinite(exercise.totalPoints())) return "total points not finite";
    std::set<std::string> names;
    for (const TestCase& testCase : exercise.cases) {
        const std::string what = "case '" + visibleText(testCase.name) + "'";
        if (!names.insert(testCase.name).second) return what + " named twice";
        if (exercise.findCase(testCase.name) == nullptr) return what + " not found by its name";
        if (testCase.instructionLimit > MAX_INSTRUCTION_LIMIT) return what + ": instruction limit out of range";
        if (testCase.outputLimit > MAX_OUTPUT_LIMIT) return what + ": output limit out of range";
        if (!(testCase.points >= 0) || !std::isfinite(testCase.points)) return what + ": points out of range";
        if (std::string problem = checkBlocks(testCase.memory, what + ": memory"); !problem.empty()) return problem;
        if (std::string problem = checkBlocks(testCase.expectedMemory, what + ": expected memory"); !problem.empty())
            return problem;
        for (const ExpectedRegister& expected : testCase.expectedRegisters)
            if (expected.address < 256 || expected.address > 260)
                return what + ": register at address " + std::to_string(expected.address);
        Byte known = 0;
        for (const FlagName& flag : FLAG_NAMES) known = static_cast<Byte>(known | flag.bit);
        if ((testCase.expectedFlags & ~known) != 0) return what + ": unknown flag bits";
    }
    return "";
}

// The small case every image of the fuzzer runs: what the table sum
// expects, with an output too.
Exercise fixedExercise(std::uint8_t options) {
    Exercise exercise;
    exercise.title = "Prova";
    exercise.instructionLimit = 20000;
    exercise.outputLimit = 512;
    if ((options & 0x02) != 0) {
        const Byte mul = tarn::opcodeOf(tarn::Op::Mul);
        exercise.forbidden[mul] = true;
        exercise.forbiddenNames.push_back("MUL");
    }
    TestCase testCase;
    testCase.name = "somma della tabella";
    testCase.input = "";
    testCase.output = "21\n";
    testCase.comparison = (options & 0x04) != 0 ? Comparison::Blanks : Comparison::Exact;
    testCase.points = 2;
    testCase.hidden = (options & 0x08) != 0;
    testCase.instructionLimit = exercise.instructionLimit;
    testCase.outputLimit = exercise.outputLimit;
    testCase.memory = {{0xC8, {5, 7, 9, 0}}, {0xFE, {1, 2}}};
    testCase.expectedMemory = {{0xF0, {21}}, {0x00, {0}}};
    testCase.expectedRegisters = {{260, 3}, {256, 0x10}};
    testCase.expectedFlags = tarn::FLAG_Z;
    exercise.cases.push_back(testCase);
    return exercise;
}

bool sameResult(const CaseResult& a, const CaseResult& b) {
    const auto sameMismatch = [](const Mismatch& x, const Mismatch& y) {
        return x.kind == y.kind && x.address == y.address && x.expected == y.expected && x.found == y.found;
    };
    return a.passed == b.passed && a.points == b.points && a.ran == b.ran && a.instructions == b.instructions &&
           a.limitReached == b.limitReached && a.finalPC == b.finalPC && a.output == b.output &&
           a.outputCut == b.outputCut && a.outputMatches == b.outputMatches && a.tracesShown == b.tracesShown &&
           a.inputTaken == b.inputTaken && a.forbidden.has_value() == b.forbidden.has_value() &&
           (!a.forbidden || (a.forbidden->opcode == b.forbidden->opcode &&
                             a.forbidden->address == b.forbidden->address && a.forbidden->step == b.forbidden->step)) &&
           std::equal(a.mismatches.begin(), a.mismatches.end(), b.mismatches.begin(), b.mismatches.end(), sameMismatch);
}

// Every mismatch is true of the final machine, and every expectation that
// no mismatch names is met (when the run ended by itself).
std::string checkMismatches(const TestCase& testCase, const CaseRun& run, bool endedNormally) {
    const tarn::MachineState& after = run.after;
    const CaseResult& result = run.result;
    if (!endedNormally) return result.mismatches.empty() ? "" : "mismatches of a run stopped halfway";
    std::set<unsigned> memory;
    std::set<unsigned> registers;
    Byte flags = 0;
    for (const Mismatch& mismatch : result.mismatches) {
        switch (mismatch.kind) {
            case Mismatch::Kind::Memory:
                if (mismatch.address > 255 || after.M[mismatch.address] != mismatch.found ||
                    mismatch.found == mismatch.expected)
                    return "memory mismatch not true of the machine at " + std::to_string(mismatch.address);
                memory.insert(mismatch.address);
                break;
            case Mismatch::Kind::Register:
                if (mismatch.address < 256 || mismatch.address > 260 ||
                    tarn::readByte(after, mismatch.address) != mismatch.found || mismatch.found == mismatch.expected)
                    return "register mismatch not true of the machine at " + std::to_string(mismatch.address);
                registers.insert(mismatch.address);
                break;
            case Mismatch::Kind::Flag:
                if (mismatch.address > 0xFF || (after.F & mismatch.address) != 0 ||
                    (testCase.expectedFlags & mismatch.address) == 0)
                    return "flag mismatch not true of the machine: bit " + std::to_string(mismatch.address);
                flags = static_cast<Byte>(flags | mismatch.address);
                break;
        }
    }
    for (const MemoryBytes& block : testCase.expectedMemory)
        for (std::size_t i = 0; i < block.bytes.size(); ++i) {
            const unsigned address = block.address + static_cast<unsigned>(i);
            if (after.M[address] != block.bytes[i] && memory.count(address) == 0)
                return "memory at " + std::to_string(address) + " differs unreported";
        }
    for (const ExpectedRegister& expected : testCase.expectedRegisters)
        if (tarn::readByte(after, expected.address) != expected.value && registers.count(expected.address) == 0)
            return "register " + std::to_string(expected.address) + " differs unreported";
    if (const Byte missing = static_cast<Byte>(testCase.expectedFlags & ~after.F); (missing & ~flags) != 0)
        return "a flag is off unreported";
    return "";
}

std::string checkExerciseError(std::string_view text, const ExerciseError& error) {
    const std::string where = std::to_string(error.line) + ":" + std::to_string(error.column) + " '" +
                              visibleText(error.message) + "'";
    if (error.message.empty()) return "error without a message at " + where;
    if (std::string problem = textProblem(error.message, false); !problem.empty())
        return "error message: " + problem + " at " + where;
    const std::vector<std::size_t> lengths = lineLengths(text);
    if (error.line == 0) {
        if (error.column != 0) return "a column without a line: " + where;
    } else {
        if (error.line < 0 || static_cast<std::uint64_t>(error.line) > lengths.size())
            return "error line outside the text: " + where;
        const std::size_t length = lengths[static_cast<std::size_t>(error.line - 1)];
        if (error.column < 1 || static_cast<std::uint64_t>(error.column) > length + 1)
            return "error column outside its line: " + where;
    }
    const std::string formatted = formatExerciseError("es.toml", error);
    if (formatted.find('\n') != std::string::npos) return "formatted error holds a line end: " + where;
    return "";
}

}  // namespace

std::string checkExercise(std::string_view text) {
    const ExerciseParse parse = parseExercise(text);
    if (parse.exercise) return checkValidExercise(*parse.exercise);
    if (parse.errors.empty()) return "a failed parse without its list of errors";
    if (parse.errors.size() > MAX_EXERCISE_ERRORS) return "more errors kept than the bound";
    if (parse.errors.front().message != parse.error.message || parse.errors.front().line != parse.error.line ||
        parse.errors.front().column != parse.error.column)
        return "the first error is not the first of the list";
    for (std::size_t i = 0; i < parse.errors.size(); ++i) {
        const ExerciseError& error = parse.errors[i];
        if (i > 0) {
            const ExerciseError& previous = parse.errors[i - 1];
            const bool placed = error.line > 0;
            const bool previousPlaced = previous.line > 0;
            if ((placed && !previousPlaced) ||
                (placed && (previous.line > error.line ||
                            (previous.line == error.line && previous.column > error.column))))
                return "errors out of the file's order at " + std::to_string(error.line) + ":" +
                       std::to_string(error.column);
        }
        if (std::string problem = checkExerciseError(text, error); !problem.empty()) return problem;
    }
    return "";
}

// A proved loop comes back: the state after `start` steps, input position
// included, is the state `length` steps later. The last instructions are
// those of a run stopped by its limit or a forbidden opcode, and the last
// of them is the one executed last.
std::string checkWhereItStood(const TestCase& testCase, const CaseRun& run) {
    const CaseResult& result = run.result;
    const bool stopped = result.limitReached || result.forbidden.has_value();
    if (result.loop) {
        const LoopFound& loop = *result.loop;
        if (!result.limitReached) return "a loop proved in a run within its limit";
        if (loop.length == 0 || loop.instructions.empty()) return "an empty loop";
        if (loop.start + loop.length > loopSearchSteps(testCase.instructionLimit))
            return "a loop proved past the search's reach";
        tarn::MachineState state = run.before;
        tarn::MemoryConsole console(testCase.input, tarn::MemoryConsole::Traces::Counted, testCase.outputLimit);
        if (tarn::runMachineFor(state, console, loop.start) != loop.start) return "the run stops before its loop";
        const tarn::MachineState first = state;
        const std::size_t taken = console.inputTaken();
        std::vector<bool> visited(256, false);
        for (std::uint64_t step = 0; step < loop.length; ++step) {
            visited[state.PC] = true;
            if (!tarn::stepMachine(state, console)) return "the run stops inside its loop";
        }
        if (std::memcmp(&first, &state, sizeof state) != 0 || console.inputTaken() != taken)
            return "the loop does not come back to its first state";
        std::vector<bool> listed(256, false);
        for (std::size_t index = 0; index < loop.instructions.size(); ++index) {
            const tarn::RanInstruction& instruction = loop.instructions[index];
            if (index > 0 && loop.instructions[index - 1].address >= instruction.address)
                return "the loop's instructions are not in order of address";
            if (instruction != tarn::ranInstruction(first, instruction.address))
                return "a loop's instruction is kept with other bytes than those of its first state";
            listed[instruction.address] = true;
        }
        if (visited != listed) return "the loop's instructions are not those of its period";
    }
    const std::size_t expected = stopped ? static_cast<std::size_t>(std::min<std::uint64_t>(
                                               RECENT_INSTRUCTIONS, result.instructions))
                                         : 0;
    if (result.recent.size() != expected)
        return std::to_string(result.recent.size()) + " last instructions instead of " + std::to_string(expected);
    if (!result.recent.empty()) {
        tarn::MachineState state = run.before;
        tarn::MemoryConsole console(testCase.input, tarn::MemoryConsole::Traces::Counted, testCase.outputLimit);
        tarn::runMachineFor(state, console, result.instructions - 1);
        if (tarn::ranInstruction(state, state.PC) != result.recent.back())
            return "the last instruction kept is not the one executed last, as it ran";
    }
    return "";
}

std::string checkRun(std::string_view imageBytes, std::string_view input, std::uint8_t options) {
    const Exercise exercise = fixedExercise(options);
    TestCase testCase = exercise.cases.front();
    testCase.input = std::string(input);
    const std::vector<Byte> image(imageBytes.begin(), imageBytes.end());
    const CaseRun run = runCase(exercise, testCase, image);
    const CaseResult& result = run.result;

    if (!result.ran) return "a runnable image did not run";
    if (result.instructions > testCase.instructionLimit)
        return std::to_string(result.instructions) + " instructions past the limit";
    if (result.output.size() > testCase.outputLimit)
        return std::to_string(result.output.size()) + " bytes of output kept";
    if (result.inputTaken > testCase.input.size()) return "more input taken than given";
    if (result.finalPC != run.after.PC) return "final PC is not the machine's";
    if (result.atEnd != tarn::ranInstruction(run.after, run.after.PC)) return "the instruction at the end is not the machine's";
    if (result.limitReached && result.instructions != testCase.instructionLimit)
        return "limit reached after " + std::to_string(result.instructions) + " instructions";
    if (result.forbidden) {
        const ForbiddenUse& use = *result.forbidden;
        if (!exercise.forbidden[use.opcode]) return "an allowed opcode reported as forbidden";
        if (run.after.M[use.address] != use.opcode || run.after.PC != use.address)
            return "the run did not stop at the forbidden opcode";
        if (use.step != result.instructions) return "forbidden use at another step than the run's end";
        if (result.limitReached) return "both forbidden and at the limit";
    }
    // An output past the limit stops the run right after the instruction
    // that printed it: the output kept fills the limit.
    if (result.outputCut) {
        if (result.output.size() != testCase.outputLimit) return "output cut short of the limit";
        if (result.limitReached || result.forbidden) return "stopped by the output and by something else";
        // The same run on a console of the machine library, one instruction
        // short and then to the end.
        tarn::MachineState state = run.before;
        tarn::MemoryConsole console(testCase.input, tarn::MemoryConsole::Traces::Counted, testCase.outputLimit);
        if (result.instructions == 0 || tarn::runMachineFor(state, console, result.instructions - 1) !=
                                            result.instructions - 1 || console.outputCut())
            return "the output went past the limit before the run stopped";
        if (!tarn::stepMachine(state, console) || !console.outputCut() ||
            std::memcmp(&state, &run.after, sizeof state) != 0 || console.output() != result.output ||
            console.inputTaken() != result.inputTaken || console.tracesShown() != result.tracesShown)
            return "the run did not stop right after the output went past the limit";
    }
    const bool endedNormally = !result.limitReached && !result.forbidden && !result.outputCut;
    if (endedNormally && run.after.M[run.after.PC] != 0) return "the run ended away from opcode 0";
    if (std::string problem = checkWhereItStood(testCase, run); !problem.empty()) return problem;

    // Before the run: the image loaded, then the memory placed on it.
    tarn::MachineState expectedBefore{};
    tarn::loadImage(std::span<const Byte>(image.data(), std::min<std::size_t>(image.size(), 256)), expectedBefore);
    for (const MemoryBytes& block : testCase.memory)
        std::copy(block.bytes.begin(), block.bytes.end(), expectedBefore.M + block.address);
    if (std::memcmp(&expectedBefore, &run.before, sizeof expectedBefore) != 0)
        return "the machine before the run is not the image with the memory placed";

    if (std::string problem = checkMismatches(testCase, run, endedNormally); !problem.empty()) return problem;
    if (endedNormally && result.outputMatches != outputsMatch(*testCase.output, result.output, testCase.comparison))
        return "outputMatches disagrees with outputsMatch";
    if (!endedNormally && result.outputMatches) return "an output compared although the run did not end normally";
    const bool shouldPass = endedNormally && result.outputMatches.value_or(true) && result.mismatches.empty();
    if ((caseOutcome(result) == CaseOutcome::Passed) != result.passed) return "an outcome other than the verdict";
    if (result.passed != shouldPass) return result.passed ? "passed with a reason to fail" : "failed with no reason";
    if (result.points != (result.passed ? testCase.points : 0)) return "points not those of the verdict";

    tarn::grading::Submission submission;
    submission.argument = submission.program = "prova.bin";
    submission.student = "prova";
    submission.kind = ProgramKind::Image;
    submission.image = image;
    submission.size = image.size();
    const std::vector<std::string> reasons = failureReasons(exercise, testCase, submission, result);
    if (reasons.empty() != result.passed) return result.passed ? "reasons for a passed case" : "no reason for a failure";
    for (const std::string& reason : reasons)
        if (std::string problem = textProblem(reason, false); !problem.empty()) return "reason: " + problem;
    const std::vector<std::string> notes = caseNotes(result);
    if (notes.empty() != (result.tracesShown == 0 && result.memoryOverProgram.empty()))
        return "notes do not match the traces skipped and the memory over the program";
    // Only where the case placed memory, once each, ascending.
    for (std::size_t index = 0; index < result.memoryOverProgram.size(); ++index) {
        const Byte address = result.memoryOverProgram[index];
        if (index > 0 && address <= result.memoryOverProgram[index - 1]) return "memory over the program out of order";
        bool placed = false;
        for (const tarn::grading::MemoryBytes& block : testCase.memory)
            placed = placed || (address >= block.address && address - block.address < block.bytes.size());
        if (!placed) return "memory over the program where the case placed none";
    }
    for (const std::string& note : notes)
        if (std::string problem = textProblem(note, false); !problem.empty()) return "note: " + problem;
    if (std::string problem = textProblem(visibleText(result.output), true); !problem.empty())
        return "visible output: " + problem;
    if (std::string problem = textProblem(visibleText(testCase.input), true); !problem.empty())
        return "visible input: " + problem;

    // Nothing of one run is left for the next (asked for by a bit, as most
    // runs go to the limit and a second one would halve the fuzzer's pace).
    if ((options & 0x20) == 0) return "";
    const CaseRun again = runCase(exercise, testCase, image);
    if (!sameResult(result, again.result) || std::memcmp(&run.after, &again.after, sizeof run.after) != 0)
        return "the same run gave another result";
    return "";
}

std::string checkGrading(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return "";
    const std::uint8_t options = data[0];
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    if ((options & 0x01) == 0) return checkExercise(rest.substr(0, std::min(rest.size(), MAX_EXERCISE_BYTES)));
    if (rest.empty()) return checkRun({}, {}, options);
    const std::size_t wanted = std::size_t{static_cast<unsigned char>(rest[0])} + ((options & 0x10) != 0 ? 1 : 0);
    const std::string_view body = rest.substr(1);
    const std::size_t length = std::min(wanted, body.size());
    return checkRun(body.substr(0, length), body.substr(length), options);
}

}  // namespace tarnfuzz

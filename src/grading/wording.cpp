#include "grading/wording.hpp"

#include "machine/instruction_set.hpp"
#include "machine/loop_detection.hpp"
#include "assembly/rewritten_code.hpp"
#include "assembly/suggestions.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tarn::grading {

namespace {

// Hundredths, rounded, as digits: "1,5" for 1.5 with a comma.
std::string pointsWith(double points, char separator) {
    if (!std::isfinite(points)) return "0";
    const double rounded = std::round(points * 100.0);
    const bool negative = rounded < 0;
    const auto hundredths = static_cast<std::uint64_t>(std::fabs(rounded));
    std::string text = (negative ? "-" : "") + std::to_string(hundredths / 100);
    const auto fraction = static_cast<unsigned>(hundredths % 100);
    if (fraction != 0) {
        text += separator;
        text += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0) text += static_cast<char>('0' + fraction % 10);
    }
    return text;
}

std::string hexEscape(unsigned char byte) {
    constexpr char digits[] = "0123456789ABCDEF";
    return {'\\', 'x', digits[byte >> 4], digits[byte & 0x0F]};
}

std::string registerMismatch(const Mismatch& mismatch) {
    return "registro " + std::string(registerName(mismatch.address)) + ": atteso " + byteNumber(mismatch.expected) +
           ", trovato " + byteNumber(mismatch.found);
}

std::string flagLetter(unsigned bit) {
    for (const FlagName& flag : FLAG_NAMES)
        if (flag.bit == bit) return std::string(1, flag.letter);
    return "?";
}

// Whether the character at word[i] is one that a report could not show as
// it is: a control character (C0, DEL or C1), U+FFFE or U+FFFF, or a byte
// that is not UTF-8.
bool mustEscape(std::string_view word, std::size_t i) {
    return !printableAt(word, i);
}

// At most this many memory cells are named one by one; the rest are counted.
constexpr std::size_t MAX_LISTED_CELLS = 8;

}  // namespace

std::string formatPoints(double points) {
    return pointsWith(points, ',');
}

std::string formatPointsPlain(double points) {
    return pointsWith(points, '.');
}

std::string counted(std::uint64_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::string hexByte(unsigned value) {
    constexpr char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    if (value > 0xFF) text += digits[(value >> 8) & 0x0F];
    text += digits[(value >> 4) & 0x0F];
    text += digits[value & 0x0F];
    return text;
}

std::string byteNumber(Byte value) {
    if (value < 128) return std::to_string(value);
    return std::to_string(value) + " (-" + std::to_string(256 - value) + ")";
}

std::vector<std::string> failureReasons(const Exercise& exercise, const TestCase& testCase,
                                        const Submission& submission, const CaseResult& result) {
    std::vector<std::string> reasons;
    if (result.passed) return reasons;
    if (!result.ran) {
        reasons.push_back("programma non eseguito");
        for (const std::string& problem : submission.problems) reasons.push_back(problem);
        return reasons;
    }
    if (result.forbidden) {
        const Instruction* instruction = findInstruction(result.forbidden->opcode);
        const std::string mnemonic = instruction != nullptr ? std::string(instruction->mnemonic) : "?";
        const std::uint64_t step = result.forbidden->step;
        reasons.push_back("istruzione proibita " + mnemonic + " all'indirizzo " + hexByte(result.forbidden->address) +
                          (step == 0 ? ", prima di ogni altra" : ", dopo " + counted(step, "istruzione", "istruzioni")) +
                          ": l'esecuzione si è fermata lì");
    }
    if (result.limitReached && result.loop)
        reasons.push_back(describeEndlessLoop(result.loop->start, result.loop->length));
    else if (result.limitReached)
        reasons.push_back("limite di istruzioni superato: PC = " + hexByte(result.finalPC) + " dopo " +
                          counted(result.instructions, "istruzione", "istruzioni"));
    if (result.outputCut)
        reasons.push_back("uscita oltre il limite di " + std::to_string(testCase.outputLimit) +
                          " byte: l'esecuzione si è fermata lì, dopo " +
                          counted(result.instructions, "istruzione", "istruzioni"));
    if (result.outputMatches == false)
        reasons.push_back(testCase.comparison == Comparison::Blanks
                              ? "uscita diversa da quella attesa (senza contare gli spazi a fine riga)"
                              : "uscita diversa da quella attesa");
    std::size_t cells = 0;
    std::size_t cellsLeft = 0;
    for (const Mismatch& mismatch : result.mismatches) {
        switch (mismatch.kind) {
            case Mismatch::Kind::Memory:
                if (cells++ < MAX_LISTED_CELLS)
                    reasons.push_back("memoria all'indirizzo " + hexByte(mismatch.address) + ": atteso " +
                                      byteNumber(mismatch.expected) + ", trovato " + byteNumber(mismatch.found));
                else
                    ++cellsLeft;
                break;
            case Mismatch::Kind::Register: reasons.push_back(registerMismatch(mismatch)); break;
            case Mismatch::Kind::Flag:
                reasons.push_back("flag " + flagLetter(mismatch.address) + " spento: doveva essere acceso");
                break;
        }
    }
    if (cellsLeft == 1) reasons.push_back("e un'altra cella di memoria diversa");
    if (cellsLeft > 1) reasons.push_back("e altre " + std::to_string(cellsLeft) + " celle di memoria diverse");
    if (reasons.empty()) reasons.push_back("caso non superato");
    (void)exercise;
    return reasons;
}

namespace {

// An instruction that ran as the program's lines show it: "riga 7: JMP
// giro" for a source, "0x1E  L_1E: JMP L_1E" for an image. When its bytes
// are not those the run started with (`before`: the image and the case's
// memory), the instruction that ran takes the line's text: "riga 3: p: JMP
// p (riscritta dal programma)".
std::string instructionAt(const Submission& submission, const ProgramLines& lines, const MachineState& before,
                          const RanInstruction& ran) {
    const Byte address = ran.address;
    if (lines.lines.empty()) return hexByte(address);  // nothing known of the program
    const bool rewritten = rewrittenByProgram(ran, before.M);
    const ProgramLine* line = lines.lineAt(address);
    if (line == nullptr)
        return hexByte(address) + ": " + (rewritten ? rewrittenLineText(ran, 0, lines.labels) + ", " : "") +
               "fuori dalle righe del programma";
    const std::string text = rewritten ? rewrittenLineText(ran, line->number, lines.labels) : line->text;
    if (submission.kind == ProgramKind::Image) return hexByte(address) + "  " + text;
    return "riga " + std::to_string(line->number) + ": " + text;
}

}  // namespace

RanInstruction instructionWhereItStood(const Submission& submission, const CaseResult& result) {
    const Byte pc = result.forbidden ? result.forbidden->address : result.finalPC;
    if (result.atEnd.address == pc && (!result.forbidden || result.atEnd.bytes[0] == result.forbidden->opcode))
        return result.atEnd;
    // A result made without it: the program's own bytes, and the opcode the run stopped before.
    MachineState state{};
    loadImage(submission.image, state);
    if (result.forbidden) state.M[pc] = result.forbidden->opcode;
    return ranInstruction(state, pc);
}

std::vector<std::string> whereItStood(const Submission& submission, const TestCase& testCase,
                                      const CaseResult& result) {
    std::vector<std::string> shown;
    if (!result.ran || (!result.limitReached && !result.forbidden)) return shown;
    const ProgramLines lines = programLines(submission);
    const MachineState before = machineBefore(testCase, submission.image);
    const auto instructionAt = [&](const RanInstruction& ran) {
        return tarn::grading::instructionAt(submission, lines, before, ran);
    };
    if (result.loop) {
        shown.push_back("istruzioni del ciclo:");
        // Each line once, in the program's order, by the first of its
        // addresses in the loop; addresses outside its lines after.
        const std::vector<RanInstruction>& instructions = result.loop->instructions;
        std::vector<int> first(lines.lines.size(), -1);  // the index in instructions
        std::vector<std::size_t> outside;
        for (std::size_t index = 0; index < instructions.size(); ++index) {
            const Byte address = instructions[index].address;
            if (lines.lineAt(address) == nullptr) {
                outside.push_back(index);
                continue;
            }
            int& firstOfLine = first[static_cast<std::size_t>(lines.at[address])];
            if (firstOfLine < 0) firstOfLine = static_cast<int>(index);
        }
        for (const int index : first)
            if (index >= 0)
                shown.push_back("  " + instructionAt(instructions[static_cast<std::size_t>(index)]));
        for (const std::size_t index : outside) shown.push_back("  " + instructionAt(instructions[index]));
        return shown;
    }
    // Without the program's lines or the last instructions, the reason has said it all.
    if (lines.lines.empty() && result.recent.empty()) return shown;
    shown.push_back("istruzione a PC: " + instructionAt(instructionWhereItStood(submission, result)));
    if (!result.recent.empty()) {
        shown.push_back("ultime istruzioni eseguite, dalla più vecchia:");
        for (const RanInstruction& instruction : result.recent)
            shown.push_back("  " + instructionAt(instruction));
    }
    return shown;
}

std::string addressRanges(const std::vector<Byte>& addresses) {
    std::vector<std::string> ranges;
    for (std::size_t i = 0; i < addresses.size();) {
        std::size_t j = i;
        while (j + 1 < addresses.size() && addresses[j + 1] == addresses[j] + 1) ++j;
        ranges.push_back(hexByte(addresses[i]) + (j > i ? "-" + hexByte(addresses[j]) : ""));
        i = j + 1;
    }
    std::string text;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (i > 0) text += i + 1 == ranges.size() ? " e " : ", ";
        text += ranges[i];
    }
    return text;
}

std::string memoryOverProgramText(const std::vector<Byte>& addresses, std::string_view caseName,
                                  std::string_view program) {
    return "la memoria del caso " + (caseName.empty() ? std::string() : "«" + std::string(caseName) + "» ") +
           "copre istruzioni " + std::string(program) +
           (addresses.size() == 1 ? " all'indirizzo " : " agli indirizzi ") + addressRanges(addresses);
}

std::vector<std::string> caseNotes(const CaseResult& result) {
    std::vector<std::string> notes;
    if (!result.memoryOverProgram.empty())
        notes.push_back(memoryOverProgramText(result.memoryOverProgram, "", "del programma") +
                        ": lì il programma eseguito non è quello consegnato");
    if (result.tracesShown == 1)
        notes.push_back("il programma lascia acceso il flag D: una visualizzazione della traccia è stata saltata");
    else if (result.tracesShown > 1)
        notes.push_back("il programma lascia acceso il flag D: " + std::to_string(result.tracesShown) +
                        " visualizzazioni della traccia sono state saltate");
    return notes;
}

std::string shellQuoted(std::string_view word) {
    bool plain = !word.empty();
    bool escaped = false;  // it has bytes that only $'...' writes safely
    for (std::size_t i = 0; i < word.size(); i += characterLengthAt(word, i)) {
        const char c = word[i];
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          c == '_' || c == '-' || c == '.' || c == '/' || c == ',' || c == ':' || c == '+' ||
                          c == '=' || c == '@' || c == '%';
        if (!safe) plain = false;
        if (mustEscape(word, i)) escaped = true;
    }
    if (plain) return std::string(word);
    if (escaped) {
        // Bash and the other shells of today read $'...' with escapes, and
        // \xHH gives back the byte itself: a control character (a line end
        // would break the report's line) and a byte that is not UTF-8 (a
        // terminal would show another, and a paste would name another file)
        // are written so, the rest as it is.
        std::string quoted = "$'";
        for (std::size_t i = 0; i < word.size();) {
            const std::size_t length = characterLengthAt(word, i);
            if (mustEscape(word, i)) {
                for (std::size_t byte = i; byte < i + length; ++byte)
                    quoted += hexEscape(static_cast<unsigned char>(word[byte]));
            } else {
                if (word[i] == '\\' || word[i] == '\'') quoted += '\\';
                quoted += word.substr(i, length);
            }
            i += length;
        }
        return quoted + "'";
    }
    std::string quoted = "'";
    for (const char c : word) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}

namespace {

// The characters PowerShell reads as quotes or dashes besides ' " and -:
// U+2013 to U+2015 and U+2018 to U+201E.
bool isPowerShellMark(std::uint32_t code) {
    return (code >= 0x2013 && code <= 0x2015) || (code >= 0x2018 && code <= 0x201E);
}

bool isPowerShellDoubleQuote(std::uint32_t code) {
    return code >= 0x201C && code <= 0x201E;
}

bool isPowerShellSingleQuote(std::uint32_t code) {
    return code >= 0x2018 && code <= 0x201B;
}

// Whether both shells pass the character at word[i] bare: ASCII letters
// and digits, _ - . \ / : + =, and the other printable characters but
// PowerShell's quotes and dashes.
bool bareOnWindows(std::string_view word, std::size_t i) {
    const char c = word[i];
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    if (c == '_' || c == '-' || c == '.' || c == '\\' || c == '/' || c == ':' || c == '+' || c == '=') return true;
    const Utf8Sequence sequence = utf8At(word, i);
    return sequence.length >= 2 && !mustEscape(word, i) && !isPowerShellMark(sequence.code);
}

// Whether double quotes carry the character at word[i] through both shells:
// not ", nor $ and ` (PowerShell's within them), nor a control character.
bool quotableOnWindows(std::string_view word, std::size_t i) {
    const char c = word[i];
    return c != '"' && c != '$' && c != '`' && !mustEscape(word, i) && !isPowerShellDoubleQuote(utf8At(word, i).code);
}

// A path that begins with '-' would read as an option: "./-x" (".\-x")
// names the same file.
std::string pathArgument(std::string_view path, Platform platform) {
    if (!path.empty() && path.front() == '-')
        return commandWord((platform == Platform::Windows ? ".\\" : "./") + std::string(path), platform);
    return commandWord(path, platform);
}

}  // namespace

std::string windowsQuoted(std::string_view word) {
    bool bare = !word.empty();
    bool quotable = true;
    for (std::size_t i = 0; i < word.size(); i += characterLengthAt(word, i)) {
        if (!bareOnWindows(word, i)) bare = false;
        if (!quotableOnWindows(word, i)) quotable = false;
    }
    // cmd.exe puts a variable's value for %NAME%: one % alone is safe.
    if (std::count(word.begin(), word.end(), '%') > 1) quotable = false;
    if (bare) return std::string(word);
    if (quotable) {
        std::string quoted = "\"" + std::string(word);
        const std::size_t last = quoted.find_last_not_of('\\');
        quoted.append(quoted.size() - 1 - last, '\\');
        return quoted + "\"";
    }
    // PowerShell takes anything between apostrophes, an apostrophe (or a
    // typographic one) written twice.
    std::string quoted = "'";
    for (std::size_t i = 0; i < word.size();) {
        const std::size_t length = characterLengthAt(word, i);
        const std::string_view character = word.substr(i, length);
        if (character == "'" || isPowerShellSingleQuote(utf8At(word, i).code)) quoted += character;
        quoted += character;
        i += length;
    }
    return quoted + "'";
}

std::string commandWord(std::string_view word, Platform platform) {
    return platform == Platform::Windows ? windowsQuoted(word) : shellQuoted(word);
}

std::string replayCommand(std::string_view exerciseArgument, std::string_view submissionArgument,
                          std::string_view caseName, Platform platform) {
    return "tarngrade " + pathArgument(exerciseArgument, platform) + " " + pathArgument(submissionArgument, platform) +
           " --caso " + commandWord(caseName, platform);
}

std::string debuggerCommand(std::string_view programPath, std::string_view exerciseArgument,
                            std::string_view caseName, bool teacher) {
    // A name that begins with '-' would read as an option after "--caso".
    const std::string caseArgument = !caseName.empty() && caseName.front() == '-'
                                         ? "--caso=" + shellQuoted(caseName)
                                         : "--caso " + shellQuoted(caseName);
    return "tarndbg " + pathArgument(programPath, Platform::Posix) + " --esercizio " +
           pathArgument(exerciseArgument, Platform::Posix) + " " + caseArgument + (teacher ? " --docente" : "");
}

std::string debuggerAdvice(const Submission& submission, std::string_view exerciseArgument,
                           const TestCase& testCase, Platform platform) {
    const std::string_view program = submission.program;
    if (platform == Platform::Posix) return debuggerCommand(program, exerciseArgument, testCase.name, testCase.hidden);
    std::string advice = submission.kind == ProgramKind::Image
                             ? "apri nell'edizione per il browser il sorgente che stampa tarndis " +
                                   pathArgument(program, platform)
                             : "apri '" + tarn::visibleName(program, platform) + "' nell'edizione per il browser";
    if (!testCase.input.empty()) advice += ", con l'ingresso del caso in «Ingresso»";
    if (!testCase.memory.empty()) advice += ", senza i byte che il caso mette in memoria";
    return advice;
}

std::optional<std::string> caseRefusal(const Exercise& exercise, std::string_view caseName, bool teacher) {
    const TestCase* testCase = exercise.findCase(caseName);
    if (testCase == nullptr) {
        std::vector<std::string_view> names;
        for (const TestCase& each : exercise.cases) names.push_back(each.name);
        std::string message = "l'esercizio non ha un caso " + tarn::quotedName(caseName);
        if (const std::optional<std::string> near = tarn::similarName(caseName, names))
            message += ": forse intendevi " + tarn::quotedName(*near) + "?";
        return message;
    }
    if (testCase->hidden && !teacher)
        return "il caso " + tarn::quotedName(caseName) + " è nascosto: se ne vede solo l'esito";
    return std::nullopt;
}

}  // namespace tarn::grading

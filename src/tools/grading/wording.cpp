#include "tools/grading/wording.hpp"

#include "machine/instruction_set.hpp"

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
    return "registro " + std::string(registerName(mismatch.address)) + ": atteso " +
           std::to_string(mismatch.expected) + ", trovato " + std::to_string(mismatch.found);
}

std::string flagLetter(unsigned bit) {
    for (const FlagName& flag : FLAG_NAMES)
        if (flag.bit == bit) return std::string(1, flag.letter);
    return "?";
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

std::string hexByte(unsigned value) {
    constexpr char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    if (value > 0xFF) text += digits[(value >> 8) & 0x0F];
    text += digits[(value >> 4) & 0x0F];
    text += digits[value & 0x0F];
    return text;
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
        reasons.push_back("istruzione proibita " + mnemonic + " all'indirizzo " + hexByte(result.forbidden->address) +
                          ", dopo " + std::to_string(result.forbidden->step) +
                          " istruzioni: l'esecuzione si è fermata lì");
    }
    if (result.limitReached)
        reasons.push_back("limite di istruzioni superato: PC = " + hexByte(result.finalPC) + " dopo " +
                          std::to_string(result.instructions) + " istruzioni");
    if (result.outputCut)
        reasons.push_back("uscita oltre il limite di " + std::to_string(testCase.outputLimit) +
                          " byte: il resto è stato tagliato");
    if (!result.outputMatches)
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
                                      std::to_string(mismatch.expected) + ", trovato " +
                                      std::to_string(mismatch.found));
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

std::vector<std::string> caseNotes(const CaseResult& result) {
    std::vector<std::string> notes;
    if (result.tracesShown == 1)
        notes.push_back("il programma lascia acceso il flag D: una visualizzazione della traccia è stata saltata");
    else if (result.tracesShown > 1)
        notes.push_back("il programma lascia acceso il flag D: " + std::to_string(result.tracesShown) +
                        " visualizzazioni della traccia sono state saltate");
    return notes;
}

std::string shellQuoted(std::string_view word) {
    bool plain = !word.empty();
    bool control = false;
    for (const char c : word) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          c == '_' || c == '-' || c == '.' || c == '/' || c == ',' || c == ':' || c == '+' ||
                          c == '=' || c == '@' || c == '%';
        if (!safe) plain = false;
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) control = true;
    }
    if (plain) return std::string(word);
    if (control) {
        // Bash and the other shells of today read $'...' with escapes; a
        // line end inside plain quotes would break the report's line.
        std::string quoted = "$'";
        for (const char c : word) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte == 0x7F) quoted += hexEscape(byte);
            else if (c == '\\' || c == '\'') quoted += std::string{'\\', c};
            else quoted += c;
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

// A path that begins with '-' would read as an option: "./-x" names the same file.
std::string pathArgument(std::string_view path) {
    if (!path.empty() && path.front() == '-') return shellQuoted("./" + std::string(path));
    return shellQuoted(path);
}

}  // namespace

std::string replayCommand(std::string_view exerciseArgument, std::string_view submissionArgument,
                          std::string_view caseName) {
    return "tarngrade " + pathArgument(exerciseArgument) + " " + pathArgument(submissionArgument) + " --caso " +
           shellQuoted(caseName);
}

}  // namespace tarn::grading

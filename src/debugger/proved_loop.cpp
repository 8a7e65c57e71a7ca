#include "debugger/proved_loop.hpp"

#include "debugger/wording.hpp"

#include <algorithm>
#include <cstddef>

namespace tarn::debugger {

ProvedLoop provedLoop(const EndlessLoop& found, const Program& program) {
    ProvedLoop loop{found.start, found.length, found.instructions, {}};
    for (unsigned address = 0; address < 256; ++address) {
        if (!found.instructions[address]) continue;
        const RanInstruction ran = ranInstruction(found.first, static_cast<Byte>(address));
        if (rewritten(program, ran)) loop.rewritten.push_back(ran);
    }
    return loop;
}

std::vector<std::int64_t> loopLineNumbers(const Program& program, const ProvedLoop& loop) {
    std::vector<std::int64_t> numbers;
    for (unsigned address = 0; address < 256; ++address)
        if (loop.instructions[address])
            if (const ProgramLine* line = program.lineAt(address)) numbers.push_back(line->number);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

std::string describeLoopLines(const Program& program, const ProvedLoop& loop) {
    // The numbers of the lines as ranges of consecutive ones.
    const std::vector<std::int64_t> numbers = loopLineNumbers(program, loop);
    if (numbers.empty()) return "nessuna riga";
    std::vector<std::string> ranges;
    for (std::size_t i = 0; i < numbers.size();) {
        std::size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
        ranges.push_back(std::to_string(numbers[i]) + (j > i ? "-" + std::to_string(numbers[j]) : ""));
        i = j + 1;
    }
    std::string text = numbers.size() == 1 ? "riga " : "righe ";
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (i > 0) text += i + 1 == ranges.size() ? " e " : ", ";
        text += ranges[i];
    }
    return text;
}

std::string describeLoopRewrites(const Program& program, const ProvedLoop& loop) {
    if (loop.rewritten.empty()) return {};
    std::string text;
    for (const RanInstruction& ran : loop.rewritten)
        text += (text.empty() ? "" : "; ") + placeOf(program, ran.address) + " il ciclo esegue " +
                rewrittenInstructionText(program, ran);
    text.front() = 'A';  // "alla riga", "all'indirizzo": the sentence begins with a capital
    return text + ".";
}

std::string describeEndlessLoopStop(const Program& program, const ProvedLoop& loop) {
    const std::string text = describeEndlessLoop(loop.start, loop.length);
    const std::string rewrites = describeLoopRewrites(program, loop);
    return "C" + text.substr(1) + " (" + describeLoopLines(program, loop) + "): il programma non finirebbe mai." +
           (rewrites.empty() ? "" : " " + rewrites);
}

}  // namespace tarn::debugger

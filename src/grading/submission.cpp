#include "grading/submission.hpp"

#include "assembly/assembler.hpp"
#include "assembly/disassembler.hpp"

#include <utility>

namespace tarn::grading {

namespace {

constexpr std::size_t MEMORY_BYTES = 256;

std::string inQuotes(std::string_view text) {
    return "'" + std::string(text) + "'";
}

bool isLineBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// A statement as a report shows it: blanks at its ends dropped, runs of
// blanks within made one space, cut on a character's boundary when long.
std::string statementText(std::string_view line) {
    std::string text;
    bool blank = false;
    for (const char c : line) {
        if (isLineBlank(c)) {
            blank = true;
            continue;
        }
        if (blank && !text.empty()) text += ' ';
        blank = false;
        text += c;
    }
    std::size_t characters = 0;
    for (std::size_t index = 0; index < text.size(); ++index) {
        if ((static_cast<unsigned char>(text[index]) & 0xC0) == 0x80) continue;
        if (characters++ == MAX_PROGRAM_LINE_CHARACTERS) return text.substr(0, index) + "…";
    }
    return text;
}

// The lines of a source text, by number from 1.
std::vector<std::string_view> sourceLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return lines;
}

// Which line of a text placed each byte of an assembly. `keep` turns a
// line's text into what the reports show.
template <typename Keep>
ProgramLines linesOf(const Assembly& assembly, std::string_view text, Keep keep) {
    ProgramLines result;
    const std::vector<std::string_view> lines = sourceLines(text);
    // The last line to place a byte is the one that placed it.
    std::array<std::size_t, 256> entryAt{};
    entryAt.fill(assembly.listing.size());
    for (std::size_t entry = 0; entry < assembly.listing.size(); ++entry) {
        const ListingEntry& listed = assembly.listing[entry];
        for (std::size_t offset = 0; offset < listed.bytes.size(); ++offset) {
            const std::size_t address = static_cast<std::size_t>(listed.address) + offset;
            if (listed.address >= 0 && address < MEMORY_BYTES) entryAt[address] = entry;
        }
    }
    std::vector<bool> used(assembly.listing.size(), false);
    for (const std::size_t entry : entryAt)
        if (entry < used.size()) used[entry] = true;
    std::vector<std::int16_t> indexOfEntry(assembly.listing.size(), -1);
    for (std::size_t entry = 0; entry < assembly.listing.size(); ++entry) {
        if (!used[entry]) continue;
        const std::int64_t number = assembly.listing[entry].line;
        const std::string_view line =
            number >= 1 && static_cast<std::uint64_t>(number) <= lines.size() ? lines[static_cast<std::size_t>(number - 1)]
                                                                                 : std::string_view{};
        indexOfEntry[entry] = static_cast<std::int16_t>(result.lines.size());
        result.lines.push_back({number, keep(line)});
    }
    for (std::size_t address = 0; address < MEMORY_BYTES; ++address)
        if (entryAt[address] < assembly.listing.size()) result.at[address] = indexOfEntry[entryAt[address]];
    result.labels = assembly.labels;
    return result;
}

}  // namespace

const ProgramLine* ProgramLines::lineAt(Byte address) const {
    const std::int16_t index = at[address];
    if (index < 0 || static_cast<std::size_t>(index) >= lines.size()) return nullptr;
    return &lines[static_cast<std::size_t>(index)];
}

ProgramLines programLines(const Submission& submission) {
    if (submission.kind == ProgramKind::Source || !submission.runnable()) return submission.source;
    // The disassembly assembles into the very same image: its listing says
    // which statement placed each byte. Its address comments are left out.
    const std::string text = disassemble(submission.image);
    const Assembly assembly = assemble(text, AssemblyOptions{false});
    if (assembly.failed()) return {};
    return linesOf(assembly, text, [](std::string_view line) {
        const std::size_t comment = line.rfind(';');
        return statementText(line.substr(0, comment));
    });
}

void assembleSubmission(Submission& submission, std::string_view text) {
    if (text.size() > MAX_SOURCE_BYTES) {
        submission.problems.push_back("il sorgente " + inQuotes(submission.program) + " supera il limite di " +
                                      std::to_string(MAX_SOURCE_BYTES) + " byte");
        return;
    }
    Assembly assembly = assemble(text, AssemblyOptions{false});
    if (assembly.failed()) {
        submission.problems = formatReport(submission.program, assembly);
        if (submission.problems.empty()) submission.problems.push_back("il sorgente non si assembla");
        return;
    }
    submission.source = linesOf(assembly, text, statementText);
    // The last line to place a byte is the one that placed it.
    for (const ListingEntry& entry : assembly.listing)
        for (std::size_t offset = 0; offset < entry.bytes.size(); ++offset) {
            const std::size_t address = static_cast<std::size_t>(entry.address) + offset;
            if (entry.address >= 0 && address < MEMORY_BYTES) submission.instructionBytes[address] = !entry.data;
        }
    submission.image = std::move(assembly.image);
    // What the source places, instructions and data: the gaps that ORG
    // leaves are not the program's.
    submission.size = 0;
    for (const ListingEntry& entry : assembly.listing) submission.size += entry.bytes.size();
    if (submission.image.size() > MEMORY_BYTES) submission.image.resize(MEMORY_BYTES);
}

void checkMaximumSize(Submission& submission, const Exercise& exercise) {
    if (submission.problems.empty() && exercise.maximumSize && submission.size > *exercise.maximumSize)
        submission.problems.push_back(
            (submission.kind == ProgramKind::Source ? "le istruzioni e i dati del programma occupano "
                                                    : "l'immagine è lunga ") +
            std::to_string(submission.size) + " byte, ma l'esercizio ne ammette al massimo " +
            std::to_string(*exercise.maximumSize));
}

}  // namespace tarn::grading

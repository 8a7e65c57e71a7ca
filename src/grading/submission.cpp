#include "grading/submission.hpp"

#include "assembly/assembler.hpp"

#include <utility>

namespace tarn::grading {

namespace {

constexpr std::size_t MEMORY_BYTES = 256;

std::string inQuotes(std::string_view text) {
    return "'" + std::string(text) + "'";
}

}  // namespace

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

#include "grading/program_choice.hpp"

#include <algorithm>

namespace tarn::grading {

namespace {

std::string inQuotes(std::string_view text) {
    return "'" + std::string(text) + "'";
}

}  // namespace

std::string othersTail(std::size_t rest, bool feminine) {
    if (rest == 0) return "";
    if (rest == 1) return feminine ? " e un'altra" : " e un altro";
    return (feminine ? " e altre " : " e altri ") + std::to_string(rest);
}

void FoundPrograms::add(std::string_view name, bool leadsOut) {
    ++count;
    const auto at = std::lower_bound(first.begin(), first.end(), name,
                                     [](const Named& named, std::string_view other) { return named.name < other; });
    if (first.size() == MAX_NAMED_PROGRAMS && at == first.end()) return;
    first.insert(at, Named{std::string(name), leadsOut});
    if (first.size() > MAX_NAMED_PROGRAMS) first.pop_back();
}

std::string FoundPrograms::list() const {
    std::string text;
    for (std::size_t i = 0; i < first.size(); ++i) text += (i > 0 ? ", " : "") + first[i].name;
    return text + othersTail(count - first.size(), false);
}

ProgramChoice chooseProgram(const FolderSearch& search, std::string_view folder) {
    ProgramChoice choice;
    const std::string bound = std::to_string(search.maxEntries);
    const FoundPrograms& sources = search.sources;
    const FoundPrograms& images = search.images;
    // Where the programs were looked for, after "nella cartella 'X'".
    const std::string where =
        search.below ? " (e nelle sue sottocartelle, fino a " + std::to_string(MAX_PROGRAM_DEPTH) + " livelli)" : "";
    if (sources.count == 1) {
        choice.program = &sources.first.front();
        choice.kind = ProgramKind::Source;
        if (images.count == 1)
            choice.notes.push_back("si valuta il sorgente " + inQuotes(sources.first.front().name) + ": l'immagine " +
                                   inQuotes(images.first.front().name) + " è ignorata");
        else if (images.count > 1)
            choice.notes.push_back("si valuta il sorgente " + inQuotes(sources.first.front().name) + ": le " +
                                   std::to_string(images.count) + " immagini .bin sono ignorate");
    } else if (sources.count == 0 && images.count == 1) {
        choice.program = &images.first.front();
        choice.kind = ProgramKind::Image;
    } else if (sources.count == 0 && images.count == 0) {
        choice.problems.push_back("nessun programma " +
                                  (search.cut ? "tra le prime " + bound + " voci della cartella "
                                              : std::string("nella cartella ")) +
                                  inQuotes(folder) + where + ": ci vuole un file .asm o .bin");
    } else {
        choice.problems.push_back("più programmi nella cartella " + inQuotes(folder) + where + ": " +
                                  (sources.count > 0 ? sources : images).list());
    }
    if (choice.program != nullptr && search.cut)
        choice.notes.push_back("la cartella " + inQuotes(folder) +
                               (search.below ? " e le sue sottocartelle hanno" : " ha") + " più di " + bound +
                               " voci: il programma si è cercato solo tra le prime " + bound);
    return choice;
}

}  // namespace tarn::grading

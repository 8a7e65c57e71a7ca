#include "machine/startup_messages.hpp"

namespace tarn {

namespace {

constexpr std::size_t BANNER_WIDTH = 75;

// A banner line: the text, padded with blanks to 74 characters, then the closing asterisk.
void addBoxed(std::string& out, std::string_view text) {
    const std::size_t start = out.size();
    out += text;
    out.resize(start + BANNER_WIDTH - 1, ' ');
    out += "*\n";
}

}  // namespace

std::string startupBanner() {
    const std::string_view lines[] = {
        "*    Morvel Virtual Machine - Versione 1.1",
        "*    Simulatore di una ipotetica Macchina di Von Neumann. Versione 1.1",
        "*    Autore -> gli sviluppatori di tarnsim",
        "*    Sito Web dell'autore -> https://tarnsim.example.org/",
        "*    Ultima revisione 22/05/2003 - Versione non esente da difetti.",
    };
    std::string out = "\n";
    out.append(BANNER_WIDTH, '*');
    out += '\n';
    for (std::string_view line : lines) {
        addBoxed(out, "*");
        addBoxed(out, line);
    }
    addBoxed(out, "*");
    out.append(BANNER_WIDTH, '*');
    out += "\n\n";
    return out;
}

std::string loadingLines(std::string_view program) {
    std::string out = " Avvio della macchina virtuale simulata...\n";
    out += " Caricamento del programma (";
    out += program;
    out += ") da eseguire... \n";
    return out;
}

}  // namespace tarn

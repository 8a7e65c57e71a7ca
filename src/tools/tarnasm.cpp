// tarnasm: the assembler of tarnsim programs.
//
//     tarnasm SORGENTE [-o IMMAGINE] [-l LISTATO]
//
// Exit status: 0 when the image is written; 1 when the source has errors
// (each one on standard error, no file written); 2 when the command line is
// wrong or a file cannot be read or written.
#include "tools/assembler.hpp"
#include "tools/tool_files.hpp"

#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>

namespace {

constexpr const char* USAGE_LINE = "uso: tarnasm SORGENTE [-o IMMAGINE] [-l LISTATO]";

constexpr const char* HELP =
    "Uso: tarnasm SORGENTE [-o IMMAGINE] [-l LISTATO]\n"
    "Assembla un programma scritto in mnemonici nell'immagine che tarnsim esegue.\n"
    "\n"
    "  -o IMMAGINE  scrive l'immagine in IMMAGINE (di solito: SORGENTE con estensione .bin)\n"
    "  -l LISTATO   scrive anche il listato: indirizzo, byte in esadecimale, riga del sorgente\n"
    "  -h, --help   mostra questo aiuto\n"
    "\n"
    "Gli errori del sorgente vanno sullo standard error, uno per riga, nella forma\n"
    "FILE:RIGA:COLONNA: errore: MESSAGGIO. Con un errore non viene scritto nulla.\n"
    "Stato di uscita: 0 riuscito, 1 errori nel sorgente, 2 errori di uso o di file.\n";

struct Options {
    std::string source;
    std::string image;
    std::string listing;
    bool help = false;
};

// A usage error: one line on standard error and exit status 2.
int usageError(const std::string& message) {
    tarn::printError("tarnasm: " + message + " (" + USAGE_LINE + ")");
    return 2;
}

// Whether two paths name the same file, existing or not.
bool samePath(const std::string& a, const std::string& b) {
    std::error_code error;
    const std::filesystem::path first = std::filesystem::weakly_canonical(a, error);
    if (error) return a == b;
    const std::filesystem::path second = std::filesystem::weakly_canonical(b, error);
    if (error) return a == b;
    return first == second;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    bool haveSource = false;
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (argument == "-h" || argument == "--help") {
            options.help = true;
        } else if (argument == "-o" || argument == "-l") {
            if (index + 1 >= argc) return usageError("l'opzione " + std::string(argument) + " vuole un nome di file");
            std::string& target = argument == "-o" ? options.image : options.listing;
            if (!target.empty()) return usageError("l'opzione " + std::string(argument) + " e' ripetuta");
            target = argv[++index];
            if (target.empty()) return usageError("l'opzione " + std::string(argument) + " vuole un nome di file");
        } else if (argument.size() > 1 && argument[0] == '-') {
            return usageError("opzione sconosciuta '" + std::string(argument) + "'");
        } else if (haveSource) {
            return usageError("un solo file sorgente alla volta, ma c'e' anche '" + std::string(argument) + "'");
        } else {
            options.source = argument;
            haveSource = true;
        }
    }
    if (options.help) {
        std::cout << HELP;
        return 0;
    }
    if (!haveSource || options.source.empty()) return usageError("manca il file sorgente");
    if (options.image.empty())
        options.image = std::filesystem::path(options.source).replace_extension(".bin").string();
    if (samePath(options.image, options.source))
        return usageError("l'immagine '" + options.image + "' prenderebbe il posto del sorgente");
    if (!options.listing.empty() && samePath(options.listing, options.source))
        return usageError("il listato '" + options.listing + "' prenderebbe il posto del sorgente");
    if (!options.listing.empty() && samePath(options.listing, options.image))
        return usageError("immagine e listato non possono essere lo stesso file");

    std::string source;
    std::string reason;
    if (!tarn::readFile(options.source, source, reason)) {
        tarn::printError("tarnasm: impossibile leggere il sorgente '" + options.source + "': " + reason);
        return 2;
    }

    const tarn::Assembly assembly = tarn::assemble(source);
    for (const std::string& line : tarn::formatReport(options.source, assembly)) tarn::printError(line);
    if (assembly.failed()) return 1;

    const std::string image(assembly.image.begin(), assembly.image.end());
    if (!tarn::writeFileAtomically(options.image, image, reason)) {
        tarn::printError("tarnasm: impossibile scrivere l'immagine '" + options.image + "': " + reason);
        return 2;
    }
    if (!options.listing.empty() &&
        !tarn::writeFileAtomically(options.listing, tarn::formatListing(source, assembly), reason)) {
        tarn::printError("tarnasm: impossibile scrivere il listato '" + options.listing + "': " + reason);
        return 2;
    }
    return 0;
}

// tarnasm: the assembler of tarnsim programs.
//
//     tarnasm SORGENTE [-o IMMAGINE] [-l LISTATO] [-w]
//
// Exit status: 0 when the image is written (warnings alone do not stop it);
// 1 when the source has errors (each one on standard error, no file
// written); 2 when the command line is wrong, a file cannot be read or
// written, or memory runs out.
#include "assembly/assembler.hpp"
#include "assembly/suggestions.hpp"
#include "host/files.hpp"
#include "host/path_text.hpp"
#include "programs/entry.hpp"
#include "text/command_line.hpp"
#include "text/utf8.hpp"

#include <string>
#include <string_view>

namespace {

constexpr const char* USAGE_LINE = "uso: tarnasm SORGENTE [-o IMMAGINE] [-l LISTATO] [-w]";

constexpr const char* HELP =
    "Uso: tarnasm SORGENTE [-o IMMAGINE] [-l LISTATO] [-w]\n"
    "Assembla un programma scritto in mnemonici nell'immagine che tarnsim esegue.\n"
    "\n"
    "  -o IMMAGINE         scrive l'immagine in IMMAGINE (altrimenti: SORGENTE con estensione .bin)\n"
    "  -l LISTATO          scrive anche il listato: numero di riga, indirizzo e byte in esadecimale,\n"
    "                      testo della riga\n"
    "  -w, --senza-avvisi  non mostra gli avvisi\n"
    "  -h, --help          mostra questo aiuto ed esce\n"
    "  --version           mostra la versione ed esce\n"
    "\n"
    "Errori e avvisi vanno sullo standard error, uno per riga, nella forma\n"
    "FILE:RIGA:COLONNA: errore: MESSAGGIO (oppure avviso: MESSAGGIO). Dopo i primi\n"
    "20 errori e i primi 20 avvisi, una riga dice quanti altri ce ne sono.\n"
    "Con un errore non viene scritto nulla; gli avvisi da soli non lo impediscono.\n"
    "Il sorgente può essere lungo al massimo 1048576 byte (1 MiB).\n"
    "Stato di uscita: 0 riuscito, 1 errori nel sorgente, 2 errori di uso o di file.\n";

struct Options {
    std::string source;
    std::string image;
    std::string listing;
    bool help = false;
    bool warnings = true;
};

// A usage error: one line on standard error and exit status 2.
int usageError(const std::string& message) {
    tarn::printError("tarnasm: " + message + " (" + USAGE_LINE + ")");
    return 2;
}

// "-x", "--xyz": an option, not a file name ("-" alone is a name).
bool looksLikeOption(std::string_view argument) {
    return argument.size() > 1 && argument[0] == '-';
}

int assembleFiles(int argc, char** argv) {
    if (tarn::asksForVersion(argc, argv)) return tarn::printStandardOutput("tarnasm", tarn::versionLine("tarnasm"));
    Options options;
    bool haveSource = false;
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (argument == "-h" || argument == "--help") {
            options.help = true;
        } else if (argument == "-w" || argument == "--senza-avvisi") {
            if (!options.warnings) return usageError("l'opzione " + std::string(argument) + " è ripetuta");
            options.warnings = false;
        } else if (argument == "-o" || argument == "-l") {
            const std::string option(argument);
            if (index + 1 >= argc) return usageError("l'opzione " + option + " vuole un nome di file");
            std::string& target = argument == "-o" ? options.image : options.listing;
            if (!target.empty()) return usageError("l'opzione " + option + " è ripetuta");
            target = argv[++index];
            if (target.empty()) return usageError("l'opzione " + option + " vuole un nome di file");
            if (looksLikeOption(target))
                return usageError(
                    tarn::optionLikeValueMessage(option, "un nome di file", "un file", target, "./" + target));
        } else if (looksLikeOption(argument)) {
            return usageError(tarn::unknownOptionMessage(argument, {"-o", "-l", "-w", "--senza-avvisi", "-h", "--help", "--version"}));
        } else if (haveSource) {
            return usageError("un solo file sorgente alla volta, ma c'è anche '" + tarn::visibleName(argument) + "'");
        } else {
            options.source = argument;
            haveSource = true;
        }
    }
    if (options.help) return tarn::printStandardOutput("tarnasm", HELP);
    if (!haveSource || options.source.empty()) return usageError("manca il file sorgente");
    if (options.image.empty())
        options.image = tarn::textOf(tarn::pathOf(options.source).replace_extension(".bin"));
    const std::string source = tarn::visibleName(options.source);
    const std::string image = tarn::visibleName(options.image);
    const std::string listing = tarn::visibleName(options.listing);
    if (tarn::sameFile(options.image, options.source))
        return usageError("l'immagine '" + image + "' prenderebbe il posto del sorgente");
    if (!options.listing.empty() && tarn::sameFile(options.listing, options.source))
        return usageError("il listato '" + listing + "' prenderebbe il posto del sorgente");
    if (!options.listing.empty() && tarn::sameFile(options.listing, options.image))
        return usageError("l'immagine e il listato non possono essere lo stesso file");

    std::string text;
    std::string reason;
    if (!tarn::readFile(options.source, text, reason, tarn::MAX_SOURCE_BYTES)) {
        tarn::printError("tarnasm: impossibile leggere il sorgente '" + source + "': " + reason);
        return 2;
    }
    if (text.size() > tarn::MAX_SOURCE_BYTES) {
        tarn::printError("tarnasm: il sorgente '" + source + "' supera il limite di " +
                         std::to_string(tarn::MAX_SOURCE_BYTES) + " byte");
        return 2;
    }

    tarn::AssemblyOptions assemblyOptions;
    assemblyOptions.warnings = options.warnings;
    const tarn::Assembly assembly = tarn::assemble(text, assemblyOptions);
    for (const std::string& line : tarn::formatReport(source, assembly)) tarn::printError(line);
    if (assembly.failed()) return 1;

    std::vector<tarn::OutputFile> outputs;
    outputs.push_back({options.image, std::string(assembly.image.begin(), assembly.image.end())});
    if (!options.listing.empty()) outputs.push_back({options.listing, tarn::formatListing(text, assembly)});
    tarn::OutputFailure failure;
    if (tarn::writeOutputs(outputs, failure)) return 0;
    const bool isImage = failure.index == 0;
    tarn::printError("tarnasm: impossibile scrivere " + (isImage ? "l'immagine '" + image : "il listato '" + listing) +
                     "': " + failure.reason);
    if (!failure.notRestored.empty())
        tarn::printError("tarnasm: '" + tarn::visibleName(failure.notRestored) +
                         "' era già stato sostituito e non è stato possibile ripristinarlo");
    return 2;
}

}  // namespace

int programMain(int argc, char** argv) {
    return tarn::runTool("tarnasm", assembleFiles, argc, argv);
}

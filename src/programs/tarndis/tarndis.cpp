// tarndis: the disassembler of tarnsim program images.
//
//     tarndis IMMAGINE
//
// Prints to standard output a source that tarnasm turns back into the same
// image. Exit status: 0 when the source is printed, 2 when the command line
// is wrong, the image cannot be read, standard output cannot be written or
// memory runs out.
#include "assembly/disassembler.hpp"
#include "host/files.hpp"
#include "programs/entry.hpp"
#include "text/command_line.hpp"
#include "text/utf8.hpp"

#include <string>
#include <string_view>

namespace {

constexpr const char* HELP =
    "Uso: tarndis IMMAGINE\n"
    "Disassembla l'immagine di un programma di tarnsim e stampa un sorgente che\n"
    "tarnasm riassembla negli stessi byte. Le istruzioni sono quelle raggiunte\n"
    "seguendo il flusso dall'indirizzo 0; gli altri byte sono scritti con DB.\n"
    "\n"
    "  -h, --help   mostra questo aiuto ed esce\n"
    "  --version    mostra la versione ed esce\n"
    "\n"
    "Stato di uscita: 0 riuscito, 2 errori di uso, di lettura o di scrittura.\n";

int usageError(const std::string& message) {
    tarn::printError("tarndis: " + message + " (uso: tarndis IMMAGINE)");
    return 2;
}

int disassembleFile(int argc, char** argv) {
    if (tarn::asksForVersion(argc, argv)) return tarn::printStandardOutput("tarndis", tarn::versionLine("tarndis"));
    std::string path;
    bool havePath = false;
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (argument == "-h" || argument == "--help") return tarn::printStandardOutput("tarndis", HELP);
        if (argument.size() > 1 && argument[0] == '-')
            return usageError("opzione sconosciuta '" + tarn::visibleName(argument) + "'");
        if (havePath) return usageError("una sola immagine alla volta, ma c'è anche '" + tarn::visibleName(argument) + "'");
        path = argument;
        havePath = true;
    }
    if (!havePath || path.empty()) return usageError("manca l'immagine da disassemblare");

    // The machine loads 256 bytes; one more tells that the image is longer.
    std::string content;
    std::string reason;
    if (!tarn::readFile(path, content, reason, 256)) {
        tarn::printError("tarndis: impossibile leggere l'immagine '" + tarn::visibleName(path) + "': " + reason);
        return 2;
    }
    if (content.size() > 256) {
        tarn::printError("tarndis: l'immagine '" + tarn::visibleName(path) +
                         "' supera i 256 byte: disassemblati solo i primi 256");
        content.resize(256);
    }
    const std::vector<tarn::Byte> image(content.begin(), content.end());
    return tarn::printStandardOutput("tarndis", tarn::disassemble(image));
}

}  // namespace

int programMain(int argc, char** argv) {
    return tarn::runTool("tarndis", disassembleFile, argc, argv);
}

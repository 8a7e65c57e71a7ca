// tarndbg: the full-screen debugger of tarnsim programs, which steps back.
//
//     tarndbg [--ingresso FILE] [--] PROGRAMMA
//
// Options and the program come in any order; after "--" every argument is
// the program, even one that begins with "-".
// PROGRAMMA is a source (a name ending in .asm), assembled in process, or a
// program image. Exit status: 0 when the user quits, 1 when the source has
// errors, 2 when the command line is wrong, a file cannot be read or the
// terminal cannot be used.
#include "assembly/assembler.hpp"
#include "debugger/program.hpp"
#include "debugger/session.hpp"
#include "programs/tarndbg/screen.hpp"
#include "programs/tarndbg/terminal.hpp"
#include "text/file_names.hpp"
#include "assembly/suggestions.hpp"
#include "host/files.hpp"
#include "text/command_line.hpp"
#include "text/utf8.hpp"

#include <algorithm>
#include <clocale>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* HELP =
    "Uso: tarndbg PROGRAMMA [--ingresso FILE]\n"
    "Esegue un programma di tarnsim a tutto schermo, un'istruzione alla volta,\n"
    "in avanti e all'indietro. PROGRAMMA è un sorgente (un nome che finisce in\n"
    ".asm), assemblato al momento, oppure l'immagine di un programma.\n"
    "\n"
    "  --ingresso FILE   le parole che INP legge; senza, il debugger le chiede\n"
    "  -h, --help        mostra questo aiuto ed esce\n"
    "  --version         mostra la versione ed esce\n"
    "  --                ciò che segue è il programma, anche se comincia con -\n"
    "\n"
    "Tasti: s un'istruzione, b una indietro, c continua, r continua all'indietro,\n"
    "k punto di arresto, w osserva un byte, g all'inizio, ? chi ha scritto un byte,\n"
    "Tab sorgente o memoria, m il seguito di un messaggio lungo, h tutti i tasti,\n"
    "q esce.\n"
    "\n"
    "Stato di uscita: 0 uscito con q, 1 sorgente con errori, 2 errori di uso,\n"
    "di lettura o del terminale.\n";

constexpr const char* USAGE = " (uso: tarndbg PROGRAMMA [--ingresso FILE])";

int usageError(const std::string& message) {
    tarn::printError("tarndbg: " + message + USAGE);
    return 2;
}


// An unknown option, with the one it may have been meant for: "-ingresso"
// or "--ingreso" for --ingresso, say.
int unknownOption(std::string_view argument) {
    return usageError(tarn::unknownOptionMessage(argument, {"--ingresso", "-h", "--help", "--version"}));
}

int debug(int argc, char** argv) {
    if (tarn::asksForVersion(argc, argv)) return tarn::printStandardOutput("tarndbg", tarn::versionLine("tarndbg"));
    std::string path;
    bool havePath = false;
    bool operandsOnly = false;
    std::optional<std::string> inputPath;
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (!operandsOnly && argument == "--") {
            operandsOnly = true;
            continue;
        }
        const bool option = !operandsOnly && argument.size() > 1 && argument[0] == '-';
        if (option && (argument == "-h" || argument == "--help"))
            return tarn::printStandardOutput("tarndbg", HELP);
        if (option && (argument == "--ingresso" || argument.starts_with("--ingresso="))) {
            if (inputPath) return usageError("--ingresso si può dare una volta sola");
            if (argument == "--ingresso") {
                if (index + 1 >= argc) return usageError("manca il file dopo --ingresso");
                const std::string_view value = argv[++index];
                // Most likely the file was forgotten and this is the next option.
                if (value.size() > 1 && value[0] == '-')
                    return usageError(tarn::optionLikeValueMessage("--ingresso", "un nome di file", "un file", value,
                                                                   "./" + std::string(value)));
                inputPath = std::string(value);
            } else {
                inputPath = std::string(argument.substr(std::strlen("--ingresso=")));
            }
            if (inputPath->empty()) return usageError("manca il file dopo --ingresso");
            continue;
        }
        if (option) return unknownOption(argument);
        if (havePath)
            return usageError("un solo programma alla volta, ma c'è anche '" + tarn::visibleName(argument) + "'");
        path = argument;
        havePath = true;
    }
    if (!havePath || path.empty()) return usageError("manca il programma da eseguire");

    // Before any file is opened: an input that is a FIFO would be waited on.
    std::string error;
    if (!tarn::dbg::checkTerminal(error)) {
        tarn::printError(error);
        return 2;
    }

    // The name as every message shows it: the title, the assembler's errors.
    const std::string shownPath = tarn::visibleName(path);
    const bool source = tarn::hasExtension(path, ".asm");
    const std::size_t limit = source ? tarn::MAX_SOURCE_BYTES : 256;
    std::string content;
    std::string reason;
    const std::string kind = source ? "il sorgente '" : "l'immagine '";
    bool notRegular = false;
    if (!tarn::readRegularFile(path, content, reason, limit, notRegular)) {
        if (notRegular)
            tarn::printError("tarndbg: " + kind + shownPath + "' non è un file regolare");
        else
            tarn::printError("tarndbg: impossibile leggere " + kind + shownPath + "': " + reason);
        return 2;
    }
    std::string firstMessage;
    tarn::debugger::Program program;
    if (source) {
        if (content.size() > tarn::MAX_SOURCE_BYTES) {
            tarn::printError("tarndbg: il sorgente '" + shownPath + "' supera il limite di " +
                             std::to_string(tarn::MAX_SOURCE_BYTES >> 20) + " MiB");
            return 2;
        }
        std::vector<std::string> report;
        if (!tarn::debugger::programFromSource(shownPath, content, program, report)) {
            for (const std::string& line : report) tarn::printError(line);
            return 1;
        }
    } else {
        if (content.size() > 256) {
            content.resize(256);
            firstMessage = "L'immagine supera i 256 byte: sono stati caricati solo i primi 256.";
        }
        program = tarn::debugger::programFromImage(shownPath, std::vector<tarn::Byte>(content.begin(), content.end()));
    }

    std::optional<std::string> input;
    if (inputPath) {
        std::string text;
        if (!tarn::readFile(*inputPath, text, reason, tarn::debugger::MAX_INPUT_BYTES)) {
            tarn::printError("tarndbg: impossibile leggere l'ingresso '" + tarn::visibleName(*inputPath) + "': " + reason);
            return 2;
        }
        if (text.size() > tarn::debugger::MAX_INPUT_BYTES) {
            tarn::printError("tarndbg: l'ingresso '" + tarn::visibleName(*inputPath) + "' supera il limite di " +
                             std::to_string(tarn::debugger::MAX_INPUT_BYTES >> 20) + " MiB");
            return 2;
        }
        input = std::move(text);
    }

    tarn::debugger::Session session(std::move(program), std::move(input));
    const tarn::dbg::TerminalSession terminal;
    if (!tarn::dbg::startTerminal(error)) {
        tarn::printError(error);
        return 2;
    }
    return tarn::dbg::runScreen(session, firstMessage);
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    return tarn::runTool("tarndbg", debug, argc, argv);
}

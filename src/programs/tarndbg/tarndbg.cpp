// tarndbg: the full-screen debugger of tarnsim programs, which steps back.
//
//     tarndbg [--ingresso FILE] [--] PROGRAMMA
//     tarndbg --esercizio ESERCIZIO --caso NOME [--docente] [--] PROGRAMMA
//
// Options and the program come in any order; after "--" every argument is
// the program, even one that begins with "-". With an exercise's case, the
// program runs as tarngrade runs it on that case: its input, and its memory
// placed after the program is loaded. A hidden case opens only for the
// teacher, with --docente, as tarngrade shows it only with --docente.
// PROGRAMMA is a source (a name ending in .asm), assembled in process, or a
// program image. Exit status: 0 when the user quits, 1 when the source has
// errors, 2 when the command line is wrong, a file cannot be read or the
// terminal cannot be used.
#include "assembly/assembler.hpp"
#include "grading/exercise.hpp"
#include "grading/wording.hpp"
#include "debugger/program.hpp"
#include "debugger/session.hpp"
#include "programs/tarndbg/screen.hpp"
#include "programs/tarndbg/terminal.hpp"
#include "text/file_names.hpp"
#include "assembly/suggestions.hpp"
#include "host/files.hpp"
#include "programs/entry.hpp"
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
    "     tarndbg PROGRAMMA --esercizio ESERCIZIO --caso NOME [--docente]\n"
    "Esegue un programma di tarnsim a tutto schermo, un'istruzione alla volta,\n"
    "in avanti e all'indietro. PROGRAMMA è un sorgente (un nome che finisce in\n"
    ".asm), assemblato al momento, oppure l'immagine di un programma.\n"
    "\n"
    "  --ingresso FILE   le parole che INP legge; senza, il debugger le chiede\n"
    "  --esercizio F     il file di un esercizio di tarngrade, insieme a --caso\n"
    "  --caso NOME       esegue il programma come tarngrade sul caso NOME di F,\n"
    "                    con il suo ingresso e la sua memoria\n"
    "  --docente         con --caso, apre anche un caso nascosto (solo per il docente)\n"
    "  -h, --help        mostra questo aiuto ed esce\n"
    "  --version         mostra la versione ed esce\n"
    "  --                ciò che segue è il programma, anche se comincia con -\n"
    "\n"
    "Tasti: s un'istruzione, b una indietro, f una fase alla volta, e la spiegazione\n"
    "dell'ultimo passo, c continua, r continua all'indietro, k punto di arresto,\n"
    "w osserva un byte, g all'inizio, ? chi ha scritto un byte, Tab sorgente o\n"
    "memoria, m il seguito di un messaggio lungo, h tutti i tasti, q esce.\n"
    "\n"
    "Stato di uscita: 0 uscito con q, 1 sorgente con errori, 2 errori di uso,\n"
    "di lettura o del terminale.\n";

constexpr const char* USAGE =
    " (uso: tarndbg PROGRAMMA [--ingresso FILE | --esercizio F --caso NOME [--docente]])";

int usageError(const std::string& message) {
    tarn::printError("tarndbg: " + message + USAGE);
    return 2;
}


// An unknown option, with the one it may have been meant for: "-ingresso"
// or "--ingreso" for --ingresso, say.
int unknownOption(std::string_view argument) {
    return usageError(tarn::unknownOptionMessage(
        argument, {"--ingresso", "--esercizio", "--caso", "--docente", "-h", "--help", "--version"}));
}

// The case of that name of an exercise file, when it can be shown (a hidden
// one to the teacher alone): its errors, or why not, are told on standard
// error otherwise.
std::optional<tarn::grading::TestCase> readCase(const std::string& exercisePath, const std::string& caseName,
                                                bool teacher) {
    using namespace tarn::grading;
    std::string text;
    std::string reason;
    if (!tarn::readFile(exercisePath, text, reason, MAX_EXERCISE_BYTES)) {
        tarn::printError("tarndbg: impossibile leggere l'esercizio " + tarn::quotedName(exercisePath) + ": " + reason);
        return std::nullopt;
    }
    if (text.size() > MAX_EXERCISE_BYTES) {
        tarn::printError("tarndbg: l'esercizio " + tarn::quotedName(exercisePath) + " supera il limite di " +
                         std::to_string(MAX_EXERCISE_BYTES) + " byte");
        return std::nullopt;
    }
    const ExerciseParse parse = parseExercise(text);
    if (!parse.exercise) {
        for (const std::string& line : formatExerciseErrors(tarn::visibleName(exercisePath), parse))
            tarn::printError(line);
        return std::nullopt;
    }
    if (const std::optional<std::string> refusal = caseRefusal(*parse.exercise, caseName, teacher)) {
        tarn::printError("tarndbg: " + *refusal);
        return std::nullopt;
    }
    return *parse.exercise->findCase(caseName);
}

int debug(int argc, char** argv) {
    if (tarn::asksForVersion(argc, argv)) return tarn::printStandardOutput("tarndbg", tarn::versionLine("tarndbg"));
    std::string path;
    bool havePath = false;
    bool operandsOnly = false;
    std::optional<std::string> inputPath;
    std::optional<std::string> exercisePath;
    std::optional<std::string> caseName;
    bool teacher = false;  // --docente: hidden cases open too
    // The options with a value: each once, its value separate or after '='.
    struct ValueOption {
        std::string_view name;
        std::optional<std::string>* target;
        const char* what;     // "un nome di file"
        const char* missing;  // "il file"
    };
    const ValueOption valueOptions[] = {
        {"--ingresso", &inputPath, "un nome di file", "il file"},
        {"--esercizio", &exercisePath, "un nome di file", "il file"},
        {"--caso", &caseName, "il nome di un caso", "il nome del caso"},
    };
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (!operandsOnly && argument == "--") {
            operandsOnly = true;
            continue;
        }
        const bool option = !operandsOnly && argument.size() > 1 && argument[0] == '-';
        if (option && (argument == "-h" || argument == "--help"))
            return tarn::printStandardOutput("tarndbg", HELP);
        if (option && argument == "--docente") {
            if (teacher) return usageError("--docente si può dare una volta sola");
            teacher = true;
            continue;
        }
        const ValueOption* valueOption = nullptr;
        for (const ValueOption& each : valueOptions)
            if (option && (argument == each.name ||
                           (argument.starts_with(each.name) && argument.substr(each.name.size()).starts_with('='))))
                valueOption = &each;
        if (valueOption != nullptr) {
            const std::string name(valueOption->name);
            std::optional<std::string>& target = *valueOption->target;
            if (target) return usageError(name + " si può dare una volta sola");
            const bool isCase = valueOption->target == &caseName;
            if (argument == valueOption->name) {
                if (index + 1 >= argc) return usageError("manca " + std::string(valueOption->missing) + " dopo " + name);
                const std::string_view value = argv[++index];
                // Most likely the value was forgotten and this is the next option.
                if (value.size() > 1 && value[0] == '-')
                    return usageError(tarn::optionLikeValueMessage(
                        name, valueOption->what, isCase ? "un caso" : "un file", value,
                        isCase ? name + "=" + std::string(value) : "./" + std::string(value)));
                target = std::string(value);
            } else {
                target = std::string(argument.substr(valueOption->name.size() + 1));
            }
            if (target->empty()) return usageError("manca " + std::string(valueOption->missing) + " dopo " + name);
            continue;
        }
        if (option) return unknownOption(argument);
        if (havePath)
            return usageError("un solo programma alla volta, ma c'è anche '" + tarn::visibleName(argument) + "'");
        path = argument;
        havePath = true;
    }
    if (!havePath || path.empty()) return usageError("manca il programma da eseguire");
    if (exercisePath && !caseName) return usageError("--esercizio vuole anche --caso, il caso da eseguire");
    if (caseName && !exercisePath) return usageError("--caso vuole anche --esercizio, il file dell'esercizio");
    if (caseName && inputPath)
        return usageError("--ingresso non si combina con --caso: l'ingresso è quello del caso");
    if (teacher && !caseName) return usageError("--docente vale solo con --esercizio e --caso, per un caso nascosto");

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
    if (exercisePath) {
        // The case's input, and its memory over the program's.
        const std::optional<tarn::grading::TestCase> testCase = readCase(*exercisePath, *caseName, teacher);
        if (!testCase) return 2;
        input = testCase->input;
        for (const tarn::grading::MemoryBytes& block : testCase->memory)
            for (std::size_t offset = 0; offset < block.bytes.size(); ++offset)
                program.place(static_cast<unsigned>(block.address + offset), block.bytes[offset]);
        program.name += ", caso " + tarn::quotedName(*caseName);
    }
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

int programMain(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    return tarn::runTool("tarndbg", debug, argc, argv);
}

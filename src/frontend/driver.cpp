// tarnsim: the command-line front end of the simulated machine.
#include "frontend/diagnostics.hpp"
#include "frontend/standard_console.hpp"
#include "machine/instruction_set.hpp"
#include "machine/machine_state.hpp"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

constexpr std::size_t BANNER_WIDTH = 75;

// A banner line: the text, padded with blanks to 74 characters, then the closing asterisk.
void addBoxed(std::string& out, std::string_view text) {
    const std::size_t start = out.size();
    out += text;
    out.resize(start + BANNER_WIDTH - 1, ' ');
    out += "*\n";
}

// The boxed banner, with an empty line before and after it.
std::string banner() {
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

// A standard stream that was closed when we started gets a harmless stand-in,
// so that no file opened later can take its number. A closed standard output
// gets one that refuses writes, which is then reported like any other failure.
void occupyClosedStandardStreams() {
    const int modes[] = {O_RDONLY, O_RDONLY, O_WRONLY};
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int standIn = ::open("/dev/null", modes[fd]);
        if (standIn >= 0 && standIn != fd) {
            ::dup2(standIn, fd);
            ::close(standIn);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    using tarnsim::diagnose;

    occupyClosedStandardStreams();
    // A reader that goes away is a write error like any other, not a signal.
    ::signal(SIGPIPE, SIG_IGN);

    tarnsim::StandardConsole console;
    console.writeOutput(banner());
    if (argc < 2) {
        console.writeOutput(" Numero di parametri insufficienti.\n"
                            " E' necesaria la seguente sintassi : tarnsim <programma> \n"
                            "\n");
        return console.outputFailed() ? 1 : 0;
    }

    const std::string path = argv[1];
    console.writeOutput(" Avvio della macchina virtuale simulata...\n");
    console.writeOutput(" Caricamento del programma (" + path + ") da eseguire... \n");

    // Every run starts from an all-zero machine: memory beyond the image is 0.
    tarn::MachineState state{};
    const tarn::LoadReport report = tarn::loadProgram(path, state);
    if (!report.opened)
        diagnose("impossibile aprire il programma '" + path + "': " + report.reason);
    else if (report.readFailed)
        diagnose("impossibile leggere il programma '" + path + "': " + report.reason);
    else if (report.truncated)
        diagnose("il programma '" + path + "' supera i 256 byte: caricati solo i primi 256");

    console.writeOutput(" Esecuzione del codice avviata... \n\n");
    tarn::runMachine(state, console);
    console.writeOutput("\n\n"
                        " La Macchina virtuale e' stata spenta con istruzione di RESET.\n"
                        " Per eseguire un altro programma riavvia la Macchina.\n"
                        "\n");
    // Output that never arrived is not a successful run.
    return console.outputFailed() ? 1 : 0;
}

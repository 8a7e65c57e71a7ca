#include "debugger/session_messages.hpp"

#include "debugger/proved_loop.hpp"
#include "debugger/wording.hpp"
#include "machine/loop_detection.hpp"
#include "text/numbers.hpp"

#include <cstddef>
#include <optional>
#include <vector>

namespace tarn::debugger {

std::string describeStop(const Session& session, const RunResult& result) {
    const Program& program = session.program();
    const MachineState& state = session.machine();
    const std::string next = instructionAt(program, state, state.PC);
    switch (result.reason) {
        case StopReason::None:
        case StopReason::Budget:
            return "In esecuzione: " + instructionCount(session.position()) + " eseguite finora.";
        case StopReason::Breakpoint:
            return "Punto di arresto: la prossima istruzione è " + next + ".";
        case StopReason::Watchpoint: {
            const Byte address = result.watched.value_or(0);
            const MachineState* before = session.previous();
            std::string text = "Il byte " + addressText(address) + " è cambiato";
            if (before)
                text += ": da " + byteText(before->M[address]) + " a " + byteText(state.M[address]) + ", per " +
                        instructionAt(program, *before, before->PC);
            return text + " al passo " + std::to_string(session.position()) + ".";
        }
        case StopReason::Warning: {
            const std::vector<Warning> warnings = session.warnings();
            return warnings.empty() ? std::string("Avviso.") : "Avviso: " + warnings.front().text;
        }
        case StopReason::Halted: {
            // A line whose instruction the program turned into 0 says so.
            const bool turned = program.lineAt(state.PC) && rewritten(program, ranInstruction(state, state.PC));
            return "La macchina si è fermata: codice operativo 0 all'indirizzo " + addressText(state.PC) +
                   lineNote(program, state.PC) + (turned ? " (" + std::string(REWRITTEN_NOTE) + ")" : "") + ", dopo " +
                   instructionCount(session.position()) + ".";
        }
        case StopReason::NeedsInput:
            return next + " aspetta una parola: scrivila e premi Invio.";
        case StopReason::Start:
            return "Sei all'inizio: prima di qui nessun punto di arresto, osservazione o avviso.";
        case StopReason::Interrupted:
            return "Ricerca all'indietro interrotta: la macchina resta dov'era.";
        case StopReason::EndlessLoop:
        case StopReason::LoopStart: {
            const std::optional<ProvedLoop>& loop = session.endlessLoop();
            if (!loop) return {};
            if (result.reason == StopReason::EndlessLoop) return describeEndlessLoopStop(program, *loop);
            const std::string rewrites = describeLoopRewrites(program, *loop);
            return "Sei dove comincia il " + describeEndlessLoop(loop->start, loop->length) + " (" +
                   describeLoopLines(program, *loop) + ")." + (rewrites.empty() ? "" : " " + rewrites);
        }
    }
    return {};
}

std::vector<std::int64_t> loopLineNumbers(const Session& session) {
    const std::optional<ProvedLoop>& loop = session.endlessLoop();
    if (!loop) return {};
    return loopLineNumbers(session.program(), *loop);
}

std::string describeLoopLines(const Session& session) {
    if (!session.endlessLoop()) return {};
    return describeLoopLines(session.program(), *session.endlessLoop());
}

std::string describeRewrittenNext(const Session& session) {
    const MachineState& state = session.machine();
    if (session.halted()) return {};
    const RanInstruction next = ranInstruction(state, state.PC);
    if (!rewritten(session.program(), next)) return {};
    return "La prossima istruzione, " + placeOf(session.program(), state.PC) + ", è " +
           rewrittenInstructionText(session.program(), next) + ".";
}

namespace {

// How many of the instructions whose writes into a byte pass are named.
constexpr std::size_t MOST_PASSING_WRITERS_NAMED = 3;

// " Le scritture della riga 17 (INC guarda+2) qui non fermano più il
// debugger.", for a byte of the program's instructions that instructions
// wrote up to here; empty for any other.
std::string passingWritesNote(const Session& session, Byte address) {
    const ByteSet writers = session.passingWritersOf(address);
    if (!writers.any()) return {};
    const Program& program = session.program();
    std::vector<std::string> named;
    writers.forEach([&](unsigned writer) {
        if (named.size() == MOST_PASSING_WRITERS_NAMED) return;
        const ProgramLine* line = program.lineAt(writer);
        named.push_back(line ? "della riga " + std::to_string(line->number) + " (" + trimmed(withoutComment(line->text)) + ")"
                             : "dell'istruzione all'indirizzo " + hexAddress(writer));
    });
    std::string text = " Le scritture ";
    for (std::size_t i = 0; i < named.size(); ++i)
        text += (i == 0 ? "" : i + 1 == named.size() && writers.count() == named.size() ? " e " : ", ") + named[i];
    if (const std::size_t others = writers.count() - named.size(); others > 0)
        text += " e di altre " + std::to_string(others) + (others == 1 ? " istruzione" : " istruzioni");
    return text + " qui non fermano più il debugger.";
}

// Who wrote the byte last, or where its value comes from.
std::string lastWriterText(const Session& session, Byte address) {
    const Program& program = session.program();
    const LastWrite write = session.lastWrite(address);
    std::string text = "Il byte " + addressText(address) + ", che vale " + byteText(session.machine().M[address]) + ",";
    if (write.step != 0) {
        text += " è stato scritto per ultimo dall'istruzione all'indirizzo " + hexAddress(write.address);
        const ProgramLine* line = program.lineAt(write.address);
        // The instruction as it ran then: its line tells nothing of it when the program had rewritten it.
        const RanInstruction ran = session.instructionOfStep(write.step);
        if (rewritten(program, ran))
            text += " (" + (line ? "riga " + std::to_string(line->number) + ": " : std::string()) +
                    rewrittenLineText(ran, line ? line->number : 0, labelEntries(program)) + ")";
        else if (line)
            text += " (riga " + std::to_string(line->number) + ": " + trimmed(withoutComment(line->text)) + ")";
        return text + ", al passo " + std::to_string(write.step) + ".";
    }
    if (program.placed[address])
        return text + " non è stato scritto da nessuna istruzione fin qui: il valore è stato posto in memoria prima "
                      "dell'esecuzione.";
    if (program.defined(address)) {
        text += " non è stato scritto da nessuna istruzione fin qui: il valore viene ";
        if (!program.fromSource) return text + "dall'immagine.";
        const ProgramLine* line = program.lineAt(address);
        return text + "dal sorgente" + (line ? " (riga " + std::to_string(line->number) + ")" : "") + ".";
    }
    return text + " non è mai stato scritto: né " + (program.fromSource ? "il sorgente" : "l'immagine") +
           " né alcuna istruzione fin qui gli hanno dato un valore.";
}

}  // namespace

std::string describeLastWrite(const Session& session, Byte address) {
    return lastWriterText(session, address) + passingWritesNote(session, address);
}

std::string describeStep(const Session& session, const RunResult& result) {
    if (result.reason == StopReason::Budget || result.reason == StopReason::None ||
        result.reason == StopReason::NeedsInput) {
        const std::string next = describeRewrittenNext(session);
        return "Eseguito il passo " + std::to_string(session.position()) + "." + (next.empty() ? "" : " " + next);
    }
    return describeStop(session, result);
}

std::string describeStepWhenHalted(const Session& session, const CommandNames& names) {
    return "La macchina è ferma (codice operativo 0 all'indirizzo " + addressText(session.machine().PC) +
           "): non c'è altro da eseguire. " + std::string(names.back) + " torna indietro, " +
           std::string(names.restart) + " all'inizio.";
}

std::string describeStepBack(const Session& session, bool wentBack) {
    if (!wentBack) return "Sei già all'inizio.";
    return "Un passo indietro: annullato il passo " + std::to_string(session.position() + 1) + ".";
}

std::string describeRestart() {
    return "Di nuovo all'inizio: la macchina è come appena caricata.";
}

std::string describeBreakpoint(const Session& session, Byte address) {
    if (!session.breakpoint(address))
        return "Punto di arresto tolto dall'indirizzo " + addressText(address) + lineNote(session.program(), address) + ".";
    return "Punto di arresto sull'indirizzo " + addressText(address) + lineNote(session.program(), address) + ".";
}

std::string describeWatch(const Session& session, Byte address, const CommandNames& names) {
    if (!session.watchpoint(address)) return "Non osservo più il byte " + addressText(address) + ".";
    return "Osservo il byte " + addressText(address) + ", che ora vale " + byteText(session.machine().M[address]) +
           ": " + std::string(names.forward) + " si fermerà quando cambia.";
}

std::string describeInterrupted(std::uint64_t steps) {
    return "Interrotto dopo " + instructionCount(steps) + ".";
}

}  // namespace tarn::debugger

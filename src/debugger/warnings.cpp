// The session's teaching warnings: what is wrong where the machine stands,
// found from the next instruction's plan, then put into words.
#include "debugger/session.hpp"

#include "debugger/instruction_plan.hpp"
#include "debugger/wording.hpp"
#include "machine/instruction_set.hpp"
#include "machine/io_unit.hpp"
#include "text/numbers.hpp"
#include "text/utf8.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarn::debugger {

namespace {

// "il byte 0x1F (31)", "i byte 0x1F (31) e altri 2".
std::string byteList(const ByteSet& bytes) {
    const std::string first = addressText(bytes.first());
    const std::size_t others = bytes.count() - 1;
    if (others == 1) return "i byte " + first + " e un altro";
    if (others > 1) return "i byte " + first + " e altri " + std::to_string(others);
    return "il byte " + first;
}

// The label that the instruction at pc writes to or prints from, starting
// at `from`: of several labels at that address, the one its source line
// names (which may own no bytes); else the label whose bytes these are.
const ProgramLabel* labelNamed(const Program& program, Byte pc, unsigned from) {
    const ProgramLabel* owner = program.labelAt(from);
    const ProgramLine* line = program.lineAt(pc);
    if (owner == nullptr || line == nullptr) return owner;
    const std::string_view text = withoutComment(line->text);
    const auto isNameCharacter = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    };
    for (const ProgramLabel& label : program.labels) {
        if (label.address != from || &label == owner) continue;
        for (std::size_t at = text.find(label.name); at != std::string_view::npos; at = text.find(label.name, at + 1)) {
            const std::size_t end = at + label.name.size();
            if ((at == 0 || !isNameCharacter(text[at - 1])) && (end == text.size() || !isNameCharacter(text[end])))
                return &label;
        }
    }
    return owner;
}

// A string of INP or WRT that runs on into another label's bytes.
struct Overflow {
    const ProgramLabel* own = nullptr;    // the label it starts at (nothing: none)
    bool ownHasNoBytes = false;           // own stands on a line of its own, before another label's data
    const ProgramLabel* other = nullptr;  // the label whose bytes it runs into
};

// Whether the string that the instruction at pc starts at `from`, over the
// bytes `taken`, runs past the data the source defined there into another
// label's bytes. Only a string that starts in data counts.
std::optional<Overflow> intoAnotherLabel(const Program& program, Byte pc, unsigned from, const ByteSet& taken) {
    if (from > 255 || program.roles[from] != CellRole::Data) return std::nullopt;
    Overflow overflow;
    overflow.own = labelNamed(program, pc, from);
    overflow.ownHasNoBytes = overflow.own != program.labelAt(from);
    taken.forEach([&](unsigned address) {
        if (overflow.other || address < from || program.roles[address] == CellRole::Undefined) return;
        const ProgramLabel* label = program.labelAt(address);
        if (label != nullptr && label != overflow.own) overflow.other = label;
    });
    if (overflow.other == nullptr) return std::nullopt;
    return overflow;
}

constexpr std::string_view REGISTER_NAMES[] = {"PC", "IR", "A", "B", "X"};

}  // namespace

// VAL or CPY with B = 0 sets D as a side effect; STD sets it on purpose.
bool Session::switchedOnTrace() const {
    return position_ > 0 && !(previous_.F & FLAG_D) && (state_.F & FLAG_D) && state_.IR != Op::Std;
}

// What is wrong where the machine stands, before it is put into words: the
// one place that says what each warning is about.
struct Session::Findings {
    bool switchedOnTrace = false;
    bool executesData = false;
    ByteSet undefinedReads;
    bool effectivePastMemory = false;
    bool stringPastMemory = false;
    ByteSet codeWrites;
    std::optional<Overflow> inputOverflow;   // INP would write another label's bytes
    std::optional<Overflow> stringOverflow;  // WRT would print another label's bytes

    bool any() const {
        return switchedOnTrace || executesData || undefinedReads.any() || effectivePastMemory || stringPastMemory ||
               codeWrites.any() || inputOverflow || stringOverflow;
    }
};

Session::Findings Session::findings(const InstructionPlan& plan) const {
    Findings found;
    found.switchedOnTrace = switchedOnTrace();
    if (halted()) return found;  // no next instruction
    found.executesData = program_.roles[state_.PC] == CellRole::Data;
    found.undefinedReads = plan.reads.without(valued_);
    found.effectivePastMemory = plan.usesEffective && plan.effective > 255;
    found.stringPastMemory = plan.stringPastMemory;
    // Code that rewrites itself on purpose is warned of once for each instruction.
    if (!codeWrites_.pass(state_.PC, position_)) found.codeWrites = plan.writes & code_;
    if (plan.uses & STORES_WORD_AT_A)
        found.inputOverflow = intoAnotherLabel(program_, state_.PC, plan.decoded.A, plan.string);
    if (plan.uses & PRINTS_FROM_A)
        found.stringOverflow = intoAnotherLabel(program_, state_.PC, plan.decoded.A, plan.string);
    return found;
}

bool Session::hasWarnings(const InstructionPlan& plan) const {
    return findings(plan).any();
}

std::vector<Warning> Session::warnings() const {
    std::vector<Warning> list;
    const InstructionPlan planned = plan();
    const Findings found = findings(planned);
    if (found.switchedOnTrace)
        list.push_back({WarningKind::SwitchedOnTrace,
                        instructionAt(program_, previous_, previous_.PC) +
                            " con B = 0 ha acceso il flag D: tarnsim da qui mostrerebbe la traccia a ogni istruzione."});
    const Byte pc = state_.PC;
    const std::string instruction = instructionAt(program_, state_, pc);
    if (found.executesData)
        list.push_back({WarningKind::ExecutesData, "La macchina sta per eseguire un dato: il byte " + addressText(pc) +
                                                       " è definito con DB" +
                                                       (program_.lineAt(pc) ? " alla riga " + std::to_string(program_.lineAt(pc)->number) : "") +
                                                       ", ma ora vale come " + std::string(mnemonicOf(state_.M[pc])) + "."});
    if (found.undefinedReads.any()) {
        const char* by = program_.fromSource ? "né il sorgente né il programma" : "né l'immagine né il programma";
        list.push_back({WarningKind::ReadsUndefined, instruction + " sta per leggere " + byteList(found.undefinedReads) +
                                                          ", a cui " + by + " hanno mai dato un valore."});
    }
    if (found.effectivePastMemory) {
        std::string text = "L'indirizzo effettivo di " + instruction + " è A + X = " + hexAddress(planned.decoded.A) +
                           " + " + hexAddress(planned.decoded.X) + " = " + addressText(planned.effective) +
                           ", oltre 0xFF (255): ";
        if (planned.effective <= 260)
            text += "tocca il registro " + std::string(REGISTER_NAMES[planned.effective - 256]) + ", non la memoria.";
        else
            text += "è fuori dalla macchina (si legge 0, non si scrive nulla).";
        list.push_back({WarningKind::AddressPastMemory, text});
    }
    if (found.stringPastMemory) {
        const bool prints = planned.uses & PRINTS_FROM_A;
        list.push_back({WarningKind::AddressPastMemory,
                        std::string(prints ? "La stringa di " : "La parola letta da ") + instruction +
                            " va oltre l'indirizzo 0xFF (255), nei registri PC, IR, A, B e X."});
    }
    const auto labelText = [](const ProgramLabel& label) {
        return label.name + " (riga " + std::to_string(label.line) + ", indirizzo " + hexAddress(label.address) + ")";
    };
    if (found.inputOverflow) {
        const Overflow& overflow = *found.inputOverflow;
        // The word as a person counts it, in characters; its bytes beside
        // them when they differ ("città": 5 characters, 6 bytes).
        const std::size_t bytes = planned.string.count();
        const std::size_t characters = characterCount(nextInputWord(pendingInput()).text.substr(0, bytes));
        std::string text = instruction + " sta per scrivere una parola di " + std::to_string(characters) +
                           (characters == 1 ? " carattere" : " caratteri") +
                           (bytes != characters ? " (" + std::to_string(bytes) + " byte)" : "") + " da " +
                           addressText(planned.decoded.A);
        if (overflow.ownHasNoBytes)
            text += ", ma l'etichetta " + overflow.own->name + " non ha byte suoi: scrive nei byte di " +
                    labelText(*overflow.other) + ".";
        else
            text += ": va oltre la fine dei dati di " + (overflow.own ? overflow.own->name : std::string("quel punto")) +
                    " e scrive nei byte di " + labelText(*overflow.other) + ".";
        list.push_back({WarningKind::InputOverflows, text});
    }
    if (found.stringOverflow) {
        const Overflow& overflow = *found.stringOverflow;
        std::string text = instruction + " sta per stampare la stringa di " +
                           (overflow.own ? overflow.own->name : std::string("quel punto")) + " da " +
                           addressText(planned.decoded.A);
        if (overflow.ownHasNoBytes)
            text += ", ma l'etichetta " + overflow.own->name + " non ha byte suoi: stamperebbe i byte di " +
                    labelText(*overflow.other) + ".";
        else
            text += ", ma nessuno 0 la chiude: andrebbe avanti nei byte di " + labelText(*overflow.other) + ".";
        list.push_back({WarningKind::StringOverflows, text});
    }
    if (found.codeWrites.any()) {
        const unsigned first = found.codeWrites.first();
        list.push_back({WarningKind::WritesCode,
                        instruction + " sta per scrivere nel byte " + addressText(first) + ", parte di un'istruzione" +
                            (program_.lineAt(first) ? " della riga " + std::to_string(program_.lineAt(first)->number) : "") +
                            ": è codice che modifica se stesso. La macchina lo permette: puoi proseguire, e le prossime "
                            "scritture di questa istruzione nel programma non fermeranno più il debugger."});
    }
    return list;
}

bool Session::inputBringsWarning() const {
    if (halted() || !(memoryUseByOpcode[state_.M[state_.PC]] & STORES_WORD_AT_A)) return false;
    // Only what depends on the word: the rest was said on arriving at the INP.
    const Findings found = findings(plan());
    return found.inputOverflow || found.stringPastMemory || found.codeWrites.any();
}

}  // namespace tarn::debugger

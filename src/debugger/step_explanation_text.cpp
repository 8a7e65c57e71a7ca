#include "debugger/step_explanation_text.hpp"

#include "assembly/instruction_forms.hpp"
#include "text/numbers.hpp"
#include "text/utf8.hpp"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarn::debugger {

namespace {

constexpr unsigned PC_ADDRESS = 256;
constexpr unsigned IR_ADDRESS = 257;
constexpr unsigned A_ADDRESS = 258;

// The five flags, in bit order, by letter.
constexpr struct {
    Byte bit;
    char letter;
} FLAGS[] = {{FLAG_D, 'D'}, {FLAG_Z, 'Z'}, {FLAG_O, 'O'}, {FLAG_P, 'P'}, {FLAG_N, 'N'}};
constexpr Byte EVERY_FLAG = FLAG_D | FLAG_Z | FLAG_O | FLAG_P | FLAG_N;

// "Z", "O e Z", "D, Z e P".
std::string letters(Byte flags) {
    std::vector<char> named;
    for (const auto& flag : FLAGS)
        if (flags & flag.bit) named.push_back(flag.letter);
    std::string text;
    for (std::size_t index = 0; index < named.size(); ++index) {
        if (index > 0) text += index + 1 == named.size() ? " e " : ", ";
        text += named[index];
    }
    return text;
}

bool single(Byte flags) {
    const unsigned bits = flags & EVERY_FLAG;
    return bits != 0 && (bits & (bits - 1)) == 0;
}

// "0x0A (Z e P)", "0x00 (nessun flag)".
std::string flagsText(Byte flags) {
    const std::string named = letters(flags);
    return hexAddress(flags) + " (" + (named.empty() ? "nessun flag" : named) + ")";
}

// A byte read with sign: "-100 (0x9C)".
std::string signedByte(int value) {
    return std::to_string(value) + " (" + hexAddress(static_cast<Byte>(value & 0xFF)) + ")";
}

// A number as the right operand of an operation: negative ones in brackets.
std::string operand(int value) {
    return value < 0 ? "(" + std::to_string(value) + ")" : std::to_string(value);
}

// Where a byte is read: "0x21 (33)"; "0x102 (258), il registro A"; "0x105
// (261), fuori dalla macchina, dove si legge 0".
std::string placeText(unsigned address) {
    const ByteLocation location = locationOf(address);
    if (location.kind == ByteLocation::Kind::Register)
        return addressText(address) + ", il registro " + std::string(registerName(location));
    if (location.kind == ByteLocation::Kind::Outside) return addressText(address) + ", fuori dalla macchina, dove si legge 0";
    return addressText(address);
}

// The unit that executes an instruction, with its article.
std::string_view unitPhrase(Unit unit) {
    switch (unit) {
        case Unit::Control: return "l'unità di controllo";
        case Unit::Arithmetic: return "l'unità aritmetica";
        case Unit::InputOutput: return "l'unità di ingresso/uscita";
        case Unit::None: break;
    }
    return "nessuna unità";
}

std::string bytes(std::size_t count) {
    return std::to_string(count) + " byte";
}

// The writes of a phase, in order.
std::vector<ByteAccess> writes(const std::vector<ByteAccess>& accesses) {
    std::vector<ByteAccess> found;
    for (const ByteAccess& access : accesses)
        if (access.write) found.push_back(access);
    return found;
}

// ------------------------------------------------------------------ fetch

std::string fetchText(const FetchPhase& fetch) {
    if (fetch.halts)
        return "PC vale " + addressText(fetch.pc) +
               ": il byte a quell'indirizzo è 0, il codice di RST. La macchina si ferma qui, senza prelevarlo: "
               "IR, A, B e PC restano come sono.";
    std::string text = "PC vale " + addressText(fetch.pc) + ": il byte a quell'indirizzo, " +
                       addressText(fetch.opcode) + ", è il codice operativo e va in IR. ";
    const char bits[] = {static_cast<char>('0' + (fetch.lengthBits >> 1)), static_cast<char>('0' + (fetch.lengthBits & 1)),
                         '\0'};
    text += "I suoi due bit alti sono " + std::string(bits) + ", cioè " + std::to_string(fetch.lengthBits) +
            ": l'istruzione è lunga " + std::to_string(fetch.lengthBits) + " + 1 = " + bytes(fetch.length) + ". ";

    // Past 255 an operand comes from a register: PC before it advances, IR
    // just written. An operand that is a value (VALOFFST's A, VAL's B) is
    // shown with its character; an address as a number only.
    const Instruction* instruction = findInstruction(fetch.opcode);
    std::vector<std::string> operands;
    for (const FetchedOperand& fetched : fetch.operands) {
        std::string from = "il byte all'indirizzo " + placeText(fetched.address);
        if (fetched.address == IR_ADDRESS) from += ", appena scritto";
        const bool value = instruction && !operandIsAddress(*instruction, static_cast<unsigned>(operands.size()));
        operands.push_back(from + ": " + (value ? byteText(fetched.value) : addressText(fetched.value)));
    }
    switch (fetch.length) {
        case 1: text += "Non ci sono operandi: A e B restano come sono. "; break;
        case 2: text += "A riceve " + operands.at(0) + "; B resta com'è. "; break;
        case 3: text += "A riceve " + operands.at(0) + "; B riceve " + operands.at(1) + ". "; break;
        default: text += "I tre byte che seguono sono saltati: A e B restano come sono. "; break;
    }
    text += "PC avanza di " + std::to_string(fetch.length);
    if (fetch.wraps)
        text += ": " + std::to_string(fetch.pc) + " + " + std::to_string(fetch.length) + " = " +
                std::to_string(fetch.pc + fetch.length) + " supera 255, e PC ricomincia da 0";
    return text + ": diventa " + addressText(fetch.nextPc) + ".";
}

// ----------------------------------------------------------------- decode

std::string decodeText(const FetchPhase& fetch, const DecodePhase& decode) {
    const std::string code = "Il codice operativo " + addressText(fetch.opcode);
    if (fetch.halts) return code + " è RST, che ferma la macchina e non viene mai eseguita.";
    if (!decode.assigned)
        return code + " non è nella tabella delle istruzioni: è un'istruzione valida di " + bytes(decode.length) +
               " che nessuna unità esegue, e non fa nulla. La traccia la chiama NOP.";
    return code + " è " + std::string(decode.mnemonic) + ", un'istruzione di " + bytes(decode.length) +
           " che esegue " + std::string(unitPhrase(decode.unit)) + ". " + std::string(decode.mnemonic) + " " +
           std::string(decode.meaning) + ".";
}

// ---------------------------------------------------------------- execute

// "Indirizzo effettivo: A + X = 0x1F + 0x02 = 0x21 (33)." and what lies there
// when it is past memory.
std::string effectiveText(const EffectiveAddress& effective) {
    std::string text = "Indirizzo effettivo: A + X = " + hexAddress(effective.a) + " + " + hexAddress(effective.x) +
                       " = " + addressText(effective.address);
    const ByteLocation location = locationOf(effective.address);
    if (location.kind == ByteLocation::Kind::Register)
        return text + ": oltre la memoria, è il registro " + std::string(registerName(location)) + ". ";
    if (location.kind == ByteLocation::Kind::Outside)
        return text + ": oltre il registro X, fuori dalla macchina, dove si legge 0 e una scrittura si perde. ";
    return text + ". ";
}

// Where a write went, and what was there: "in 0x21 (33), che valeva 0x64
// (100)", "nel registro A, che valeva ...", "in 0x105 (261), fuori dalla
// macchina, dove la scrittura si perde".
std::string writtenAt(const ByteAccess& write, bool withSign) {
    const std::string before = withSign ? signedByte(static_cast<std::int8_t>(write.before)) : byteText(write.before);
    if (write.location.kind == ByteLocation::Kind::Outside)
        return "in " + addressText(write.location.address) + ", fuori dalla macchina, dove la scrittura si perde";
    if (write.location.kind == ByteLocation::Kind::Register)
        return "nel registro " + std::string(registerName(write.location)) + ", che valeva " + before;
    return "in " + addressText(write.location.address) + ", che valeva " + before;
}

// A write into PC chooses the next instruction.
std::string pcNote(const std::vector<ByteAccess>& written) {
    for (auto access = written.rbegin(); access != written.rend(); ++access)
        if (access->location.kind == ByteLocation::Kind::Register && access->location.address == PC_ADDRESS)
            return " Scrivere nel registro PC cambia la prossima istruzione: sarà quella all'indirizzo " +
                   addressText(access->value) + ".";
    return {};
}

// How F ends: what changed, and which flags stay set from before.
std::string flagsSentence(const ExecutePhase& execute) {
    std::string text = execute.flagsAfter == execute.flagsBefore
                           ? "F resta " + flagsText(execute.flagsAfter) + "."
                           : "F passa da " + flagsText(execute.flagsBefore) + " a " + flagsText(execute.flagsAfter) + ".";
    const Byte kept = execute.flagsBefore & EVERY_FLAG;
    if (kept != 0)
        text += std::string(" ") + (single(kept) ? "Il flag " + letters(kept) + " era già acceso e resta acceso"
                                                 : "I flag " + letters(kept) + " erano già accesi e restano accesi") +
                ": solo le istruzioni CLx spengono i flag.";
    return text;
}

std::string resultFlagText(int result) {
    if (result == 0) return "Il risultato è 0: accende Z. ";
    return result > 0 ? "Il risultato è positivo: accende P. " : "Il risultato è negativo: accende N. ";
}

std::string arithmeticText(Op op, const ExecutePhase& execute) {
    const Calculation& c = execute.calculation;
    const bool oneOperand = op == Op::Inc || op == Op::Dec;
    const bool checksBelow = op == Op::Sub || op == Op::Dec;  // the others catch only results above 127
    std::string text = effectiveText(*execute.effective) + "Legge con segno il byte in A + X, " + signedByte(c.left);
    if (!oneOperand) text += ", e quello all'indirizzo B = " + addressText(execute.b) + ", " + signedByte(c.right);
    const char* symbol = op == Op::Mul ? " × " : checksBelow ? " - " : " + ";
    text += ". " + std::to_string(c.left) + symbol + operand(c.right) + " = " + std::to_string(c.exact);
    const std::string mnemonic(findInstruction(op)->mnemonic);
    if (c.overflow)
        text += std::string(checksBelow ? " è sotto -128" : " supera 127") +
                ": è un overflow, che accende O, e il risultato è 0. ";
    else if (c.exact > 127 || c.exact < -128)
        text += (checksBelow ? " supera 127, ma " + mnemonic + " controlla solo i risultati sotto -128"
                             : " è sotto -128, ma " + mnemonic + " controlla solo i risultati oltre 127") +
                ": nessun overflow, e ridotto a un byte il risultato è " + std::to_string(c.result) + ". ";
    else
        text += ". ";
    const std::vector<ByteAccess> written = writes(execute.accesses);
    text += "Scrive " + signedByte(c.result) + " " + writtenAt(written.at(0), true) + "." + pcNote(written) + " ";
    return text + resultFlagText(c.result) + flagsSentence(execute);
}

std::string divideText(const ExecutePhase& execute) {
    const Calculation& c = execute.calculation;
    if (c.byZero)
        return "Il divisore, il byte all'indirizzo B = " + addressText(execute.b) +
               ", è 0: la divisione per zero non fa nulla, né alla memoria né ai flag.";
    const std::vector<ByteAccess> written = writes(execute.accesses);
    std::string text = effectiveText(*execute.effective) + "Divide con segno il byte in A + X, " +
                       signedByte(c.left) + ", per quello all'indirizzo B = " + addressText(execute.b) + ", " +
                       signedByte(c.right) + ": " + std::to_string(c.left) + " / " + operand(c.right) + " = " +
                       std::to_string(c.exact) + " con resto " + std::to_string(c.remainder) +
                       " (il quoziente è troncato verso 0, il resto ha il segno del dividendo). ";
    if (c.exact != c.result) text += std::to_string(c.exact) + " ridotto a un byte è " + std::to_string(c.result) + ". ";
    text += "Scrive il quoziente " + signedByte(c.result) + " " + writtenAt(written.at(0), true) + "; poi il resto " +
            signedByte(c.remainder) + " all'indirizzo B";
    text += execute.secondB != execute.b ? ", ma la prima scrittura ha cambiato B, e il resto va " : ", ";
    text += writtenAt(written.at(1), true) + ".";
    if (written.at(0).location.address == written.at(1).location.address)
        text += " Le due scritture vanno allo stesso byte: resta il resto.";
    return text + pcNote(written) + " " + resultFlagText(c.result) + flagsSentence(execute);
}

std::string compareText(const ExecutePhase& execute) {
    const Calculation& c = execute.calculation;
    std::string text = effectiveText(*execute.effective) + "Confronta senza segno il byte in A + X, " +
                       addressText(static_cast<unsigned>(c.left)) + ", con quello all'indirizzo B = " +
                       addressText(execute.b) + ", " + addressText(static_cast<unsigned>(c.right)) + ": ";
    if (c.exact == 0)
        text += "sono uguali, e accende Z. ";
    else
        text += std::to_string(c.left) + (c.exact > 0 ? " è maggiore di " : " è minore di ") +
                std::to_string(c.right) + (c.exact > 0 ? ", e accende P. " : ", e accende N. ");
    return text + "La memoria non cambia. " + flagsSentence(execute);
}

// CPY and VAL flag by B: 0 sets D, the tracer's flag, not Z.
std::string flagByBText(std::string_view mnemonic, Byte b, const ExecutePhase& execute) {
    if (b == 0)
        return "B vale 0: " + std::string(mnemonic) +
               " accende il flag D, non Z. D è il flag della traccia: da qui tarnsim mostra la traccia prima di ogni "
               "istruzione. " + flagsSentence(execute);
    return "B non è 0: " + std::string(mnemonic) + " accende il flag P" +
           (mnemonic == "VAL" && b >= 128 ? ", anche se B letto con segno è negativo" : std::string()) + ". " +
           flagsSentence(execute);
}

std::string exchangeText(const ExecutePhase& execute) {
    const std::vector<ByteAccess> written = writes(execute.accesses);
    const ByteAccess& first = written.at(0);
    const ByteAccess& second = written.at(1);
    std::string text = effectiveText(*execute.effective) + "CPY scambia il byte in A + X, " +
                       byteText(first.before) + ", con quello all'indirizzo B = " + addressText(execute.b) + ", " +
                       byteText(first.value) + ": scrive " + byteText(first.value) + " " + writtenAt(first, false) +
                       "; poi " + byteText(second.value);
    if (execute.secondB != execute.b) text += ", all'indirizzo B, che la prima scrittura ha cambiato,";
    text += " " + writtenAt(second, false) + ".";
    if (first.location.address == second.location.address) text += " A + X e B sono lo stesso byte, che non cambia.";
    return text + pcNote(written) + " " + flagByBText("CPY", execute.secondB, execute);
}

std::string storeText(const ExecutePhase& execute) {
    const std::vector<ByteAccess> written = writes(execute.accesses);
    return effectiveText(*execute.effective) + "VAL scrive il valore B, " + byteText(execute.b) + ", " +
           writtenAt(written.at(0), false) + "." + pcNote(written) + " " +
           flagByBText("VAL", execute.b, execute);
}

std::string jumpText(Op op, const FetchPhase& fetch, const ExecutePhase& execute) {
    const JumpDecision& jump = execute.jump;
    std::string text;
    if (op == Op::Jmp) {
        text = "JMP salta sempre: PC diventa A, " + addressText(jump.target) + ". ";
    } else {
        const std::string flag = letters(execute.flag);
        text = std::string(findInstruction(op)->mnemonic) + " salta se il flag " + flag +
               " è acceso. F vale " + flagsText(execute.flagsBefore) + ": ";
        if (jump.taken)
            text += flag + " è acceso, il salto avviene e PC diventa A, " + addressText(jump.target) + ". " + flag +
                    " resta acceso finché un CL" + flag + " non lo spegne. ";
        else
            text += flag + " è spento, il salto non avviene e PC resta " + addressText(fetch.nextPc) +
                    ", l'istruzione che segue. ";
        if (op == Op::Jpo || op == Op::Jpz)
            text += "Attenzione all'ordine: JPO (66) controlla O, il bit 0x04, e JPZ (67) controlla Z, il bit 0x02. ";
    }
    if (execute.x != 0) text += "Il salto è assoluto: X, che vale " + addressText(execute.x) + ", non conta.";
    return text;
}

std::string offsetText(Op op, const ExecutePhase& execute) {
    const ByteAccess written = writes(execute.accesses).at(0);
    std::string text = (op == Op::ValOffst ? "X riceve il valore A: passa da " : "X passa da ") +
                       addressText(written.before) + " a " + addressText(written.value);
    if (op == Op::IncOffst && written.value == 0) text += ": dopo 255 ricomincia da 0";
    if (op == Op::DecOffst && written.value == 255) text += ": prima di 0 ricomincia da 255";
    return text + ". I flag non cambiano.";
}

std::string setFlagText(Op op, const ExecutePhase& execute) {
    const std::string flag = letters(execute.flagsRaised);
    std::string text = (execute.flagsBefore & execute.flagsRaised)
                           ? "Il flag " + flag + " era già acceso e resta acceso: F resta " +
                                 flagsText(execute.flagsAfter) + "."
                           : "Accende il flag " + flag + ": F passa da " + flagsText(execute.flagsBefore) + " a " +
                                 flagsText(execute.flagsAfter) + ".";
    if (op == Op::Std) text += " D è il flag della traccia: da qui tarnsim la mostra prima di ogni istruzione.";
    return text;
}

std::string clearFlagText(const ExecutePhase& execute, Byte flag) {
    const std::string change = execute.flagsAfter == execute.flagsBefore
                                   ? "F resta " + flagsText(execute.flagsAfter) + "."
                                   : "F passa da " + flagsText(execute.flagsBefore) + " a " +
                                         flagsText(execute.flagsAfter) + ".";
    std::string text = (execute.flagsCleared & flag) ? "Spegne il flag " + letters(flag) + ": " + change
                                                     : "Il flag " + letters(flag) + " era già spento: " + change;
    if (execute.flagsCleared & ~EVERY_FLAG) text += " Spegne anche i bit da 0x20 in su, che nessuna istruzione accende.";
    return text;
}

// A byte of a word: 'c' when it prints, else as a number.
std::string characterText(Byte value) {
    if (value < 32 || value >= 127) return byteText(value);
    return value == '\'' || value == '\\' ? std::string("'\\") + static_cast<char>(value) + "'"
                                          : std::string("'") + static_cast<char>(value) + "'";
}

// Where one byte of a word lands.
std::string landingPlace(const ByteLocation& location) {
    switch (location.kind) {
        case ByteLocation::Kind::Register: return "nel registro " + std::string(registerName(location));
        case ByteLocation::Kind::Outside: return "in " + addressText(location.address) + ", fuori dalla macchina, perso";
        case ByteLocation::Kind::Memory:
        case ByteLocation::Kind::Flags: break;
    }
    return "in " + addressText(location.address);
}

// Where a word's bytes land: each named when the word is short; else runs
// of consecutive addresses in memory or outside the machine, and each byte
// that lands in a register.
std::string landingText(const std::vector<ByteAccess>& written) {
    constexpr std::size_t NAMED = 8;
    std::vector<std::string> parts;
    for (std::size_t start = 0, end = 0; start < written.size(); start = end) {
        const ByteLocation& first = written[start].location;
        end = start + 1;
        if (written.size() <= NAMED || first.kind == ByteLocation::Kind::Register) {
            parts.push_back(characterText(written[start].value) + " " + landingPlace(first));
            continue;
        }
        while (end < written.size() && written[end].location.kind == first.kind &&
               written[end].location.address == written[end - 1].location.address + 1)
            ++end;
        const unsigned last = written[end - 1].location.address;
        std::string part = end - start == 1 ? "1 byte in " + addressText(first.address)
                                            : std::to_string(end - start) + " byte da " + addressText(first.address) +
                                                  " a " + addressText(last);
        if (first.kind == ByteLocation::Kind::Outside) part += ", fuori dalla macchina, persi";
        parts.push_back(part);
    }
    std::string text;
    for (std::size_t index = 0; index < parts.size(); ++index) {
        if (index > 0) text += index + 1 == parts.size() ? " e " : ", ";
        text += parts[index];
    }
    return text;
}

std::string inputText(const ExecutePhase& execute) {
    const TakenWord& word = execute.word;
    if (!word.found) return "L'ingresso è finito: non c'è nessuna parola da leggere, e la memoria non cambia.";
    const std::vector<ByteAccess> written = writes(execute.accesses);
    std::string text = "Legge dall'ingresso la parola «" + visibleName(word.text, Platform::Posix) +
                       (word.length > word.text.size() ? "…" : "") + "» (" + bytes(word.length) + ")";
    if (word.taken > word.length) text += ", dopo gli spazi che la precedono";
    text += ". I suoi byte vanno dall'indirizzo A = " + addressText(execute.a) + " in poi, senza X";
    if (written.empty()) return text + ", ma il primo è 0, che ferma la copia: la memoria non cambia.";
    text += ": " + landingText(written) + ".";
    for (std::size_t index = 0; index + 1 < written.size(); ++index)
        if (written[index].location.kind == ByteLocation::Kind::Register && written[index].location.address == A_ADDRESS) {
            text += " Scrivere nel registro A cambia A: INP rilegge A per ogni byte, e il byte in posizione i della "
                    "parola (contando da 0) va in A + i, con il nuovo A.";
            break;
        }
    if (word.cutByZero)
        return text + " Un byte 0 nella parola ferma la copia: i byte che seguono non vengono scritti." + pcNote(written);
    if (word.length > word.copied)
        text += " Solo i primi " + std::to_string(word.copied) + " byte possono essere scritti: gli altri si perdono.";
    const unsigned after = written.back().location.address + 1;
    bool rewritten = false;  // by this INP, when the word changed A and came back
    for (const ByteAccess& access : written) rewritten = rewritten || access.location.address == after;
    if (after < 256 && !rewritten)
        text += " Dopo la parola INP non scrive nessuno 0: il byte all'indirizzo " + addressText(after) + " resta com'è.";
    return text + pcNote(written);
}

std::string outputText(const ExecutePhase& execute) {
    if (execute.output.empty())
        return "Il byte all'indirizzo A = " + addressText(execute.a) + " è 0: WRT non stampa nulla.";
    const unsigned zero = execute.a + static_cast<unsigned>(execute.output.size());
    std::string text = "WRT stampa i byte dall'indirizzo A = " + addressText(execute.a) +
                       ", senza X, fino al primo 0, che trova all'indirizzo " + placeText(zero) + ": «" +
                       visibleName(execute.output, Platform::Posix) + "» (" + bytes(execute.output.size()) + ").";
    if (zero > 256) text += " La stringa va oltre l'indirizzo 255 e continua nei registri.";
    return text + " Non aggiunge nessun a capo.";
}

std::string executeText(const StepExplanation& explanation) {
    const FetchPhase& fetch = explanation.fetch;
    const ExecutePhase& execute = explanation.execute;
    const Op op = static_cast<Op>(fetch.opcode);
    switch (execute.action) {
        case StepAction::Halt:
            return "Nessuna: RST non viene eseguita. La macchina resta ferma con PC = " + addressText(fetch.pc) +
                   ", e il programma è finito.";
        case StepAction::Nothing:
            if (!explanation.decode.assigned)
                return "Nessuna unità la esegue: non cambia nulla oltre a quello che ha fatto il prelievo. La prossima "
                       "istruzione è all'indirizzo " + addressText(fetch.nextPc) + ".";
            return "NOP non fa nulla: la prossima istruzione è all'indirizzo " + addressText(fetch.nextPc) + ".";
        case StepAction::SetFlag: return setFlagText(op, execute);
        case StepAction::ClearFlag: return clearFlagText(execute, execute.flag);
        case StepAction::Jump: return jumpText(op, fetch, execute);
        case StepAction::SetOffset: return offsetText(op, execute);
        case StepAction::Arithmetic: return arithmeticText(op, execute);
        case StepAction::Divide: return divideText(execute);
        case StepAction::Compare: return compareText(execute);
        case StepAction::Exchange: return exchangeText(execute);
        case StepAction::Store: return storeText(execute);
        case StepAction::Input: return inputText(execute);
        case StepAction::Output: return outputText(execute);
    }
    return {};
}

}  // namespace

std::string_view phaseTitle(StepPhase phase) {
    switch (phase) {
        case StepPhase::Fetch: return "Prelievo";
        case StepPhase::Decode: return "Decodifica";
        case StepPhase::Execute: break;
    }
    return "Esecuzione";
}

std::string phaseText(const StepExplanation& explanation, StepPhase phase) {
    std::string text;
    switch (phase) {
        case StepPhase::Fetch: text = fetchText(explanation.fetch); break;
        case StepPhase::Decode: text = decodeText(explanation.fetch, explanation.decode); break;
        case StepPhase::Execute: text = executeText(explanation); break;
    }
    // Sentences are written each with the blank that follows it.
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::array<PhaseText, 3> explanationText(const StepExplanation& explanation) {
    std::array<PhaseText, 3> phases;
    for (const StepPhase phase : {StepPhase::Fetch, StepPhase::Decode, StepPhase::Execute})
        phases[static_cast<std::size_t>(phase)] = {phase, phaseTitle(phase), phaseText(explanation, phase)};
    return phases;
}

}  // namespace tarn::debugger

// The explanation of a step in Italian: whole texts for well-chosen
// instructions, and a text for every opcode in any state.
#include "debugger/step_explanation_text.hpp"

#include "support/random_machines.hpp"
#include "text/utf8.hpp"

#include <gtest/gtest.h>

#include <string>

namespace tarn::debugger {
namespace {

// The three phases, each on a line under its title.
std::string wholeText(const MachineState& state, std::string_view input = {}) {
    std::string text;
    for (const PhaseText& phase : explanationText(explainStep(state, input)))
        text += std::string(phase.title) + ": " + phase.text + "\n";
    return text;
}

// A machine with `bytes` from address `pc`, which PC points at.
MachineState machineAt(Byte pc, std::initializer_list<Byte> bytes) {
    MachineState state{};
    state.PC = pc;
    for (const Byte byte : bytes) state.M[pc++] = byte;
    return state;
}

TEST(StepExplanationText, TellsEachPhaseWithTheStepsOwnValues) {
    MachineState jumpTaken = machineAt(0x0A, {opcodeOf(Op::Jpz), 0x20});
    jumpTaken.F = FLAG_Z | FLAG_P;
    jumpTaken.X = 2;
    MachineState jumpNotTaken = machineAt(0x0A, {opcodeOf(Op::Jpo), 0x20});
    jumpNotTaken.F = FLAG_Z;
    MachineState overflow = machineAt(0x05, {opcodeOf(Op::Add), 0x1F, 0x20});
    overflow.X = 2;
    overflow.M[0x21] = 100;
    overflow.M[0x20] = 28;
    overflow.F = FLAG_Z;
    MachineState copyWithZero = machineAt(0x10, {opcodeOf(Op::Cpy), 0x30, 0});
    copyWithZero.M[0x30] = 5;
    copyWithZero.M[0] = opcodeOf(Op::Val);
    copyWithZero.F = FLAG_P;
    MachineState input = machineAt(0, {opcodeOf(Op::Inp), 100});
    input.X = 7;
    MachineState intoA = machineAt(0x20, {opcodeOf(Op::Val), 0xFA, '*'});
    intoA.X = 8;
    intoA.F = FLAG_N;

    const struct {
        const char* what;
        MachineState state;
        const char* input;
        const char* text;
    } cases[] = {
        {"a jump taken", jumpTaken, "",
         "Prelievo: PC vale 0x0A (10): il byte a quell'indirizzo, 0x43 (67), è il codice operativo e va in IR. I suoi "
         "due bit alti sono 01, cioè 1: l'istruzione è lunga 1 + 1 = 2 byte. A riceve il byte all'indirizzo 0x0B "
         "(11): 0x20 (32); B resta com'è. PC avanza di 2: diventa 0x0C (12).\n"
         "Decodifica: Il codice operativo 0x43 (67) è JPZ, un'istruzione di 2 byte che esegue l'unità di controllo. "
         "JPZ salta all'indirizzo A se il flag Z è acceso.\n"
         "Esecuzione: JPZ salta se il flag Z è acceso. F vale 0x0A (Z e P): Z è acceso, il salto avviene e PC diventa "
         "A, 0x20 (32). Z resta acceso finché un CLZ non lo spegne. Attenzione all'ordine: JPO (66) controlla O, il "
         "bit 0x04, e JPZ (67) controlla Z, il bit 0x02. Il salto è assoluto: X, che vale 0x02 (2), non conta.\n"},
        {"a jump not taken", jumpNotTaken, "",
         "Prelievo: PC vale 0x0A (10): il byte a quell'indirizzo, 0x42 (66), è il codice operativo e va in IR. I suoi "
         "due bit alti sono 01, cioè 1: l'istruzione è lunga 1 + 1 = 2 byte. A riceve il byte all'indirizzo 0x0B "
         "(11): 0x20 (32); B resta com'è. PC avanza di 2: diventa 0x0C (12).\n"
         "Decodifica: Il codice operativo 0x42 (66) è JPO, un'istruzione di 2 byte che esegue l'unità di controllo. "
         "JPO salta all'indirizzo A se il flag O è acceso.\n"
         "Esecuzione: JPO salta se il flag O è acceso. F vale 0x02 (Z): O è spento, il salto non avviene e PC resta "
         "0x0C (12), l'istruzione che segue. Attenzione all'ordine: JPO (66) controlla O, il bit 0x04, e JPZ (67) "
         "controlla Z, il bit 0x02.\n"},
        {"ADD with overflow", overflow, "",
         "Prelievo: PC vale 0x05 (5): il byte a quell'indirizzo, 0x81 (129), è il codice operativo e va in IR. I suoi "
         "due bit alti sono 10, cioè 2: l'istruzione è lunga 2 + 1 = 3 byte. A riceve il byte all'indirizzo 0x06 "
         "(6): 0x1F (31); B riceve il byte all'indirizzo 0x07 (7): 0x20 (32). PC avanza di 3: diventa 0x08 (8).\n"
         "Decodifica: Il codice operativo 0x81 (129) è ADD, un'istruzione di 3 byte che esegue l'unità aritmetica. ADD "
         "somma al byte all'indirizzo A + X quello all'indirizzo B, con segno (oltre 127 accende O e scrive 0); "
         "accende Z, P o N.\n"
         "Esecuzione: Indirizzo effettivo: A + X = 0x1F + 0x02 = 0x21 (33). Legge con segno il byte in A + X, 100 "
         "(0x64), e quello all'indirizzo B = 0x20 (32), 28 (0x1C). 100 + 28 = 128 supera 127: è un overflow, che "
         "accende O, e il risultato è 0. Scrive 0 (0x00) in 0x21 (33), che valeva 100 (0x64). Il risultato è 0: "
         "accende Z. F passa da 0x02 (Z) a 0x06 (Z e O). Il flag Z era già acceso e resta acceso: solo le istruzioni "
         "CLx spengono i flag.\n"},
        {"CPY with B = 0", copyWithZero, "",
         "Prelievo: PC vale 0x10 (16): il byte a quell'indirizzo, 0x85 (133), è il codice operativo e va in IR. I suoi "
         "due bit alti sono 10, cioè 2: l'istruzione è lunga 2 + 1 = 3 byte. A riceve il byte all'indirizzo 0x11 "
         "(17): 0x30 (48); B riceve il byte all'indirizzo 0x12 (18): 0x00 (0). PC avanza di 3: diventa 0x13 (19).\n"
         "Decodifica: Il codice operativo 0x85 (133) è CPY, un'istruzione di 3 byte che esegue l'unità di controllo. "
         "CPY scambia il byte all'indirizzo A + X con quello all'indirizzo B; poi accende D se B vale 0, altrimenti "
         "P.\n"
         "Esecuzione: Indirizzo effettivo: A + X = 0x30 + 0x00 = 0x30 (48). CPY scambia il byte in A + X, 0x05 (5), "
         "con quello all'indirizzo B = 0x00 (0), 0x86 (134): scrive 0x86 (134) in 0x30 (48), che valeva 0x05 (5); poi "
         "0x05 (5) in 0x00 (0), che valeva 0x86 (134). B vale 0: CPY accende il flag D, non Z. D è il flag della "
         "traccia: da qui tarnsim mostra la traccia prima di ogni istruzione. F passa da 0x08 (P) a 0x09 (D e P). Il "
         "flag P era già acceso e resta acceso: solo le istruzioni CLx spengono i flag.\n"},
        {"INP", input, "  ciao mondo\n",
         "Prelievo: PC vale 0x00 (0): il byte a quell'indirizzo, 0x46 (70), è il codice operativo e va in IR. I suoi "
         "due bit alti sono 01, cioè 1: l'istruzione è lunga 1 + 1 = 2 byte. A riceve il byte all'indirizzo 0x01 "
         "(1): 0x64 (100); B resta com'è. PC avanza di 2: diventa 0x02 (2).\n"
         "Decodifica: Il codice operativo 0x46 (70) è INP, un'istruzione di 2 byte che esegue l'unità di "
         "ingresso/uscita. INP legge una parola e ne scrive i caratteri dall'indirizzo A in poi, senza X e senza "
         "aggiungere uno 0.\n"
         "Esecuzione: Legge dall'ingresso la parola «ciao» (4 byte), dopo gli spazi che la precedono. I suoi byte "
         "vanno dall'indirizzo A = 0x64 (100) in poi, senza X: 'c' in 0x64 (100), 'i' in 0x65 (101), 'a' in 0x66 "
         "(102) e 'o' in 0x67 (103). Dopo la parola INP non scrive nessuno 0: il byte all'indirizzo 0x68 (104) resta "
         "com'è.\n"},
        {"an effective address of 258", intoA, "",
         "Prelievo: PC vale 0x20 (32): il byte a quell'indirizzo, 0x86 (134), è il codice operativo e va in IR. I suoi "
         "due bit alti sono 10, cioè 2: l'istruzione è lunga 2 + 1 = 3 byte. A riceve il byte all'indirizzo 0x21 "
         "(33): 0xFA (250); B riceve il byte all'indirizzo 0x22 (34): 0x2A (42, '*'). PC avanza di 3: diventa 0x23 "
         "(35).\n"
         "Decodifica: Il codice operativo 0x86 (134) è VAL, un'istruzione di 3 byte che esegue l'unità di controllo. "
         "VAL scrive il valore B nel byte all'indirizzo A + X; poi accende D se B vale 0, altrimenti P.\n"
         "Esecuzione: Indirizzo effettivo: A + X = 0xFA + 0x08 = 0x102 (258): oltre la memoria, è il registro A. VAL "
         "scrive il valore B, 0x2A (42, '*'), nel registro A, che valeva 0xFA (250). B non è 0: VAL accende il flag "
         "P. F passa da 0x10 (N) a 0x18 (P e N). Il flag N era già acceso e resta acceso: solo le istruzioni CLx "
         "spengono i flag.\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.text, wholeText(c.state, c.input)) << c.what;
}

// Every opcode in any state has a text for each phase: valid UTF-8 whatever
// bytes the word or the output hold, sentences ended and single-spaced.
TEST(StepExplanationText, EveryOpcodeInAnyStateHasWellFormedSentences) {
    tarntest::RandomMachines machines(32);
    for (unsigned opcode = 0; opcode < 256; ++opcode) {
        for (int round = 0; round < 20; ++round) {
            const MachineState state = machines.about(static_cast<Byte>(opcode));
            const std::string input = machines.input();
            for (const PhaseText& phase : explanationText(explainStep(state, input))) {
                const std::string what = "opcode " + std::to_string(opcode) + ", round " + std::to_string(round) +
                                         ", " + std::string(phase.title) + ": " + phase.text;
                ASSERT_FALSE(phase.text.empty()) << what;
                EXPECT_EQ('.', phase.text.back()) << what;
                EXPECT_EQ(std::string::npos, phase.text.find("  ")) << what;
                EXPECT_EQ(std::string::npos, phase.text.find(" .")) << what;
                for (std::size_t at = 0; at < phase.text.size(); at += utf8At(phase.text, at).length)
                    ASSERT_NE(0u, utf8At(phase.text, at).length) << what;
            }
        }
    }
}

}  // namespace
}  // namespace tarn::debugger

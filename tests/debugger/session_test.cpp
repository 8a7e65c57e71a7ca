// The debugger's logic without a terminal: going back is exact, runs stop
// where they should in both directions, last writers and warnings.
#include "machine/console.hpp"
#include "machine/instruction_set.hpp"
#include "debugger/session.hpp"
#include "debugger/session_messages.hpp"
#include "debugger/wording.hpp"
#include "support/debugger_program.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace tarn::debugger {
namespace {

using tarntest::sourceProgram;

// Where a plain run of the machine stands after `steps` instructions.
struct Reference {
    MachineState state{};
    std::string output;
    std::size_t inputTaken = 0;
};

Reference referenceAfter(const Program& program, const std::string& input, std::uint64_t steps) {
    Reference reference;
    loadImage(program.image, reference.state);
    MemoryConsole console(input);
    EXPECT_EQ(runMachineFor(reference.state, console, steps), steps);
    reference.output = console.output();
    reference.inputTaken = console.inputTaken();
    return reference;
}

void expectAt(const Session& session, const Program& program, const std::string& input, std::uint64_t position) {
    const Reference reference = referenceAfter(program, input, position);
    EXPECT_EQ(session.position(), position);
    EXPECT_EQ(std::memcmp(&session.machine(), &reference.state, sizeof(MachineState)), 0) << "at " << position;
    EXPECT_EQ(session.output(), reference.output.substr(0, MAX_KEPT_OUTPUT)) << "at " << position;
    EXPECT_EQ(session.outputLength(), reference.output.size());
    EXPECT_EQ(session.pendingInput(), std::string_view(input).substr(reference.inputTaken)) << "at " << position;
    // What the last step's INP read from, for the explanation of that step.
    const std::size_t takenBefore = position > 0 ? referenceAfter(program, input, position - 1).inputTaken : 0;
    EXPECT_EQ(session.inputBeforeLastStep(), std::string_view(input).substr(takenBefore)) << "at " << position;
}

// Reads words, adds them up, swaps bytes with CPY, prints, counts, and loops
// forever: memory, flags, input and output all change.
constexpr std::string_view BUSY = R"(
ciclo:  INP parola
        ADD somma, parola
        CPY somma, altro
        WRT parola
        DEC conta
        JMP ciclo
parola: DB 0, 0, 0, 0
somma:  DB 1
altro:  DB 2
conta:  DB 0
fine:   DB 0
)";

TEST(Session, GoingBackIsExactOverAMillionInstructions) {
    const Program program = sourceProgram(BUSY);
    std::string input;
    for (int word = 0; word < 3000; ++word) input += "w" + std::to_string(word % 97) + (word % 5 ? " " : "\n");
    Session session(program, input);

    // More than MAX_SNAPSHOTS × the first interval: the snapshots are thinned.
    const std::uint64_t length = MAX_SNAPSHOTS * FIRST_SNAPSHOT_INTERVAL + 12345;
    while (session.position() < length) {
        const RunResult result = session.runForward(length - session.position());
        ASSERT_NE(result.reason, StopReason::Halted);
    }
    EXPECT_LE(session.snapshotCount(), MAX_SNAPSHOTS);
    EXPECT_GT(session.snapshotInterval(), FIRST_SNAPSHOT_INTERVAL);
    expectAt(session, program, input, length);

    // A search backwards over the whole history, given up after two stretches.
    int stretches = 0;
    EXPECT_EQ(session.runBackward([&stretches] { return ++stretches < 3; }).reason, StopReason::Interrupted);
    EXPECT_EQ(stretches, 3);
    expectAt(session, program, input, length);

    // Back one step at a time near the end, then anywhere.
    for (int i = 0; i < 300; ++i) ASSERT_TRUE(session.stepBack());
    expectAt(session, program, input, length - 300);
    std::mt19937_64 random(7);
    for (int i = 0; i < 25; ++i) {
        const std::uint64_t target = random() % length;
        session.goTo(target);
        expectAt(session, program, input, target);
    }
    session.restart();
    expectAt(session, program, input, 0);
    EXPECT_EQ(session.previous(), nullptr);
    EXPECT_FALSE(session.stepBack());
}

TEST(Session, StepsStopAtTheHaltAndCountOnlyWhatRan) {
    Session session(sourceProgram("NOP\nNOP\nRST\n"), std::string{});
    EXPECT_TRUE(session.step());
    EXPECT_TRUE(session.step());
    EXPECT_TRUE(session.halted());
    EXPECT_FALSE(session.step());
    EXPECT_EQ(session.position(), 2u);
    EXPECT_EQ(session.runForward(100).reason, StopReason::Halted);
    EXPECT_EQ(session.position(), 2u);
    EXPECT_EQ(describeStop(session, {StopReason::Halted, 0, {}}),
              "La macchina si è fermata: codice operativo 0 all'indirizzo 0x02 (2), riga 3, dopo 2 istruzioni.");
    EXPECT_EQ(instructionCount(1), "1 istruzione");
}

// A loop that counts a cell down from 3, with a breakpoint and a watchpoint.
constexpr std::string_view COUNTDOWN = R"(
        VAL conta, 3
giro:   CLZ
        DEC conta
        JPZ fine
        NOP
        JMP giro
fine:   RST
conta:  DB 0
)";

TEST(Session, RunsStopAtBreakpointsAndWatchpointsBothWays) {
    const Program program = sourceProgram(COUNTDOWN);
    Session session(program, std::string{});
    const Byte nop = 8;   // VAL 3 bytes, CLZ 1, DEC 2, JPZ 2
    const Byte conta = 12;
    ASSERT_EQ(program.image[nop], opcodeOf(Op::Nop));
    ASSERT_TRUE(session.toggleBreakpoint(nop));

    // Forwards: the breakpoint at each of the two turns that reach the NOP.
    std::vector<std::uint64_t> stops;
    for (RunResult result = session.runForward(1000); result.reason == StopReason::Breakpoint;
         result = session.runForward(1000)) {
        EXPECT_EQ(session.machine().PC, nop);
        stops.push_back(session.position());
    }
    EXPECT_EQ(stops, (std::vector<std::uint64_t>{4, 9}));
    EXPECT_TRUE(session.halted());

    // Backwards: the same stops in reverse, then the start.
    for (auto stop = stops.rbegin(); stop != stops.rend(); ++stop) {
        const RunResult result = session.runBackward();
        EXPECT_EQ(result.reason, StopReason::Breakpoint);
        EXPECT_EQ(session.position(), *stop);
    }
    EXPECT_EQ(session.runBackward().reason, StopReason::Start);
    EXPECT_EQ(session.position(), 0u);

    // A watchpoint stops right after each change of the byte, whatever wrote it.
    EXPECT_FALSE(session.toggleBreakpoint(nop));
    ASSERT_TRUE(session.toggleWatchpoint(conta));
    std::vector<Byte> values;
    for (RunResult result = session.runForward(1000); result.reason == StopReason::Watchpoint;
         result = session.runForward(1000)) {
        EXPECT_EQ(result.watched, conta);
        values.push_back(session.machine().M[conta]);
    }
    EXPECT_EQ(values, (std::vector<Byte>{3, 2, 1, 0}));
    const RunResult back = session.runBackward();
    EXPECT_EQ(back.reason, StopReason::Watchpoint);
    EXPECT_EQ(session.machine().M[conta], 0);
    EXPECT_EQ(session.runBackward().reason, StopReason::Watchpoint);
    EXPECT_EQ(session.machine().M[conta], 1);
    EXPECT_NE(describeStop(session, back).find("da 0x02 (2) a 0x01 (1), per DEC (riga 4, indirizzo 0x04)"), std::string::npos) << describeStop(session, back);
}

// What each command says afterwards, in the words of the names it is given
// with, counted from where the session stands.
TEST(Session, CommandsSayWhatTheyDid) {
    const Program program = sourceProgram(COUNTDOWN);
    Session session(program, std::string{});
    const CommandNames keys{"c", "b", "g"};
    const CommandNames buttons{"«Continua»", "«Indietro»", "«Ricomincia»"};
    const Byte nop = 8;
    const Byte conta = 12;

    EXPECT_EQ(describeStepBack(session, session.stepBack()), "Sei già all'inizio.");
    EXPECT_EQ(describeStep(session, session.runForward(1)), "Eseguito il passo 1.");
    EXPECT_EQ(describeStep(session, session.runForward(1)), "Eseguito il passo 2.");
    EXPECT_EQ(describeStepBack(session, session.stepBack()), "Un passo indietro: annullato il passo 2.");

    // A step that ends at a stop says the stop.
    session.toggleBreakpoint(nop);
    EXPECT_EQ(describeBreakpoint(session, nop), "Punto di arresto sull'indirizzo 0x08 (8), riga 6.");
    session.goTo(3);
    const RunResult toNop = session.runForward(1);
    ASSERT_EQ(toNop.reason, StopReason::Breakpoint);
    EXPECT_EQ(describeStep(session, toNop), describeStop(session, toNop));
    session.toggleBreakpoint(nop);
    EXPECT_EQ(describeBreakpoint(session, nop), "Punto di arresto tolto dall'indirizzo 0x08 (8), riga 6.");
    session.toggleBreakpoint(200);
    EXPECT_EQ(describeBreakpoint(session, 200), "Punto di arresto sull'indirizzo 0xC8 (200).");

    session.toggleWatchpoint(conta);
    EXPECT_EQ(describeWatch(session, conta, keys), "Osservo il byte 0x0C (12), che ora vale 0x02 (2): c si fermerà quando cambia.");
    EXPECT_EQ(describeWatch(session, conta, buttons), "Osservo il byte 0x0C (12), che ora vale 0x02 (2): «Continua» si fermerà quando cambia.");
    session.toggleWatchpoint(conta);
    EXPECT_EQ(describeWatch(session, conta, buttons), "Non osservo più il byte 0x0C (12).");

    session.goTo(1000);
    ASSERT_TRUE(session.halted());
    EXPECT_EQ(describeStepWhenHalted(session, keys),
              "La macchina è ferma (codice operativo 0 all'indirizzo 0x0B (11)): non c'è altro da eseguire. "
              "b torna indietro, g all'inizio.");
    EXPECT_EQ(describeInterrupted(1), "Interrotto dopo 1 istruzione.");
    EXPECT_EQ(describeInterrupted(250000), "Interrotto dopo 250000 istruzioni.");

    // Arriving at an INP that waits is a plain step: the next one asks.
    Session reading(sourceProgram("NOP\nINP w\nRST\nw: DB 0, 0\n"), std::nullopt);
    const RunResult toInp = reading.runForward(1);
    EXPECT_EQ(toInp.reason, StopReason::NeedsInput);
    EXPECT_EQ(describeStep(reading, toInp), "Eseguito il passo 1.");
}

TEST(Session, TheLastWriterOfAByteComesAndGoesWithTheSteps) {
    // The ADD of a zero writes the value the byte already had: still a write.
    const Program program = sourceProgram(R"(
        VAL dato, 5
        ADD dato, zero  ; ';' in a comment
        DIV dato, zero
        RST
dato:   DB 0
zero:   DB 0
)");
    Session session(program, std::string{});
    const Byte dato = 10;
    EXPECT_NE(describeLastWrite(session, dato).find("viene dal sorgente (riga 6)"), std::string::npos);
    ASSERT_TRUE(session.step());
    EXPECT_EQ(session.lastWrite(dato).step, 1u);
    EXPECT_TRUE(session.changedByLastStep(dato));
    ASSERT_TRUE(session.step());
    EXPECT_EQ(session.lastWrite(dato).step, 2u);
    EXPECT_EQ(session.lastWrite(dato).address, 3);
    ASSERT_TRUE(session.step());  // a division by zero writes nothing
    EXPECT_EQ(session.lastWrite(dato).step, 2u);
    EXPECT_FALSE(session.changedByLastStep(dato));
    EXPECT_EQ(describeLastWrite(session, dato),
              "Il byte 0x0A (10), che vale 0x05 (5), è stato scritto per ultimo dall'istruzione all'indirizzo 0x03 "
              "(riga 3: ADD dato, zero), al passo 2.");
    session.goTo(1);
    EXPECT_EQ(session.lastWrite(dato).step, 1u);
    session.restart();
    EXPECT_EQ(session.lastWrite(dato).step, 0u);
    EXPECT_NE(describeLastWrite(session, 200).find("non è mai stato scritto"), std::string::npos);

    // With A + X = 259, CPY first puts M[40] into B itself, then writes at
    // the new B: the byte 50 changes, the byte 40 does not.
    Session registers(sourceProgram("VALOFFST 4\nCPY 255, 40\nRST\nORG 40\nDB 50\nORG 50\nDB 7\n"), std::string{});
    registers.goTo(2);
    EXPECT_EQ(registers.machine().M[50], 40);
    EXPECT_EQ(registers.lastWrite(50).step, 2u);
    EXPECT_EQ(registers.lastWrite(40).step, 0u);
}

TEST(Session, PlacedMemoryIsThereFromTheStartAndAfterARestart) {
    // Adds the byte at 100, which nothing in the program gives a value, and
    // the byte at 12, the program's but placed over, into the byte at 20.
    Program program = sourceProgram("NOP\nADD 20, 100\nADD 20, 12\nRST\nORG 12\nDB 40\nORG 20\nDB 1\n");
    program.place(100, 5);
    program.place(12, 7);
    program.place(300, 9);  // beyond memory: ignored
    Session session(program, std::string{});
    EXPECT_EQ(session.machine().M[100], 5);
    EXPECT_EQ(session.machine().M[12], 7);
    EXPECT_TRUE(session.everWritten(100));
    EXPECT_EQ(describeLastWrite(session, 100),
              "Il byte 0x64 (100), che vale 0x05 (5), non è stato scritto da nessuna istruzione fin qui: il valore è "
              "stato posto in memoria prima dell'esecuzione.");
    // Reading a placed byte is no read of a byte nobody gave a value.
    EXPECT_EQ(session.runForward(100).reason, StopReason::Halted);
    EXPECT_TRUE(session.warnings().empty());
    EXPECT_EQ(session.machine().M[20], 1 + 5 + 7);
    session.restart();
    EXPECT_EQ(session.position(), 0u);
    EXPECT_EQ(session.machine().M[100], 5);
    EXPECT_EQ(session.machine().M[12], 7);
    EXPECT_EQ(session.machine().M[20], 1);
    EXPECT_EQ(session.runForward(100).reason, StopReason::Halted);
    EXPECT_EQ(session.machine().M[20], 1 + 5 + 7);

    // Without placed bytes the same program reads one nobody gave a value.
    Session plain(sourceProgram("NOP\nADD 20, 100\nADD 20, 12\nRST\nORG 12\nDB 40\nORG 20\nDB 1\n"),
                  std::string{});
    EXPECT_EQ(plain.runForward(100).reason, StopReason::Warning);
}

TEST(Session, TypedInputIsAskedForAndComesBackWhenSteppingBack) {
    const Program program = sourceProgram("INP 20\nINP 30\nRST\n");
    Session session(program, std::nullopt);
    EXPECT_TRUE(session.needsInput());
    EXPECT_FALSE(session.step());
    EXPECT_EQ(session.runForward(10).reason, StopReason::NeedsInput);
    EXPECT_TRUE(session.giveInput("ciao mondo"));
    EXPECT_FALSE(session.needsInput());
    EXPECT_TRUE(session.step());
    EXPECT_EQ(session.pendingInput(), " mondo\n");
    EXPECT_FALSE(session.needsInput());  // the line held a second word
    EXPECT_TRUE(session.step());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&session.machine().M[30]), 5), "mondo");

    // Back over both: the words are unread again, and read again the same way.
    session.restart();
    EXPECT_EQ(session.pendingInput(), "ciao mondo\n");
    EXPECT_EQ(session.machine().M[20], 0);
    EXPECT_EQ(session.runForward(10).reason, StopReason::Halted);
    EXPECT_EQ(session.machine().M[20], 'c');

    // Once input has ended, INP reads nothing and asks no more.
    Session ended(program, std::nullopt);
    ended.endInput();
    EXPECT_FALSE(ended.needsInput());
    EXPECT_EQ(ended.runForward(10).reason, StopReason::Halted);
    EXPECT_EQ(ended.machine().M[20], 0);
}

struct WarningCase {
    const char* name;
    const char* source;
    WarningKind kind;
    std::uint64_t stopsAt;  // where c stops
    const char* text;       // part of the warning's text
};

TEST(Session, TeachingWarningsStopARun) {
    const WarningCase cases[] = {
        {"dato eseguito", "JMP dato\ndato: DB 6\nRST\n", WarningKind::ExecutesData, 1,
         "il byte 0x02 (2) è definito con DB alla riga 2"},
        {"byte mai scritto", "NOP\nINC 100\nRST\n", WarningKind::ReadsUndefined, 1, "il byte 0x64 (100)"},
        {"oltre 255", "NOP\nVALOFFST 10\nINC 250\nRST\n", WarningKind::AddressPastMemory, 2,
         "0xFA + 0x0A = 0x104 (260), oltre 0xFF (255): tocca il registro X"},
        {"codice modificato", "NOP\nINC giro\ngiro: JMP 0\n", WarningKind::WritesCode, 1,
         "nel byte 0x03 (3), parte di un'istruzione della riga 3: è codice che modifica se stesso"},
        {"traccia accesa", "NOP\nVAL 30, 0\nRST\n", WarningKind::SwitchedOnTrace, 2,
         "con B = 0 ha acceso il flag D"},
    };
    for (const WarningCase& c : cases) {
        SCOPED_TRACE(c.name);
        Session session(sourceProgram(c.source), std::string{});
        const RunResult result = session.runForward(100);
        EXPECT_EQ(result.reason, StopReason::Warning);
        EXPECT_EQ(session.position(), c.stopsAt);
        const std::vector<Warning> warnings = session.warnings();
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_EQ(warnings[0].kind, c.kind);
        EXPECT_NE(warnings[0].text.find(c.text), std::string::npos) << warnings[0].text;
        // Going on passes the warning by.
        EXPECT_NE(session.runForward(100).reason, StopReason::Warning);
    }
}

TEST(Session, AProgramThatDoesNothingWrongRunsToItsEndWithoutWarnings) {
    // Reads only what it defined, writes only data, keeps D off.
    Session session(sourceProgram(COUNTDOWN), std::string{});
    EXPECT_EQ(session.runForward(1000).reason, StopReason::Halted);
    EXPECT_TRUE(session.warnings().empty());
}

TEST(Session, AnImageIsShownDisassembledWithItsBytesDefined) {
    const std::vector<Byte> image{0x47, 0x03, 0x00, 'c', 'i', 'a', 'o', 0x0A, 0x00};
    const Program program = programFromImage("ciao.bin", image);
    EXPECT_FALSE(program.fromSource);
    EXPECT_EQ(program.roles[0], CellRole::Instruction);
    EXPECT_EQ(program.roles[1], CellRole::Operand);
    EXPECT_EQ(program.roles[3], CellRole::Data);
    EXPECT_FALSE(program.defined(9));
    ASSERT_NE(program.lineAt(0), nullptr);
    EXPECT_NE(program.lineAt(0)->text.find("WRT"), std::string::npos);
    Session session(program, std::string{});
    EXPECT_EQ(session.runForward(10).reason, StopReason::Halted);
    EXPECT_EQ(session.output(), "ciao\n");
    session.stepBack();
    EXPECT_EQ(session.output(), "");
}

}  // namespace
}  // namespace tarn::debugger

// Code that the program rewrites, in the debugger: where a message names an
// instruction by its line, and the bytes that run are not those the line
// placed, it shows the instruction that runs, "(riscritta dal programma)".
#include "debugger/forward_run.hpp"
#include "debugger/proved_loop.hpp"
#include "debugger/session.hpp"
#include "debugger/session_messages.hpp"
#include "machine/instruction_set.hpp"
#include "support/debugger_program.hpp"

#include <gtest/gtest.h>

#include <string>

namespace tarn::debugger {
namespace {

using tarntest::sourceProgram;

// ADD becomes MUL, runs, and becomes ADD again.
const char* const TURNS_ADD_INTO_MUL =
    "        VAL p, 131   ; ADD diventa MUL\n"  // 1, at 0x00
    "p:      ADD x, y\n"                        // 2, at 0x03
    "        VAL p, 129   ; e torna ADD\n"      // 3, at 0x06
    "        RST\n"                             // 4, at 0x09
    "x:      DB 2\n"                            // 5, at 0x0A
    "y:      DB 3\n";                           // 6, at 0x0B

// INC x becomes JMP p: a loop of one step that no line shows.
const char* const JUMP_OVER_INC =
    "        VAL p, 64\n"    // 1, at 0x00: JMP
    "        VAL p+1, 6\n"   // 2, at 0x03: to p
    "p:      INC x\n"        // 3, at 0x06
    "        RST\n"          // 4
    "x:      DB 0\n";        // 5

// Runs like c, again after every warning, until something else stops it.
RunResult runOn(Session& session) {
    RunResult result;
    do {
        ForwardRun run(session);
        do result = run.stretch(1000);
        while (result.reason == StopReason::Budget);
    } while (result.reason == StopReason::Warning);
    return result;
}

TEST(RewrittenCode, TheMessagesShowTheInstructionThatRuns) {
    Session session(sourceProgram(TURNS_ADD_INTO_MUL), std::string{});
    // Before the VAL, the line is right.
    session.toggleBreakpoint(3);
    EXPECT_EQ(describeBreakpoint(session, 3), "Punto di arresto sull'indirizzo 0x03 (3), riga 2.");
    const RunResult stop = session.runForward(100);
    ASSERT_EQ(stop.reason, StopReason::Breakpoint);
    EXPECT_EQ(describeStop(session, stop),
              "Punto di arresto: la prossima istruzione è MUL x, y (riga 2, indirizzo 0x03, riscritta dal programma).");
    session.toggleBreakpoint(3);
    session.restart();
    EXPECT_EQ(describeStep(session, session.runForward(1)),
              "Eseguito il passo 1. La prossima istruzione, alla riga 2, è MUL x, y (riscritta dal programma).");
    // The VAL that puts ADD back is warned of by its line, which is right.
    EXPECT_EQ(describeStep(session, session.runForward(1)),
              "Avviso: VAL (riga 3, indirizzo 0x06) sta per scrivere nel byte 0x03 (3), parte di un'istruzione della "
              "riga 2: è codice che modifica se stesso. La macchina lo permette: puoi proseguire, e le prossime scritture di "
              "questa istruzione nel programma non fermeranno più il debugger.");
    EXPECT_EQ(describeStep(session, session.runForward(1)).find("riscritta"), std::string::npos);

    // Who wrote x: the MUL of step 2, as it ran, though p holds ADD again now.
    ASSERT_TRUE(session.halted());
    EXPECT_EQ(describeLastWrite(session, 0x0A),
              "Il byte 0x0A (10), che vale 0x06 (6), è stato scritto per ultimo dall'istruzione all'indirizzo 0x03 "
              "(riga 2: p: MUL x, y (riscritta dal programma)), al passo 2.");
    // Who wrote p: a VAL that ran as its line placed it; and both VAL
    // write there without stopping a run now.
    EXPECT_EQ(describeLastWrite(session, 0x03),
              "Il byte 0x03 (3), che vale 0x81 (129), è stato scritto per ultimo dall'istruzione all'indirizzo 0x06 "
              "(riga 3: VAL p, 129), al passo 3. Le scritture della riga 1 (VAL p, 131) e della riga 3 (VAL p, 129) "
              "qui non fermano più il debugger.");
}

TEST(RewrittenCode, AnEndlessLoopSaysWhatItsRewrittenLinesRun) {
    Session session(sourceProgram(JUMP_OVER_INC), std::string{});
    const RunResult result = runOn(session);
    ASSERT_EQ(result.reason, StopReason::EndlessLoop);
    ASSERT_TRUE(session.endlessLoop());
    EXPECT_EQ(session.endlessLoop()->rewritten.size(), 1u);
    EXPECT_EQ(loopLineNumbers(session), std::vector<std::int64_t>{3});
    EXPECT_EQ(describeStop(session, result),
              "Ciclo infinito: dal passo 3 la macchina ripete sempre lo stesso passo (riga 3): il programma non "
              "finirebbe mai. Alla riga 3 il ciclo esegue JMP p (riscritta dal programma).");
    const RunResult back = session.runBackward();
    ASSERT_EQ(back.reason, StopReason::LoopStart);
    EXPECT_EQ(describeStop(session, back),
              "Sei dove comincia il ciclo infinito: dal passo 3 la macchina ripete sempre lo stesso passo (riga 3). "
              "Alla riga 3 il ciclo esegue JMP p (riscritta dal programma).");
}

TEST(RewrittenCode, ALineTurnedIntoTheEndSaysSo) {
    Session session(sourceProgram("SUB p, p\np: INC x\nRST\nx: DB 0\n"), std::string{});
    const RunResult result = session.runForward(10);
    ASSERT_EQ(result.reason, StopReason::Halted);
    EXPECT_EQ(describeStop(session, result), "La macchina si è fermata: codice operativo 0 all'indirizzo 0x03 (3), riga 2 "
                                             "(riscritta dal programma), dopo 1 istruzione.");
}

TEST(RewrittenCode, BytesPlacedBeforeTheRunAreNotRewrittenByTheProgram) {
    // A case of an exercise places a jump to itself at 0x80, where the program goes.
    Program program = sourceProgram(" JMP 128\n");
    program.place(0x80, opcodeOf(Op::Jmp));
    program.place(0x81, 0x80);
    Session session(std::move(program), std::string{});
    session.toggleBreakpoint(0x80);
    const RunResult stop = session.runForward(10);
    ASSERT_EQ(stop.reason, StopReason::Breakpoint);
    EXPECT_EQ(describeStop(session, stop), "Punto di arresto: la prossima istruzione è JMP (indirizzo 0x80).");
    EXPECT_TRUE(describeRewrittenNext(session).empty());
}

}  // namespace
}  // namespace tarn::debugger

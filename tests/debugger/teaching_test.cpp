// What the debugger teaches beyond stepping: a word or a string that runs on
// into another label's bytes, said before the instruction runs, and an
// endless loop proved while c runs, with r going back to where it began.
#include "debugger/forward_run.hpp"
#include "debugger/session.hpp"
#include "debugger/session_messages.hpp"
#include "support/debugger_program.hpp"
#include "support/loop_programs.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <utility>
#include <string>

namespace tarn::debugger {
namespace {

using tarntest::sourceProgram;

// Runs like c: stretch after stretch until something stops the run.
RunResult runOn(Session& session, std::uint64_t atMost = 5'000'000) {
    ForwardRun run(session);
    RunResult result;
    std::uint64_t steps = 0;
    do {
        result = run.stretch(1000);
        steps += result.steps;
    } while (result.reason == StopReason::Budget && steps < atMost);
    result.steps = steps;
    return result;
}

// The machine and its input where the session stands.
std::pair<MachineState, std::size_t> pointAt(Session& session, std::uint64_t position) {
    session.goTo(position);
    return {session.machine(), session.pendingInput().size()};
}

bool samePoint(const std::pair<MachineState, std::size_t>& a, const std::pair<MachineState, std::size_t>& b) {
    return a.second == b.second && std::memcmp(&a.first, &b.first, sizeof(MachineState)) == 0;
}

// Checks the proved loop against the run itself: its first state comes back
// after exactly `length` steps and no sooner, and the state before it does
// not (so the loop begins there, not earlier). Leaves the session where it was.
void expectTrueLoop(Session& session) {
    ASSERT_TRUE(session.endlessLoop());
    const ProvedLoop loop = *session.endlessLoop();
    const std::uint64_t at = session.position();
    const auto first = pointAt(session, loop.start);
    for (std::uint64_t d = 1; d < loop.length; ++d)
        ASSERT_FALSE(samePoint(first, pointAt(session, loop.start + d))) << "period " << d;
    EXPECT_TRUE(samePoint(first, pointAt(session, loop.start + loop.length)));
    if (loop.start > 0) {
        EXPECT_FALSE(samePoint(pointAt(session, loop.start - 1), pointAt(session, loop.start - 1 + loop.length)));
    }
    session.goTo(at);
}

std::vector<WarningKind> kindsOf(const Session& session) {
    std::vector<WarningKind> kinds;
    for (const Warning& warning : session.warnings()) kinds.push_back(warning.kind);
    return kinds;
}

// NOP 0, INP or WRT 1, RST 3, then the data from 4.
struct OverflowCase {
    const char* name;
    const char* data;   // the source's lines from address 4
    const char* input;  // for INP; nothing: WRT
    const char* text;   // part of the warning; nothing: no warning
};

TEST(TeachingWarnings, SayWhenAWordOrAStringRunsIntoAnotherLabel) {
    const OverflowCase cases[] = {
        // INP
        {"parola più lunga del buffer", "nome: DB 0, 0, 0\neta: DB 20\n", "Giovanni\n",
         "INP (riga 2, indirizzo 0x01) sta per scrivere una parola di 8 caratteri da 0x04 (4): va oltre la fine "
         "dei dati di nome e scrive nei byte di eta (riga 5, indirizzo 0x07)."},
        {"un solo carattere di troppo", "nome: DB 0, 0, 0\neta: DB 20\n", "Ciao\n", "nei byte di eta"},
        // Characters as a person counts them, and the bytes that overflow.
        {"parola con un accento", "nome: DB 0, 0, 0\neta: DB 20\n", "città\n",
         "INP (riga 2, indirizzo 0x01) sta per scrivere una parola di 5 caratteri (6 byte) da 0x04 (4): va oltre"},
        {"quattro caratteri in quattro byte, ma cinque byte", "nome: DB 0, 0, 0, 0\neta: DB 20\n", "però\n",
         "una parola di 4 caratteri (5 byte) da 0x04 (4)"},
        {"un carattere di quattro byte", "nome: DB 0, 0\neta: DB 20\n", "😀\n", "una parola di 1 carattere (4 byte)"},
        {"parola che riempie il buffer", "nome: DB 0, 0, 0\neta: DB 20\n", "Ada\n", nullptr},
        {"buffer su due righe", "nome: DB 0, 0\n DB 0, 0, 0\neta: DB 20\n", "Marco\n", nullptr},
        {"oltre, nessun'altra etichetta", "nome: DB 0, 0\n", "Giovanni\n", nullptr},
        {"oltre, memoria non definita prima di un'etichetta", "nome: DB 0\nORG 20\neta: DB 1\n", "lunghissimo\n",
         nullptr},
        {"fino a un'etichetta lontana", "nome: DB 0\nORG 9\neta: DB 1\n", "lunghissimo\n",
         "va oltre la fine dei dati di nome e scrive nei byte di eta (riga 6, indirizzo 0x09)"},
        {"due etichette sullo stesso byte", "nome:\nbuffer: DB 0, 0\neta:\nanni: DB 20\n", "abcd\n",
         "dei dati di buffer e scrive nei byte di anni (riga 7, indirizzo 0x06)"},
        // WRT
        {"stringa senza 0", "saluto: DB \"ciao\"\nnumero: DB 7, 0\n", nullptr,
         "WRT (riga 2, indirizzo 0x01) sta per stampare la stringa di saluto da 0x04 (4), ma nessuno 0 la chiude: "
         "andrebbe avanti nei byte di numero (riga 5, indirizzo 0x08)."},
        {"stringa chiusa", "saluto: DB \"ciao\", 0\nnumero: DB 7, 0\n", nullptr, nullptr},
        {"lo 0 è il primo byte dell'etichetta dopo", "saluto: DB \"ciao\"\nzero: DB 0\n", nullptr, nullptr},
        {"stringa su più righe", "saluto: DB \"ciao \"\n DB \"a tutti\", 0\nfine: DB 1\n", nullptr, nullptr},
    };
    for (const OverflowCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = std::string("NOP\n") + (c.input ? "INP 4\n" : "WRT 4\n") + "RST\n" + c.data;
        Session session(sourceProgram(source), std::string(c.input ? c.input : ""));
        const RunResult result = session.runForward(100);
        const WarningKind kind = c.input ? WarningKind::InputOverflows : WarningKind::StringOverflows;
        if (c.text == nullptr) {
            EXPECT_EQ(result.reason, StopReason::Halted);
            continue;
        }
        // Said before the instruction runs: the machine stands at it, memory untouched.
        ASSERT_EQ(result.reason, StopReason::Warning);
        EXPECT_EQ(session.position(), 1u);
        EXPECT_EQ(session.output(), "");
        ASSERT_EQ(kindsOf(session), std::vector<WarningKind>{kind});
        EXPECT_NE(session.warnings()[0].text.find(c.text), std::string::npos) << session.warnings()[0].text;
        EXPECT_EQ(describeStop(session, result), "Avviso: " + session.warnings()[0].text);
        // c again runs it.
        EXPECT_EQ(session.runForward(100).reason, StopReason::Halted);
    }
}

// A label alone on its line, before another label's data, has no bytes of
// its own: an INP or a WRT that names it uses the other label's bytes.
TEST(TeachingWarnings, ALabelWithoutBytesOfItsOwnIsCaughtByTheNameTheInstructionUses) {
    const auto source = [](const char* instruction) {
        return std::string("NOP\n") + instruction + "\nRST\nzero: DB 0\nparola:\nconta: DB '0', 0\n";
    };
    Session input(sourceProgram(source("INP parola")), std::string("uno\n"));
    ASSERT_EQ(input.runForward(100).reason, StopReason::Warning);
    ASSERT_EQ(kindsOf(input), std::vector<WarningKind>{WarningKind::InputOverflows});
    EXPECT_EQ(input.warnings()[0].text,
              "INP (riga 2, indirizzo 0x01) sta per scrivere una parola di 3 caratteri da 0x05 (5), ma l'etichetta "
              "parola non ha byte suoi: scrive nei byte di conta (riga 6, indirizzo 0x05).");

    Session print(sourceProgram(source("WRT parola ; la parola")), std::string{});
    ASSERT_EQ(print.runForward(100).reason, StopReason::Warning);
    EXPECT_EQ(print.warnings()[0].text,
              "WRT (riga 2, indirizzo 0x01) sta per stampare la stringa di parola da 0x05 (5), ma l'etichetta parola "
              "non ha byte suoi: stamperebbe i byte di conta (riga 6, indirizzo 0x05).");

    // Naming the label that owns the bytes is no fault, nor is a name that
    // only contains the other, nor one in the comment.
    for (const char* fine : {"INP conta", "INP conta ; parola", "WRT conta"}) {
        SCOPED_TRACE(fine);
        Session session(sourceProgram(source(fine)), std::string("1\n"));
        EXPECT_EQ(session.runForward(100).reason, StopReason::Halted);
    }
}

TEST(TeachingWarnings, ATypedWordIsJudgedOnceGivenBeforeTheInpRuns) {
    const Program program = sourceProgram("INP nome\nRST\nnome: DB 0, 0, 0\neta: DB 20\n");
    Session session(program, std::nullopt);
    ASSERT_TRUE(session.needsInput());
    EXPECT_FALSE(session.inputBringsWarning());  // no word yet
    ASSERT_TRUE(session.giveInput("Giovanni"));
    EXPECT_TRUE(session.inputBringsWarning());
    EXPECT_EQ(kindsOf(session), std::vector<WarningKind>{WarningKind::InputOverflows});

    Session fits(program, std::nullopt);
    ASSERT_TRUE(fits.giveInput("Ada"));
    EXPECT_FALSE(fits.inputBringsWarning());
    EXPECT_TRUE(fits.warnings().empty());

    // A warning about the last instruction is not the word's.
    Session trace(sourceProgram("VAL 30, 0\nINP nome\nRST\nnome: DB 0, 0, 0, 0\n"), std::nullopt);
    ASSERT_TRUE(trace.step());
    ASSERT_TRUE(trace.giveInput("Ada"));
    EXPECT_FALSE(trace.inputBringsWarning());
    EXPECT_EQ(kindsOf(trace), std::vector<WarningKind>{WarningKind::SwitchedOnTrace});
}

TEST(TeachingWarnings, LabelsOwnTheBytesUpToTheNextLabel) {
    const Program program = sourceProgram("giro: JMP giro\nnome:\naltro: DB 0, 0\n DB 0\neta: DB 1\n");
    ASSERT_EQ(program.labels.size(), 4u);
    EXPECT_EQ(program.labelAt(0)->name, "giro");
    EXPECT_EQ(program.labelAt(1)->name, "giro");
    // Of two labels on one byte, the one on the data's line owns it.
    EXPECT_EQ(program.labelAt(2)->name, "altro");
    EXPECT_EQ(program.labelAt(2)->line, 3);
    EXPECT_EQ(program.labelAt(4)->name, "altro");
    EXPECT_EQ(program.labelAt(5)->name, "eta");
    EXPECT_EQ(program.labelAt(5)->line, 5);
    EXPECT_EQ(program.labelAt(200)->name, "eta");
    EXPECT_EQ(program.labelAt(256), nullptr);
    EXPECT_EQ(sourceProgram("NOP\nx: DB 1\n").labelAt(0), nullptr);
}

TEST(EndlessLoops, ALoopOfOneStepStopsCAtItsFirstReturn) {
    // NOP: position 1 has IR = NOP; the first JMP gives position 2, which
    // every later JMP gives again.
    Session session(sourceProgram("NOP\nqui: JMP qui\n"), std::string{});
    const RunResult result = runOn(session);
    ASSERT_EQ(result.reason, StopReason::EndlessLoop);
    ASSERT_TRUE(session.endlessLoop());
    EXPECT_EQ(session.endlessLoop()->start, 2u);
    EXPECT_EQ(session.endlessLoop()->length, 1u);
    EXPECT_EQ(session.position(), 3u);
    expectTrueLoop(session);
    EXPECT_TRUE(session.inEndlessLoop(1));
    EXPECT_FALSE(session.inEndlessLoop(0));
    EXPECT_EQ(describeStop(session, result),
              "Ciclo infinito: dal passo 2 la macchina ripete sempre lo stesso passo (riga 2): il programma non "
              "finirebbe mai.");

    // r goes back to where it began, and says so.
    const RunResult back = session.runBackward();
    EXPECT_EQ(back.reason, StopReason::LoopStart);
    EXPECT_EQ(session.position(), 2u);
    EXPECT_EQ(describeStop(session, back),
              "Sei dove comincia il ciclo infinito: dal passo 2 la macchina ripete sempre lo stesso passo (riga 2).");
    // From the start of the loop, r goes on to the start of the run.
    EXPECT_EQ(session.runBackward().reason, StopReason::Start);
}

TEST(EndlessLoops, ALongerLoopIsFoundWhereItsStateFirstComesBack) {
    // conta goes round its values: the state comes back after many steps.
    const char* source =
        "        VAL conta, 5\n"  // line 1
        "giro:   INC conta\n"     // line 2
        "        JMP giro\n"      // line 3
        "conta:  DB 0\n";         // line 4
    Session session(sourceProgram(source), std::string{});
    const RunResult result = runOn(session);
    ASSERT_EQ(result.reason, StopReason::EndlessLoop);
    expectTrueLoop(session);
    const ProvedLoop loop = *session.endlessLoop();
    EXPECT_GT(loop.length, 100u);
    EXPECT_EQ(session.position(), loop.start + loop.length);
    EXPECT_EQ(describeLoopLines(session), "righe 2-3");
    EXPECT_NE(describeStop(session, result)
                  .find("dal passo " + std::to_string(loop.start) + " la macchina ripete gli stessi " +
                        std::to_string(loop.length) + " passi (righe 2-3)"),
              std::string::npos)
        << describeStop(session, result);

    // c from inside the loop goes round it once more.
    session.goTo(loop.start + 700);
    EXPECT_EQ(runOn(session).reason, StopReason::EndlessLoop);
    EXPECT_EQ(session.position(), loop.start + 700 + loop.length);
    EXPECT_EQ(session.runBackward().reason, StopReason::LoopStart);
    EXPECT_EQ(session.position(), loop.start);
}

TEST(EndlessLoops, AFreshSessionStartedInsideALoopFindsWhereItBegan) {
    // Stepped far into the loop before c: the snapshots lie inside it, yet
    // the loop is said to begin at step 1.
    const Program program = sourceProgram("VAL conta, 5\ngiro: INC conta\nJMP giro\nconta: DB 0\n");
    Session fromStart(program, std::string{});
    ASSERT_EQ(runOn(fromStart).reason, StopReason::EndlessLoop);
    Session session(program, std::string{});
    session.goTo(3000);
    ASSERT_EQ(runOn(session).reason, StopReason::EndlessLoop);
    EXPECT_EQ(session.endlessLoop()->start, fromStart.endlessLoop()->start);
    EXPECT_EQ(session.position(), 3000 + fromStart.endlessLoop()->length);
}

TEST(EndlessLoops, ALoopThatTakesInputIsNoRepeatWhileTheInputLasts) {
    // Each turn reads a word: the input moves on, so no state comes back
    // while words are left. Once a file's input is used up for good, INP
    // finds nothing and changes nothing: from then on the machine repeats.
    const Program program = sourceProgram("giro: INP buf\nJMP giro\nbuf: DB 0, 0, 0, 0\n");
    std::string words;
    for (int i = 0; i < 3000; ++i) words += "ab ";
    Session session(program, words);
    ASSERT_EQ(runOn(session).reason, StopReason::EndlessLoop);
    // After the first INP that finds no word: it still takes the blank after
    // the last word, so the state after the last word's INP does not return.
    EXPECT_EQ(session.endlessLoop()->start, 2 * 3000 + 1u);
    EXPECT_EQ(session.endlessLoop()->length, 2u);
    expectTrueLoop(session);

    // Typed input that may still grow: the same loop waits for a word.
    Session typed(program, std::nullopt);
    ASSERT_TRUE(typed.giveInput(words));
    EXPECT_EQ(runOn(typed).reason, StopReason::NeedsInput);
    EXPECT_FALSE(typed.endlessLoop());
    EXPECT_EQ(typed.position(), 2 * 3000u);
    // Once the user ends it, the loop is proved.
    typed.endInput();
    EXPECT_EQ(runOn(typed).reason, StopReason::EndlessLoop);
    EXPECT_EQ(typed.endlessLoop()->start, 2 * 3000 + 1u);
}

TEST(EndlessLoops, WaitingOnINPAfterACasesInputIsTheGradersLoop) {
    // The input of a case, as --caso gives it: ended for good. After its two
    // words every INP finds nothing, from the same step tarngrade reports.
    Session session(sourceProgram("ciclo: INP buf\nJMP ciclo\nbuf: DB 0, 0, 0, 0\n"), std::string("uno due"));
    ASSERT_EQ(runOn(session).reason, StopReason::EndlessLoop);
    EXPECT_EQ(session.endlessLoop()->start, 3u);
    EXPECT_EQ(session.endlessLoop()->length, 2u);
    expectTrueLoop(session);
}

TEST(EndlessLoops, InputTakenBeforeTheLoopStillCountsAsTheRunsStart) {
    // Two words read, then a loop of two steps.
    const char* source = "INP buf\nINP buf\ngiro: NOP\nJMP giro\nbuf: DB 0, 0, 0\n";
    Session session(sourceProgram(source), std::string("ab cd\n"));
    ASSERT_EQ(runOn(session).reason, StopReason::EndlessLoop);
    EXPECT_EQ(session.endlessLoop()->length, 2u);
    // From the first JMP on: before it, A still held the INP's operand.
    EXPECT_EQ(session.endlessLoop()->start, 4u);
    EXPECT_EQ(describeLoopLines(session), "righe 3-4");
    expectTrueLoop(session);
}

TEST(EndlessLoops, OtherStopsComeFirst) {
    Program program = sourceProgram("NOP\ngiro: NOP\nJMP giro\n");
    Session session(program, std::string{});
    session.toggleBreakpoint(1);
    EXPECT_EQ(runOn(session).reason, StopReason::Breakpoint);
    EXPECT_EQ(runOn(session).reason, StopReason::Breakpoint);  // each round, never a loop
    EXPECT_FALSE(session.endlessLoop());

    // A program that ends is no loop, however long it runs.
    Session ends(sourceProgram("VAL conta, 200\ngiro: CLZ\nDEC conta\nJPZ fine\nJMP giro\nfine: RST\nconta: DB 0\n"),
                 std::string{});
    EXPECT_EQ(runOn(ends).reason, StopReason::Halted);
    EXPECT_FALSE(ends.endlessLoop());
}

TEST(EndlessLoops, EachStretchAddsABoundedSliceOfSearchHoweverFarTheRun) {
    // Three nested countdowns, some 900 thousand steps, then two bytes that
    // count together for ever: a loop of some 80 thousand steps, proved far
    // into the run. Finding where it began takes the search many stretches,
    // each with at most its slice of instructions of its own.
    const std::string source = tarn::testing::afterCountdowns(tarn::testing::TWO_BYTE_COUNTER);
    const Program program = sourceProgram(source);
    Session session(program, std::string{});
    ForwardRun run(session);
    constexpr std::uint64_t BUDGET = 1000;
    const std::uint64_t slice = std::max(BUDGET * LOOP_SEARCH_SLICE, MIN_LOOP_SEARCH_SLICE);
    std::uint64_t searched = 0;
    std::uint64_t searchingStretches = 0;
    RunResult result;
    for (std::uint64_t stretches = 0; stretches < 100'000; ++stretches) {
        result = run.stretch(BUDGET);
        const std::uint64_t added = run.searchSteps() - searched;
        searched = run.searchSteps();
        ASSERT_LE(added, slice) << "at step " << session.position();
        if (added > 0) ++searchingStretches;
        if (result.reason != StopReason::Budget) break;
    }
    ASSERT_EQ(result.reason, StopReason::EndlessLoop);
    EXPECT_GT(searchingStretches, 10u);
    EXPECT_GT(session.snapshotInterval(), FIRST_SNAPSHOT_INTERVAL);

    // The loop is the one a whole search from the start finds.
    MachineState loaded{};
    loadImage(program.image, loaded);
    const LoopSearch whole = findEndlessLoop({loaded, "", 0, true}, 10'000'000);
    ASSERT_TRUE(whole.loop);
    const ProvedLoop loop = *session.endlessLoop();
    EXPECT_GT(loop.start, 800'000u);
    EXPECT_EQ(loop.start, whole.loop->start);
    EXPECT_EQ(loop.length, whole.loop->length);
    EXPECT_EQ(loop.instructions, whole.loop->instructions);
    EXPECT_EQ(session.position(), loop.start + loop.length);
    // All it ran of its own: a few periods, far fewer than the run's steps.
    EXPECT_LT(searched, 12 * loop.length);
}

}  // namespace
}  // namespace tarn::debugger

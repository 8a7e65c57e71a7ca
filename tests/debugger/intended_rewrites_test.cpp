// Code that rewrites itself on purpose, as examples/esercizi/tabella-giusta.asm
// does: a run stops before the first write of each instruction into the
// program's instructions only, its later ones pass, and who wrote such a
// byte names the instructions whose writes there pass.
#include "debugger/forward_run.hpp"
#include "debugger/session.hpp"
#include "debugger/session_messages.hpp"
#include "support/debugger_program.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tarn::debugger {
namespace {

using tarntest::sourceProgram;

constexpr std::string_view PASS_NOTE =
    "e le prossime scritture di questa istruzione nel programma non fermeranno più il debugger.";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The exercise's program, with the table of its first case in memory, and
// 0xF0 at 0 as the exercise says it is.
Program table() {
    Program program = sourceProgram(readFile(std::string(EXAMPLES_DIR) + "/esercizi/tabella-giusta.asm"));
    const Byte values[] = {5, 7, 9, 0};
    for (unsigned i = 0; i < 4; ++i) program.place(0xC8 + i, values[i]);
    program.place(0xF0, 0);
    return program;
}

Byte labelAddress(const Program& program, const std::string& name) {
    for (const ProgramLabel& label : program.labels)
        if (label.name == name) return static_cast<Byte>(label.address);
    ADD_FAILURE() << name;
    return 0;
}

// A stop of c: where, on which line, why.
struct Stop {
    std::uint64_t position;
    std::int64_t line;
    StopReason reason;
    bool operator==(const Stop&) const = default;
};

void PrintTo(const Stop& stop, std::ostream* out) {
    *out << "{" << stop.position << ", riga " << stop.line << ", " << static_cast<int>(stop.reason) << "}";
}

std::int64_t lineOfPc(const Session& session) {
    const ProgramLine* line = session.program().lineAt(session.machine().PC);
    return line ? line->number : 0;
}

// Presses c until the machine halts (at most 20 times), as tarndbg does.
std::vector<Stop> stopsOfContinue(Session& session) {
    std::vector<Stop> stops;
    for (int presses = 0; presses < 20 && !session.halted(); ++presses) {
        ForwardRun run(session);
        RunResult result;
        do result = run.stretch(1000);
        while (result.reason == StopReason::Budget);
        stops.push_back({session.position(), lineOfPc(session), result.reason});
    }
    return stops;
}

TEST(IntendedRewrites, EachInstructionStopsARunBeforeItsFirstWriteIntoTheProgramOnly) {
    Session session(table(), std::string{});
    const std::vector<Stop> stops = stopsOfContinue(session);
    // INC guarda+2 (line 17) and INC somma+2 (line 18) once each, on the
    // first turn; the two other turns go through.
    const std::vector<Stop> expected = {{4, 17, StopReason::Warning}, {5, 18, StopReason::Warning},
                                        {24, 20, StopReason::Halted}};
    EXPECT_EQ(stops, expected);
    EXPECT_EQ(session.machine().M[0xF0], 21);

    // The stop says that the instruction's later writes pass.
    session.goTo(4);
    const std::vector<Warning> first = session.warnings();
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].kind, WarningKind::WritesCode);
    EXPECT_EQ(first[0].text, "INC (riga 17, indirizzo 0x09) sta per scrivere nel byte 0x03 (3), parte di un'istruzione "
                             "della riga 14: è codice che modifica se stesso. La macchina lo permette: puoi proseguire, " +
                                 std::string(PASS_NOTE));
    // A later write by the same instruction warns of nothing: a step onto it
    // shows no warning either.
    session.goTo(11);
    EXPECT_EQ(lineOfPc(session), 17);
    EXPECT_TRUE(session.warnings().empty());
}

TEST(IntendedRewrites, WhereTheHistoryGoesBackBeforeAFirstWriteItStopsAgain) {
    // Back: r stops where c stopped, the later writes pass as they did.
    Session session(table(), std::string{});
    stopsOfContinue(session);
    const std::uint64_t backStops[] = {5, 4};
    for (const std::uint64_t position : backStops) {
        const RunResult back = session.runBackward();
        EXPECT_EQ(back.reason, StopReason::Warning);
        EXPECT_EQ(session.position(), position);
    }
    EXPECT_EQ(session.runBackward().reason, StopReason::Start);

    // From the start again the run is the same, and so is a new session
    // on the same program, as after loading it again.
    const std::vector<Stop> again = stopsOfContinue(session);
    Session loadedAgain(table(), std::string{});
    EXPECT_EQ(stopsOfContinue(loadedAgain), again);
    ASSERT_EQ(again.size(), 3u);
    EXPECT_EQ(again[0].position, 4u);
}

TEST(IntendedRewrites, ADifferentInstructionStopsBeforeItsOwnFirstWriteOfTheSameByte) {
    // Two instructions write p+1, the target of the JMP, each twice.
    Session session(sourceProgram("       NOP\n"         // 1
                                  "giro:  INC p+1\n"     // 2
                                  "       DEC p+1\n"     // 3
                                  "       DEC n\n"       // 4
                                  "       CLZ\n"         // 5
                                  "       CMP n, zero\n" // 6
                                  "       JPZ p\n"       // 7
                                  "       JMP giro\n"    // 8
                                  "p:     JMP fine\n"    // 9
                                  "fine:  RST\n"         // 10
                                  "n:     DB 2\n"
                                  "zero:  DB 0\n"),
                    std::string{});
    const std::vector<Stop> expected = {{1, 2, StopReason::Warning}, {2, 3, StopReason::Warning},
                                        {15, 10, StopReason::Halted}};
    EXPECT_EQ(stopsOfContinue(session), expected);
}

struct WhoWroteCase {
    const char* name;
    const char* source;
    std::uint64_t position;  // where the machine stands
    Byte address;            // the byte asked about
    const char* note;        // how the answer ends: the note, or "" when there is none
};

TEST(IntendedRewrites, WhoWroteAByteOfTheProgramNamesTheInstructionsWhoseWritesThereNowPass) {
    const char* const twoWriters = "INC p+1\nDEC p+1\np: JMP fine\nfine: RST\n";
    const char* const sixWriters = "INC p+1\nINC p+1\nINC p+1\nDEC p+1\nDEC p+1\nDEC p+1\np: JMP fine\nfine: RST\n";
    const WhoWroteCase cases[] = {
        {"prima della scrittura", twoWriters, 0, 5, ""},
        {"dopo la prima", twoWriters, 1, 5, " Le scritture della riga 1 (INC p+1) qui non fermano più il debugger."},
        {"due istruzioni", twoWriters, 2, 5,
         " Le scritture della riga 1 (INC p+1) e della riga 2 (DEC p+1) qui non fermano più il debugger."},
        {"un altro byte del codice", twoWriters, 2, 4, ""},
        {"un dato", "INC x\nINC p\np: RST\nx: DB 0\n", 2, 5, ""},
        {"molte istruzioni", sixWriters, 6, 13,
         " Le scritture della riga 1 (INC p+1), della riga 2 (INC p+1), della riga 3 (INC p+1) e di altre 3 "
         "istruzioni qui non fermano più il debugger."},
    };
    for (const WhoWroteCase& c : cases) {
        SCOPED_TRACE(c.name);
        Session session(sourceProgram(c.source), std::string{});
        ASSERT_EQ(session.goTo(c.position), c.position);
        const std::string text = describeLastWrite(session, c.address);
        const std::string note = c.note;
        if (note.empty())
            EXPECT_EQ(text.find("non fermano"), std::string::npos) << text;
        else
            EXPECT_TRUE(text.size() > note.size() && text.ends_with(note)) << text;
    }

    // The exercise, at its end: the two INC name themselves on the operands they move on.
    Session session(table(), std::string{});
    stopsOfContinue(session);
    const Program& program = session.program();
    EXPECT_TRUE(describeLastWrite(session, static_cast<Byte>(labelAddress(program, "guarda") + 2))
                    .ends_with(" Le scritture della riga 17 (INC guarda+2) qui non fermano più il debugger."));
    EXPECT_TRUE(describeLastWrite(session, static_cast<Byte>(labelAddress(program, "somma") + 2))
                    .ends_with(" Le scritture della riga 18 (INC somma+2) qui non fermano più il debugger."));
}

}  // namespace
}  // namespace tarn::debugger

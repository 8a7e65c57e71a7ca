// The explanation of a step against the machine: what it says each phase
// reads and writes is what the machine reads and writes in that step.
#include "machine/step_explanation.hpp"

#include "machine/instruction_set.hpp"
#include "support/machine_differences.hpp"
#include "support/random_machines.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace tarn;
using tarntest::differences;
using tarntest::hex;

namespace {

// The byte a location holds; 0 outside the machine, as a read there gives.
Byte valueAt(const MachineState& state, const ByteLocation& location) {
    return location.kind == ByteLocation::Kind::Flags ? state.F : readByte(state, location.address);
}

// Plays the accesses on the state they explain, in order: each must find
// what it says was there (a read, the byte read); each write then changes
// the state, but for one outside the machine. Returns the first access that
// found something else, or an empty text.
std::string replay(MachineState& state, const std::vector<ByteAccess>& accesses, const char* phase) {
    for (std::size_t index = 0; index < accesses.size(); ++index) {
        const ByteAccess& access = accesses[index];
        if (valueAt(state, access.location) != access.before || (!access.write && access.value != access.before))
            return std::string(phase) + " access " + std::to_string(index) + " at " +
                   std::to_string(access.location.address) + " says " + hex(access.before) + ", the state holds " +
                   hex(valueAt(state, access.location));
        if (!access.write) continue;
        if (access.location.kind == ByteLocation::Kind::Flags) state.F = access.value;
        else if (access.location.kind != ByteLocation::Kind::Outside) writeByte(state, access.location.address, access.value);
    }
    return {};
}

}  // namespace

// For every opcode and many machines: played on the machine as it was, the
// accesses of the three phases find what they say they read and leave the
// machine exactly as the machine's own step does. So every byte they say is
// written has the value the machine gives it, and nothing the machine
// changes is left out. The output, the input taken and the flags agree too.
TEST(StepExplanation, SaysExactlyWhatTheMachineReadsAndWrites) {
    tarntest::RandomMachines states(32);
    constexpr int ROUNDS = 150;
    for (unsigned opcode = 0; opcode < 256; ++opcode) {
        for (int round = 0; round < ROUNDS; ++round) {
            const MachineState before = states.about(static_cast<Byte>(opcode));
            const std::string input = states.input();
            const std::string what = "opcode " + hex(opcode) + ", round " + std::to_string(round);

            MachineState machine = before;
            MemoryConsole console(input);
            const bool stepped = stepMachine(machine, console);

            const StepExplanation explanation = explainStep(before, input);
            MachineState played = before;
            ASSERT_EQ("", replay(played, explanation.fetch.accesses, "fetch")) << what;
            ASSERT_EQ("", replay(played, explanation.decode.accesses, "decode")) << what;
            ASSERT_EQ("", replay(played, explanation.execute.accesses, "execute")) << what;
            ASSERT_EQ("", differences(machine, played)) << what;

            EXPECT_EQ(!stepped, explanation.fetch.halts) << what;
            EXPECT_EQ(console.output(), explanation.execute.output) << what;
            EXPECT_EQ(console.inputTaken(), explanation.execute.word.taken) << what;
            EXPECT_EQ(machine.F, explanation.execute.flagsAfter) << what;
            EXPECT_EQ(before.F, explanation.execute.flagsBefore) << what;
            EXPECT_EQ(opcode >> 6, explanation.fetch.lengthBits) << what;
            EXPECT_EQ(stepped ? instructionLength(static_cast<Byte>(opcode)) : 1u, explanation.fetch.length) << what;
        }
    }
}

// What each phase says beside its accesses, for one instruction of each kind.
TEST(StepExplanation, NamesThePartsOfEachPhase) {
    MachineState state{};
    state.PC = 254;
    state.M[254] = opcodeOf(Op::Add);
    state.M[255] = 0xFA;  // A; B comes from address 256, PC itself
    state.X = 8;          // A + X = 258, the register A
    const StepExplanation add = explainStep(state);
    EXPECT_EQ(2, add.fetch.lengthBits);
    EXPECT_TRUE(add.fetch.wraps);
    EXPECT_EQ(1, add.fetch.nextPc);
    ASSERT_EQ(2u, add.fetch.operands.size());
    EXPECT_EQ(255u, add.fetch.operands[0].address);
    EXPECT_EQ(256u, add.fetch.operands[1].address);
    EXPECT_EQ(254, add.fetch.operands[1].value);  // PC before it advances
    EXPECT_EQ("ADD", add.decode.mnemonic);
    EXPECT_EQ(Unit::Arithmetic, add.decode.unit);
    EXPECT_EQ(findInstruction(Op::Add)->meaning, add.decode.meaning);
    ASSERT_EQ(1u, add.decode.accesses.size());
    EXPECT_EQ(257u, add.decode.accesses[0].location.address);  // IR
    EXPECT_EQ(StepAction::Arithmetic, add.execute.action);
    ASSERT_TRUE(add.execute.effective.has_value());
    EXPECT_EQ(258u, add.execute.effective->address);
    EXPECT_EQ(ByteLocation::Kind::Register, locationOf(258).kind);
    EXPECT_EQ("A", registerName(locationOf(258)));
    EXPECT_EQ(ByteLocation::Kind::Outside, locationOf(261).kind);
    EXPECT_EQ(ByteLocation::Kind::Memory, locationOf(255).kind);

    state.M[254] = 0x8A;  // not in the table
    const StepExplanation unassigned = explainStep(state);
    EXPECT_FALSE(unassigned.decode.assigned);
    EXPECT_EQ("NOP", unassigned.decode.mnemonic);
    EXPECT_EQ(StepAction::Nothing, unassigned.execute.action);
    EXPECT_TRUE(unassigned.execute.accesses.empty());

    state.M[254] = 0;
    const StepExplanation halt = explainStep(state);
    EXPECT_TRUE(halt.fetch.halts);
    EXPECT_EQ(StepAction::Halt, halt.execute.action);
    EXPECT_EQ("RST", halt.decode.mnemonic);
    EXPECT_TRUE(halt.decode.accesses.empty());
}

// The instruction reference: one row per instruction of the table, with the
// length its opcode gives and its unit's name.
TEST(InstructionReference, GivesEveryInstructionOfTheTable) {
    const auto rows = instructionReference();
    ASSERT_EQ(instructionTable.size(), rows.size());
    const struct {
        Op op;
        unsigned length;
        std::string_view unit;
    } expected[] = {
        {Op::Rst, 1, "nessuna"},     {Op::Clz, 1, "controllo"},  {Op::IncOffst, 1, "aritmetica"},
        {Op::Jpo, 2, "controllo"},   {Op::Wrt, 2, "ingresso/uscita"}, {Op::ValOffst, 2, "controllo"},
        {Op::Cmp, 3, "aritmetica"},  {Op::Val, 3, "controllo"},
    };
    for (const auto& row : expected) {
        const auto found = std::find_if(rows.begin(), rows.end(), [&](const ReferenceRow& r) {
            return r.opcode == row.op;
        });
        ASSERT_NE(rows.end(), found) << int{opcodeOf(row.op)};
        EXPECT_EQ(findInstruction(row.op)->mnemonic, found->mnemonic);
        EXPECT_EQ(row.length, found->length) << found->mnemonic;
        EXPECT_EQ(row.unit, found->unit) << found->mnemonic;
    }
    for (const ReferenceRow& row : rows) EXPECT_FALSE(row.meaning.empty()) << row.mnemonic;
}

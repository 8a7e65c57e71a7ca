// Runs a program image with given bytes on standard input on the machine and,
// beside it, on the plain reference model of tests/reference, and compares the
// two after every instruction: the whole 262-byte state, everything printed
// (trace displays included) and how much input was taken. Shared by the fuzz
// target and the replay test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnfuzz {

// How many instructions a checked run executes at most. Most programs the
// fuzzer makes either stop within a few dozen instructions or loop forever,
// and a loop shows what it does within its first rounds: a loop of up to
// three instructions still takes a byte from 0 to its overflow at 127.
inline constexpr unsigned DEFAULT_MAX_STEPS = 512;

// How many of those may run in trace mode. Each trace display costs the
// machine far more than an instruction, and a program that keeps tracing
// shows all its display can do within a few dozen of them.
inline constexpr unsigned DEFAULT_MAX_TRACES = 32;

// The input's first two bytes give the image length (modulo 257, so 0..256
// bytes), the image follows, and the rest is standard input.
//
// The machine is driven three ways: one instruction at a time with
// stepMachine, one instruction at a time through the run loop's own fast path
// (runMachineFor with a limit of 1), and in one piece with runMachineFor.
// The run ends when the machine stops, after maxSteps instructions, or after
// the instruction that made maxTraces trace displays.
//
// Returns "" when all three agree with the reference model throughout,
// otherwise a description of the first difference.
std::string checkedRun(const std::uint8_t* data, std::size_t size, unsigned maxSteps = DEFAULT_MAX_STEPS,
                       unsigned maxTraces = DEFAULT_MAX_TRACES);

}  // namespace tarnfuzz

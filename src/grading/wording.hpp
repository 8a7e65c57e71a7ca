// The Italian texts that every report of the grader shares: points, bytes
// shown safely, why a case failed, how to replay it.
#pragma once

#include "grading/exercise.hpp"
#include "grading/grader.hpp"
#include "grading/submission.hpp"
#include "text/platform.hpp"
#include "text/utf8.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::grading {

// Points as the Italian report writes them: "2", "1,5", "0,25" (at most two
// decimals, no trailing zeros).
std::string formatPoints(double points);

// The same with a decimal point, for CSV: "2", "1.5".
std::string formatPointsPlain(double points);


// A count with its noun, singular for 1: "1 istruzione", "0 istruzioni".
std::string counted(std::uint64_t count, std::string_view one, std::string_view many);

// "0x0F": an address or byte in hexadecimal, two digits at least.
std::string hexByte(unsigned value);

// A byte as a number, from 128 on also as the negative number it is the
// two's complement of: "5", "251 (-5)".
std::string byteNumber(Byte value);

// Why a case failed, one Italian line each, most important first; empty for
// a passed case. For a submission that could not run, its problems.
std::vector<std::string> failureReasons(const Exercise& exercise, const TestCase& testCase,
                                        const Submission& submission, const CaseResult& result);

// The instruction where a run stopped by its limit or by a forbidden
// instruction stood, its bytes as they stood then.
RanInstruction instructionWhereItStood(const Submission& submission, const CaseResult& result);

// Where a run that stopped halfway stood, one line each, those under a
// heading indented by two spaces: for an endless loop, the lines of its
// instructions in program order; for a run stopped by its limit or by a
// forbidden instruction, the line of the instruction at PC and those of the
// last instructions executed. A source's lines by number, an image's by
// address with their disassembly. An instruction that the program
// rewrote before it ran is shown as it ran, with the note of
// REWRITTEN_NOTE. Empty for any other case.
std::vector<std::string> whereItStood(const Submission& submission, const TestCase& testCase,
                                      const CaseResult& result);

// What is worth knowing about a run that decides nothing (the case's
// memory placed over the program's instructions; trace displays skipped
// because D was left set), one line each.
std::vector<std::string> caseNotes(const CaseResult& result);

// Addresses, ascending, as ranges where they follow each other:
// "0x10-0x12, 0x20 e 0x30".
std::string addressRanges(const std::vector<Byte>& addresses);

// "la memoria del caso «NAME» copre istruzioni PROGRAM agli indirizzi
// 0x10-0x12" (PROGRAM: "del programma", "della soluzione"; the name left
// out when empty), for addresses that memoryOverProgram found.
std::string memoryOverProgramText(const std::vector<Byte>& addresses, std::string_view caseName,
                                  std::string_view program);

// A word quoted for a POSIX shell only when it needs it.
std::string shellQuoted(std::string_view word);

// A word for a Windows command line, quoted only when it needs it, so that
// cmd.exe and PowerShell both give it to the program whole: between double
// quotes, with the backslashes before the closing quote doubled (the C
// runtime reads \" as a quote). A word that no quoting carries through
// both (one with ", $, `, two %, PowerShell's typographic double quotes or
// a control character) is quoted for PowerShell, Windows' own, between
// apostrophes.
std::string windowsQuoted(std::string_view word);

// A word quoted for the shells of a platform.
std::string commandWord(std::string_view word, Platform platform);

// The command that replays a case of a submission in full, for the
// platform's shells.
std::string replayCommand(std::string_view exerciseArgument, std::string_view submissionArgument,
                          std::string_view caseName, Platform platform);

// The command that opens a submission's program in the debugger with a
// case's input and memory: "tarndbg PROGRAMMA --esercizio F --caso NOME",
// with " --docente" after it for the teacher, who opens hidden cases too.
std::string debuggerCommand(std::string_view programPath, std::string_view exerciseArgument,
                            std::string_view caseName, bool teacher = false);

// How to follow a failing case step by step, after "nel debugger: ": the
// debuggerCommand on POSIX, with --docente for a hidden case, which only the
// teacher's report shows; on Windows, which has no tarndbg, the browser
// edition, where the program (an image through tarndis's source) opens and
// the case's input is typed in.
std::string debuggerAdvice(const Submission& submission, std::string_view exerciseArgument,
                           const TestCase& testCase, Platform platform);

// Why a case cannot be shown in full by its name: the exercise has none of
// that name (with the nearest name, if one is near), or it is hidden and
// this is not the teacher. Nothing when it can.
std::optional<std::string> caseRefusal(const Exercise& exercise, std::string_view caseName, bool teacher = false);

}  // namespace tarn::grading

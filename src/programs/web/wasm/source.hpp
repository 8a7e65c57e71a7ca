// A program as the page hands it over: its source, its name and the input
// typed beforehand. Assembled, it gives its diagnostics where the editor
// marks them; the limits refuse a source or an input before anything runs.
#pragma once

#include "assembly/assembler.hpp"
#include "programs/web/wasm/reply.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarn::web {

// The name the page gives a program, or "programma" when it gives none.
std::string programName(std::string_view name);

// The name the reports give a source: NAME.asm.
std::string sourceName(std::string_view name);

// Assembles a source; the result gets its diagnostics, the lines that count
// the ones left out, and whether it failed.
Assembly assembleInto(json& result, std::string_view source, std::string_view name);

// Why a source is refused before it is assembled, if it is: it is too long.
std::optional<std::string> sourceTooLong(std::string_view source, std::string_view name);

// Why a source and its input are refused before anything runs, if they are.
std::optional<std::string> refusal(std::string_view source, std::string_view name, std::string_view input,
                                   std::size_t inputLimit);

// An input typed beforehand, without the line end that giving it adds.
std::string_view typedLines(std::string_view input);

inline const std::string INPUT_TOO_LONG = "L'ingresso supera il limite di 1 MiB: non si può aggiungere altro.";
inline const std::string INPUT_ENDED = "L'ingresso è già stato chiuso: non si può aggiungere altro.";

}  // namespace tarn::web

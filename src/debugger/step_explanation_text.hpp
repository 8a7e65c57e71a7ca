// The explanation of a step in Italian: each phase told with the step's own
// numbers, from the plain data of machine/step_explanation.
#pragma once

#include "machine/step_explanation.hpp"

#include <array>
#include <string>
#include <string_view>

namespace tarn::debugger {

// "Prelievo", "Decodifica", "Esecuzione".
std::string_view phaseTitle(StepPhase phase);

// What happens in one phase, in a few sentences.
std::string phaseText(const StepExplanation& explanation, StepPhase phase);

struct PhaseText {
    StepPhase phase;
    std::string_view title;
    std::string text;
};

// The three phases in order, each with its title and its text.
std::array<PhaseText, 3> explanationText(const StepExplanation& explanation);

}  // namespace tarn::debugger

// The explanation of a step in its panel: e opens and closes it on the step
// just made; f shows the coming instruction a phase at a time, and its third
// press makes the step as s does; b goes back a phase while the prelievo or
// the decodifica is shown; p turns the pages of an explanation longer than
// the panel. The words are the library's (debugger/step_explanation_text),
// with the machine's numbers. While f shows the prelievo or the decodifica,
// the registers show what the fetch has put in them.
#include "programs/tarndbg/debugger_screen.hpp"
#include "programs/tarndbg/terminal_text.hpp"

#include "debugger/step_explanation_text.hpp"
#include "machine/instruction_set.hpp"
#include "machine/step_explanation.hpp"

#include <curses.h>

#include <algorithm>
#include <string>
#include <vector>

namespace tarn::dbg {

namespace {

constexpr const char* NOTHING_YET =
    "Nessuna istruzione eseguita finora: s esegue la prossima, f la mostra una fase alla volta.";

// What the message says while f shows one or two phases of step `step`.
std::string phaseMessage(std::uint64_t step, int shown) {
    const std::string head = "Passo " + std::to_string(step) + ", fase " + std::to_string(shown) + " di 3: ";
    if (shown == 1) return head + "il prelievo. f mostra la decodifica, b torna indietro di una fase.";
    return head + "la decodifica. f esegue l'istruzione e ne mostra l'esecuzione, b torna al prelievo.";
}

}  // namespace

// The panel's text wrapped to its width and cut into pages of PANEL_ROWS
// rows. A phase that does not fit in the rest of a page begins the next; one
// longer than a page goes on over the next, its title again with
// "(seguito)".
struct Screen::ExplanationPages {
    static constexpr std::size_t BLANK = static_cast<std::size_t>(-1);  // the row between two phases
    struct Row {
        std::size_t paragraph = BLANK;
        GlyphRow cells;
        bool title = false;  // a phase's title, in bold
    };
    std::string title;
    std::vector<Glyphs> paragraphs;
    std::vector<std::vector<Row>> pages;
    int focusPage = 0;  // where the phase to look at begins
};

Screen::ExplanationPages Screen::explanationPages() const {
    ExplanationPages result;
    const std::uint64_t position = session_.position();
    const int shown = phasesShown();
    std::vector<debugger::PhaseText> phases;
    StepPhase focus = StepPhase::Fetch;
    if (shown > 0) {
        result.title = "Passo " + std::to_string(position + 1) + ", una fase alla volta";
        const auto all = debugger::explanationText(explainStep(session_.machine(), session_.pendingInput()));
        phases.assign(all.begin(), all.begin() + shown);
        focus = phases.back().phase;
    } else if (const MachineState* before = session_.previous()) {
        result.title = "Spiegazione del passo " + std::to_string(position);
        const auto all = debugger::explanationText(explainStep(*before, session_.inputBeforeLastStep()));
        phases.assign(all.begin(), all.end());
        focus = madeByPhase_ == position ? StepPhase::Execute : StepPhase::Fetch;
    } else {
        result.title = "Spiegazione";
    }

    // The paragraphs: each phase's title and text, then each title again
    // for a page that goes on with its text; NOTHING_YET when there is none.
    const std::size_t count = phases.size();
    for (const debugger::PhaseText& phase : phases) {
        result.paragraphs.push_back(glyphsOf(phase.title));
        result.paragraphs.push_back(glyphsOf(phase.text));
    }
    for (const debugger::PhaseText& phase : phases)
        result.paragraphs.push_back(glyphsOf(std::string(phase.title) + " (seguito)"));
    if (phases.empty()) result.paragraphs.push_back(glyphsOf(NOTHING_YET));

    const int width = std::max(1, explanationWidth());
    std::vector<ExplanationPages::Row> page;
    const auto newPage = [&] {
        result.pages.push_back(std::move(page));
        page.clear();
    };
    const auto rows = [&](std::size_t paragraph) { return wrap(result.paragraphs[paragraph], width); };
    const auto whole = [&](std::size_t paragraph) {
        return GlyphRow{0, result.paragraphs[paragraph].size()};
    };
    if (phases.empty())
        for (const GlyphRow& cells : rows(0)) page.push_back({0, cells, false});
    for (std::size_t k = 0; k < count; ++k) {
        // A phase that does not fit in the rest of the page begins the next.
        const std::vector<GlyphRow> text = rows(2 * k + 1);
        if (!page.empty() && page.size() + 2 + text.size() > static_cast<std::size_t>(PANEL_ROWS)) newPage();
        if (!page.empty()) page.push_back({});
        if (phases[k].phase == focus) result.focusPage = static_cast<int>(result.pages.size());
        page.push_back({2 * k, whole(2 * k), true});
        for (const GlyphRow& cells : text) {
            if (page.size() == static_cast<std::size_t>(PANEL_ROWS)) {
                newPage();
                page.push_back({2 * count + k, whole(2 * count + k), true});
            }
            page.push_back({2 * k + 1, cells, false});
        }
    }
    newPage();
    return result;
}

void Screen::drawExplanation() {
    const ExplanationPages pages = explanationPages();
    const int count = static_cast<int>(pages.pages.size());
    const Phases showing{session_.position(), phasesShown()};
    if (explained_ != showing) {
        explained_ = showing;
        explanationPage_ = pages.focusPage;
    }
    explanationPage_ = std::clamp(explanationPage_, 0, count - 1);

    const int x = explanationColumn();
    const int width = explanationWidth();
    int noteWidth = 0;
    if (count > 1) {
        const Glyphs note = glyphsOf(pageNote(explanationPage_, count, keyName(Command::ExplanationPage)));
        noteWidth = std::min(width, widthOf(note));
        putGlyphs(1, x + width - noteWidth, noteWidth, note);
    }
    put(1, x, std::max(0, width - noteWidth - 1), pages.title);
    const auto& rows = pages.pages[static_cast<std::size_t>(explanationPage_)];
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ExplanationPages::Row& row = rows[i];
        if (row.paragraph == ExplanationPages::BLANK) continue;
        if (row.title) attron(A_BOLD);
        putGlyphs(PANEL_TOP + static_cast<int>(i), x, width, pages.paragraphs[row.paragraph], row.cells.first,
                  row.cells.second);
        if (row.title) attroff(A_BOLD);
    }
}

std::optional<MachineState> Screen::fetchShown() const {
    const int shown = phasesShown();
    if ((shown != 1 && shown != 2) || session_.halted()) return std::nullopt;
    MachineState machine = session_.machine();
    fetchInstruction(machine);
    return machine;
}

void Screen::openExplanation() {
    explanationOpen_ = true;
    explained_.reset();
}

void Screen::toggleExplanation() {
    if (!explanationOpen_) {
        openExplanation();
        return;
    }
    explanationOpen_ = false;
    forgetPhases();
}

void Screen::nextExplanationPage() {
    if (!explanationOpen_) {
        openExplanation();
        return;
    }
    ++explanationPage_;
    if (explanationPage_ >= static_cast<int>(explanationPages().pages.size())) explanationPage_ = 0;
}

void Screen::nextPhase() {
    if (!explanationOpen_) openExplanation();
    const std::uint64_t position = session_.position();
    const int shown = phasesShown();
    if (shown < 2) {
        phases_ = {position, shown + 1};
        message_ = phaseMessage(position + 1, shown + 1);
        return;
    }
    // The esecuzione: the step, exactly as s makes it. Where the machine
    // has stopped there is none, and the panel shows the three phases of
    // the instruction that stops it; an INP that waits asks for its word.
    step(true);
    if (session_.position() == position && !inputOpen_) phases_ = {position, 3};
}

bool Screen::phaseBack() {
    const int shown = phasesShown();
    if (shown != 1 && shown != 2) return false;
    phases_.shown = shown - 1;
    const std::uint64_t step = session_.position() + 1;
    message_ = shown == 2 ? phaseMessage(step, 1)
                          : "Passo " + std::to_string(step) + " di nuovo da capo: f ne mostra il prelievo.";
    return true;
}

}  // namespace tarn::dbg

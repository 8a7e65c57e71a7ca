#include "programs/tarndbg/keys.hpp"

#include <curses.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace tarn::dbg {

namespace {

constexpr int KEY_TAB = 9;
constexpr int KEY_CTRL_C = 3;
constexpr int KEY_CTRL_D = 4;
constexpr int KEY_CTRL_Z = 26;
constexpr int KEY_ESCAPE = 27;

// In the order of the help.
const KeyBinding TABLE[] = {
    {When::Browsing, {'s'}, Command::Step, "s", Bar::Browsing, 1, "s passo", "s passo", 0,
     "esegue un'istruzione", 1},
    {When::Browsing, {'b'}, Command::StepBack, "b", Bar::Browsing, 2, "b indietro", "b indietro", 0,
     "torna indietro di un'istruzione (di una fase, dopo f)", 1},
    {When::Browsing, {'f'}, Command::NextPhase, "f", Bar::Browsing, 3, "f fase", "f fase", 0,
     "mostra una fase alla volta; alla terza esegue l'istruzione", 1},
    {When::Browsing, {'e'}, Command::Explain, "e", Bar::Browsing, 4, "e spiega", "e spiega", 0,
     "apre o chiude la spiegazione dell'ultimo passo; p la sfoglia", 1},
    {When::Browsing, {'p'}, Command::ExplanationPage, "p", Bar::None, 0, nullptr, nullptr, 0, nullptr},
    {When::Browsing, {'c'}, Command::Continue, "c", Bar::Browsing, 5, "c continua", "c continua", 0,
     "continua fino a un punto di arresto, un byte osservato che\n"
     "cambia, un avviso, un ciclo infinito (righe segnate con ↻)\n"
     "o la fine; un tasto qualsiasi interrompe", 1},
    {When::Browsing, {'r'}, Command::RunBackward, "r", Bar::Browsing, 6, "r all'indietro", "r ritorna", 0,
     "continua all'indietro fino all'arresto precedente", 1},
    {When::Browsing, {'g'}, Command::Restart, "g", Bar::Browsing, 10, "g inizio", "g inizio", 1,
     "torna all'inizio"},
    {When::Browsing, {'k'}, Command::Breakpoint, "k", Bar::Browsing, 7, "k arresto", "k arresto", 0,
     "mette o toglie un punto di arresto sulla riga sotto il\n"
     "cursore (nella memoria: sul byte sotto il cursore)"},
    {When::Browsing, {'w'}, Command::Watch, "w", Bar::Browsing, 8, "w osserva", "w osserva", 0,
     "osserva il byte sotto il cursore della memoria, o smette"},
    {When::Browsing, {'?'}, Command::LastWriter, "?", Bar::Browsing, 9, "? chi ha scritto", "? chi", 0,
     "dice quale istruzione ha scritto per ultima quel byte"},
    {When::Browsing, {KEY_TAB, KEY_BTAB}, Command::SwitchPanel, "Tab", Bar::Browsing, 11, "Tab sorgente/memoria",
     "Tab sorgente/memoria", 2, "passa dal sorgente alla memoria e viceversa"},
    {When::Browsing, {'m'}, Command::NextMessagePage, "m", Bar::None, 0, nullptr, nullptr, 0,
     "mostra il seguito di un messaggio lungo (Tab mentre si scrive)"},
    {When::Browsing, {KEY_UP, KEY_DOWN, KEY_LEFT, KEY_RIGHT, KEY_PPAGE, KEY_NPAGE, KEY_HOME, KEY_END},
     Command::MoveCursor, "frecce", Bar::None, 0, nullptr, nullptr, 0,
     "muovono il cursore; PagSu e PagGiù di una pagina"},
    {When::Always, {KEY_CTRL_Z}, Command::Suspend, "Ctrl-Z", Bar::None, 0, nullptr, nullptr, 0,
     "sospende il debugger; q o Ctrl-C lo chiude"},
    {When::Browsing, {'h', KEY_F(1)}, Command::Help, "h", Bar::Browsing, 12, "h aiuto", "h aiuto", 0,
     "mostra questo aiuto", 2},
    {When::Browsing, {'q', 'Q'}, Command::Quit, "q", Bar::Browsing, 13, "q esci", "q esci", 0, nullptr, 2},
    // While a word is typed: the help says it in the words of TYPING_HELP.
    {When::Typing, {'\r', '\n', KEY_ENTER}, Command::GiveWord, "Invio", Bar::Typing, 1, "Invio dà la parola",
     "Invio dà la parola", 0, nullptr},
    {When::Typing, {KEY_CTRL_D}, Command::EndInput, "Ctrl-D", Bar::Typing, 2,
     "Ctrl-D su riga vuota: fine dell'ingresso", "Ctrl-D: fine dell'ingresso", 0, nullptr},
    {When::Typing, {KEY_ESCAPE}, Command::CancelInput, "Esc", Bar::Typing, 3, "Esc annulla", "Esc annulla", 0,
     nullptr},
    {When::Typing, {KEY_TAB}, Command::NextMessagePage, "Tab", Bar::None, 0, nullptr, nullptr, 0, nullptr},
    {When::Typing, {KEY_BACKSPACE, 127, 8}, Command::EraseCharacter, "Backspace", Bar::None, 0, nullptr, nullptr, 0,
     nullptr},
    {When::Always, {KEY_CTRL_C}, Command::Quit, "Ctrl-C", Bar::Typing, 4, "Ctrl-C esce", "Ctrl-C esce", 2, nullptr},
};

constexpr const char* TYPING_HELP[] = {
    "Quando INP aspetta una parola: Invio la dà, Ctrl-D su una riga",
    "vuota chiude l'ingresso, Esc annulla.",
};

constexpr std::size_t HELP_NAME_WIDTH = 9;  // the column of the keys' names

// How a form of the bar writes its entries: whole or short labels, for the
// entries that keep them (keepsLabel >= labelled).
enum class Labels { Whole, Short };

struct BarForm {
    Labels labels;
    int labelled;
    const char* separator;
    int keep;  // the entries that give their place later than this (drop <= keep)
};

// The forms of each bar, widest first. Two lone letters are one blank
// apart ("s b c"), as in the one-blank form.
constexpr BarForm BROWSING_FORMS[] = {
    {Labels::Whole, 0, "  ", 2},
    {Labels::Whole, 0, "  ", 1},
    {Labels::Short, 0, "  ", 1},
    {Labels::Short, 0, " ", 0},
    {Labels::Short, 1, " ", 0},
    {Labels::Short, 2, "  ", 2},
};
constexpr BarForm TYPING_FORMS[] = {
    {Labels::Whole, 0, "  ", 2},
    {Labels::Short, 0, "  ", 1},
    {Labels::Short, 2, "  ", 1},
};

}  // namespace

const std::span<const KeyBinding> KEYS{TABLE};

const KeyBinding* bindingFor(When when, int key) {
    if (key == 0) return nullptr;
    for (const KeyBinding& binding : KEYS)
        if (binding.when == when && std::find(binding.keys.begin(), binding.keys.end(), key) != binding.keys.end())
            return &binding;
    return nullptr;
}

const char* keyName(Command command) {
    for (const KeyBinding& binding : KEYS)
        if (binding.when == When::Browsing && binding.command == command) return binding.name;
    return "";
}

std::vector<std::string> barForms(Bar bar) {
    std::vector<const KeyBinding*> entries;
    for (const KeyBinding& binding : KEYS)
        if (binding.bar == bar) entries.push_back(&binding);
    std::stable_sort(entries.begin(), entries.end(),
                     [](const KeyBinding* a, const KeyBinding* b) { return a->barPlace < b->barPlace; });
    const std::span<const BarForm> forms =
        bar == Bar::Typing ? std::span<const BarForm>(TYPING_FORMS) : std::span<const BarForm>(BROWSING_FORMS);
    std::vector<std::string> result;
    for (const BarForm& form : forms) {
        std::string text;
        bool lastAlone = false;  // the entry before is a lone letter
        for (const KeyBinding* entry : entries) {
            if (entry->drop > form.keep) continue;
            const bool labelled = entry->keepsLabel >= form.labelled;
            const std::string item = !labelled                      ? entry->name
                                     : form.labels == Labels::Whole ? entry->barText
                                                                    : entry->shortBarText;
            const bool alone = !labelled && std::strlen(entry->name) == 1;
            if (!text.empty()) text += lastAlone && alone ? " " : form.separator;
            text += item;
            lastAlone = alone;
        }
        result.push_back(text);
    }
    return result;
}

std::vector<std::string> helpLines() {
    std::vector<std::string> lines;
    for (const KeyBinding& binding : KEYS) {
        if (binding.help == nullptr) continue;
        std::string name = binding.name;
        name.resize(std::max(name.size(), HELP_NAME_WIDTH), ' ');
        std::string_view help = binding.help;
        for (bool first = true;; first = false) {
            const std::size_t end = help.find('\n');
            lines.push_back((first ? name : std::string(HELP_NAME_WIDTH, ' ')) + std::string(help.substr(0, end)));
            if (end == std::string_view::npos) break;
            help.remove_prefix(end + 1);
        }
    }
    lines.emplace_back();
    for (const char* line : TYPING_HELP) lines.emplace_back(line);
    return lines;
}

}  // namespace tarn::dbg

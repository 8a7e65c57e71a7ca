// The keys of tarndbg, written once: which command each key gives, how the
// key bar names it and what the help says of it. The screen's handling of
// a key, its key bar and its help window are all made from KEYS.
//
// A new key is a new Command, one row of KEYS (its keys, its name, its
// place in the bar and its lines of help) and one case in Screen::perform.
#pragma once

#include <array>
#include <span>
#include <string>
#include <vector>

namespace tarn::dbg {

enum class Command {
    Quit,
    Suspend,
    Step,
    StepBack,
    Continue,
    RunBackward,
    Restart,
    Breakpoint,
    Watch,
    LastWriter,
    SwitchPanel,
    NextMessagePage,
    MoveCursor,
    Help,
    // The explanation of a step: open or close it, its next page, the
    // coming instruction's next phase.
    Explain,
    ExplanationPage,
    NextPhase,
    // While a word for INP is typed.
    GiveWord,
    EndInput,
    CancelInput,
    EraseCharacter,
};

// When a key gives its command: in every state (even with the help open or
// the terminal too small), while the panels are browsed, or while a word is
// typed on the input line.
enum class When { Always, Browsing, Typing };

// The two key bars: the usual one, and the one while a word is typed.
enum class Bar { None, Browsing, Typing };

struct KeyBinding {
    When when;
    std::array<int, 8> keys;  // the keys that give the command (0: none)
    Command command;
    const char* name;         // "s", "Tab": the key as the bar and the help write it
    // In the bar: where (1 first, in the bar given), the text with the key
    // ("r all'indietro") and its shorter form ("r ritorna"), and how soon it
    // gives its place when the bar is short (0 never, 1 in the short forms,
    // 2 first).
    Bar bar;
    int barPlace;
    const char* barText;
    const char* shortBarText;
    int drop;
    // Its lines in the help, '\n' between them; nullptr: none of its own.
    const char* help;
    // How long it keeps its label in the bar as the bar narrows: 0 while
    // every key has its own, 1 also where only the keys of the steps keep
    // theirs, 2 even where the others stand alone ("h aiuto", "q esci": the
    // words a newcomer looks for).
    int keepsLabel = 0;
};

extern const std::span<const KeyBinding> KEYS;

// The row that gives key when, or nullptr.
const KeyBinding* bindingFor(When when, int key);

// The name of the key that gives command while the panels are browsed
// ("c"), as the messages write it; "" when none does.
const char* keyName(Command command);

// The forms of a key bar, widest first: the screen shows the first that fits.
std::vector<std::string> barForms(Bar bar);

// The help window's lines: each key's, then what the keys do while a word
// is typed.
std::vector<std::string> helpLines();

}  // namespace tarn::dbg

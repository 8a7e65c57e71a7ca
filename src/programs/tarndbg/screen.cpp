// The screen of tarndbg: its loop, which draws and waits for a key, and
// each key turned into its command by the table of keys.hpp.
#include "programs/tarndbg/screen.hpp"

#include "debugger/session_messages.hpp"
#include "programs/tarndbg/debugger_screen.hpp"
#include "programs/tarndbg/terminal.hpp"
#include "programs/tarndbg/terminal_text.hpp"

#include <curses.h>

#include <algorithm>
#include <string>
#include <vector>

namespace tarn::dbg {

using debugger::StopReason;

Screen::Screen(debugger::Session& session, std::string message) : session_(session), message_(std::move(message)) {
    followNext();
    if (message_.empty()) message_ = "Pronto: s esegue un'istruzione, c continua, h mostra tutti i tasti.";
    message_ = withWarnings(message_, StopReason::None);
}

void Screen::followNext() {
    const int line = session_.currentLine();
    if (line >= 0) sourceCursor_ = line;
}

std::string Screen::withWarnings(std::string text, StopReason reason) const {
    const std::vector<debugger::Warning> warnings = session_.warnings();
    // describeStop shows the first warning itself when the run stopped for it.
    for (std::size_t i = reason == StopReason::Warning ? 1 : 0; i < warnings.size(); ++i) {
        if (!text.empty()) text += ' ';
        text += warnings[i].text;
    }
    return text;
}

int Screen::run() {
    if (terminalCharacters.colours) {
        const short background = use_default_colors() == OK ? -1 : COLOR_BLACK;
        init_pair(CHANGED_PAIR, COLOR_YELLOW, background);
    }
    // The wait for a key ends now and then: a resize that comes just before
    // ncurses sleeps is noticed only when it looks again.
    timeout(KEY_WAIT_MS);
    for (;;) {
        draw();
        int key = ERR;
        while (key == ERR) key = getch();
        if (!handle(key)) return 0;
    }
}

bool Screen::handle(int key) {
    if (key == KEY_RESIZE) return true;
    if (const KeyBinding* always = bindingFor(When::Always, key)) return perform(always->command, key);
    if (tooSmall()) {
        const KeyBinding* binding = bindingFor(When::Browsing, key);
        return binding == nullptr || binding->command != Command::Quit;
    }
    if (helpOpen_) {
        helpOpen_ = false;
        return true;
    }
    if (inputOpen_) {
        if (const KeyBinding* binding = bindingFor(When::Typing, key))
            perform(binding->command, key);
        else
            typeCharacter(key);
        return true;
    }
    if (const KeyBinding* binding = bindingFor(When::Browsing, key)) return perform(binding->command, key);
    return true;
}

bool Screen::perform(Command command, int key) {
    switch (command) {
        case Command::Quit: return false;
        case Command::Suspend: suspendTerminal(); break;
        case Command::Step: step(); break;
        case Command::StepBack:
            if (!phaseBack()) stepBack();
            break;
        case Command::Continue: runForward(); break;
        case Command::RunBackward: runBackward(); break;
        case Command::Restart: restart(); break;
        case Command::Breakpoint: toggleBreakpoint(); break;
        case Command::Watch: toggleWatchpoint(); break;
        case Command::LastWriter:
            message_ = debugger::describeLastWrite(session_, static_cast<Byte>(gridCursor_));
            break;
        case Command::SwitchPanel:
            // The memory comes back from under the explanation that stood in its place.
            if (!memoryShown()) toggleExplanation();
            focus_ = focus_ == Focus::Source ? Focus::Memory : Focus::Source;
            break;
        case Command::NextMessagePage: nextMessagePage(); break;
        case Command::MoveCursor: moveCursor(key); break;
        case Command::Help: helpOpen_ = true; break;
        case Command::Explain: toggleExplanation(); break;
        case Command::ExplanationPage: nextExplanationPage(); break;
        case Command::NextPhase: nextPhase(); break;
        case Command::GiveWord: giveWord(); break;
        case Command::EndInput: endInput(); break;
        case Command::CancelInput: cancelInput(); break;
        case Command::EraseCharacter: eraseCharacter(); break;
    }
    return true;
}

void Screen::moveCursor(int key) {
    if (focus_ == Focus::Source) {
        const int last = std::max(0, static_cast<int>(session_.program().lines.size()) - 1);
        switch (key) {
            case KEY_UP: --sourceCursor_; break;
            case KEY_DOWN: ++sourceCursor_; break;
            case KEY_PPAGE: sourceCursor_ -= PANEL_ROWS; break;
            case KEY_NPAGE: sourceCursor_ += PANEL_ROWS; break;
            case KEY_HOME: sourceCursor_ = 0; break;
            case KEY_END: sourceCursor_ = last; break;
            default: return;
        }
        sourceCursor_ = std::clamp(sourceCursor_, 0, last);
        return;
    }
    switch (key) {
        case KEY_UP: gridCursor_ -= 16; break;
        case KEY_DOWN: gridCursor_ += 16; break;
        case KEY_LEFT: --gridCursor_; break;
        case KEY_RIGHT: ++gridCursor_; break;
        case KEY_PPAGE: gridCursor_ -= 128; break;
        case KEY_NPAGE: gridCursor_ += 128; break;
        case KEY_HOME: gridCursor_ = 0; break;
        case KEY_END: gridCursor_ = 255; break;
        default: return;
    }
    // Up and down stop at the edges; left and right go on to the next row.
    if (gridCursor_ < 0) gridCursor_ = key == KEY_LEFT ? 255 : gridCursor_ + 16 * ((-gridCursor_ + 15) / 16);
    if (gridCursor_ > 255) gridCursor_ = key == KEY_RIGHT ? 0 : gridCursor_ - 16 * ((gridCursor_ - 255 + 15) / 16);
    gridCursor_ = std::clamp(gridCursor_, 0, 255);
}

void Screen::nextMessagePage() {
    const int count = messagePages(message_, columns_, inputOpen_).pages.count;
    messagePage_ = (messagePage_ + 1) % count;
}

int runScreen(debugger::Session& session, const std::string& firstMessage) {
    terminalCharacters = {utf8Locale(), has_colors()};
    Screen screen(session, firstMessage);
    return screen.run();
}

}  // namespace tarn::dbg

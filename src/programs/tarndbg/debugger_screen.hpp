// The screen of tarndbg as an object: what it shows (the session, the
// message, where the cursors stand) and its methods, which draw the screen
// (frame.cpp, panels.cpp), turn keys into commands (screen.cpp, by the table
// of keys.hpp) and carry the commands out on the session (commands.cpp).
// No machine logic lives here.
//
// The message after a command is the library's description of where the run
// stopped, then the warnings where the machine stands; but a plain step (s
// that nothing stopped), a step back (b) and the return to the start (g) say
// so in the library's words for them (describeStep, describeStepBack,
// describeRestart), since "running" or "nothing before here" would not
// describe them. An s that arrives at an INP waiting for a word does not
// open the input line: the next s does (c opens it at once, and goes on
// after the word).
//
// The explanation of a step (explanation.cpp) stands in a panel of its own:
// beside the memory where the terminal is wide enough, in the memory's place
// where it is not. e shows the step just made; f shows the coming
// instruction a phase at a time, and its third press makes the step as s
// does. While f shows the prelievo or the decodifica, b goes back a phase.
#pragma once

#include "debugger/session.hpp"
#include "programs/tarndbg/keys.hpp"
#include "programs/tarndbg/layout.hpp"

#include <algorithm>

#include <cstdint>
#include <optional>
#include <string>

namespace tarn::dbg {

enum class Focus { Source, Memory };

// What an input line, once given, goes on with: PhaseStep is the step of
// f's third press.
enum class Pending { Nothing, Step, PhaseStep, Continue };

class Screen {
public:
    Screen(debugger::Session& session, std::string message);

    int run();

private:
    // Drawing: the frame, its title and its last rows (frame.cpp).
    void draw();
    void drawTooSmall();
    void drawTitle(std::uint64_t count);
    // What the count, the message line and the keys show.
    struct Shown {
        std::uint64_t count = 0;
        std::string message;
        bool inputOpen = false;
        std::string typed;
        int page = 0;
    };
    void drawMessage(const Shown& shown);
    void drawKeys(bool typing);
    void drawHelp();
    void placeCursor(const Shown& shown);

    // The panels (panels.cpp). Right of the source stands the memory; the
    // explanation stands between them, or instead of the memory, in draw().
    void drawSource();
    void drawMemory();
    void drawRegisters();
    void drawFlagsAndInput();
    void drawOutput();

    // Keys (screen.cpp): handle finds the key's row in KEYS, perform carries
    // out its command.
    bool handle(int key);  // false: quit
    bool perform(Command command, int key);  // false: quit
    void moveCursor(int key);
    void nextMessagePage();

    // The explanation (explanation.cpp).
    void toggleExplanation();
    void nextPhase();
    bool phaseBack();  // b: false when no phase is shown, and b steps back
    void nextExplanationPage();
    void openExplanation();
    void forgetPhases() {
        phases_ = {};
        madeByPhase_.reset();
    }
    int phasesShown() const { return phases_.position == session_.position() ? phases_.shown : 0; }
    // While f shows the prelievo or the decodifica: the machine as the
    // fetch leaves it, which the registers show.
    std::optional<MachineState> fetchShown() const;
    struct ExplanationPages;
    ExplanationPages explanationPages() const;
    void drawExplanation();

    // The commands on the session (commands.cpp). step(true) is f's.
    void step(bool byPhase = false);
    void stepBack();
    void runForward();
    void runBackward();
    void restart();
    void toggleBreakpoint();
    void toggleWatchpoint();
    void finishRun(const debugger::RunResult& result);
    // The input line.
    void openInput(Pending pending);
    void closeInput();
    void giveWord();
    void endInput();
    void cancelInput();
    void eraseCharacter();
    void typeCharacter(int key);
    void goOnAfterInput();

    void followNext();
    std::string withWarnings(std::string text, debugger::StopReason reason) const;
    bool tooSmall() const { return columns_ < MIN_COLUMNS || rows_ < MIN_ROWS; }
    // Whether the line (an index in the program's lines) is an instruction
    // that the proved endless loop goes through.
    bool lineInLoop(int index) const {
        const debugger::ProgramLine& line = session_.program().lines[static_cast<std::size_t>(index)];
        return line.address && session_.inEndlessLoop(*line.address);
    }
    bool showsCharacters() const { return columns_ >= CHARACTERS_ALWAYS || focus_ == Focus::Memory; }
    int memoryWidth() const { return MEMORY_WIDTH + (showsCharacters() ? CHARACTERS_WIDTH : 0); }
    int memoryColumn() const { return columns_ - memoryWidth(); }
    // The explanation: beside the memory when the source keeps its room at
    // 80 columns and the explanation its own; else in the memory's place.
    bool explanationBeside() const {
        return columns_ - memoryWidth() - 2 - SOURCE_ROOM >= EXPLANATION_MIN_WIDTH;
    }
    bool memoryShown() const { return !explanationOpen_ || explanationBeside(); }
    int explanationWidth() const {
        if (!explanationBeside()) return memoryWidth();
        return std::min(EXPLANATION_MAX_WIDTH, columns_ - memoryWidth() - 2 - SOURCE_ROOM);
    }
    int explanationColumn() const {
        return explanationBeside() ? memoryColumn() - 1 - explanationWidth() : memoryColumn();
    }
    int sourceWidth() const { return (explanationOpen_ ? explanationColumn() : memoryColumn()) - 1; }

    debugger::Session& session_;
    std::string message_;
    Focus focus_ = Focus::Source;
    int sourceCursor_ = 0;
    int sourceTop_ = 0;
    int gridCursor_ = 0;
    bool helpOpen_ = false;
    bool inputOpen_ = false;
    std::string typed_;
    Pending pending_ = Pending::Nothing;
    int rows_ = 0;
    int columns_ = 0;
    int messagePage_ = 0;  // of a message longer than its rows
    Shown shown_;

    bool explanationOpen_ = false;
    // The phases of the instruction at position that f shows: 1 the
    // prelievo, 2 with the decodifica, 3 all (only where the machine has
    // stopped, and f's third press makes no step).
    struct Phases {
        std::uint64_t position = 0;
        int shown = 0;
        bool operator==(const Phases&) const = default;
    };
    Phases phases_;
    // The position that a step made by f reached: its explanation opens at
    // the esecuzione.
    std::optional<std::uint64_t> madeByPhase_;
    // The explanation's page, and what it showed: on anything new, the page
    // of the phase just shown.
    int explanationPage_ = 0;
    std::optional<Phases> explained_;
};

}  // namespace tarn::dbg

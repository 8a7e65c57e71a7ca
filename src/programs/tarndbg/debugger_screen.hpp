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
#pragma once

#include "debugger/session.hpp"
#include "programs/tarndbg/keys.hpp"
#include "programs/tarndbg/layout.hpp"

#include <cstdint>
#include <string>

namespace tarn::dbg {

enum class Focus { Source, Memory };

// What an input line, once given, goes on with.
enum class Pending { Nothing, Step, Continue };

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

    // The panels (panels.cpp). Right of the source stands the memory; a
    // panel that takes its place is drawn instead of drawMemory, in draw(),
    // and gives its width to memoryWidth().
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

    // The commands on the session (commands.cpp).
    void step();
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
    int sourceWidth() const { return columns_ - memoryWidth() - 1; }
    int memoryColumn() const { return columns_ - memoryWidth(); }

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
};

}  // namespace tarn::dbg

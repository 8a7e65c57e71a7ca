// A full-screen program run on a pseudo-terminal of its own and read the way
// a terminal would show it: what the program writes goes through libvterm,
// which keeps the screen's cells, their attributes, the cursor and the modes
// (alternate screen, cursor shown or hidden). The test types keys, waits for
// texts, resizes the terminal, sends signals and compares the terminal's
// settings after the run with those before it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <termios.h>
#include <vector>

struct VTerm;
struct VTermScreen;

namespace tarntest {

struct ScreenOptions {
    int cols = 80;
    int rows = 24;
    // Added to the environment (NAME=VALUE), after TERM=xterm-256color and
    // LANG=C.UTF-8, which they may override.
    std::vector<std::string> environment;
    std::string workingDirectory;  // empty: the test's own
    // Standard output to a pipe instead of the terminal (read with output()).
    bool outputToPipe = false;
    // Standard input from /dev/null instead of the terminal.
    bool inputFromNull = false;
};

struct CellAttributes {
    bool bold = false;
    bool underline = false;
    bool reverse = false;
};

// Keys as a terminal sends them. The cursor keys depend on the mode the
// program set (ncurses asks for the application mode): press them with
// ScreenSession::pressKey.
namespace keys {
inline const std::string Tab = "\t";
inline const std::string Enter = "\r";
inline const std::string Esc = "\x1b";
inline std::string ctrl(char letter) { return std::string(1, static_cast<char>(letter & 0x1f)); }
}  // namespace keys

enum class Key { Up, Down, Left, Right, PageUp, PageDown, Home, End };

class ScreenSession {
public:
    ScreenSession();
    ScreenSession(const ScreenSession&) = delete;
    ScreenSession& operator=(const ScreenSession&) = delete;
    ~ScreenSession();  // kills the program if it is still running

    // Starts argv[0] (a path) on a fresh terminal of the given size.
    void start(const std::vector<std::string>& argv, const ScreenOptions& options = {});

    pid_t pid() const { return pid_; }
    int cols() const { return cols_; }
    int rows() const { return rows_; }

    // Types raw bytes on the terminal.
    void press(std::string_view keys);
    // Types a special key, encoded as the terminal's current modes want.
    void pressKey(Key key, int times = 1);

    // Reads what the program writes until the screen shows the text (or the
    // condition holds), or the time runs out; returns whether it does. The
    // condition must also hold once the program has finished drawing.
    bool waitForText(std::string_view text, int milliseconds = 20000);
    bool waitUntil(const std::function<bool()>& condition, int milliseconds = 20000);
    // Reads whatever the program has written by now.
    void update();
    // Reads until the program has written nothing for QUIET_MILLISECONDS.
    void settle();
    static constexpr int QUIET_MILLISECONDS = 40;

    // Waits until the program has read every key typed and sleeps (waits
    // for more); false when the time runs out or it has ended.
    bool waitUntilIdle(int milliseconds = 20000);

    // A row as UTF-8 text, trailing blanks dropped; the whole screen, rows
    // joined by line ends; one cell's text (" " for an empty one).
    std::string row(int r) const;
    std::string text() const;
    std::string cell(int r, int c) const;
    CellAttributes attributes(int r, int c) const;
    // Where the cursor stands: {row, column}.
    std::pair<int, int> cursor() const;
    bool alternateScreen() const { return altScreen_; }
    bool cursorVisible() const { return cursorVisible_; }

    // Gives the terminal a new size: the kernel tells the program with SIGWINCH.
    void resize(int cols, int rows);
    void signal(int signalNumber) const;

    // Reads the screen until the program ends; its wait status, or nothing
    // when it has not ended in time.
    std::optional<int> waitForExit(int milliseconds = 20000);

    // The terminal's settings before the run, and now.
    const termios& settingsBefore() const { return before_; }
    termios settingsNow() const;
    // What differs between them, in words; empty when they are the same.
    std::string settingsDifference() const;

    // The program's standard output, with ScreenOptions::outputToPipe.
    const std::string& output() const { return output_; }

private:
    // Whether it read anything.
    bool readAvailable(int waitMilliseconds);
    void feed(const char* bytes, std::size_t length);
    void writeToTerminal(const char* bytes, std::size_t length);

    VTerm* vterm_ = nullptr;
    VTermScreen* screen_ = nullptr;
    int master_ = -1, slave_ = -1, outputFd_ = -1;
    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;
    int cols_ = 0, rows_ = 0;
    bool altScreen_ = false;
    bool cursorVisible_ = true;
    termios before_{};
    std::string output_;
};

}  // namespace tarntest

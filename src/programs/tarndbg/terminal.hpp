// The terminal of tarndbg: ncurses started on it, and the guarantee that it
// comes back as it was, however the debugger ends - by q, by a signal, by a
// crash of its own or by an uncaught exception.
#pragma once

#include <string>

namespace tarn::dbg {

// Whether standard input and output are a terminal that can show the whole
// screen: both a terminal, TERM set, and its description able to move the
// cursor anywhere and to clear the screen (not "dumb", nor a printing
// terminal). Reads nothing from the terminal and changes nothing. False,
// with the message for standard error, when it cannot.
bool checkTerminal(std::string& error);

// Starts ncurses on standard input and output, at the size the terminal
// has (LINES and COLUMNS in the environment do not fix it): saves the terminal's settings
// first, then puts it in raw mode (Ctrl-C and Ctrl-Z arrive as keys) and
// takes over the signals that end the program, so that each of them gives
// the terminal back before the program ends as the signal says. False, with
// the message for standard error, when the terminal cannot be used.
bool startTerminal(std::string& error);

// Ends ncurses and puts the saved settings back. Nothing when not started.
void stopTerminal();

// Ctrl-Z: gives the terminal back, stops the program as SIGTSTP does, and
// takes the terminal again when the shell resumes it.
void suspendTerminal();

// Whether the locale's character set is UTF-8 (after setlocale).
bool utf8Locale();

// Gives the terminal back while ncurses runs (an ending of the program the
// normal path cannot reach); safe to call from a signal handler.
void emergencyRestore() noexcept;

// Ends ncurses when it goes out of scope, however that happens.
class TerminalSession {
public:
    TerminalSession() = default;
    ~TerminalSession() { stopTerminal(); }
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;
};

}  // namespace tarn::dbg

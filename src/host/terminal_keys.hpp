// The key press the tracer waits for, read from the controlling terminal.
// Keys never come from standard input, which belongs to the program.
#pragma once

namespace tarnsim {

// The terminal is opened, and the signal handlers that give it back its
// settings are installed, at the first wait of the run; both are put back
// when the run ends. One per process: it owns those signal handlers.
class TerminalKeys {
public:
    TerminalKeys() = default;
    TerminalKeys(const TerminalKeys&) = delete;
    TerminalKeys& operator=(const TerminalKeys&) = delete;
    ~TerminalKeys();

    // Blocks until one key is pressed on the terminal, echoing it; its value
    // is ignored. Returns at once when there is no terminal, or when the
    // process is not in the terminal's foreground group: nobody is there to
    // press a key, and the terminal's settings are left alone.
    void waitForKey();

private:
    void open();

    bool opened_ = false;
    int fd_ = -1;
};

}  // namespace tarnsim

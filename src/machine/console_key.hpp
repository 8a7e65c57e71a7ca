// The key press that the tracer waits for, read from the controlling terminal.
#pragma once

namespace tarn {

// Blocks until one key is pressed on the controlling terminal, echoing it;
// its value is ignored. Returns at once when there is no terminal to ask.
// Keys never come from standard input, which belongs to the program.
void waitForKey();

// The terminal device asked for keys, /dev/tty unless changed; nullptr: none,
// so the tracer never waits (the fuzz harness runs this way).
void setKeyDevice(const char* path);

}  // namespace tarn

// The few things every program of the family does with the host's file
// descriptors and signals: writing in full, standing in for a closed standard
// stream, and ending by a signal once a handler has tidied up.
#pragma once

#include <string_view>

namespace tarn {

// Writes all of text to fd: short writes are continued, an interrupted write
// is retried, and a non-blocking descriptor is waited for until it takes
// more. Returns 0, or the error that stopped it.
int writeAll(int fd, std::string_view text);

// A standard stream that was closed when the program started gets a stand-in
// on /dev/null, so that no file opened later can take its number. Standard
// output gets one opened for reading, whose writes fail like any other
// failed write and are reported as such. Called first thing in main.
void occupyClosedStandardStreams();

// Whether fd is a terminal (on Windows, a console), where a person reads.
bool isTerminal(int fd);

// A reader that goes away becomes a write error like any other, not a
// signal that ends the program (where the host has such a signal).
void ignoreBrokenPipe();

// Ends the program by the signal with its default action, as if no handler
// had caught it, so that the exit status names the signal: the last thing a
// handler does once it has tidied up. Async-signal-safe.
[[noreturn]] void endBySignal(int signal);

}  // namespace tarn

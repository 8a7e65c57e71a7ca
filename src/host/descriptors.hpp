// The few things every program of the family does with the host's file
// descriptors: writing in full, and standing in for a closed standard stream.
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

}  // namespace tarn

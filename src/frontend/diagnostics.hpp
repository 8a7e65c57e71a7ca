// tarnsim's own messages, on standard error, and the writes behind them.
#pragma once

#include <string_view>

namespace tarnsim {

// Writes all of text to fd: short writes are continued, an interrupted write
// is retried, and a non-blocking descriptor is waited for until it takes
// more. Returns 0, or the error that stopped it.
int writeAll(int fd, std::string_view text);

// Writes "tarnsim: " and the message as one line on standard error.
void diagnose(std::string_view message);

}  // namespace tarnsim

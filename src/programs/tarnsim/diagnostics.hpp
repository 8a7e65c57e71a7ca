// tarnsim's own messages, on standard error, and the writes behind them.
#pragma once

#include <string_view>

namespace tarnsim {

// Writes "tarnsim: " and the message as one line on standard error.
void diagnose(std::string_view message);

}  // namespace tarnsim

// The screen of tarndbg: draws the session in panels and turns keys into
// the session's commands. No machine logic lives here.
#pragma once

#include "debugger/session.hpp"

#include <string>

namespace tarn::dbg {

// Runs the debugger on a terminal already started (see terminal.hpp) until
// the user quits; the exit status.
int runScreen(debugger::Session& session, const std::string& firstMessage);

}  // namespace tarn::dbg

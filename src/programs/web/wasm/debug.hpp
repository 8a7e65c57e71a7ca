// The page's debugger session, for the entry points that read it beside
// debug.cpp's commands (explain.cpp).
#pragma once

#include "debugger/session.hpp"

namespace tarn::web {

// The session open, or null.
const debugger::Session* debugSession();

}  // namespace tarn::web

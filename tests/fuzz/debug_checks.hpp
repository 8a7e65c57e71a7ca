// The check of the debugger fuzz target, shared with the replay test that
// runs it on its corpus and past findings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnfuzz {

// Any bytes as an image, an input and a list of debugger commands (steps,
// steps back, runs both ways, jumps, breakpoints and watchpoints): after
// every command the session's machine, output and unread input are those of
// a plain run of the machine for as many instructions, every byte that the
// last step changed counts as written by it, and no last writer lies in the
// future; the messages are built without fault.
//
// The layout: byte 0 the image's length n, then n bytes of image, then one
// byte m, then m bytes of input, then the commands.
//
// Returns "" when everything holds, otherwise what did not.
std::string checkSession(const std::uint8_t* data, std::size_t size);

}  // namespace tarnfuzz

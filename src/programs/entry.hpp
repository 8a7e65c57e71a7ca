// Where every program starts: each defines programMain, and the host's own
// entry point calls it with the command line's arguments in UTF-8 (on
// POSIX, main passes them as they come; on Windows, wmain converts them).
#pragma once

int programMain(int argc, char** argv);

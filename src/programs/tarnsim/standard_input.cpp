#include "programs/tarnsim/standard_console.hpp"

#include "programs/tarnsim/diagnostics.hpp"
#include "host/system_reason.hpp"

#include <cerrno>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace tarnsim {

// Standard input is read in blocks, like any buffered stream. Its end, or a
// read error, ends the input for good.
bool StandardConsole::readInputBlock() {
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, block_.get(), BLOCK);
        if (got > 0) {
            setInputBlock(block_.get(), block_.get() + got);
            return true;
        }
        if (got == 0) return false;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {  // non-blocking: wait for more
            pollfd ready{STDIN_FILENO, POLLIN, 0};
            ::poll(&ready, 1, -1);
            continue;
        }
        diagnose("impossibile leggere lo standard input: " + tarn::systemReason(errno));
        return false;
    }
}

}  // namespace tarnsim

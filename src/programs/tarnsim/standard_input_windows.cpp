#include "programs/tarnsim/standard_console.hpp"

#include "programs/tarnsim/diagnostics.hpp"
#include "host/system_reason.hpp"

#include <cerrno>
#include <io.h>
#include <string>

namespace tarnsim {

// Standard input is read in blocks, in the mode Windows gives it (text: a
// CR LF arrives as LF, and Ctrl-Z ends it). Its end, or a read error, ends
// the input for good.
bool StandardConsole::readInputBlock() {
    const int got = ::_read(0, block_.get(), static_cast<unsigned>(BLOCK));
    if (got > 0) {
        setInputBlock(block_.get(), block_.get() + got);
        return true;
    }
    if (got < 0) diagnose("impossibile leggere lo standard input: " + tarn::systemReason(errno));
    return false;
}

}  // namespace tarnsim

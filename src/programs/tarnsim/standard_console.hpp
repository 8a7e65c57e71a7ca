// tarnsim's console: standard input for INP, standard output for WRT and
// the trace display, and the terminal for the tracer's key.
#pragma once

#include "host/terminal_keys.hpp"
#include "machine/console.hpp"

#include <memory>

namespace tarnsim {

class StandardConsole final : public tarn::Console {
public:
    StandardConsole();

    // Standard output carries the driver's messages as well as the
    // machine's. The first failed write is reported; the run goes on.
    void writeOutput(std::string_view text) override;
    void showTrace(std::string_view display) override;

    // True once something could not be written.
    bool outputFailed() const { return outputFailed_; }

private:
    bool readInputBlock() override;

    static constexpr std::size_t BLOCK = 65536;
    std::unique_ptr<char[]> block_;
    bool outputFailed_ = false;
    TerminalKeys keys_;
};

}  // namespace tarnsim

#include "machine/console.hpp"

namespace tarn {

MemoryConsole::MemoryConsole(std::string input, Traces traces, std::size_t outputLimit)
    : input_(std::move(input)), traces_(traces), outputLimit_(outputLimit) {
    setInputBlock(input_.data(), input_.data() + input_.size());
}

// A copy reads its own copy of the input, from where the original stood.
MemoryConsole::MemoryConsole(const MemoryConsole& other)
    : Console(other),
      input_(other.input_),
      output_(other.output_),
      traces_(other.traces_),
      outputLimit_(other.outputLimit_),
      outputCut_(other.outputCut_),
      tracesShown_(other.tracesShown_) {
    setInputBlock(input_.data(), input_.data() + input_.size());
    setInputBlockTaken(other.inputTaken());
}

MemoryConsole& MemoryConsole::operator=(const MemoryConsole& other) {
    if (this != &other) {
        Console::operator=(other);
        input_ = other.input_;
        output_ = other.output_;
        traces_ = other.traces_;
        outputLimit_ = other.outputLimit_;
        outputCut_ = other.outputCut_;
        tracesShown_ = other.tracesShown_;
        setInputBlock(input_.data(), input_.data() + input_.size());
        setInputBlockTaken(other.inputTaken());
    }
    return *this;
}

void MemoryConsole::append(std::string_view text) {
    const std::size_t room = outputLimit_ - output_.size();
    if (text.size() > room) {
        outputCut_ = true;
        text = text.substr(0, room);
    }
    output_ += text;
}

void MemoryConsole::writeOutput(std::string_view text) {
    append(text);
}

void MemoryConsole::showTrace(std::string_view display) {
    ++tracesShown_;
    if (traces_ == Traces::Kept) append(display);
}

}  // namespace tarn

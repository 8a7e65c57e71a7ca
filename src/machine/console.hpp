// The console: the one thing the machine talks to. INP takes its words from
// it, WRT prints on it, and the trace display shows itself on it and waits
// there for a key. Each run owns its machine and its console, and nothing is
// shared between runs, so machines may run side by side in several threads.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarn {

class Console {
public:
    virtual ~Console() = default;

    // The next character of input, or nothing at the end of input. The end
    // is final: once input has ended, nothing more is ever taken.
    std::optional<char> nextInputChar() {
        if (next_ == end_ && !refill()) return std::nullopt;
        return *next_++;
    }

    // Puts the character just taken back, so that the next call returns it.
    void ungetInputChar() {
        if (next_ != begin_) --next_;
    }

    // What WRT prints, in one piece.
    virtual void writeOutput(std::string_view text) = 0;

    // Where WRT may put what it prints itself, when the console keeps its
    // output in memory and says where (setOutputBlock): room for `size`
    // bytes from `next`. WRT puts its text there when all of it fits, and
    // the bytes count as printed once it calls printedInPlace, as if they
    // had gone to writeOutput in one piece; whatever does not fit goes to
    // writeOutput. Without a block there is no room.
    struct OutputRoom {
        char* next;
        std::size_t size;
    };
    OutputRoom outputRoom() const { return {outputNext_, outputLeft_}; }
    void printedInPlace(std::size_t size) {
        outputNext_ += size;
        outputLeft_ -= size;
    }

    // The trace display of the instruction about to run; returns when the
    // user has pressed a key, or at once where nobody is asked.
    virtual void showTrace(std::string_view display) = 0;

protected:
    Console() = default;
    Console(const Console&) = default;
    Console& operator=(const Console&) = default;

    // Makes the next block of input current: puts it in place with
    // setInputBlock and returns true, or returns false at the end of input.
    virtual bool readInputBlock() = 0;

    void setInputBlock(const char* begin, const char* end) {
        begin_ = next_ = begin;
        end_ = end;
    }

    // Where input stands within the current block.
    std::size_t inputBlockTaken() const { return static_cast<std::size_t>(next_ - begin_); }
    void setInputBlockTaken(std::size_t taken) { next_ = begin_ + taken; }

    // The block where WRT may put what it prints (see outputRoom), and how
    // much of it is used. A copy of a console shares its block: a console
    // that has one and can be copied gives its copy a block of its own.
    void setOutputBlock(char* begin, char* end) {
        outputBegin_ = outputNext_ = begin;
        outputSize_ = outputLeft_ = static_cast<std::size_t>(end - begin);
    }
    std::size_t outputBlockUsed() const { return static_cast<std::size_t>(outputNext_ - outputBegin_); }
    void setOutputBlockUsed(std::size_t used) {
        outputNext_ = outputBegin_ + used;
        outputLeft_ = outputSize_ - used;
    }

private:
    bool refill() {
        while (!ended_) {
            if (!readInputBlock()) ended_ = true;
            else if (next_ != end_) return true;
        }
        return false;
    }

    const char* begin_ = nullptr;
    const char* next_ = nullptr;
    const char* end_ = nullptr;
    bool ended_ = false;
    // The block, its size and what is left of it after outputNext_: the
    // room that WRT looks at first, where most consoles have none.
    char* outputBegin_ = nullptr;
    char* outputNext_ = nullptr;
    std::size_t outputLeft_ = 0;
    std::size_t outputSize_ = 0;
};

// A console over bytes in memory: input given whole, output collected, and no
// key wait. Tests, the fuzzer and the companion programs run machines on it.
class MemoryConsole final : public Console {
public:
    // What becomes of the trace displays.
    enum class Traces {
        Counted,  // only counted: the output holds what WRT printed
        Kept,     // kept in the output, where standard output would show them
    };

    static constexpr std::size_t UNLIMITED = static_cast<std::size_t>(-1);

    // Output beyond outputLimit bytes is dropped and marked as cut.
    explicit MemoryConsole(std::string input = {}, Traces traces = Traces::Counted,
                           std::size_t outputLimit = UNLIMITED);
    MemoryConsole(const MemoryConsole& other);
    MemoryConsole& operator=(const MemoryConsole& other);

    void writeOutput(std::string_view text) override;
    void showTrace(std::string_view display) override;

    const std::string& output() const { return output_; }
    bool outputCut() const { return outputCut_; }
    std::size_t tracesShown() const { return tracesShown_; }

    const std::string& input() const { return input_; }
    // How many bytes of input have been taken so far.
    std::size_t inputTaken() const { return inputBlockTaken(); }

private:
    bool readInputBlock() override { return false; }  // all of it was there from the start
    void append(std::string_view text);

    std::string input_;
    std::string output_;
    Traces traces_;
    std::size_t outputLimit_;
    bool outputCut_ = false;
    std::size_t tracesShown_ = 0;
};

}  // namespace tarn

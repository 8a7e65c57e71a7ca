// The values of an exercise file read one by one: each fault kept at its
// place while the reading goes on, and the values every part shares (keys,
// integers, bytes, texts) or that describe the machine a case places or
// expects (memory, registers, flags). For the grading library's own files:
// it names the TOML library's types.
#pragma once

#include "grading/exercise.hpp"
#include "grading/toml.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarn::grading::values {

// A fault of the file: the part being read stops there, and the reading
// goes on after it.
struct Fault {
    ExerciseError error;
};

// Whether a fault comes before another in the file's order; those without a
// place concern the whole file and come last.
bool earlier(const ExerciseError& a, const ExerciseError& b);

// The faults of a file, in the file's order: the first MAX_EXERCISE_ERRORS
// are kept, the others only counted.
class Faults {
public:
    void add(ExerciseError error) {
        ++count_;
        const auto at = std::upper_bound(kept_.begin(), kept_.end(), error, earlier);
        if (kept_.size() == MAX_EXERCISE_ERRORS) {
            if (at == kept_.end()) return;
            kept_.pop_back();
        }
        kept_.insert(at, std::move(error));
    }

    // Reads a part of the file: a fault in it is kept, and the reading goes
    // on. Whether the part was read without one.
    template <typename Read>
    bool attempt(Read&& read) {
        try {
            read();
            return true;
        } catch (Fault& fault) {
            add(std::move(fault.error));
            return false;
        }
    }

    std::size_t count() const { return count_; }
    std::vector<ExerciseError>& kept() { return kept_; }

private:
    std::vector<ExerciseError> kept_;
    std::size_t count_ = 0;
};

ExerciseError errorAt(const toml::source_region& where, std::string message);
// A fault at a place of the file, which stops the part being read.
[[noreturn]] void fail(const toml::source_region& where, std::string message);

char upperCase(char c);
// A control character of ASCII, a line end among them; a text that has one.
bool isControl(unsigned char c);
bool hasControl(std::string_view text);
bool before(const toml::source_position& a, const toml::source_position& b);

// Each key of the table that is not among the known ones is a fault, with
// the nearest known key as a suggestion.
void checkKeys(const toml::table& table, std::initializer_list<std::string_view> known, const std::string& where,
               Faults& faults);

// An integer from low to high; `what` names it in the message.
std::int64_t integerIn(const toml::node& node, std::int64_t low, std::int64_t high, const std::string& what);

// A table of addresses and bytes: `what` names it in messages, such as
// "'memoria' del caso 'uno'".
std::vector<MemoryBytes> parseMemory(const toml::node& node, const std::string& what, Faults& faults);
// The registers expected, by name in any case, as flags and opcodes are.
std::vector<ExpectedRegister> parseRegisters(const toml::node& node, const std::string& what, Faults& faults);
// The flags expected, as an array of their letters.
Byte parseFlags(const toml::node& node, const std::string& what, Faults& faults);

}  // namespace tarn::grading::values

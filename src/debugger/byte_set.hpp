// A set of memory addresses, 0..255: what an instruction reads or writes,
// the bytes with a value, the breakpoints and the watched bytes.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace tarn::debugger {

// Kept as four words; every operation is inline, since a session's step
// does several of them.
class ByteSet {
public:
    void set(unsigned address) { words_[address >> 6] |= std::uint64_t{1} << (address & 63); }
    void flip(unsigned address) { words_[address >> 6] ^= std::uint64_t{1} << (address & 63); }
    bool test(unsigned address) const { return (words_[address >> 6] >> (address & 63)) & 1; }
    bool any() const { return (words_[0] | words_[1] | words_[2] | words_[3]) != 0; }
    // The lowest address in the set; 256 when it is empty.
    unsigned first() const {
        for (unsigned word = 0; word < 4; ++word)
            if (words_[word] != 0) return word * 64 + static_cast<unsigned>(std::countr_zero(words_[word]));
        return 256;
    }
    std::size_t count() const {
        std::size_t count = 0;
        for (const std::uint64_t word : words_) count += static_cast<std::size_t>(std::popcount(word));
        return count;
    }
    ByteSet operator&(const ByteSet& other) const {
        ByteSet both;
        for (unsigned word = 0; word < 4; ++word) both.words_[word] = words_[word] & other.words_[word];
        return both;
    }
    // This minus other.
    ByteSet without(const ByteSet& other) const {
        ByteSet rest;
        for (unsigned word = 0; word < 4; ++word) rest.words_[word] = words_[word] & ~other.words_[word];
        return rest;
    }
    ByteSet& operator|=(const ByteSet& other) {
        for (unsigned word = 0; word < 4; ++word) words_[word] |= other.words_[word];
        return *this;
    }
    // Calls f with every address in the set, lowest first.
    template <typename F>
    void forEach(F f) const {
        for (unsigned word = 0; word < 4; ++word)
            for (std::uint64_t bits = words_[word]; bits != 0; bits &= bits - 1)
                f(word * 64 + static_cast<unsigned>(std::countr_zero(bits)));
    }

private:
    std::array<std::uint64_t, 4> words_{};
};

}  // namespace tarn::debugger

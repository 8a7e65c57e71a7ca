// Code that rewrites itself on purpose: the writes of the program's
// instructions into the bytes of its own instructions, which the session
// warns of once for each writing instruction, before its first one.
//
// The writes are kept by the step that made them, so that whether an
// instruction's writes pass is a matter of where the machine stands: back
// before an instruction's first write, the warning is there again, as it
// was when the run went by it (and runBackward stops on it, as it stops
// wherever runForward would). A run's history never changes, so a write
// once kept stays true.
#pragma once

#include "debugger/byte_set.hpp"
#include "machine/machine_state.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarn::debugger {

class CodeWrites {
public:
    // Step wrote `bytes` of the program's instructions, by the instruction
    // at `writer`. The steps come in order; a step kept already (a step run
    // again, going forwards over the history) changes nothing.
    void keep(std::uint64_t step, Byte writer, const ByteSet& bytes);

    // Whether the writer's writes into the program pass at position: it made
    // its first one at a step up to there.
    bool pass(Byte writer, std::uint64_t position) const {
        return firstStep_[writer] != 0 && firstStep_[writer] <= position;
    }

    // The instructions that wrote the byte at address up to position,
    // whose writes there pass.
    ByteSet writersOf(Byte address, std::uint64_t position) const;

    // Their memory: one entry for each writer and byte written, at most
    // 256 times 256 of them.
    std::size_t bytes() const { return firsts_.capacity() * sizeof(First); }

private:
    // The first write of one instruction into one byte.
    struct First {
        std::uint64_t step;
        Byte writer;
        Byte address;
    };

    std::array<std::uint64_t, 256> firstStep_{};  // of each writer; 0: none yet
    std::array<ByteSet, 256> writers_{};          // of each byte, those kept in firsts_
    std::vector<First> firsts_;                   // in the order of their steps
};

}  // namespace tarn::debugger

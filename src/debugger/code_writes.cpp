#include "debugger/code_writes.hpp"

namespace tarn::debugger {

void CodeWrites::keep(std::uint64_t step, Byte writer, const ByteSet& bytes) {
    if (firstStep_[writer] == 0) firstStep_[writer] = step;
    bytes.forEach([&](unsigned address) {
        if (writers_[address].test(writer)) return;
        writers_[address].set(writer);
        firsts_.push_back({step, writer, static_cast<Byte>(address)});
    });
}

ByteSet CodeWrites::writersOf(Byte address, std::uint64_t position) const {
    ByteSet writers;
    for (const First& first : firsts_) {
        if (first.step > position) break;
        if (first.address == address) writers.set(first.writer);
    }
    return writers;
}

}  // namespace tarn::debugger

#include "machine/machine_state.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tarn {

namespace {

// F, PC, A, B and X start at 0; IR is written by the first fetch, and memory
// keeps what it held where the image does not reach.
void resetRegisters(MachineState& state) {
    state.F = 0;
    state.PC = 0;
    state.X = 0;
    state.A = 0;
    state.B = 0;
}

}  // namespace

Byte readRegisterByte(const MachineState& state, std::size_t address) {
    return registerAt(state, address);
}

void writeRegisterByte(MachineState& state, std::size_t address, Byte value) {
    setRegisterAt(state, address, value);
}

bool loadImage(std::span<const Byte> image, MachineState& state) {
    resetRegisters(state);
    const bool whole = image.size() <= sizeof state.M;
    if (!image.empty()) std::memcpy(state.M, image.data(), whole ? image.size() : sizeof state.M);
    return whole;
}

LoadReport loadProgram(const std::string& path, MachineState& state) {
    resetRegisters(state);

    LoadReport report;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        report.error = errno;
        return report;
    }
    report.opened = true;

    // Read one byte more than memory holds, to tell whether the image is longer;
    // a longer image (or an endless device) is never read further.
    Byte buffer[257];
    std::size_t filled = 0;
    while (filled < sizeof buffer) {
        const ssize_t got = ::read(fd, buffer + filled, sizeof buffer - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            report.readFailed = true;
            report.error = errno;
            break;
        }
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
    }
    ::close(fd);

    report.truncated = !loadImage({buffer, filled}, state);
    return report;
}

}  // namespace tarn

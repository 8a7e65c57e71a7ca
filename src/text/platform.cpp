#include "text/platform.hpp"

namespace tarn {

namespace {

// Written by the entry point before any thread starts, only read afterwards.
Platform shown = Platform::Posix;

}  // namespace

Platform shownPlatform() {
    return shown;
}

void setShownPlatform(Platform platform) {
    shown = platform;
}

}  // namespace tarn

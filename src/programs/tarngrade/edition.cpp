// The build says which edition it is: the Windows toolchain, or
// TARNSIM_STATIC_EDITION for the static edition (the CMake option
// TARNSIM_STATIC).
#include "programs/tarngrade/edition.hpp"

namespace tarn::grading {

std::string_view editionPlace() {
#if defined(_WIN32)
    return "nell'edizione per Windows";
#elif defined(TARNSIM_STATIC_EDITION)
    return "nell'edizione statica per Linux";
#else
    return "in questa compilazione";
#endif
}

}  // namespace tarn::grading

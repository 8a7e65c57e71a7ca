// What a file's name says of it.
#pragma once

#include <string_view>

namespace tarn {

// Whether a name ends with the extension (".asm"), in any case.
bool hasExtension(std::string_view name, std::string_view extension);

}  // namespace tarn

// std::filesystem paths made from the programs' text, which is UTF-8 on
// every host, and that text back, byte for byte. A path made from a
// std::string, or read with string(), converts by the host's own rule: on
// Windows, the C++ library reads the bytes as Latin-1 and writes UTF-8, so
// every character outside ASCII would change ("perché" to "perchÃ©").
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tarn {

inline std::filesystem::path pathOf(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string textOf(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace tarn

#include "text/file_names.hpp"

namespace tarn {

bool hasExtension(std::string_view name, std::string_view extension) {
    if (name.size() < extension.size()) return false;
    const std::string_view end = name.substr(name.size() - extension.size());
    for (std::size_t i = 0; i < extension.size(); ++i) {
        const char c = end[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != extension[i]) return false;
    }
    return true;
}

}  // namespace tarn

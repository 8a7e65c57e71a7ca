#include "programs/web/wasm/reply.hpp"

#include <utility>

namespace tarn::web {

namespace {

std::string returned;  // the buffer of the last call

}  // namespace

std::string_view text(const char* data, std::size_t size) {
    return size == 0 ? std::string_view{} : std::string_view(data, size);
}

std::uint64_t countFrom(double number, std::uint64_t least, std::uint64_t most) {
    if (!(number >= static_cast<double>(least))) return least;
    if (number >= static_cast<double>(most)) return most;
    return static_cast<std::uint64_t>(number);
}

const char* give(std::string bytes) {
    returned = std::move(bytes);
    return returned.c_str();
}

const char* give(const json& value) {
    return give(value.dump(-1, ' ', false, json::error_handler_t::replace));
}

const char* failure(const std::string& error) {
    return give(json{{"ok", false}, {"error", error}});
}

std::size_t givenSize() {
    return returned.size();
}

}  // namespace tarn::web

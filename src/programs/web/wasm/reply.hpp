// How the entry points take what the page hands them and give their results
// back. A text comes as pointer and length (UTF-8, in memory from tw_alloc);
// a result is a buffer that stays valid until the next call, JSON or raw
// bytes, whose length tw_size() gives.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarn::web {

using json = nlohmann::ordered_json;

// The text at data, size bytes long.
std::string_view text(const char* data, std::size_t size);

// A count the page gives as a number, from least to most: least for
// anything below it (and for NaN), most for anything above.
std::uint64_t countFrom(double number, std::uint64_t least, std::uint64_t most = UINT64_MAX);

// The result of a call, kept until the next one.
const char* give(std::string bytes);
// As JSON; texts that quote the user's bytes stay valid UTF-8.
const char* give(const json& value);
// { ok: false, error }
const char* failure(const std::string& error);

// The length of the last result given.
std::size_t givenSize();

}  // namespace tarn::web

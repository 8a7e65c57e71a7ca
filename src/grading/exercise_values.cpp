#include "grading/exercise_values.hpp"

#include "assembly/suggestions.hpp"

#include "grading/exercise_syntax.hpp"

#include <array>
#include <optional>

namespace tarn::grading::values {

using syntax::quote;

namespace {

// The registers a case may expect, by machine address (IR only ever holds
// the opcode being executed, so there is nothing to expect of it).
constexpr std::array<unsigned, 4> EXPECTED_REGISTERS{256, 258, 259, 260};

}  // namespace

bool earlier(const ExerciseError& a, const ExerciseError& b) {
    // Faults without a place concern the whole file: they come last.
    if ((a.line <= 0) != (b.line <= 0)) return a.line > 0;
    return a.line < b.line || (a.line == b.line && a.column < b.column);
}

ExerciseError errorAt(const toml::source_region& where, std::string message) {
    return {static_cast<std::int64_t>(where.begin.line), static_cast<std::int64_t>(where.begin.column),
            std::move(message)};
}

[[noreturn]] void fail(const toml::source_region& where, std::string message) {
    throw Fault{errorAt(where, std::move(message))};
}

char upperCase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

bool hasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return isControl(static_cast<unsigned char>(c)); });
}

bool before(const toml::source_position& a, const toml::source_position& b) {
    return a.line < b.line || (a.line == b.line && a.column < b.column);
}

void checkKeys(const toml::table& table, std::initializer_list<std::string_view> known, const std::string& where,
               Faults& faults) {
    const std::vector<std::string_view> names(known);
    for (auto&& [key, value] : table) {
        (void)value;
        if (std::find(names.begin(), names.end(), key.str()) != names.end()) continue;
        std::string message = "chiave sconosciuta " + quote(key.str()) + where;
        if (const auto suggestion = similarName(key.str(), names)) message += ": forse intendevi '" + *suggestion + "'?";
        faults.add(errorAt(key.source(), std::move(message)));
    }
}

std::int64_t integerIn(const toml::node& node, std::int64_t low, std::int64_t high, const std::string& what) {
    const auto* value = node.as_integer();
    if (value == nullptr || value->get() < low || value->get() > high)
        fail(node.source(), what + " deve essere un intero da " + std::to_string(low) + " a " + std::to_string(high));
    return value->get();
}

namespace {

Byte byteIn(const toml::node& node, const std::string& what) {
    const std::int64_t value = integerIn(node, -128, 255, what);
    return static_cast<Byte>(value < 0 ? value + 256 : value);
}

// "200", "0xC8" or "0XC8": an address of memory, 0..255.
std::optional<unsigned> parseAddress(std::string_view text) {
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    unsigned address = 0;
    for (const char c : text) {
        unsigned digit = 16;
        if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
        if (digit >= base) return std::nullopt;
        address = address * base + digit;
        if (address > 255) return std::nullopt;
    }
    return address;
}

}  // namespace

std::vector<MemoryBytes> parseMemory(const toml::node& node, const std::string& what, Faults& faults) {
    const auto* table = node.as_table();
    if (table == nullptr)
        fail(node.source(), what + " deve essere una tabella di indirizzi e byte, come { \"0xC8\" = [5, 7] }");
    struct Range {
        MemoryBytes memory;
        const toml::key* key;
    };
    std::vector<Range> ranges;
    for (auto&& [key, value] : *table) {
        faults.attempt([&, &key = key, &value = value] {
            const auto address = parseAddress(key.str());
            if (!address)
                fail(key.source(), "indirizzo non valido " + quote(key.str()) + " in " + what +
                                       ": un indirizzo va da 0 a 255, in decimale (\"200\") o in esadecimale "
                                       "(\"0xC8\")");
            const std::string at = what + " all'indirizzo " + quote(key.str());
            MemoryBytes memory{*address, {}};
            if (const auto* array = value.as_array()) {
                if (array->empty()) fail(value.source(), at + " non ha byte: scrivine almeno uno");
                if (array->size() > 256 - *address)
                    fail(value.source(), "i " + std::to_string(array->size()) + " byte di " + at +
                                             " vanno oltre l'ultimo indirizzo, 255");
                bool read = true;
                for (const toml::node& element : *array)
                    read = faults.attempt([&] { memory.bytes.push_back(byteIn(element, "ogni byte di " + at)); }) &&
                           read;
                if (!read) return;
            } else if (value.is_integer()) {
                memory.bytes.push_back(byteIn(value, "il byte di " + at));
            } else {
                fail(value.source(), at + " deve avere un byte o un array di byte, interi da -128 a 255");
            }
            ranges.push_back({std::move(memory), &key});
        });
    }
    std::sort(ranges.begin(), ranges.end(),
              [](const Range& a, const Range& b) { return a.memory.address < b.memory.address; });
    // Each range against the one before it that reaches furthest.
    std::size_t furthest = 0;
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        const Range& lower = ranges[furthest];
        const Range& upper = ranges[i];
        if (lower.memory.address + lower.memory.bytes.size() <= upper.memory.address) {
            furthest = i;
            continue;
        }
        // Pointed out where the file comes to the second of the two.
        const bool upperLater = before(lower.key->source().begin, upper.key->source().begin);
        const Range& later = upperLater ? upper : lower;
        const Range& earlier = upperLater ? lower : upper;
        faults.add(errorAt(later.key->source(), "in " + what + " i byte da " + quote(later.key->str()) +
                                                    " si sovrappongono a quelli da " + quote(earlier.key->str())));
        if (upper.memory.address + upper.memory.bytes.size() > lower.memory.address + lower.memory.bytes.size())
            furthest = i;
    }
    std::vector<MemoryBytes> memory;
    memory.reserve(ranges.size());
    for (Range& range : ranges) memory.push_back(std::move(range.memory));
    return memory;
}

std::vector<ExpectedRegister> parseRegisters(const toml::node& node, const std::string& what, Faults& faults) {
    const auto* table = node.as_table();
    if (table == nullptr) fail(node.source(), what + " deve essere una tabella di registri, come { X = 3 }");
    std::vector<std::string_view> names;
    for (const unsigned address : EXPECTED_REGISTERS) names.push_back(registerName(address));
    // The key of each register, in the order of EXPECTED_REGISTERS.
    std::array<const toml::key*, EXPECTED_REGISTERS.size()> keys{};
    std::array<const toml::node*, EXPECTED_REGISTERS.size()> values{};
    // In the file's order, so that the second of two names of a register
    // is the one pointed out.
    std::vector<std::pair<const toml::key*, const toml::node*>> entries;
    for (auto&& [key, value] : *table) entries.emplace_back(&key, &value);
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return before(a.first->source().begin, b.first->source().begin); });
    for (const auto& [keyOf, valueOf] : entries) {
        const toml::key& key = *keyOf;
        const toml::node& value = *valueOf;
        std::string upper(key.str());
        for (char& c : upper) c = upperCase(c);
        const auto found = std::find(names.begin(), names.end(), upper);
        if (found == names.end()) {
            std::string message = "registro sconosciuto " + quote(key.str()) + " in " + what;
            if (const auto suggestion = similarName(upper, names))
                message += ": forse intendevi '" + *suggestion + "'?";
            else
                message += ": si possono controllare PC, A, B e X";
            faults.add(errorAt(key.source(), std::move(message)));
            continue;
        }
        const auto index = static_cast<std::size_t>(found - names.begin());
        if (keys[index] != nullptr) {
            faults.add(errorAt(key.source(), "il registro " + std::string(*found) + " compare due volte in " + what +
                                                 ", come " + quote(keys[index]->str()) + " e come " +
                                                 quote(key.str())));
            continue;
        }
        keys[index] = &key;
        values[index] = &value;
    }
    std::vector<ExpectedRegister> registers;
    for (std::size_t index = 0; index < EXPECTED_REGISTERS.size(); ++index) {
        if (values[index] == nullptr) continue;
        faults.attempt([&] {
            registers.push_back({EXPECTED_REGISTERS[index],
                                 byteIn(*values[index], "il registro " + std::string(names[index]) + " in " + what)});
        });
    }
    return registers;
}

Byte parseFlags(const toml::node& node, const std::string& what, Faults& faults) {
    const std::string shape = what + " deve essere un array di flag tra \"D\", \"Z\", \"O\", \"P\" e \"N\"";
    const auto* array = node.as_array();
    if (array == nullptr) fail(node.source(), shape);
    Byte flags = 0;
    for (const toml::node& element : *array) {
        faults.attempt([&] {
            const auto* letter = element.as_string();
            if (letter == nullptr) fail(element.source(), shape);
            const std::string& text = letter->get();
            const FlagName* found = nullptr;
            if (text.size() == 1)
                for (const FlagName& flag : FLAG_NAMES)
                    if (flag.letter == upperCase(text[0])) found = &flag;
            if (found == nullptr)
                fail(element.source(),
                     "flag sconosciuto " + quote(text) + " in " + what + ": i flag sono D, Z, O, P e N");
            if ((flags & found->bit) != 0)
                fail(element.source(), "il flag '" + std::string(1, found->letter) + "' compare due volte in " + what);
            flags = static_cast<Byte>(flags | found->bit);
        });
    }
    return flags;
}


}  // namespace tarn::grading::values

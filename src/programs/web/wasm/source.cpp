#include "programs/web/wasm/source.hpp"

#include "text/utf8.hpp"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace tarn::web {

namespace {

// Where each line of a source begins, and how far is it in characters
// (code points) and in UTF-16 units: the editor counts in the latter.
class SourcePositions {
public:
    explicit SourcePositions(std::string_view source) : source_(source) {
        lineStarts_.push_back(0);
        for (std::size_t i = 0; i < source.size(); ++i)
            if (source[i] == '\n') lineStarts_.push_back(i + 1);
    }

    // The byte offset of a line and column (both from 1, the column in
    // characters as the assembler counts them), kept within the line.
    std::size_t offsetOf(std::int64_t line, std::int64_t column) const {
        const std::size_t index = static_cast<std::size_t>(
            std::clamp<std::int64_t>(line, 1, static_cast<std::int64_t>(lineStarts_.size())) - 1);
        std::size_t offset = lineStarts_[index];
        for (std::int64_t at = 1; at < column && offset < source_.size() && source_[offset] != '\n'; ++at)
            offset += characterAt(offset);
        return offset;
    }

    std::size_t lineStartOf(std::size_t offset) const {
        const auto after = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
        return *(after - 1);
    }

    // One character from a byte offset: its length in bytes (an invalid
    // byte counts as one character of its own, as the editor's U+FFFD would).
    std::size_t characterAt(std::size_t offset) const { return characterLengthAt(source_, offset); }

    std::size_t utf16Units(std::size_t offset) const {
        const Utf8Sequence sequence = utf8At(source_, offset);
        return sequence.length == 4 ? 2 : 1;
    }

    // Characters and UTF-16 units in [from, to).
    void count(std::size_t from, std::size_t to, std::size_t& characters, std::size_t& units) const {
        characters = units = 0;
        for (std::size_t i = from; i < to; i += characterAt(i)) {
            ++characters;
            units += utf16Units(i);
        }
    }

    bool wordByte(std::size_t offset) const {
        const auto c = static_cast<unsigned char>(source_[offset]);
        return c >= 0x80 || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
               c == '_' || c == '.' || c == '$';
    }

    std::string_view source() const { return source_; }

private:
    std::string_view source_;
    std::vector<std::size_t> lineStarts_;
};

json diagnosticJson(const SourcePositions& positions, const Diagnostic& diagnostic) {
    const std::string_view source = positions.source();
    const std::size_t offset = positions.offsetOf(diagnostic.line, diagnostic.column);
    const std::size_t lineStart = positions.lineStartOf(offset);
    std::size_t characters = 0, units = 0;
    positions.count(lineStart, offset, characters, units);
    const std::size_t character = characters + 1;
    std::size_t fromByte = offset;
    // The word at the position, or one character; at the very end of the
    // source, the character before it.
    std::size_t toByte = offset;
    if (offset < source.size() && source[offset] != '\n' && source[offset] != '\r' && positions.wordByte(offset)) {
        while (toByte < source.size() && positions.wordByte(toByte)) toByte += positions.characterAt(toByte);
    } else if (offset < source.size()) {
        toByte = offset + positions.characterAt(offset);
    } else if (offset > 0) {
        fromByte = offset - 1;
        while (fromByte > 0 && (static_cast<unsigned char>(source[fromByte]) & 0xC0) == 0x80) --fromByte;
    }
    std::size_t ignored = 0, from = 0, to = 0;
    positions.count(0, fromByte, ignored, from);
    positions.count(0, std::min(toByte, source.size()), ignored, to);
    if (to <= from) to = from + 1;  // an empty source: the editor clamps it
    const bool error = diagnostic.severity == Severity::Error;
    const std::string severity = error ? "errore" : "avviso";
    return json{{"line", diagnostic.line},
                {"column", diagnostic.column},
                {"character", character},
                {"from", from},
                {"to", to},
                {"severity", severity},
                {"message", diagnostic.message},
                {"text", std::to_string(diagnostic.line) + ":" + std::to_string(character) + ": " + severity + ": " +
                             diagnostic.message}};
}

}  // namespace

std::string programName(std::string_view name) {
    return std::string(name.empty() ? std::string_view{"programma"} : name);
}

std::string sourceName(std::string_view name) {
    return programName(name) + ".asm";
}

Assembly assembleInto(json& result, std::string_view source, std::string_view name) {
    Assembly assembly = assemble(source);
    const SourcePositions positions(source);
    json diagnostics = json::array();
    for (const Diagnostic& diagnostic : assembly.diagnostics)
        diagnostics.push_back(diagnosticJson(positions, diagnostic));
    const std::vector<std::string> report = formatReport(sourceName(name), assembly);
    json omitted = json::array();
    for (std::size_t i = assembly.diagnostics.size(); i < report.size(); ++i) omitted.push_back(report[i]);
    result["diagnostics"] = std::move(diagnostics);
    result["omitted"] = std::move(omitted);
    result["failed"] = assembly.failed();
    return assembly;
}

std::optional<std::string> sourceTooLong(std::string_view source, std::string_view name) {
    if (source.size() <= MAX_SOURCE_BYTES) return std::nullopt;
    return "il sorgente '" + visibleName(sourceName(name)) + "' supera il limite di " +
           std::to_string(MAX_SOURCE_BYTES) + " byte";
}

std::optional<std::string> refusal(std::string_view source, std::string_view name, std::string_view input,
                                   std::size_t inputLimit) {
    if (auto error = sourceTooLong(source, name)) return error;
    if (input.size() > inputLimit) return INPUT_TOO_LONG;
    return std::nullopt;
}

std::string_view typedLines(std::string_view input) {
    if (!input.empty() && input.back() == '\n') input.remove_suffix(1);
    return input;
}

}  // namespace tarn::web

#include "fuzz/tool_checks.hpp"

#include "assembly/assembler.hpp"
#include "assembly/disassembler.hpp"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace tarnfuzz {

namespace {

// The lengths of the source's lines as the assembler counts them: split at
// every '\n', no line after a final one. The '\r' of a "\r\n" stays in, so a
// column may reach one past the text.
std::vector<std::size_t> lineLengths(std::string_view source) {
    std::vector<std::size_t> lengths;
    std::size_t start = 0;
    while (start < source.size()) {
        std::size_t end = source.find('\n', start);
        if (end == std::string_view::npos) end = source.size();
        lengths.push_back(end - start);
        start = end + 1;
    }
    return lengths;
}

std::string position(const tarn::Diagnostic& diagnostic) {
    return std::to_string(diagnostic.line) + ":" + std::to_string(diagnostic.column) + " '" + diagnostic.message + "'";
}

// One diagnostic: a line of the source (or the one after the last, at its
// start), a column within the line or just past it, and a message of one
// line with no control characters.
std::string checkDiagnostic(const tarn::Diagnostic& diagnostic, const std::vector<std::size_t>& lengths) {
    const auto lines = static_cast<std::int64_t>(lengths.size());
    if (diagnostic.line < 1 || diagnostic.line > lines + 1) return "line outside the source: " + position(diagnostic);
    const std::int64_t lastColumn =
        diagnostic.line > lines ? 1 : static_cast<std::int64_t>(lengths[static_cast<std::size_t>(diagnostic.line - 1)]) + 1;
    if (diagnostic.column < 1 || diagnostic.column > lastColumn) return "column outside the line: " + position(diagnostic);
    if (diagnostic.message.empty()) return "empty message: " + position(diagnostic);
    for (const char c : diagnostic.message) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20 || code == 0x7F) return "control character in the message: " + position(diagnostic);
    }
    return "";
}

// The listing: a row for every source line, numbered in order, right-aligned
// as wide as the last number (three columns at least) and two blanks after;
// rows that continue a line's bytes leave the number out; no row ends with a
// blank.
std::string checkListing(const std::string& listing, std::size_t lines) {
    const std::size_t width = std::max<std::size_t>(3, std::to_string(lines).size());
    std::size_t expected = 1;
    std::size_t start = 0;
    while (start < listing.size()) {
        const std::size_t end = listing.find('\n', start);
        if (end == std::string::npos) return "a listing without its last line end";
        const std::string_view row(listing.data() + start, end - start);
        start = end + 1;
        const std::string where = "listing row for line " + std::to_string(expected) + ": ";
        if (row.size() < width || (row.size() > width && row.substr(width, 2) != "  "))
            return where + "no number column";
        if (row.back() == ' ') return where + "a trailing blank";
        const std::string_view number = row.substr(0, width);
        if (number.find_first_not_of(' ') == std::string_view::npos) {
            if (expected == 1) return "a listing that begins with a continuation row";
            continue;
        }
        const std::string wanted = std::to_string(expected++);
        if (number != std::string(width - std::min(width, wanted.size()), ' ') + wanted) return where + "wrong number";
    }
    if (expected != lines + 1) return "a listing of " + std::to_string(expected - 1) + " lines for " + std::to_string(lines);
    return "";
}

std::string checkRoundTrip(const std::vector<tarn::Byte>& image, const std::string& what) {
    const std::string source = tarn::disassemble(image);
    const tarn::Assembly again = tarn::assemble(source);
    if (again.failed()) {
        std::string report;
        for (const std::string& line : tarn::formatReport("dis", again)) report += line + "\n";
        return what + ": its disassembly does not assemble:\n" + report + source;
    }
    if (again.image != image) return what + ": its disassembly assembles into another image:\n" + source;
    return "";
}

}  // namespace

std::string checkAssembly(const std::uint8_t* data, std::size_t size) {
    const std::string_view source(reinterpret_cast<const char*>(data), std::min(size, tarn::MAX_SOURCE_BYTES));
    const tarn::Assembly assembly = tarn::assemble(source);
    const std::vector<std::size_t> lengths = lineLengths(source);

    std::size_t errors = 0;
    std::size_t warnings = 0;
    for (std::size_t index = 0; index < assembly.diagnostics.size(); ++index) {
        const tarn::Diagnostic& diagnostic = assembly.diagnostics[index];
        if (std::string problem = checkDiagnostic(diagnostic, lengths); !problem.empty()) return problem;
        if (index > 0) {
            const tarn::Diagnostic& before = assembly.diagnostics[index - 1];
            if (before.line > diagnostic.line || (before.line == diagnostic.line && before.column > diagnostic.column))
                return "diagnostics out of order: " + position(before) + " before " + position(diagnostic);
        }
        ++(diagnostic.severity == tarn::Severity::Error ? errors : warnings);
    }
    if (errors > tarn::MAX_REPORTED_DIAGNOSTICS) return std::to_string(errors) + " errors kept";
    if (warnings > tarn::MAX_REPORTED_DIAGNOSTICS) return std::to_string(warnings) + " warnings kept";
    if (assembly.omittedErrors > 0 && errors < tarn::MAX_REPORTED_DIAGNOSTICS)
        return "errors left out with only " + std::to_string(errors) + " kept";
    if (assembly.omittedWarnings > 0 && warnings < tarn::MAX_REPORTED_DIAGNOSTICS)
        return "warnings left out with only " + std::to_string(warnings) + " kept";
    const bool hasErrors = errors > 0 || assembly.omittedErrors > 0;
    if (assembly.failed() != hasErrors) return hasErrors ? "errors without failed()" : "failed() without errors";
    if (hasErrors && !assembly.image.empty()) return "an image despite the errors";
    if (assembly.image.size() > 256) return "an image of " + std::to_string(assembly.image.size()) + " bytes";
    for (const std::string& line : tarn::formatReport("f", assembly))
        if (line.find('\n') != std::string::npos) return "a report line holds a line end: " + line;

    // Without warnings: the same errors, in the same places, and the same image.
    const tarn::Assembly quiet = tarn::assemble(source, tarn::AssemblyOptions{false});
    std::vector<tarn::Diagnostic> expected;
    for (const tarn::Diagnostic& diagnostic : assembly.diagnostics)
        if (diagnostic.severity == tarn::Severity::Error) expected.push_back(diagnostic);
    if (quiet.omittedWarnings > 0) return "warnings left out with warnings off";
    if (quiet.diagnostics.size() != expected.size() || quiet.omittedErrors != assembly.omittedErrors)
        return "with warnings off the errors change";
    for (std::size_t index = 0; index < expected.size(); ++index) {
        const tarn::Diagnostic& a = expected[index];
        const tarn::Diagnostic& b = quiet.diagnostics[index];
        if (a.line != b.line || a.column != b.column || a.severity != b.severity || a.message != b.message)
            return "with warnings off the error " + position(a) + " becomes " + position(b);
    }
    if (quiet.image != assembly.image) return "with warnings off the image changes";

    if (hasErrors) return "";
    if (std::string problem = checkListing(tarn::formatListing(source, assembly), lengths.size()); !problem.empty())
        return problem;
    return checkRoundTrip(assembly.image, "the source's image");
}

std::string checkDisassembly(const std::uint8_t* data, std::size_t size) {
    const std::vector<tarn::Byte> image(data, data + std::min<std::size_t>(size, 256));
    return checkRoundTrip(image, "the image");
}

}  // namespace tarnfuzz

#include "grading/diff.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace tarn::grading {

namespace {

// Past this many removed and added lines, or this much work following the
// lines the two outputs share, the rest of the difference is not looked for.
constexpr std::size_t MAX_EDIT_DISTANCE = 256;
constexpr std::uint64_t MAX_SNAKE_STEPS = std::uint64_t{1} << 23;

struct Line {
    std::string_view text;  // without its line end (and its trailing blanks, under Blanks)
    bool lineEnd = true;
    std::size_t id = 0;     // equal lines, equal ids
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::vector<Line> splitLines(std::string_view text, Comparison comparison) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const bool lineEnd = end != std::string_view::npos;
        std::string_view line = text.substr(start, lineEnd ? end - start : std::string_view::npos);
        if (comparison == Comparison::Blanks)
            while (!line.empty() && isBlank(line.back())) line.remove_suffix(1);
        lines.push_back({line, lineEnd || comparison == Comparison::Blanks, 0});
        start = lineEnd ? end + 1 : text.size();
    }
    if (comparison == Comparison::Blanks)
        while (!lines.empty() && lines.back().text.empty()) lines.pop_back();
    return lines;
}

// Gives equal lines (text and line end) the same id, so that they compare as numbers.
void numberLines(std::vector<Line>& expected, std::vector<Line>& actual) {
    std::unordered_map<std::string_view, std::size_t> ids[2];
    for (std::vector<Line>* lines : {&expected, &actual})
        for (Line& line : *lines) {
            auto& table = ids[line.lineEnd ? 1 : 0];
            line.id = table.try_emplace(line.text, table.size()).first->second * 2 + (line.lineEnd ? 1 : 0);
        }
}

struct Span {
    const Line* lines;
    std::size_t size;
    const Line& operator[](std::size_t index) const { return lines[index]; }
};

// Myers' O(ND) search for the shortest edit from a to b, as the lines it
// keeps, removes and adds in order; preferring removals, it shows in each run
// of changes the removed lines before the added ones. Not found when the
// edit is longer than the bounds.
struct Edit {
    std::vector<DiffLine::Kind> steps;  // Same, Expected or Actual, one per line shown
    bool found = false;
};

Edit shortestEdit(Span a, Span b) {
    Edit edit;
    const auto n = static_cast<std::ptrdiff_t>(a.size);
    const auto m = static_cast<std::ptrdiff_t>(b.size);
    const auto maxD = static_cast<std::ptrdiff_t>(std::min<std::size_t>(MAX_EDIT_DISTANCE, a.size + b.size));
    const std::ptrdiff_t offset = maxD + 1;
    std::vector<std::ptrdiff_t> v(static_cast<std::size_t>(2 * maxD + 3), 0);
    const auto at = [&](std::ptrdiff_t k) -> std::ptrdiff_t& { return v[static_cast<std::size_t>(k + offset)]; };
    std::vector<std::vector<std::ptrdiff_t>> trace;  // v before each round, the diagonals -d..d
    std::uint64_t steps = 0;
    std::ptrdiff_t found = -1;
    for (std::ptrdiff_t d = 0; d <= maxD && found < 0; ++d) {
        trace.emplace_back(v.begin() + (offset - d), v.begin() + (offset + d + 1));
        for (std::ptrdiff_t k = -d; k <= d; k += 2) {
            std::ptrdiff_t x = (k == -d || (k != d && at(k - 1) < at(k + 1))) ? at(k + 1) : at(k - 1) + 1;
            std::ptrdiff_t y = x - k;
            while (x < n && y < m && a[static_cast<std::size_t>(x)].id == b[static_cast<std::size_t>(y)].id) {
                ++x;
                ++y;
                ++steps;
            }
            at(k) = x;
            if (x >= n && y >= m) {
                found = d;
                break;
            }
        }
        if (steps > MAX_SNAKE_STEPS) break;
    }
    if (found < 0) return edit;

    // Back from the end: each round's trace tells which move led to the point.
    std::ptrdiff_t x = n;
    std::ptrdiff_t y = m;
    for (std::ptrdiff_t d = found; d > 0; --d) {
        const std::vector<std::ptrdiff_t>& previous = trace[static_cast<std::size_t>(d)];
        const auto before = [&](std::ptrdiff_t k) { return previous[static_cast<std::size_t>(k + d)]; };
        const std::ptrdiff_t k = x - y;
        const bool down = k == -d || (k != d && before(k - 1) < before(k + 1));
        const std::ptrdiff_t previousK = down ? k + 1 : k - 1;
        const std::ptrdiff_t previousX = before(previousK);
        const std::ptrdiff_t previousY = previousX - previousK;
        while (x > (down ? previousX : previousX + 1) && y > (down ? previousY + 1 : previousY)) {
            edit.steps.push_back(DiffLine::Kind::Same);
            --x;
            --y;
        }
        edit.steps.push_back(down ? DiffLine::Kind::Actual : DiffLine::Kind::Expected);
        x = previousX;
        y = previousY;
    }
    while (x > 0 && y > 0) {
        edit.steps.push_back(DiffLine::Kind::Same);
        --x;
        --y;
    }
    std::reverse(edit.steps.begin(), edit.steps.end());
    edit.found = true;
    return edit;
}

DiffLine shown(DiffLine::Kind kind, const Line& line) {
    return {kind, std::string(line.text), line.lineEnd};
}

}  // namespace

std::vector<DiffLine> diffOutputs(std::string_view expected, std::string_view actual, Comparison comparison) {
    std::vector<Line> a = splitLines(expected, comparison);
    std::vector<Line> b = splitLines(actual, comparison);
    numberLines(a, b);

    std::size_t prefix = 0;
    while (prefix < a.size() && prefix < b.size() && a[prefix].id == b[prefix].id) ++prefix;
    std::size_t suffix = 0;
    while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
           a[a.size() - 1 - suffix].id == b[b.size() - 1 - suffix].id)
        ++suffix;

    std::vector<DiffLine> lines;
    lines.reserve(a.size() + b.size() - prefix - suffix);
    for (std::size_t index = 0; index < prefix; ++index) lines.push_back(shown(DiffLine::Kind::Same, a[index]));

    const Span middleA{a.data() + prefix, a.size() - prefix - suffix};
    const Span middleB{b.data() + prefix, b.size() - prefix - suffix};
    const Edit edit = shortestEdit(middleA, middleB);
    if (edit.found) {
        std::size_t x = 0;
        std::size_t y = 0;
        for (const DiffLine::Kind kind : edit.steps) {
            switch (kind) {
                case DiffLine::Kind::Same:
                    lines.push_back(shown(kind, middleA[x++]));
                    ++y;
                    break;
                case DiffLine::Kind::Expected: lines.push_back(shown(kind, middleA[x++])); break;
                case DiffLine::Kind::Actual: lines.push_back(shown(kind, middleB[y++])); break;
            }
        }
    } else {
        for (std::size_t index = 0; index < middleA.size; ++index)
            lines.push_back(shown(DiffLine::Kind::Expected, middleA[index]));
        for (std::size_t index = 0; index < middleB.size; ++index)
            lines.push_back(shown(DiffLine::Kind::Actual, middleB[index]));
    }

    for (std::size_t index = a.size() - suffix; index < a.size(); ++index)
        lines.push_back(shown(DiffLine::Kind::Same, a[index]));
    return lines;
}

}  // namespace tarn::grading

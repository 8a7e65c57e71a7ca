#include "assembly/suggestions.hpp"

#include "assembly/assembler.hpp"
#include "machine/instruction_set.hpp"
#include "text/utf8.hpp"

#include <algorithm>
#include <array>
#include <cstddef>

namespace tarn {

namespace {

constexpr std::size_t longestKeyword() {
    std::size_t longest = 0;
    for (const Instruction& instruction : instructionTable) longest = std::max(longest, instruction.mnemonic.size());
    for (std::string_view directive : DIRECTIVES) longest = std::max(longest, directive.size());
    return longest;
}

// The largest distance ever accepted.
constexpr std::size_t MAX_EDITS = 2;
// No word longer than this can be near a keyword: the distance is at least
// the difference of the lengths.
constexpr std::size_t MAX_WORD = longestKeyword() + MAX_EDITS;

// A character with its case folded: the ASCII letters and those of Latin-1
// (à and À, ù and Ù) in capitals, every other character as it is.
constexpr char32_t upper(char32_t c) {
    if (c >= U'a' && c <= U'z') return c - U'a' + U'A';
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
    return c;
}

std::u32string folded(std::string_view word) {
    std::u32string text = characters(word);
    for (char32_t& c : text) c = upper(c);
    return text;
}

std::size_t allowedEdits(std::size_t wordLength, std::size_t keywordLength) {
    const std::size_t edits = std::min(wordLength, keywordLength) <= 3 ? 1 : MAX_EDITS;
    // Some of the word must stay: a single letter is near nothing.
    return std::min(edits, wordLength - 1);
}

// Optimal string alignment distance of two words of at most MAX_WORD
// characters.
std::size_t distance(std::u32string_view a, std::u32string_view b) {
    std::array<std::array<std::size_t, MAX_WORD + 1>, MAX_WORD + 1> d{};
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

// Whether a and b, both folded, are one edit apart: one character changed,
// added or removed, or two neighbours swapped. Equal words are not.
bool oneEditApart(std::u32string_view a, std::u32string_view b) {
    if (a.size() < b.size()) std::swap(a, b);
    if (a.size() - b.size() > 1) return false;
    std::size_t i = 0;
    while (i < b.size() && a[i] == b[i]) ++i;
    if (a.size() != b.size())  // a has one character more, at i
        return a.substr(i + 1) == b.substr(i);
    if (i == a.size()) return false;
    if (a.substr(i + 1) == b.substr(i + 1)) return true;  // changed
    return i + 1 < a.size() && a[i] == b[i + 1] && a[i + 1] == b[i] && a.substr(i + 2) == b.substr(i + 2);  // swapped
}

}  // namespace

std::optional<std::string_view> nearestKeyword(std::string_view word) {
    // Four bytes a character at most: a longer word has too many.
    if (word.empty() || word.size() > 4 * MAX_WORD) return std::nullopt;
    const std::u32string folded = tarn::folded(word);
    if (folded.size() > MAX_WORD) return std::nullopt;

    std::size_t best = MAX_EDITS + 1;
    std::size_t nearest = 0;       // keywords at distance `best`
    std::size_t sameInitial = 0;   // those of them that keep the first letter
    std::string_view choice, choiceWithInitial;
    auto consider = [&](std::string_view keyword) {
        const std::size_t allowed = allowedEdits(folded.size(), keyword.size());
        const std::size_t gap = std::max(folded.size(), keyword.size()) - std::min(folded.size(), keyword.size());
        if (gap > allowed) return;
        std::array<char32_t, MAX_WORD> wide{};
        std::copy(keyword.begin(), keyword.end(), wide.begin());  // the keywords are ASCII
        const std::size_t edits = distance(folded, std::u32string_view(wide.data(), keyword.size()));
        if (edits > allowed || edits > best) return;
        if (edits < best) {
            best = edits;
            nearest = sameInitial = 0;
        }
        ++nearest;
        choice = keyword;
        if (static_cast<char32_t>(keyword.front()) == folded.front()) {
            ++sameInitial;
            choiceWithInitial = keyword;
        }
    };
    for (const Instruction& instruction : instructionTable) consider(instruction.mnemonic);
    for (std::string_view directive : DIRECTIVES) consider(directive);

    if (nearest == 1) return choice;
    if (sameInitial == 1) return choiceWithInitial;
    return std::nullopt;
}

std::optional<std::string> similarName(std::string_view name, const std::vector<std::string_view>& names) {
    if (name.empty()) return std::nullopt;
    const std::u32string wanted = folded(name);
    enum Closeness { CaseOnly, OneLetter, Far };
    Closeness best = Far;
    std::string_view choice;
    bool ambiguous = false;
    for (std::string_view candidate : names) {
        if (candidate == name) continue;
        const std::u32string other = folded(candidate);
        const Closeness closeness = other == wanted ? CaseOnly : oneEditApart(other, wanted) ? OneLetter : Far;
        if (closeness == Far || closeness > best) continue;
        if (closeness < best) {
            best = closeness;
            choice = candidate;
            ambiguous = false;
        } else if (candidate != choice) {
            ambiguous = true;
        }
    }
    if (best == Far || ambiguous) return std::nullopt;
    return std::string(choice);
}

namespace {

std::string_view withoutDashes(std::string_view option) {
    while (option.starts_with('-')) option.remove_prefix(1);
    return option;
}

}  // namespace

std::string unknownOptionMessage(std::string_view argument, const std::vector<std::string_view>& options) {
    std::string message = "opzione sconosciuta " + quotedName(argument);
    std::string_view word = withoutDashes(argument);
    word = word.substr(0, word.find('='));
    std::optional<std::string_view> meant;
    std::vector<std::string_view> words;
    for (std::string_view option : options) {
        if (withoutDashes(option) == word) meant = option;
        if (withoutDashes(option).size() > 1) words.push_back(withoutDashes(option));
    }
    // Below three letters anything is near anything.
    if (!meant && characterCount(word) >= 3)
        if (const std::optional<std::string> similar = similarName(word, words))
            for (std::string_view option : options)
                if (withoutDashes(option) == *similar) meant = option;
    if (meant) message += ": forse intendevi " + std::string(*meant) + "?";
    return message;
}

std::string optionLikeValueMessage(std::string_view option, std::string_view wanted, std::string_view named,
                                   std::string_view value, std::string_view spelled) {
    return "l'opzione " + std::string(option) + " vuole " + std::string(wanted) + ", ma " + quotedName(value) +
           " sembra un'opzione: per " + std::string(named) + " con questo nome scrivi " + visibleName(spelled);
}

}  // namespace tarn

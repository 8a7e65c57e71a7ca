#include "assembly/assembler.hpp"

#include "machine/instruction_set.hpp"
#include "assembly/instruction_forms.hpp"
#include "assembly/source_characters.hpp"
#include "assembly/suggestions.hpp"
#include "text/numbers.hpp"
#include "text/utf8.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <unordered_map>
#include <utility>

// The source is read twice, a line at a time, and nothing is kept of a line
// but what it defines: its label, and its bytes in the 256 of memory.
//
// The first reading checks the syntax and lays the program out: it gives
// every label its address, every byte its owner line, and reports the lexical
// and syntax errors, the labels defined twice and the bytes that overlap or
// go past address 255. The second reading, with every label known, computes
// each value, reports what is wrong with it and stores the bytes. Both
// readings lay the program out the same way, so each line finds its address
// again without it being stored. Memory grows with the labels only, never
// with the lines, and at most MAX_REPORTED_DIAGNOSTICS errors and as many
// warnings are kept.

namespace tarn {

namespace {

// Wide enough for any sum of 64-bit terms that a line can hold.
__extension__ typedef __int128 Wide;

std::string decimal(Wide value) {
    if (value == 0) return "0";
    const bool negative = value < 0;
    std::string digits;
    while (value != 0) {
        const int digit = static_cast<int>(value % 10);
        digits += static_cast<char>('0' + (negative ? -digit : digit));
        value /= 10;
    }
    if (negative) digits += '-';
    std::reverse(digits.begin(), digits.end());
    return digits;
}

// ---------------------------------------------------------------------------
// Reporting

// An error or warning on its way to the report. An undefined label carries
// its name, so that a similar defined one can be suggested once every label
// is known, and only for the errors that are shown.
struct Report {
    std::int64_t line = 0;
    std::int64_t column = 0;
    std::string message;
    std::string_view undefinedLabel;
};

bool comesBefore(const Report& a, const Report& b) {
    return a.line != b.line ? a.line < b.line : a.column < b.column;
}

// The first MAX_REPORTED_DIAGNOSTICS reports by position, whatever order they
// come in; the others are only counted. Reports at the same position keep
// the order they came in.
class FirstReports {
public:
    void add(Report report) {
        if (kept_.size() == MAX_REPORTED_DIAGNOSTICS) {
            ++omitted_;
            if (!comesBefore(report, kept_.back())) return;
            kept_.pop_back();
        }
        kept_.insert(std::upper_bound(kept_.begin(), kept_.end(), report, comesBefore), std::move(report));
    }
    void addOmitted(std::uint64_t count) { omitted_ += count; }
    bool any() const { return !kept_.empty() || omitted_ > 0; }
    void clear() {
        kept_.clear();
        omitted_ = 0;
    }
    std::vector<Report>& kept() { return kept_; }
    std::uint64_t omitted() const { return omitted_; }

private:
    std::vector<Report> kept_;
    std::uint64_t omitted_ = 0;
};

// Where the reports of the line being read go. A line whose label lacks its
// colon gets that one error only: from then on the line is muted.
struct Reporter {
    FirstReports errors;
    FirstReports warnings;
    std::int64_t line = 0;
    bool syntaxChecked = false;  // the first reading has reported the syntax errors already
    bool muted = false;
    bool warningsWanted = true;

    // A lexical or syntax error: reported by the first reading only.
    void syntaxError(std::int64_t column, std::string message) {
        if (!syntaxChecked && !muted) errors.add({line, column, std::move(message), {}});
    }
    void error(std::int64_t column, std::string message, std::string_view undefinedLabel = {}) {
        if (!muted) errors.add({line, column, std::move(message), undefinedLabel});
    }
    void warning(std::int64_t column, std::string message) {
        if (warningsWanted && !muted) warnings.add({line, column, std::move(message), {}});
    }
};

// Calls visit(text, number) for every line of a source, without its line end
// ("\n" or "\r\n"); lines count from 1.
template <typename Visit>
void forEachLine(std::string_view source, Visit visit) {
    std::size_t start = 0;
    std::int64_t number = 0;
    while (start < source.size()) {
        std::size_t end = source.find('\n', start);
        if (end == std::string_view::npos) end = source.size();
        std::string_view line = source.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        visit(line, ++number);
        start = end + 1;
    }
}

// ---------------------------------------------------------------------------
// Tokens

enum class TokenKind { Identifier, Number, Character, String, Comma, Colon, Plus, Minus, Invalid, End };

struct Token {
    TokenKind kind = TokenKind::End;
    std::int64_t column = 0;
    std::string_view text;   // an identifier or a number as written
    std::string bytes;       // a string's bytes
    std::int64_t value = 0;  // a number's or a character's value
    bool tooLarge = false;   // a well-formed number beyond 64 bits
    bool valid = true;       // false once a lexical error has been reported for it
};

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The value of a digit in bases up to 16, or -1.
int digitValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Mnemonics and directives are written in any case.
std::string upperCase(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

// The mnemonic or directive a word names, in capitals, if it names one.
std::optional<std::string> keywordOf(std::string_view word) {
    if (word.size() > 8) return std::nullopt;  // longer than any of them
    std::string upper = upperCase(word);
    if (std::find(DIRECTIVES.begin(), DIRECTIVES.end(), upper) != DIRECTIVES.end() || findInstruction(upper) != nullptr)
        return upper;
    return std::nullopt;
}

// Reads the tokens of one line on demand, reporting its lexical errors as it
// goes. The comment is left out; after the last token comes End, for ever.
class Scanner {
public:
    Scanner(std::string_view line, Reporter& reporter) : line_(line), reporter_(reporter) {}

    Token next() {
        Token token;
        if (ended_) {
            token.column = endColumn_;
            return token;
        }
        while (!atEnd() && isBlank(current())) ++pos_;
        token.column = column(pos_);
        if (atEnd() || current() == ';') {  // a comment runs to the end of the line
            ended_ = true;
            endColumn_ = token.column;
            return token;
        }
        const char c = current();
        if (isLetter(c) || (!isAscii(c) && beginsName(line_, pos_))) {
            scanName(token);
        } else if (isDigit(c)) {
            scanNumber(token);
        } else if (c == '"') {
            scanString(token);
        } else if (c == '\'') {
            scanCharacter(token);
        } else if (!isAscii(c)) {
            // One error for the whole character, however many bytes it has.
            error(pos_, unexpectedCharacterMessage(line_, pos_));
            pos_ += characterLengthAt(line_, pos_);
            token.kind = TokenKind::Invalid;
            token.valid = false;
        } else {
            ++pos_;
            switch (c) {
                case ',': token.kind = TokenKind::Comma; break;
                case ':': token.kind = TokenKind::Colon; break;
                case '+': token.kind = TokenKind::Plus; break;
                case '-': token.kind = TokenKind::Minus; break;
                default:
                    error(pos_ - 1, "carattere inatteso " + describeCharacter(line_, pos_ - 1));
                    token.kind = TokenKind::Invalid;
                    token.valid = false;
                    break;
            }
        }
        return token;
    }

private:
    static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
    static bool isAscii(char c) { return static_cast<unsigned char>(c) < 0x80; }
    bool atEnd() const { return pos_ >= line_.size(); }
    char current() const { return line_[pos_]; }
    void error(std::size_t at, std::string message) { reporter_.syntaxError(column(at), std::move(message)); }
    void skipWord() {
        while (!atEnd() && (isLetter(current()) || isDigit(current()))) ++pos_;
    }

    // The column of the character at line_[at], counted in characters, as
    // a person and an editor count them: à is one, a tab is one. The
    // positions asked for only grow within a line, so the count goes on
    // from the last one.
    std::int64_t column(std::size_t at) {
        if (at < counted_) {
            counted_ = 0;
            columnCounted_ = 1;
        }
        for (; counted_ < at; ++columnCounted_) counted_ += characterLengthAt(line_, counted_);
        return columnCounted_;
    }

    // A name: letters, digits and '_'. Letters past ASCII ("più", "città")
    // belong to the word, which is then one error that names the first.
    void scanName(Token& token) {
        const std::size_t start = pos_;
        std::size_t foreign = std::string_view::npos;
        while (!atEnd()) {
            if (isLetter(current()) || isDigit(current())) {
                ++pos_;
            } else if (!isAscii(current()) && (pos_ > start ? continuesName(line_, pos_) : beginsName(line_, pos_))) {
                if (foreign == std::string_view::npos) foreign = pos_;
                pos_ += characterLengthAt(line_, pos_);
            } else {
                break;
            }
        }
        token.kind = TokenKind::Identifier;
        token.text = line_.substr(start, pos_ - start);
        if (foreign != std::string_view::npos) {
            error(foreign, nameCharacterMessage(token.text, foreign - start));
            token.valid = false;
        }
    }

    // A number as written: decimal, 0x hexadecimal or 0b binary, the whole
    // run of letters and digits, so that 12ab is one malformed number rather
    // than 12 followed by a label. A well-formed number beyond 64 bits is
    // marked too large: any expression with it is out of range.
    void scanNumber(Token& token) {
        const std::size_t start = pos_;
        skipWord();
        token.kind = TokenKind::Number;
        token.text = line_.substr(start, pos_ - start);
        std::string_view digits = token.text;
        int base = 10;
        if (digits.size() >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
            base = 16;
            digits.remove_prefix(2);
        } else if (digits.size() >= 2 && digits[0] == '0' && (digits[1] == 'b' || digits[1] == 'B')) {
            base = 2;
            digits.remove_prefix(2);
        }
        bool wellFormed = !digits.empty();
        std::int64_t value = 0;
        for (char c : digits) {
            const int digit = digitValue(c);
            if (digit < 0 || digit >= base) {
                wellFormed = false;
                break;
            }
            if (value > (std::numeric_limits<std::int64_t>::max() - digit) / base) token.tooLarge = true;
            if (!token.tooLarge) value = value * base + digit;
        }
        if (!wellFormed) {
            error(start, "numero non valido '" + std::string(token.text) + "'");
            token.valid = false;
            token.tooLarge = false;
            return;
        }
        token.value = value;
    }

    // Reads the escape sequence whose backslash is at pos and moves past it:
    // one of \n \t \r \0 \\ \" \' and \xHH. Reports it and gives nothing when
    // malformed.
    std::optional<Byte> scanEscape() {
        const std::size_t start = pos_;
        std::optional<Byte> byte;
        ++pos_;  // the backslash
        const char kind = atEnd() ? '\0' : line_[pos_++];
        switch (kind) {
            case 'n': byte = Byte{'\n'}; break;
            case 't': byte = Byte{'\t'}; break;
            case 'r': byte = Byte{'\r'}; break;
            case '0': byte = Byte{0}; break;
            case '\\': byte = Byte{'\\'}; break;
            case '"': byte = Byte{'"'}; break;
            case '\'': byte = Byte{'\''}; break;
            case 'x': {
                int value = 0;
                int digits = 0;
                while (digits < 2 && !atEnd() && digitValue(current()) >= 0) {
                    value = value * 16 + digitValue(current());
                    ++pos_;
                    ++digits;
                }
                if (digits == 2) byte = static_cast<Byte>(value);
                break;
            }
            default:
                // A character past ASCII is passed whole.
                if (!isAscii(kind)) pos_ = start + 1 + characterLengthAt(line_, start + 1);
                break;
        }
        if (byte) return byte;
        // Only the character after the backslash can be unprintable: a
        // message names it by its code.
        const std::string_view sequence = line_.substr(start, pos_ - start);
        if (sequence.size() < 2 || describeCharacter(line_, start + 1).front() == '\'')
            error(start, "sequenza di escape non valida '" + std::string(sequence) + "'");
        else
            error(start, "sequenza di escape non valida: '\\' seguito dal carattere " +
                             describeCharacter(line_, start + 1));
        return byte;
    }

    // A string in double quotes; its bytes go in the token.
    void scanString(Token& token) {
        const std::size_t start = pos_;
        token.kind = TokenKind::String;
        ++pos_;
        while (!atEnd() && current() != '"') {
            if (current() != '\\') {
                token.bytes += line_[pos_++];
            } else if (const std::optional<Byte> byte = scanEscape()) {
                token.bytes += static_cast<char>(*byte);
            } else {
                token.valid = false;
            }
        }
        if (atEnd()) {
            error(start, "stringa non chiusa: manca '\"'");
            token.valid = false;
            return;
        }
        ++pos_;  // the closing quote
    }

    // A character in apostrophes: exactly one byte, written as is or escaped.
    void scanCharacter(Token& token) {
        const std::size_t start = pos_;
        token.kind = TokenKind::Character;
        ++pos_;
        if (atEnd()) {
            error(start, "carattere non chiuso: manca '''");
            token.valid = false;
            return;
        }
        if (current() == '\'') {
            error(start, "carattere vuoto: tra gli apici serve un carattere");
            token.valid = false;
            ++pos_;
            return;
        }
        std::size_t wide = 0;  // the bytes of a character that needs more than one, as 'è'
        if (!isAscii(current()) && characterLengthAt(line_, pos_) > 1) {
            wide = characterLengthAt(line_, pos_);
            pos_ += wide;
        } else if (current() != '\\') {
            token.value = static_cast<unsigned char>(line_[pos_++]);
        } else if (const std::optional<Byte> byte = scanEscape()) {
            token.value = *byte;
        } else {
            token.valid = false;
        }
        if (!atEnd() && current() == '\'') {
            ++pos_;
            if (wide > 0) {
                const std::string_view character = line_.substr(start + 1, wide);
                error(start, "tra gli apici ci va un carattere di un byte, ma " + describeCharacter(character, 0) +
                                 " in UTF-8 ne ha " + std::to_string(wide) + ": per scriverne i byte usa una stringa, "
                                 "come DB \"" + std::string(character) + "\"");
                token.valid = false;
            }
            return;
        }
        // Too long or never closed: the literal ends at the next apostrophe, if any.
        const std::size_t close = line_.find('\'', pos_);
        if (token.valid)
            error(start, close == std::string_view::npos ? "carattere non chiuso: manca '''"
                                                        : "tra gli apici ci va un solo carattere (un byte)");
        token.valid = false;
        pos_ = close == std::string_view::npos ? line_.size() : close + 1;
    }

    std::string_view line_;
    Reporter& reporter_;
    std::size_t pos_ = 0;
    bool ended_ = false;
    std::int64_t endColumn_ = 0;
    std::size_t counted_ = 0;          // the byte up to which column() has counted
    std::int64_t columnCounted_ = 1;   // the column of that byte
};

// "trovato" or "trovata" and the token as a message names it.
std::string found(const Token& token) {
    switch (token.kind) {
        case TokenKind::Identifier: return "trovato '" + std::string(token.text) + "'";
        case TokenKind::Number: return "trovato un numero";
        case TokenKind::Character: return "trovato un carattere";
        case TokenKind::String: return "trovata una stringa";
        case TokenKind::Comma: return "trovato ','";
        case TokenKind::Colon: return "trovato ':'";
        case TokenKind::Plus: return "trovato '+'";
        case TokenKind::Minus: return "trovato '-'";
        case TokenKind::Invalid: return "trovato un carattere non valido";
        case TokenKind::End: return "trovata la fine della riga";
    }
    return "";
}

// The tokens of one line with two of lookahead.
class Parser {
public:
    Parser(std::string_view line, Reporter& reporter) : scanner_(line, reporter), reporter_(reporter) {}

    const Token& peek(std::size_t ahead = 0) {
        while (count_ <= ahead) ahead_[count_++] = scanner_.next();
        return ahead_[ahead];
    }
    Token take() {
        peek();
        Token token = std::move(ahead_[0]);
        if (count_ == 2) ahead_[0] = std::move(ahead_[1]);
        --count_;
        return token;
    }
    bool at(TokenKind kind) { return peek().kind == kind; }

    // Reports that something else was expected here, unless the token has
    // already been reported as malformed.
    void expected(const std::string& what) {
        const Token& token = peek();
        if (token.valid) reporter_.syntaxError(token.column, "atteso " + what + ", " + found(token));
    }

    // Reads the rest of the line, for the lexical errors in it.
    void skipRest() {
        while (take().kind != TokenKind::End) {
        }
    }

private:
    Scanner scanner_;
    Reporter& reporter_;
    std::array<Token, 2> ahead_;
    std::size_t count_ = 0;
};

// ---------------------------------------------------------------------------
// Labels and values

// Bound: not yet, or only at the end of the source; ORG cannot use it.
constexpr std::int64_t NEVER = std::numeric_limits<std::int64_t>::max();

struct Label {
    std::int64_t line = 0;  // where it is defined
    std::int64_t value = 0;
    std::int64_t boundAt = NEVER;  // the line whose bytes gave it its address
    bool pastEnd = false;          // its address lies past a program that crossed address 255
};

// An expression as read: terms joined by + and -, the first with an optional
// sign. Its label errors wait until it is known to be well formed.
struct Evaluation {
    std::int64_t column = 0;
    bool broken = false;   // the parse stopped inside it: the rest of the line is skipped
    bool invalid = false;  // a lexical error has already been reported for it
    bool pastEnd = false;  // it uses a label whose address is a consequence of an earlier error
    Wide sum = 0;
    std::string tooLarge;  // the first term beyond 64 bits, as written
    std::vector<Report> labelErrors;
    std::uint64_t moreLabelErrors = 0;
};

// Where the second reading found each byte of memory, for the warnings.
enum class CellKind : std::uint8_t { Unwritten, Instruction, Operand, Data };

struct Cell {
    CellKind kind = CellKind::Unwritten;
    bool inString = false;  // a byte of a DB string
    // An instruction's, at its first byte:
    const Instruction* instruction = nullptr;
    std::int64_t line = 0;
    std::int64_t column = 0;         // of the mnemonic
    std::int64_t operandColumn = 0;  // of A
    Byte operand = 0;                // A
};

class Assembler {
public:
    Assembler(std::string_view source, const AssemblyOptions& options) : source_(source) {
        reporter_.warningsWanted = options.warnings;
    }

    Assembly run() {
        forEachLine(source_, [this](std::string_view text, std::int64_t line) { readLine(text, line); });
        finishLayout();

        listingWanted_ = !reporter_.errors.any();
        reporter_.syntaxChecked = true;
        emitting_ = true;
        counter_ = 0;
        forEachLine(source_, [this](std::string_view text, std::int64_t line) { readLine(text, line); });

        Assembly result;
        if (reporter_.errors.any()) {
            reporter_.warnings.clear();
        } else {
            result.image.assign(memory_.begin(), memory_.begin() + static_cast<std::ptrdiff_t>(length_));
            result.listing = std::move(listing_);
            for (const auto& [name, label] : labels_)
                result.labels.push_back(
                    {std::string(name), label.line, static_cast<int>(std::clamp<std::int64_t>(label.value, 0, 1 << 20))});
            std::sort(result.labels.begin(), result.labels.end(), [](const LabelEntry& a, const LabelEntry& b) {
                return a.address != b.address ? a.address < b.address : a.line < b.line;
            });
            if (reporter_.warningsWanted) {
                warnAboutFlow();
                warnAboutStrings();
            }
        }
        suggestLabels();
        result.omittedErrors = reporter_.errors.omitted();
        result.omittedWarnings = reporter_.warnings.omitted();
        std::vector<Report>& errors = reporter_.errors.kept();
        std::vector<Report>& warnings = reporter_.warnings.kept();
        std::size_t e = 0;
        std::size_t w = 0;
        while (e < errors.size() || w < warnings.size()) {
            const bool error = w == warnings.size() || (e < errors.size() && !comesBefore(warnings[w], errors[e]));
            Report& report = error ? errors[e++] : warnings[w++];
            result.diagnostics.push_back({report.line, report.column, error ? Severity::Error : Severity::Warning,
                                          std::move(report.message)});
        }
        return result;
    }

private:
    // One line, in either reading.
    void readLine(std::string_view text, std::int64_t line) {
        reporter_.line = line;
        reporter_.muted = false;
        Parser parser(text, reporter_);
        statement(parser);
        if (!emitting_) parser.skipRest();
    }

    void statement(Parser& parser) {
        std::string_view label;
        // A name with a character past ASCII has had its error: it is no
        // label, and nothing else is said of it.
        if (parser.at(TokenKind::Identifier) && parser.peek(1).kind == TokenKind::Colon) {
            label = parser.peek().text;
            const bool valid = parser.peek().valid;
            const std::int64_t column = parser.take().column;
            parser.take();
            if (!emitting_ && valid) defineLabel(label, column);
        } else if (parser.at(TokenKind::Identifier) && parser.peek(1).kind == TokenKind::Identifier &&
                   !keywordOf(parser.peek().text) && keywordOf(parser.peek(1).text)) {
            // A label without its colon, as in "fine RST": it is taken as
            // meant, and nothing else is reported on the line.
            label = parser.peek().text;
            const bool valid = parser.peek().valid;
            const std::int64_t column = parser.take().column;
            if (valid)
                reporter_.syntaxError(column + static_cast<std::int64_t>(label.size()),
                                      "manca ':' dopo l'etichetta '" + std::string(label) + "'");
            reporter_.muted = true;
            if (!emitting_ && valid) defineLabel(label, column);
        }
        if (parser.at(TokenKind::End)) return;
        if (parser.at(TokenKind::Identifier) && parser.peek(1).kind == TokenKind::Colon) {
            if (parser.peek().valid) reporter_.syntaxError(parser.peek().column, "una riga può avere una sola etichetta");
            return;
        }
        if (!parser.at(TokenKind::Identifier)) {
            parser.expected(label.empty() ? "un'etichetta, un mnemonico o una direttiva"
                                          : "un mnemonico o una direttiva");
            return;
        }
        const Token keywordToken = parser.take();
        const std::string keyword = upperCase(keywordToken.text);
        if (keyword == "DB") {
            data(parser, keywordToken.column);
        } else if (keyword == "ORG") {
            origin(parser, keywordToken.column);
        } else if (const Instruction* instruction = findInstruction(keyword)) {
            this->instruction(parser, *instruction, keywordToken.column);
        } else if (keywordToken.valid) {
            std::string message = "mnemonico sconosciuto '" + std::string(keywordToken.text) + "'";
            if (const std::optional<std::string_view> nearest = nearestKeyword(keywordToken.text))
                message += ": forse intendevi " + std::string(*nearest) + "?";
            reporter_.syntaxError(keywordToken.column, std::move(message));
        }
    }

    void defineLabel(std::string_view name, std::int64_t column) {
        const auto [entry, added] = labels_.try_emplace(name, Label{reporter_.line});
        if (!added) {
            reporter_.syntaxError(column, "etichetta '" + std::string(name) + "' già definita alla riga " +
                                              std::to_string(entry->second.line));
            return;
        }
        waiting_.push_back(&entry->second);
        if (const std::optional<std::string> keyword = keywordOf(name)) {
            const bool directive = *keyword == "DB" || *keyword == "ORG";
            reporter_.warning(column, "l'etichetta '" + std::string(name) + "' ha il nome " +
                                          (directive ? "della direttiva " : "del mnemonico ") + *keyword);
        }
    }

    // Reads an expression; with evaluate, also adds up its terms, each label
    // with the value the layout gave it. For ORG only the labels bound before
    // this line count.
    Evaluation expression(Parser& parser, bool evaluate, bool forOrigin) {
        Evaluation evaluation;
        evaluation.column = parser.peek().column;
        bool negative = false;
        if (parser.at(TokenKind::Plus) || parser.at(TokenKind::Minus))
            negative = parser.take().kind == TokenKind::Minus;
        while (true) {
            const Token& token = parser.peek();
            if (token.kind == TokenKind::Number || token.kind == TokenKind::Character) {
                if (!token.valid) evaluation.invalid = true;
                if (token.tooLarge && evaluation.tooLarge.empty())
                    evaluation.tooLarge = (negative ? "-" : "") + std::string(token.text);
                evaluation.sum += negative ? -Wide{token.value} : Wide{token.value};
            } else if (token.kind == TokenKind::Identifier) {
                if (!token.valid) evaluation.invalid = true;
                else if (evaluate) addLabel(evaluation, token, negative, forOrigin);
            } else {
                parser.expected("un numero, un carattere o un'etichetta");
                evaluation.invalid = true;
                evaluation.broken = true;
                return evaluation;
            }
            parser.take();
            if (!parser.at(TokenKind::Plus) && !parser.at(TokenKind::Minus)) return evaluation;
            negative = parser.take().kind == TokenKind::Minus;
        }
    }

    void addLabel(Evaluation& evaluation, const Token& token, bool negative, bool forOrigin) {
        const auto found = labels_.find(token.text);
        std::string message;
        std::string_view undefined;
        if (found == labels_.end()) {
            message = "etichetta non definita '" + std::string(token.text) + "'";
            undefined = token.text;
        } else if (forOrigin && found->second.boundAt >= reporter_.line) {
            message = found->second.line > reporter_.line
                          ? "l'etichetta '" + std::string(token.text) +
                                "' è definita più avanti: ORG usa solo etichette già definite"
                          : "l'etichetta '" + std::string(token.text) +
                                "' vale l'indirizzo del prossimo byte scritto, che ORG non conosce ancora";
        } else {
            if (found->second.pastEnd) evaluation.pastEnd = true;
            evaluation.sum += negative ? -Wide{found->second.value} : Wide{found->second.value};
            return;
        }
        // The errors of one expression come in column order: past the first
        // few, none of them can be among those shown.
        if (evaluation.labelErrors.size() < MAX_REPORTED_DIAGNOSTICS)
            evaluation.labelErrors.push_back({reporter_.line, token.column, std::move(message), undefined});
        else
            ++evaluation.moreLabelErrors;
    }

    // The value of an expression if it lies in low..high; otherwise nothing,
    // after reporting why unless an error already explains it.
    std::optional<std::int64_t> valueIn(Evaluation& evaluation, std::int64_t low, std::int64_t high,
                                        const char* range, bool report) {
        if (evaluation.invalid) return std::nullopt;
        if (!evaluation.labelErrors.empty()) {
            if (report && !reporter_.muted) {
                for (Report& labelError : evaluation.labelErrors) reporter_.errors.add(std::move(labelError));
                reporter_.errors.addOmitted(evaluation.moreLabelErrors);
            }
            return std::nullopt;
        }
        if (evaluation.pastEnd) return std::nullopt;  // the program's crossing of 255 is the error
        std::string shown;
        if (!evaluation.tooLarge.empty())
            shown = evaluation.tooLarge;
        else if (evaluation.sum < low || evaluation.sum > high)
            shown = decimal(evaluation.sum);
        else
            return static_cast<std::int64_t>(evaluation.sum);
        if (report) reporter_.error(evaluation.column, "valore " + shown + " fuori dall'intervallo " + range);
        return std::nullopt;
    }

    // An operand or a DB value as its byte: -128..255, negatives in two's
    // complement; 0 after an error.
    std::optional<Byte> byteOf(Evaluation& evaluation) {
        const std::optional<std::int64_t> value = valueIn(evaluation, -128, 255, "-128..255", true);
        if (!value) return std::nullopt;
        return static_cast<Byte>((*value + 256) % 256);
    }

    // ORG's one operand sets the address of the next byte. The first reading
    // uses it without reporting; the second, which knows every label, reports
    // what is wrong with it and finds the same address.
    void origin(Parser& parser, std::int64_t keywordColumn) {
        Evaluation first;
        std::size_t count = 0;
        if (!parser.at(TokenKind::End) && !operands(parser, [&](Evaluation& evaluation) {
                if (count++ == 0) first = std::move(evaluation);
            }))
            return;
        if (count != 1) {
            reporter_.syntaxError(keywordColumn,
                                  "ORG richiede 1 operando, qui " +
                                      (count == 0 ? std::string("non ne ha") : "ne ha " + std::to_string(count)));
            return;
        }
        const std::optional<std::int64_t> value = valueIn(first, 0, 255, "0..255 di ORG", emitting_);
        if (!value) return;
        counter_ = *value;
        pastEndReported_ = false;
    }

    // Expressions separated by commas up to the end of the line, each handed
    // to take once read. False after a syntax error: the rest of the line is
    // skipped, and the operands are not counted.
    template <typename Take>
    bool operands(Parser& parser, Take take) {
        while (true) {
            Evaluation evaluation = expression(parser, true, true);
            if (evaluation.broken) return false;
            take(evaluation);
            if (!parser.at(TokenKind::Comma)) break;
            parser.take();
        }
        if (!parser.at(TokenKind::End)) {
            parser.expected("',' o la fine della riga");
            return false;
        }
        return true;
    }

    // An instruction takes its room even with wrong operands, so that the
    // addresses of the lines after it stay right; each operand is evaluated
    // all the same, so that all errors are found.
    void instruction(Parser& parser, const Instruction& instruction, std::int64_t keywordColumn) {
        const unsigned wanted = operandCount(instruction.opcode);
        const unsigned length = instructionLength(instruction.opcode);
        const std::int64_t address = counter_;
        std::array<Byte, 4> bytes{instruction.opcode, 0, 0, 0};
        std::int64_t operandColumn = 0;
        unsigned count = 0;
        bool wellFormed = true;
        if (!parser.at(TokenKind::End)) {
            while (true) {
                Evaluation evaluation = expression(parser, emitting_, false);
                if (evaluation.broken) {
                    wellFormed = false;
                    break;
                }
                if (emitting_) {
                    const std::optional<Byte> byte = byteOf(evaluation);
                    if (count == 0) operandColumn = evaluation.column;
                    if (byte && count + 1 < length) bytes[count + 1] = *byte;
                    // Of the instructions that may set D, those with a B
                    // (CPY, VAL) set it when B is 0.
                    if (byte && *byte == 0 && count == 1 && instruction.maySetDebug)
                        reporter_.warning(evaluation.column,
                                          "con B = 0 " + std::string(instruction.mnemonic) +
                                              " accende il flag D: da qui la macchina mostra la traccia a ogni "
                                              "istruzione");
                }
                ++count;
                if (!parser.at(TokenKind::Comma)) break;
                parser.take();
            }
            if (wellFormed && !parser.at(TokenKind::End)) {
                parser.expected("',' o la fine della riga");
                wellFormed = false;
            }
        }
        if (wellFormed && count != wanted) {
            std::string message = std::string(instruction.mnemonic);
            if (wanted == 0)
                message += " non vuole operandi";
            else
                message += " richiede " + std::to_string(wanted) + (wanted == 1 ? " operando" : " operandi");
            message += count == 0 ? ", qui non ne ha" : ", qui ne ha " + std::to_string(count);
            reporter_.syntaxError(keywordColumn, std::move(message));
        }
        if (!emitting_) {
            layOut(length, keywordColumn);
            return;
        }
        beginBytes(false);
        for (unsigned offset = 0; offset < length; ++offset) {
            const std::int64_t at = address + offset;
            if (!store(at, bytes[offset])) continue;
            Cell& cell = cells_[static_cast<std::size_t>(at)];
            cell.kind = offset == 0 ? CellKind::Instruction : CellKind::Operand;
            if (offset != 0) continue;
            cell.instruction = &instruction;
            cell.line = reporter_.line;
            cell.column = keywordColumn;
            cell.operandColumn = operandColumn;
            cell.operand = bytes[1];
        }
        endBytes(length);
    }

    // DB's items: strings and expressions separated by commas. An item cut
    // short by a syntax error still takes its byte.
    void data(Parser& parser, std::int64_t keywordColumn) {
        if (parser.at(TokenKind::End)) {
            reporter_.syntaxError(keywordColumn, "DB richiede almeno un valore");
            if (!emitting_) layOut(0, keywordColumn);
            return;
        }
        const std::int64_t address = counter_;
        std::int64_t size = 0;
        if (emitting_) beginBytes(true);
        auto put = [&](Byte byte, bool inString) {
            if (emitting_ && store(address + size, byte)) {
                Cell& cell = cells_[static_cast<std::size_t>(address + size)];
                cell.kind = CellKind::Data;
                cell.inString = inString;
            }
            ++size;
        };
        while (true) {
            if (parser.at(TokenKind::String)) {
                for (const char c : parser.take().bytes) put(static_cast<Byte>(c), true);
            } else {
                Evaluation evaluation = expression(parser, emitting_, false);
                if (evaluation.broken) {
                    ++size;
                    break;
                }
                const std::optional<Byte> byte = emitting_ ? byteOf(evaluation) : std::nullopt;
                put(byte.value_or(0), false);
            }
            if (!parser.at(TokenKind::Comma)) {
                if (!parser.at(TokenKind::End)) parser.expected("',' o la fine della riga");
                break;
            }
            parser.take();
        }
        if (emitting_)
            endBytes(size);
        else
            layOut(size, keywordColumn);
    }

    // First reading: the bytes of a line take their addresses, and the labels
    // waiting for the next byte get its address.
    void layOut(std::int64_t size, std::int64_t keywordColumn) {
        for (Label* label : waiting_) {
            label->value = counter_;
            label->boundAt = reporter_.line;
        }
        bool overlapReported = false;
        for (std::int64_t address = counter_; address < counter_ + size; ++address) {
            if (address > 255) {
                if (!pastEndReported_) reporter_.error(keywordColumn, "il programma va oltre l'indirizzo 255");
                pastEndReported_ = true;
                break;
            }
            std::int64_t& writer = owner_[static_cast<std::size_t>(address)];
            if (writer == 0) {
                writer = reporter_.line;
            } else if (!overlapReported) {
                reporter_.error(keywordColumn, "l'indirizzo " + std::to_string(address) +
                                                   " è già occupato dalla riga " + std::to_string(writer));
                overlapReported = true;
            }
        }
        // Past the end of a program that crossed 255, an address is only a
        // consequence of that one error.
        for (Label* label : waiting_)
            if (pastEndReported_ && label->value > 255) label->pastEnd = true;
        waiting_.clear();
        counter_ += size;
    }

    // The labels after the last byte take the address after it.
    void finishLayout() {
        for (Label* label : waiting_) {
            label->value = counter_;
            label->pastEnd = pastEndReported_ && counter_ > 255;
        }
        waiting_.clear();
    }

    // Second reading: a line's bytes go where the layout gave them room.
    void beginBytes(bool data) {
        if (listingWanted_) listing_.push_back({reporter_.line, static_cast<int>(counter_), {}, data});
    }
    bool store(std::int64_t address, Byte byte) {
        if (listingWanted_) listing_.back().bytes.push_back(byte);
        if (address > 255 || owner_[static_cast<std::size_t>(address)] != reporter_.line) return false;
        memory_[static_cast<std::size_t>(address)] = byte;
        length_ = std::max(length_, static_cast<std::size_t>(address) + 1);
        return true;
    }
    void endBytes(std::int64_t size) {
        if (listingWanted_ && listing_.back().bytes.empty()) listing_.pop_back();  // a DB of empty strings
        counter_ += size;
    }

    // Follows the program from address 0 along every way control can take,
    // and warns where it runs on from an instruction into something that is
    // not one: bytes the program does not write, or its data.
    void warnAboutFlow() {
        reporter_.muted = false;
        std::array<bool, 256> seen{};
        std::vector<std::size_t> pending{0};
        auto follow = [&](std::int64_t address) {
            if (address > 255) return;
            const auto at = static_cast<std::size_t>(address);
            if (cells_[at].kind == CellKind::Instruction && !seen[at]) {
                seen[at] = true;
                pending.push_back(at);
            }
        };
        if (cells_[0].kind != CellKind::Instruction) return;
        seen[0] = true;
        while (!pending.empty()) {
            const std::size_t at = pending.back();
            pending.pop_back();
            const Cell& cell = cells_[at];
            const Flow flow = flowOf(*cell.instruction);
            if (flow == Flow::Jumps || flow == Flow::Branches) follow(cell.operand);
            if (flow == Flow::Stops || flow == Flow::Jumps) continue;
            const std::int64_t next = static_cast<std::int64_t>(at + instructionLength(cell.instruction->opcode));
            const char* message = nullptr;
            if (next > 255)
                message = "l'esecuzione prosegue oltre l'indirizzo 255 e ricomincia da 0: manca RST?";
            else if (cells_[static_cast<std::size_t>(next)].kind == CellKind::Data)
                message = "l'esecuzione prosegue nei dati dopo questa istruzione: manca RST?";
            else if (cells_[static_cast<std::size_t>(next)].kind != CellKind::Instruction)
                message = "l'esecuzione prosegue oltre questa istruzione: manca RST?";
            if (message == nullptr) {
                follow(next);
            } else {
                reporter_.line = cell.line;
                reporter_.warning(cell.column, message);
            }
        }
    }

    // WRT prints from its address up to the first 0. When the address is in
    // a DB string, the data from there must reach a 0 of the program's own
    // before anything that is not data.
    void warnAboutStrings() {
        for (const Cell& cell : cells_) {
            if (cell.kind != CellKind::Instruction || cell.instruction->opcode != Op::Wrt) continue;
            if (!cells_[cell.operand].inString) continue;
            std::size_t at = cell.operand;
            while (at < 256 && cells_[at].kind == CellKind::Data && memory_[at] != 0) ++at;
            if (at < 256 && cells_[at].kind == CellKind::Data) continue;
            reporter_.line = cell.line;
            reporter_.warning(cell.operandColumn, "dopo la stringa manca uno 0: WRT stampa fino al primo byte 0");
        }
    }

    // The errors shown for an undefined label suggest a defined one like it.
    void suggestLabels() {
        std::vector<std::string_view> names;
        for (Report& report : reporter_.errors.kept()) {
            if (report.undefinedLabel.empty()) continue;
            if (names.empty() && !labels_.empty()) {
                names.reserve(labels_.size());
                for (const auto& entry : labels_) names.push_back(entry.first);
                std::sort(names.begin(), names.end());
            }
            if (const std::optional<std::string> similar = similarName(report.undefinedLabel, names))
                report.message += ": forse intendevi '" + *similar + "'?";
        }
    }

    std::string_view source_;
    Reporter reporter_;
    bool emitting_ = false;  // the second reading
    std::unordered_map<std::string_view, Label> labels_;

    // The layout.
    std::int64_t counter_ = 0;  // the address of the next byte
    bool pastEndReported_ = false;
    std::vector<Label*> waiting_;     // labels for the next byte
    std::array<std::int64_t, 256> owner_{};  // the line that writes each address; 0: none

    // What the second reading stores.
    std::array<Byte, 256> memory_{};
    std::size_t length_ = 0;
    std::array<Cell, 256> cells_{};
    bool listingWanted_ = false;
    std::vector<ListingEntry> listing_;
};

}  // namespace

bool Assembly::failed() const {
    if (omittedErrors > 0) return true;
    for (const Diagnostic& diagnostic : diagnostics)
        if (diagnostic.severity == Severity::Error) return true;
    return false;
}

Assembly assemble(std::string_view source, const AssemblyOptions& options) {
    return Assembler(source, options).run();
}

std::string formatDiagnostic(const std::string& file, const Diagnostic& diagnostic) {
    return file + ":" + std::to_string(diagnostic.line) + ":" + std::to_string(diagnostic.column) +
           (diagnostic.severity == Severity::Error ? ": errore: " : ": avviso: ") + diagnostic.message;
}

std::vector<std::string> formatReport(const std::string& file, const Assembly& assembly) {
    std::vector<std::string> lines;
    for (const Diagnostic& diagnostic : assembly.diagnostics) lines.push_back(formatDiagnostic(file, diagnostic));
    if (assembly.omittedErrors == 1)
        lines.push_back(file + ": un altro errore non mostrato");
    else if (assembly.omittedErrors > 1)
        lines.push_back(file + ": altri " + std::to_string(assembly.omittedErrors) + " errori non mostrati");
    if (assembly.omittedWarnings == 1)
        lines.push_back(file + ": un altro avviso non mostrato");
    else if (assembly.omittedWarnings > 1)
        lines.push_back(file + ": altri " + std::to_string(assembly.omittedWarnings) + " avvisi non mostrati");
    return lines;
}

namespace {

// The columns of a listing row: the source line's number, right-aligned,
// then two blanks; from there the address and up to four bytes, and the text
// LISTING_TEXT_COLUMN characters further on.
constexpr std::size_t MIN_NUMBER_WIDTH = 3;
constexpr std::size_t NUMBER_GAP = 2;
constexpr std::size_t LISTING_TEXT_COLUMN = 17;
constexpr std::size_t BYTES_PER_ROW = 4;

struct ListingShape {
    std::size_t numberWidth = MIN_NUMBER_WIDTH;
    std::size_t size = 0;  // enough room for the whole listing
};

// The width of the number column (the last line's digits) and the room the
// listing needs at most, so that a long source grows its listing once.
ListingShape shapeOf(std::string_view source, const Assembly& assembly) {
    std::int64_t lines = 0;
    std::size_t textRows = 0;
    forEachLine(source, [&](std::string_view text, std::int64_t line) {
        lines = line;
        if (!text.empty()) ++textRows;
    });
    ListingShape shape;
    shape.numberWidth = std::max(MIN_NUMBER_WIDTH, std::to_string(lines).size());
    std::size_t byteRows = 0;
    for (const ListingEntry& entry : assembly.listing) byteRows += entry.bytes.size() / BYTES_PER_ROW + 1;
    const std::size_t rowStart = shape.numberWidth + NUMBER_GAP + LISTING_TEXT_COLUMN;
    shape.size = static_cast<std::size_t>(lines) * (shape.numberWidth + 1) + (textRows + byteRows) * rowStart + source.size();
    return shape;
}

// The start of a row: the line number, or blanks for a row that continues
// the bytes of the one before, then the gap.
void appendNumber(std::string& out, std::size_t width, std::int64_t line) {
    const std::string number = line > 0 ? std::to_string(line) : "";
    out.append(width > number.size() ? width - number.size() : 0, ' ');
    out += number;
    out.append(NUMBER_GAP, ' ');
}

// The source text in its column, then the row ends without trailing blanks
// (a line without bytes or text keeps its number alone).
void appendText(std::string& out, std::size_t textStart, std::string_view text) {
    out.resize(textStart, ' ');
    out += text;
    while (!out.empty() && out.back() == ' ') out.pop_back();
    out += '\n';
}

// One listing row: number, address, up to four bytes, then the source text.
void appendListingRow(std::string& out, std::size_t width, std::int64_t line, int address, const Byte* bytes,
                      std::size_t count, std::string_view text) {
    appendNumber(out, width, line);
    const std::size_t start = out.size();
    out += hexDigits(static_cast<unsigned>(address) & 0xFF);
    out += "  ";
    for (std::size_t i = 0; i < count; ++i) {
        out += hexDigits(bytes[i]);
        out += ' ';
    }
    appendText(out, start + LISTING_TEXT_COLUMN, text);
}

}  // namespace

std::string formatListing(std::string_view source, const Assembly& assembly) {
    const ListingShape shape = shapeOf(source, assembly);
    std::string out;
    out.reserve(shape.size);
    std::size_t next = 0;  // the next listing entry
    forEachLine(source, [&](std::string_view text, std::int64_t line) {
        if (next == assembly.listing.size() || assembly.listing[next].line != line) {
            appendNumber(out, shape.numberWidth, line);
            appendText(out, out.size() + LISTING_TEXT_COLUMN, text);
            return;
        }
        const ListingEntry& entry = assembly.listing[next++];
        for (std::size_t offset = 0; offset < entry.bytes.size() || offset == 0; offset += BYTES_PER_ROW) {
            const std::size_t count = std::min(BYTES_PER_ROW, entry.bytes.size() - offset);
            const bool first = offset == 0;
            appendListingRow(out, shape.numberWidth, first ? line : 0, entry.address + static_cast<int>(offset),
                             entry.bytes.data() + offset, count, first ? text : std::string_view{});
        }
    });
    return out;
}

}  // namespace tarn

#include "grading/exercise_syntax.hpp"

#include <algorithm>
#include <vector>

namespace tarn::grading::syntax {

namespace {

// A name or key shown in a message is cut after this many bytes.
constexpr std::size_t MAX_QUOTED_BYTES = 60;

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// The text between the first and the last quote of a description, if any.
std::optional<std::string_view> quotedPart(std::string_view text) {
    const std::size_t first = text.find('\'');
    const std::size_t last = text.rfind('\'');
    if (first == std::string_view::npos || last <= first) return std::nullopt;
    return text.substr(first + 1, last - first - 1);
}

// A character that may stand in a bare key.
bool bareKeyCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

bool blank(char c) { return c == ' ' || c == '\t'; }

// The byte of the text at a line and a column counted in characters, as
// toml++ counts them; npos past the line's end.
std::size_t offsetOf(std::string_view text, std::int64_t line, std::int64_t column) {
    std::size_t at = 0;
    for (std::int64_t current = 1; current < line; ++current) {
        at = text.find('\n', at);
        if (at == std::string_view::npos) return at;
        ++at;
    }
    for (std::int64_t character = 1; at < text.size() && text[at] != '\n'; ++at)
        if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80 && character++ == column) return at;
    return std::string_view::npos;
}

// A key as the file writes it, from `at` on: its parts, bare or between
// quotes, joined by dots as a person names it ("atteso.memoria", "0xF0"). In
// double quotes, \" and \\ are read; other escapes stay as written. Nothing
// when there is no key there; `end` is where it ends.
std::optional<std::string> keyFrom(std::string_view text, std::size_t at, std::size_t& end) {
    std::string key;
    for (;;) {
        while (at < text.size() && blank(text[at])) ++at;
        if (at >= text.size()) return std::nullopt;
        const char first = text[at];
        if (first == '"' || first == '\'') {
            std::size_t next = at + 1;
            while (next < text.size() && text[next] != first && text[next] != '\n') {
                if (first == '"' && text[next] == '\\' && next + 1 < text.size() && text[next + 1] != '\n') {
                    const char escaped = text[next + 1];
                    if (escaped != '"' && escaped != '\\') key += '\\';
                    key += escaped;
                    next += 2;
                } else {
                    key += text[next++];
                }
            }
            if (next >= text.size() || text[next] != first) return std::nullopt;
            at = next + 1;
        } else if (bareKeyCharacter(first)) {
            while (at < text.size() && bareKeyCharacter(text[at])) key += text[at++];
        } else {
            return std::nullopt;
        }
        end = at;
        while (at < text.size() && blank(text[at])) ++at;
        if (at >= text.size() || text[at] != '.') return key;
        key += '.';
        ++at;
    }
}

// The first byte of the key that ends just before `end`: back over its
// parts and the dots between them.
std::optional<std::size_t> keyStartBefore(std::string_view text, std::size_t end) {
    for (;;) {
        if (end == 0) return std::nullopt;
        const char last = text[end - 1];
        std::size_t start = end - 1;
        if (last == '"' || last == '\'') {
            // Back to the opening quote: in double quotes, one that an odd
            // number of backslashes precedes is part of the key.
            for (;;) {
                if (start == 0 || text[start - 1] == '\n') return std::nullopt;
                --start;
                if (text[start] != last) continue;
                std::size_t backslashes = 0;
                while (last == '"' && start > backslashes && text[start - 1 - backslashes] == '\\') ++backslashes;
                if (backslashes % 2 == 0) break;
            }
        } else if (bareKeyCharacter(last)) {
            while (start > 0 && bareKeyCharacter(text[start - 1])) --start;
        } else {
            return std::nullopt;
        }
        std::size_t before = start;
        while (before > 0 && blank(text[before - 1])) --before;
        if (before == 0 || text[before - 1] != '.') return start;
        end = before - 1;
        while (end > 0 && blank(text[end - 1])) --end;
    }
}

// The key that a "cannot redefine" error concerns, as the file writes it.
// toml++ reports such an error at the value of a key (at the key itself when
// a dotted key goes through a value) or at a table's header, and names the
// key in its description, but garbles a key written in quotes ('"0x0xF0" '
// for "0xF0"): the name is read from the file, and the description's taken
// only when it holds no quote; otherwise none.
std::string definedKey(std::string_view scope, std::string_view detail, std::string_view text, std::int64_t line,
                       std::int64_t column) {
    std::size_t at = offsetOf(text, line, column);
    if (at != std::string_view::npos) {
        std::size_t end = 0;
        if (scope == "table header") {
            while (at < text.size() && (text[at] == '[' || blank(text[at]))) ++at;
            if (const auto key = keyFrom(text, at, end)) return *key;
        } else {
            std::size_t before = at;
            while (before > 0 && blank(text[before - 1])) --before;
            if (before > 0 && text[before - 1] == '=') {
                --before;
                while (before > 0 && blank(text[before - 1])) --before;
                if (const auto start = keyStartBefore(text, before))
                    if (const auto key = keyFrom(text, *start, end); key && end == before) return *key;
            } else if (const auto key = keyFrom(text, at, end)) {
                return *key;
            }
        }
    }
    const std::optional<std::string_view> named = quotedPart(detail);
    if (named && named->find_first_of("\"'") == std::string_view::npos) return std::string(*named);
    return "";
}

// toml++ describes a syntax error in English, as "Error while parsing WHAT:
// DETAIL"; the common ones are told in Italian, the rest plainly.
std::string translate(std::string_view description, std::string_view text, std::int64_t line, std::int64_t column) {
    std::string_view scope;
    std::string_view detail = description;
    constexpr std::string_view PREFIX = "Error while parsing ";
    if (startsWith(description, PREFIX)) {
        const std::string_view rest = description.substr(PREFIX.size());
        const std::size_t colon = rest.find(": ");
        if (colon != std::string_view::npos) {
            scope = rest.substr(0, colon);
            detail = rest.substr(colon + 2);
        }
    }
    const auto has = [&](std::string_view part) { return detail.find(part) != std::string_view::npos; };
    const bool inString = scope == "string" || scope == "literal string";
    const bool inNumber = scope.find("integer") != std::string_view::npos ||
                          scope.find("floating-point") != std::string_view::npos;
    const bool inDate = scope == "date" || scope == "time" || scope == "date-time" || scope == "date-time offset";

    if (description.find("invalid utf-8") != std::string_view::npos) return "il file non è testo UTF-8 valido";
    if (has("cannot redefine existing") || has("cannot insert")) {
        const std::string key = definedKey(scope, detail, text, line, column);
        const std::string name = key.empty() ? "" : " " + quote(key);
        if (has("existing array") && has(" as table"))
            return (key.empty() ? "questo nome" : quote(key)) +
                   " è già un array di tabelle: non può essere anche una tabella sola";
        if (has("existing table")) return "la tabella" + name + " è già definita più sopra";
        if (has("as dotted key-value pair"))
            return "la chiave" + name + " passa per una chiave che ha già un valore: non può essere anche una tabella";
        if (has(" as ")) return "la chiave" + name + " ha già un valore: non può essere anche una tabella";
        return "la chiave" + name + " è già definita più sopra";
    }
    if (has("encountered end-of-file")) {
        if (inString) return "stringa non chiusa: il file finisce prima delle virgolette di chiusura";
        if (scope == "array") return "array non chiuso: manca la ']' finale";
        if (scope == "inline table") return "tabella non chiusa: manca la '}' finale";
        if (scope == "table header") return "intestazione di tabella non chiusa: manca la ']' finale";
        if (scope == "key-value pair" || scope == "value") return "manca il valore: scrivi chiave = valore";
        return "il file finisce a metà di un valore";
    }
    if (has("unescaped control characters"))
        return "carattere di controllo in una stringa: se la stringa doveva finire prima, mancano le virgolette "
               "di chiusura; un a capo dentro una stringa si scrive \\n";
    if (scope == "comment" && has("control characters")) return "carattere di controllo non ammesso in un commento";
    if (has("unknown escape sequence"))
        return "sequenza di escape sconosciuta " + quote(quotedPart(detail).value_or("")) +
               ": una barra rovesciata dentro le virgolette doppie si scrive \\\\";
    if (scope == "unicode scalar sequence")
        return "sequenza \\u o \\U non valida: vuole 4 o 8 cifre esadecimali di un carattere Unicode";
    if (has("expected '=', saw")) return "manca '=' tra la chiave e il valore";
    if (has("expected '\\n' after '\\r'")) return "un ritorno a capo '\\r' deve essere seguito da un a capo";
    if (has("expected a comment or whitespace"))
        return "dopo il valore la riga può avere solo un commento: ogni chiave va su una riga a sé";
    if (has("expected keys, tables, whitespace or comments"))
        return "qui ci vuole una chiave, un'intestazione di tabella o un commento";
    if (has("expected bare key starting character or string delimiter"))
        return "chiave non valida: una chiave è fatta di lettere, cifre, '_' e '-', oppure è una stringa tra "
               "virgolette";
    if (has("blank bare keys")) return "una tabella non può avere un nome vuoto";
    if (has("dangling comma")) return "virgola di troppo prima di '}': le tabelle tra graffe non la ammettono";
    if (has("saw comma")) return "virgola di troppo";
    if (has("expected comma or closing ']'")) return "nell'array manca una virgola o la ']' finale";
    if (has("expected comma or closing '}'")) return "nella tabella manca una virgola o la '}' finale";
    if (has("expected key or closing '}'")) {
        if (has("saw '\\n'")) return "tabella tra graffe non chiusa: va scritta tutta su una riga, fino alla '}'";
        return "nella tabella ci vuole una chiave o la '}' finale";
    }
    if (has("expected value, saw")) return "manca il valore: scrivi chiave = valore";
    if (has("maximum nested value depth")) return "troppi array e tabelle uno dentro l'altro";
    if (has("not representable in 64 bits"))
        return "intero troppo grande: TOML li ammette da -9223372036854775808 a 9223372036854775807";
    if (has("leading zeroes")) return "un numero non può cominciare con uno 0 (gli esadecimali si scrivono 0x...)";
    if (has("underscore")) return "in un numero '_' va sempre tra due cifre";
    if (inNumber) return "numero non valido";
    if (inDate) return "data o ora non valida";
    if (scope == "boolean") return "valore non valido: i valori logici sono true e false";
    if (scope == "value" || has("could not determine value type"))
        return "valore non riconosciuto: una stringa va tra virgolette, i valori logici sono true e false";
    return "sintassi TOML non valida";
}

// The place where the text first nests its tables and arrays deeper than
// MAX_EXERCISE_NESTING, if it does. The TOML library follows a nesting down
// the machine's stack, so a deep one must never reach it. This reads just
// enough TOML to tell keys from values: strings and comments are skipped, a
// dot counts only within a key or a table header, a bracket or a brace only
// within a value. Whatever else it meets is left to the library, which will
// refuse it; a fault can only make the count higher than the nesting.
class NestingScanner {
public:
    explicit NestingScanner(std::string_view text) : text_(text) {}

    std::optional<std::size_t> firstTooDeep() {
        while (at_ < text_.size() && !tooDeep_) {
            const char c = text_[at_];
            if (c == ' ' || c == '\t' || c == '\r') {
                ++at_;
            } else if (c == '#') {
                while (at_ < text_.size() && text_[at_] != '\n') ++at_;
            } else if (c == '\n') {
                ++at_;
                if (open_.empty()) keyExpected_ = true;  // a statement ends with its line
            } else if (keyExpected_) {
                readKeyPlace(c);
            } else {
                readValuePart(c);
            }
        }
        return tooDeep_;
    }

private:
    struct Open {
        char bracket;       // '[' an array, '{' an inline table
        std::size_t depth;  // of the values inside it
    };

    // Where a key may begin: a table header, a key, or the end of an empty
    // inline table.
    void readKeyPlace(char c) {
        if (open_.empty() && c == '[') {
            const bool arrayOfTables = at_ + 1 < text_.size() && text_[at_ + 1] == '[';
            at_ += arrayOfTables ? 2 : 1;
            // Each element of an array of tables lies one level down.
            tableDepth_ = readKey(arrayOfTables ? 1 : 0);
            for (int closing = 0; closing < 2 && at_ < text_.size() && text_[at_] == ']'; ++closing) ++at_;
            return;
        }
        if (c == '}' && !open_.empty()) {
            open_.pop_back();
            keyExpected_ = false;
            ++at_;
            return;
        }
        valueDepth_ = readKey(open_.empty() ? tableDepth_ : open_.back().depth);
        keyExpected_ = false;
        if (at_ < text_.size() && text_[at_] == '=') ++at_;
    }

    // A key's parts, split by dots outside quotes, up to what cannot be part
    // of a key: the depth of its value, each part a level below `base`.
    std::size_t readKey(std::size_t base) {
        std::size_t depth = base;
        deeper(depth);
        while (at_ < text_.size() && !tooDeep_) {
            const char c = text_[at_];
            if (c == '"' || c == '\'') {
                skipString();
            } else if (c == '.') {
                deeper(depth);
                ++at_;
            } else if (c == '=' || c == ']' || c == '[' || c == '{' || c == '}' || c == ',' || c == '#' ||
                       c == '\n') {
                break;
            } else {
                ++at_;
            }
        }
        return depth;
    }

    void readValuePart(char c) {
        if (c == '"' || c == '\'') {
            skipString();
            return;
        }
        if (c == '[' || c == '{') {
            std::size_t depth = valueDepth_;
            deeper(depth);
            open_.push_back({c, depth});
            valueDepth_ = depth;
            keyExpected_ = c == '{';
        } else if (c == ',' && !open_.empty()) {
            if (open_.back().bracket == '{') keyExpected_ = true;
            else valueDepth_ = open_.back().depth;
        } else if ((c == ']' || c == '}') && !open_.empty()) {
            open_.pop_back();
        }
        ++at_;
    }

    // One level more, at the current place: past the bound, the place is kept.
    void deeper(std::size_t& depth) {
        ++depth;
        if (depth > MAX_EXERCISE_NESTING && !tooDeep_) tooDeep_ = at_;
    }

    // From an opening quote past the closing one: basic strings with their
    // escapes, literal ones, either on one line or in three quotes across
    // lines. One that is never closed ends with its line, or with the text.
    void skipString() {
        const char quote = text_[at_];
        const bool basic = quote == '"';
        const std::string_view three = basic ? std::string_view("\"\"\"") : std::string_view("'''");
        if (text_.substr(at_, 3) == three) {
            at_ += 3;
            while (at_ < text_.size()) {
                if (basic && text_[at_] == '\\') {
                    at_ = std::min(at_ + 2, text_.size());
                } else if (text_.substr(at_, 3) == three) {
                    at_ += 3;
                    // Up to two more quotes belong to the string.
                    for (int extra = 0; extra < 2 && at_ < text_.size() && text_[at_] == quote; ++extra) ++at_;
                    return;
                } else {
                    ++at_;
                }
            }
            return;
        }
        ++at_;
        while (at_ < text_.size() && text_[at_] != '\n') {
            if (basic && text_[at_] == '\\') {
                at_ = std::min(at_ + 2, text_.size());
            } else if (text_[at_++] == quote) {
                return;
            }
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::vector<Open> open_;      // never deeper than the bound
    std::size_t tableDepth_ = 0;  // of the keys under the last table header
    std::size_t valueDepth_ = 0;  // of the value being read
    bool keyExpected_ = true;
    std::optional<std::size_t> tooDeep_;
};

}  // namespace

std::string quote(std::string_view text) {
    static constexpr char HEX[] = "0123456789ABCDEF";
    std::string quoted = "'";
    std::size_t kept = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (kept >= MAX_QUOTED_BYTES && (c & 0xC0) != 0x80) {
            quoted += "...";
            break;
        }
        ++kept;
        if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\t') {
            quoted += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            quoted += "\\x";
            quoted += HEX[c >> 4];
            quoted += HEX[c & 0xF];
        } else {
            quoted += static_cast<char>(c);
        }
    }
    quoted += '\'';
    return quoted;
}

std::optional<std::size_t> firstTooDeep(std::string_view text) {
    return NestingScanner(text).firstTooDeep();
}

// The line and column, counted from 1 in bytes, of a byte of the text.
ExerciseError placeOf(std::string_view text, std::size_t offset, std::string message) {
    const std::string_view before = text.substr(0, offset);
    const std::size_t lineEnd = before.rfind('\n');
    const auto line = static_cast<std::int64_t>(std::count(before.begin(), before.end(), '\n')) + 1;
    const std::size_t column = offset - (lineEnd == std::string_view::npos ? 0 : lineEnd + 1) + 1;
    return {line, static_cast<std::int64_t>(column), std::move(message)};
}

// A position within the text: the parser reports an error found at the end of
// the input one column past the line's end, which no editor can go to.
ExerciseError withinText(std::string_view text, ExerciseError error) {
    if (error.line <= 0) return error;
    std::int64_t line = 1;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string_view::npos && line < error.line;
         end = text.find('\n', start)) {
        start = end + 1;
        ++line;
    }
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const auto lastColumn = static_cast<std::int64_t>(end - start) + 1;  // the line end itself
    if (line < error.line) {  // past the last line: its end
        error.line = line;
        error.column = lastColumn;
    }
    error.column = std::clamp<std::int64_t>(error.column, 1, lastColumn);
    return error;
}

std::string syntaxErrorMessage(std::string_view description, std::string_view text, std::int64_t line,
                               std::int64_t column) {
    return translate(description, text, line, column);
}

bool literalStringAt(std::string_view text, std::int64_t line, std::int64_t column) {
    const std::size_t at = offsetOf(text, line, column);
    return at != std::string_view::npos && text[at] == '\'';
}

}  // namespace tarn::grading::syntax

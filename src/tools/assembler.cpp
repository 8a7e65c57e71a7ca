#include "tools/assembler.hpp"

#include "machine/instruction_set.hpp"
#include "tools/instruction_forms.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>

namespace tarn {

namespace {

// ---------------------------------------------------------------------------
// Reporting

void report(std::vector<Diagnostic>& diagnostics, int line, int column, std::string message) {
    diagnostics.push_back({line, column, Severity::Error, std::move(message)});
}

// A source character as a message shows it: 'c', or \xHH when not printable.
std::string describeCharacter(char c) {
    const auto code = static_cast<unsigned char>(c);
    if (code >= 0x20 && code < 0x7F) return std::string("'") + c + "'";
    const char* digits = "0123456789ABCDEF";
    return std::string("\\x") + digits[code >> 4] + digits[code & 0xF];
}

// ---------------------------------------------------------------------------
// Lines

// The lines of a source, without their line ends ("\n" or "\r\n").
std::vector<std::string_view> splitLines(std::string_view source) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < source.size()) {
        std::size_t end = source.find('\n', start);
        if (end == std::string_view::npos) end = source.size();
        std::string_view line = source.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// ---------------------------------------------------------------------------
// Tokens

enum class TokenKind { Identifier, Number, Character, String, Comma, Colon, Plus, Minus, Invalid, End };

struct Token {
    TokenKind kind = TokenKind::End;
    int column = 0;
    std::string text;        // an identifier's name, a string's bytes
    std::int64_t value = 0;  // a number's or a character's value
    bool valid = true;       // false once a lexical error has been reported for it
};

// Numbers and sums are kept exact up to this size; anything larger is simply
// out of range, whatever else the expression adds or takes away.
constexpr std::int64_t HUGE_VALUE = std::int64_t{1} << 40;

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

// A number as written: decimal, 0x hexadecimal or 0b binary. Nothing when it
// is malformed; values beyond HUGE_VALUE come back as HUGE_VALUE.
std::optional<std::int64_t> parseNumber(std::string_view text) {
    int base = 10;
    std::string_view digits = text;
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'b' || text[1] == 'B')) {
        base = 2;
        digits.remove_prefix(2);
    }
    if (digits.empty()) return std::nullopt;
    std::int64_t value = 0;
    for (char c : digits) {
        const int digit = digitValue(c);
        if (digit < 0 || digit >= base) return std::nullopt;
        value = std::min(value * base + digit, HUGE_VALUE);
    }
    return value;
}

// The scan of one line: where it has got to, and where its errors go.
struct Scanner {
    std::string_view line;
    int lineNumber = 0;
    std::vector<Diagnostic>& diagnostics;
    std::size_t pos = 0;

    bool atEnd() const { return pos >= line.size(); }
    char current() const { return line[pos]; }
    void error(std::size_t at, std::string message) {
        report(diagnostics, lineNumber, static_cast<int>(at) + 1, std::move(message));
    }
};

// Reads the escape sequence whose backslash is at pos and moves past it: one
// of \n \t \r \0 \\ \" \' and \xHH. Reports it and gives nothing when malformed.
std::optional<Byte> scanEscape(Scanner& scanner) {
    const std::size_t start = scanner.pos;
    std::optional<Byte> byte;
    ++scanner.pos;  // the backslash
    const char kind = scanner.atEnd() ? '\0' : scanner.line[scanner.pos++];
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
            while (digits < 2 && !scanner.atEnd() && digitValue(scanner.current()) >= 0) {
                value = value * 16 + digitValue(scanner.current());
                ++scanner.pos;
                ++digits;
            }
            if (digits == 2) byte = static_cast<Byte>(value);
            break;
        }
        default: break;
    }
    if (!byte)
        scanner.error(start, "sequenza di escape non valida '" +
                                 std::string(scanner.line.substr(start, scanner.pos - start)) + "'");
    return byte;
}

// A number: the whole run of letters and digits, so that 12ab is one
// malformed number rather than 12 followed by a label.
void scanNumber(Scanner& scanner, Token& token) {
    const std::size_t start = scanner.pos;
    while (!scanner.atEnd() && (isLetter(scanner.current()) || isDigit(scanner.current()))) ++scanner.pos;
    const std::string_view text = scanner.line.substr(start, scanner.pos - start);
    token.kind = TokenKind::Number;
    if (const std::optional<std::int64_t> value = parseNumber(text)) {
        token.value = *value;
    } else {
        scanner.error(start, "numero non valido '" + std::string(text) + "'");
        token.valid = false;
    }
}

// A string in double quotes; its bytes go in the token's text.
void scanString(Scanner& scanner, Token& token) {
    const std::size_t start = scanner.pos;
    token.kind = TokenKind::String;
    ++scanner.pos;
    while (!scanner.atEnd() && scanner.current() != '"') {
        if (scanner.current() != '\\') {
            token.text += scanner.line[scanner.pos++];
        } else if (const std::optional<Byte> byte = scanEscape(scanner)) {
            token.text += static_cast<char>(*byte);
        } else {
            token.valid = false;
        }
    }
    if (scanner.atEnd()) {
        scanner.error(start, "stringa non chiusa: manca '\"'");
        token.valid = false;
        return;
    }
    ++scanner.pos;  // the closing quote
}

// A character in apostrophes: exactly one byte, written as is or escaped.
void scanCharacter(Scanner& scanner, Token& token) {
    const std::size_t start = scanner.pos;
    token.kind = TokenKind::Character;
    ++scanner.pos;
    if (scanner.atEnd()) {
        scanner.error(start, "carattere non chiuso: manca '''");
        token.valid = false;
        return;
    }
    if (scanner.current() == '\'') {
        scanner.error(start, "carattere vuoto: tra gli apici serve un carattere");
        token.valid = false;
        ++scanner.pos;
        return;
    }
    if (scanner.current() != '\\') {
        token.value = static_cast<unsigned char>(scanner.line[scanner.pos++]);
    } else if (const std::optional<Byte> byte = scanEscape(scanner)) {
        token.value = *byte;
    } else {
        token.valid = false;
    }
    if (!scanner.atEnd() && scanner.current() == '\'') {
        ++scanner.pos;
        return;
    }
    // Too long or never closed: the literal ends at the next apostrophe, if any.
    const std::size_t close = scanner.line.find('\'', scanner.pos);
    if (token.valid)
        scanner.error(start, close == std::string_view::npos ? "carattere non chiuso: manca '''"
                                                            : "tra gli apici ci va un solo carattere (un byte)");
    token.valid = false;
    scanner.pos = close == std::string_view::npos ? scanner.line.size() : close + 1;
}

// Splits one line into tokens, reporting lexical errors; the comment is left
// out and the list always ends with an End token.
std::vector<Token> tokenize(std::string_view line, int lineNumber, std::vector<Diagnostic>& diagnostics) {
    Scanner scanner{line, lineNumber, diagnostics};
    std::vector<Token> tokens;
    while (!scanner.atEnd()) {
        const char c = scanner.current();
        if (c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f') {
            ++scanner.pos;
            continue;
        }
        if (c == ';') break;  // a comment runs to the end of the line
        Token token;
        token.column = static_cast<int>(scanner.pos) + 1;
        if (isLetter(c)) {
            const std::size_t start = scanner.pos;
            while (!scanner.atEnd() && (isLetter(scanner.current()) || isDigit(scanner.current()))) ++scanner.pos;
            token.kind = TokenKind::Identifier;
            token.text = std::string(line.substr(start, scanner.pos - start));
        } else if (isDigit(c)) {
            scanNumber(scanner, token);
        } else if (c == '"') {
            scanString(scanner, token);
        } else if (c == '\'') {
            scanCharacter(scanner, token);
        } else {
            ++scanner.pos;
            switch (c) {
                case ',': token.kind = TokenKind::Comma; break;
                case ':': token.kind = TokenKind::Colon; break;
                case '+': token.kind = TokenKind::Plus; break;
                case '-': token.kind = TokenKind::Minus; break;
                default:
                    scanner.error(scanner.pos - 1, "carattere inatteso " + describeCharacter(c));
                    token.kind = TokenKind::Invalid;
                    token.valid = false;
                    break;
            }
        }
        tokens.push_back(std::move(token));
    }
    Token end;
    end.column = static_cast<int>(scanner.pos) + 1;
    tokens.push_back(end);
    return tokens;
}

// A token as a message names it.
std::string describeToken(const Token& token) {
    switch (token.kind) {
        case TokenKind::Identifier: return "'" + token.text + "'";
        case TokenKind::Number: return "un numero";
        case TokenKind::Character: return "un carattere";
        case TokenKind::String: return "una stringa";
        case TokenKind::Comma: return "','";
        case TokenKind::Colon: return "':'";
        case TokenKind::Plus: return "'+'";
        case TokenKind::Minus: return "'-'";
        case TokenKind::Invalid: return "un carattere non valido";
        case TokenKind::End: return "la fine della riga";
    }
    return "";
}

// ---------------------------------------------------------------------------
// Statements

struct Term {
    bool negative = false;
    bool isLabel = false;
    std::int64_t value = 0;  // a number or a character
    std::string label;
    int column = 0;
};

// Terms joined by + and -.
struct Expression {
    std::vector<Term> terms;
    int column = 0;
    bool valid = true;    // false when an error has already been reported for it
    bool broken = false;  // the parse stopped inside it: the rest of the line is skipped
};

// One item of DB: a string or an expression.
struct DataItem {
    bool isString = false;
    std::string bytes;
    Expression expression;
};

enum class StatementKind { Empty, Instruction, Data, Origin };

struct Statement {
    int line = 0;
    std::string label;  // empty: none
    int labelColumn = 0;
    StatementKind kind = StatementKind::Empty;
    int keywordColumn = 0;
    const Instruction* instruction = nullptr;
    std::vector<Expression> operands;  // an instruction's, or ORG's only one
    bool operandsValid = true;         // false after a syntax error or a wrong count
    std::vector<DataItem> items;       // DB's
    std::int64_t address = 0;          // set by the layout
};

// The tokens of one line with a cursor; the last token is always End.
struct Parser {
    const std::vector<Token>& tokens;
    int line;
    std::vector<Diagnostic>& diagnostics;
    std::size_t next = 0;

    const Token& peek(std::size_t ahead = 0) const {
        return tokens[std::min(next + ahead, tokens.size() - 1)];
    }
    const Token& take() {
        const Token& token = peek();
        if (next < tokens.size() - 1) ++next;
        return token;
    }
    bool at(TokenKind kind) const { return peek().kind == kind; }

    // Reports that something else was expected here, unless the token has
    // already been reported as malformed.
    void expected(const std::string& what) {
        const Token& token = peek();
        if (!token.valid) return;
        report(diagnostics, line, token.column, "atteso " + what + ", trovato " + describeToken(token));
    }
};

Expression parseExpression(Parser& parser) {
    Expression expression;
    expression.column = parser.peek().column;
    bool negative = false;
    if (parser.at(TokenKind::Plus) || parser.at(TokenKind::Minus)) negative = parser.take().kind == TokenKind::Minus;
    while (true) {
        const Token& token = parser.peek();
        Term term;
        term.negative = negative;
        term.column = token.column;
        if (token.kind == TokenKind::Number || token.kind == TokenKind::Character) {
            term.value = token.value;
            if (!token.valid) expression.valid = false;
        } else if (token.kind == TokenKind::Identifier) {
            term.isLabel = true;
            term.label = token.text;
        } else {
            parser.expected("un numero, un carattere o un'etichetta");
            expression.valid = false;
            expression.broken = true;
            return expression;
        }
        parser.take();
        expression.terms.push_back(std::move(term));
        if (!parser.at(TokenKind::Plus) && !parser.at(TokenKind::Minus)) return expression;
        negative = parser.take().kind == TokenKind::Minus;
    }
}

// Mnemonics and directives are written in any case.
std::string upperCase(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string operandsText(unsigned count) {
    if (count == 0) return "nessun operando";
    if (count == 1) return "1 operando";
    return std::to_string(count) + " operandi";
}

// Items separated by commas up to the end of the line; parseItem parses one
// and says whether it was broken. After a syntax error the rest of the line
// is skipped, and the statement's operands are not counted.
template <typename ParseItem>
void parseCommaList(Parser& parser, Statement& statement, ParseItem parseItem) {
    while (true) {
        if (parseItem()) {
            statement.operandsValid = false;
            return;
        }
        if (!parser.at(TokenKind::Comma)) break;
        parser.take();
    }
    if (!parser.at(TokenKind::End)) {
        parser.expected("',' o la fine della riga");
        statement.operandsValid = false;
    }
}

// The operands of an instruction or ORG: expressions separated by commas.
void parseOperands(Parser& parser, Statement& statement) {
    if (parser.at(TokenKind::End)) return;
    parseCommaList(parser, statement, [&] {
        statement.operands.push_back(parseExpression(parser));
        return statement.operands.back().broken;
    });
}

// DB's items: strings and expressions separated by commas.
void parseDataItems(Parser& parser, Statement& statement) {
    if (parser.at(TokenKind::End)) {
        report(parser.diagnostics, parser.line, statement.keywordColumn, "DB richiede almeno un valore");
        return;
    }
    parseCommaList(parser, statement, [&] {
        DataItem item;
        if (parser.at(TokenKind::String)) {
            item.isString = true;
            item.bytes = parser.take().text;
        } else {
            item.expression = parseExpression(parser);
        }
        statement.items.push_back(std::move(item));
        return statement.items.back().expression.broken;
    });
}

Statement parseStatement(const std::vector<Token>& tokens, int line, std::vector<Diagnostic>& diagnostics) {
    Parser parser{tokens, line, diagnostics};
    Statement statement;
    statement.line = line;
    if (parser.at(TokenKind::Identifier) && parser.peek(1).kind == TokenKind::Colon) {
        statement.label = parser.peek().text;
        statement.labelColumn = parser.peek().column;
        parser.take();
        parser.take();
    }
    if (parser.at(TokenKind::End)) return statement;
    if (parser.at(TokenKind::Identifier) && parser.peek(1).kind == TokenKind::Colon) {
        report(diagnostics, line, parser.peek().column, "una riga puo' avere una sola etichetta");
        return statement;
    }
    if (!parser.at(TokenKind::Identifier)) {
        parser.expected(statement.label.empty() ? "un'etichetta, un mnemonico o una direttiva"
                                                : "un mnemonico o una direttiva");
        return statement;
    }

    const Token& keywordToken = parser.take();
    const std::string keyword = upperCase(keywordToken.text);
    statement.keywordColumn = keywordToken.column;
    if (keyword == "DB") {
        statement.kind = StatementKind::Data;
        parseDataItems(parser, statement);
        return statement;
    }
    if (keyword == "ORG") {
        statement.kind = StatementKind::Origin;
        parseOperands(parser, statement);
        if (statement.operandsValid && statement.operands.size() != 1) {
            report(diagnostics, line, statement.keywordColumn,
                   "ORG richiede 1 operando, qui ne ha " + std::to_string(statement.operands.size()));
            statement.operandsValid = false;
        }
        return statement;
    }
    statement.instruction = findInstruction(keyword);
    if (statement.instruction == nullptr) {
        report(diagnostics, line, statement.keywordColumn, "mnemonico sconosciuto '" + keywordToken.text + "'");
        return statement;
    }
    // From here on the instruction takes its room, even with wrong operands,
    // so that the addresses of the lines after it stay right.
    statement.kind = StatementKind::Instruction;
    parseOperands(parser, statement);
    const unsigned wanted = operandCount(statement.instruction->opcode);
    if (statement.operandsValid && statement.operands.size() != wanted) {
        report(diagnostics, line, statement.keywordColumn,
               std::string(statement.instruction->mnemonic) + " richiede " + operandsText(wanted) +
                   ", qui ne ha " + std::to_string(statement.operands.size()));
        statement.operandsValid = false;
    }
    return statement;
}

std::int64_t sizeOf(const Statement& statement) {
    if (statement.kind == StatementKind::Instruction) return instructionLength(statement.instruction->opcode);
    std::int64_t size = 0;
    for (const DataItem& item : statement.items)
        size += item.isString ? static_cast<std::int64_t>(item.bytes.size()) : 1;
    return size;
}

// ---------------------------------------------------------------------------
// Labels and values

struct Label {
    int line = 0;  // where it is defined
    bool bound = false;
    std::int64_t value = 0;
};

using LabelTable = std::map<std::string, Label>;

// The value of an expression, or nothing after reporting why (or silently,
// when its error was already reported). With onlyBound, labels that the
// layout has not reached yet cannot be used (ORG needs its value at once).
std::optional<std::int64_t> evaluate(const Expression& expression, const LabelTable& labels, bool onlyBound,
                                     int line, std::vector<Diagnostic>& diagnostics) {
    if (!expression.valid) return std::nullopt;
    std::int64_t sum = 0;
    bool huge = false;
    bool ok = true;
    for (const Term& term : expression.terms) {
        std::int64_t value = term.value;
        if (term.isLabel) {
            const auto found = labels.find(term.label);
            if (found == labels.end()) {
                report(diagnostics, line, term.column, "etichetta non definita '" + term.label + "'");
                ok = false;
                continue;
            }
            if (onlyBound && !found->second.bound) {
                report(diagnostics, line, term.column,
                       "l'etichetta '" + term.label + "' e' definita piu' avanti: ORG usa solo etichette gia' definite");
                ok = false;
                continue;
            }
            value = found->second.value;
        }
        sum += term.negative ? -value : value;
        if (sum > HUGE_VALUE || sum < -HUGE_VALUE) {
            huge = true;
            sum = 0;  // kept small; the result is out of range anyway
        }
    }
    if (!ok) return std::nullopt;
    return huge ? HUGE_VALUE : sum;
}

std::string outOfRange(std::int64_t value, const char* range) {
    const std::string shown = value >= HUGE_VALUE ? "" : " " + std::to_string(value);
    return "valore" + shown + " fuori dall'intervallo " + range;
}

// An operand or a DB value as its byte: -128..255, negatives in two's complement.
Byte operandByte(const Expression& expression, const LabelTable& labels, int line,
                 std::vector<Diagnostic>& diagnostics) {
    const std::optional<std::int64_t> value = evaluate(expression, labels, false, line, diagnostics);
    if (!value) return 0;
    if (*value < -128 || *value > 255) {
        report(diagnostics, line, expression.column, outOfRange(*value, "-128..255"));
        return 0;
    }
    return static_cast<Byte>((*value + 256) % 256);
}

// The bytes of an instruction or DB statement. Every operand is evaluated,
// even of an instruction with the wrong number of them, so that all errors
// are found; the instruction keeps its length all the same.
std::vector<Byte> bytesOf(const Statement& statement, const LabelTable& labels, std::vector<Diagnostic>& diagnostics) {
    std::vector<Byte> bytes;
    if (statement.kind == StatementKind::Instruction) {
        bytes.push_back(statement.instruction->opcode);
        for (const Expression& operand : statement.operands)
            bytes.push_back(operandByte(operand, labels, statement.line, diagnostics));
        bytes.resize(instructionLength(statement.instruction->opcode), 0);
        return bytes;
    }
    for (const DataItem& item : statement.items) {
        if (item.isString) bytes.insert(bytes.end(), item.bytes.begin(), item.bytes.end());
        else bytes.push_back(operandByte(item.expression, labels, statement.line, diagnostics));
    }
    return bytes;
}

}  // namespace

bool Assembly::failed() const {
    if (omittedErrors > 0) return true;
    for (const Diagnostic& diagnostic : diagnostics)
        if (diagnostic.severity == Severity::Error) return true;
    return false;
}

Assembly assemble(std::string_view source, const AssemblyOptions& options) {
    (void)options;
    Assembly result;
    std::vector<Diagnostic>& diagnostics = result.diagnostics;

    // Reading: every line becomes a statement; labels are collected with the
    // line that defines them.
    std::vector<Statement> statements;
    LabelTable labels;
    const std::vector<std::string_view> lines = splitLines(source);
    for (std::size_t index = 0; index < lines.size(); ++index) {
        const int line = static_cast<int>(index) + 1;
        const std::vector<Token> tokens = tokenize(lines[index], line, diagnostics);
        Statement statement = parseStatement(tokens, line, diagnostics);
        if (!statement.label.empty()) {
            const auto [entry, added] = labels.try_emplace(statement.label, Label{line});
            if (!added) {
                report(diagnostics, line, statement.labelColumn,
                       "etichetta '" + statement.label + "' gia' definita alla riga " +
                           std::to_string(entry->second.line));
                statement.label.clear();
            }
        }
        statements.push_back(std::move(statement));
    }

    // Layout: every statement gets its address. A label takes the address of
    // the next byte written, so it waits for the next instruction or DB.
    std::array<int, 256> owner{};  // the line that writes each address; 0: none
    std::int64_t counter = 0;
    bool pastEndReported = false;
    std::vector<std::string> waiting;
    auto bindWaitingLabels = [&] {
        for (const std::string& name : waiting) {
            labels[name].bound = true;
            labels[name].value = counter;
        }
        waiting.clear();
    };
    for (Statement& statement : statements) {
        if (!statement.label.empty()) waiting.push_back(statement.label);
        if (statement.kind == StatementKind::Origin) {
            if (!statement.operandsValid) continue;
            const Expression& operand = statement.operands.front();
            const std::optional<std::int64_t> value = evaluate(operand, labels, true, statement.line, diagnostics);
            if (!value) continue;
            if (*value < 0 || *value > 255) {
                report(diagnostics, statement.line, operand.column, outOfRange(*value, "0..255 di ORG"));
                continue;
            }
            counter = *value;
            pastEndReported = false;
            continue;
        }
        if (statement.kind == StatementKind::Empty) continue;

        bindWaitingLabels();
        statement.address = counter;
        const std::int64_t size = sizeOf(statement);
        bool overlapReported = false;
        for (std::int64_t address = counter; address < counter + size; ++address) {
            if (address > 255) {
                if (!pastEndReported)
                    report(diagnostics, statement.line, statement.keywordColumn,
                           "il programma va oltre l'indirizzo 255");
                pastEndReported = true;
                break;
            }
            int& writer = owner[static_cast<std::size_t>(address)];
            if (writer == 0) {
                writer = statement.line;
            } else if (!overlapReported) {
                report(diagnostics, statement.line, statement.keywordColumn,
                       "l'indirizzo " + std::to_string(address) + " e' gia' occupato dalla riga " +
                           std::to_string(writer));
                overlapReported = true;
            }
        }
        counter += size;
    }
    bindWaitingLabels();

    // Emission: every value is computed, now that all labels are known, and
    // stored where the layout gave this line the room.
    std::array<Byte, 256> memory{};
    std::size_t length = 0;
    for (const Statement& statement : statements) {
        if (statement.kind != StatementKind::Instruction && statement.kind != StatementKind::Data) continue;
        const std::vector<Byte> bytes = bytesOf(statement, labels, diagnostics);
        for (std::size_t offset = 0; offset < bytes.size(); ++offset) {
            const std::int64_t address = statement.address + static_cast<std::int64_t>(offset);
            if (address > 255 || owner[static_cast<std::size_t>(address)] != statement.line) continue;
            memory[static_cast<std::size_t>(address)] = bytes[offset];
            length = std::max(length, static_cast<std::size_t>(address) + 1);
        }
        result.listing.push_back({statement.line, static_cast<int>(std::min<std::int64_t>(statement.address, 256)), bytes});
    }

    std::stable_sort(diagnostics.begin(), diagnostics.end(), [](const Diagnostic& a, const Diagnostic& b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
    if (diagnostics.empty()) result.image.assign(memory.begin(), memory.begin() + static_cast<std::ptrdiff_t>(length));
    return result;
}

std::string formatDiagnostic(const std::string& file, const Diagnostic& diagnostic) {
    return file + ":" + std::to_string(diagnostic.line) + ":" + std::to_string(diagnostic.column) +
           (diagnostic.severity == Severity::Error ? ": errore: " : ": avviso: ") + diagnostic.message;
}

std::vector<std::string> formatReport(const std::string& file, const Assembly& assembly) {
    std::vector<std::string> lines;
    for (const Diagnostic& diagnostic : assembly.diagnostics) lines.push_back(formatDiagnostic(file, diagnostic));
    if (assembly.omittedErrors > 0)
        lines.push_back(file + ": altri " + std::to_string(assembly.omittedErrors) + " errori non mostrati");
    if (assembly.omittedWarnings > 0)
        lines.push_back(file + ": altri " + std::to_string(assembly.omittedWarnings) + " avvisi non mostrati");
    return lines;
}

namespace {

void appendHex(std::string& out, int value) {
    const char* digits = "0123456789ABCDEF";
    out += digits[(value >> 4) & 0xF];
    out += digits[value & 0xF];
}

// One listing line: address, up to four bytes, then the source text.
void appendListingRow(std::string& out, int address, const Byte* bytes, std::size_t count, std::string_view text) {
    const std::size_t start = out.size();
    appendHex(out, address);
    out += "  ";
    for (std::size_t i = 0; i < count; ++i) {
        appendHex(out, bytes[i]);
        out += ' ';
    }
    out.resize(start + 17, ' ');
    out += text;
    while (!out.empty() && out.back() == ' ') out.pop_back();
    out += '\n';
}

}  // namespace

std::string formatListing(std::string_view source, const Assembly& assembly) {
    constexpr std::size_t BYTES_PER_ROW = 4;
    std::string out;
    const std::vector<std::string_view> lines = splitLines(source);
    std::size_t next = 0;  // the next listing entry
    for (std::size_t index = 0; index < lines.size(); ++index) {
        const int line = static_cast<int>(index) + 1;
        if (next == assembly.listing.size() || assembly.listing[next].line != line) {
            out += std::string(17, ' ');
            out += lines[index];
            while (!out.empty() && out.back() == ' ') out.pop_back();
            out += '\n';
            continue;
        }
        const ListingEntry& entry = assembly.listing[next++];
        for (std::size_t offset = 0; offset < entry.bytes.size() || offset == 0; offset += BYTES_PER_ROW) {
            const std::size_t count = std::min(BYTES_PER_ROW, entry.bytes.size() - offset);
            appendListingRow(out, entry.address + static_cast<int>(offset), entry.bytes.data() + offset, count,
                             offset == 0 ? lines[index] : std::string_view{});
        }
    }
    return out;
}

}  // namespace tarn

#include "assembly/disassembler.hpp"

#include "machine/instruction_set.hpp"
#include "assembly/instruction_forms.hpp"
#include "text/numbers.hpp"

#include <algorithm>
#include <array>
#include <vector>

namespace tarn {

namespace {

// What the instructions say about the addresses they use.
struct Uses {
    std::array<bool, 256> referenced{};  // named by an instruction: gets a label
    std::array<bool, 256> printed{};     // a byte of what a WRT prints, before its 0
    std::array<bool, 256> character{};   // holds a character: read or printed as text, or compared with it
    unsigned firstBeyond = 256;          // the lowest address named at or past the end of the image
};

// The operands of an instruction: its A and B bytes, of the image.
unsigned operandA(const std::vector<Byte>& image, unsigned address) {
    return image[address + 1];
}

unsigned operandB(const std::vector<Byte>& image, unsigned address) {
    return image[address + 2];
}

// Text is what WRT prints (from its address up to the 0) and what INP reads
// (at its address); a byte that CMP compares with text is a character too.
Uses findUses(const std::vector<Byte>& image, const std::array<ByteRole, 256>& role) {
    Uses uses;
    const auto size = static_cast<unsigned>(image.size());
    std::array<bool, 256> text{};
    for (unsigned address = 0; address < size; ++address) {
        if (role[address] != ByteRole::Start) continue;
        const Instruction* instruction = findInstruction(image[address]);
        if (instruction == nullptr) continue;
        for (unsigned index = 0; index < operandCount(instruction->opcode); ++index) {
            if (!operandIsAddress(*instruction, index)) continue;
            const unsigned value = image[address + 1 + index];
            if (value < size) uses.referenced[value] = true;
            else uses.firstBeyond = std::min(uses.firstBeyond, value);
        }
        if (instruction->opcode == Op::Inp) text[operandA(image, address)] = true;
        if (instruction->opcode == Op::Wrt) {
            const unsigned start = operandA(image, address);
            text[start] = true;  // even when it holds 0 now: the program puts text there
            for (unsigned at = start; at < size && role[at] == ByteRole::Data && image[at] != 0; ++at)
                uses.printed[at] = text[at] = true;
        }
    }
    uses.character = text;
    for (unsigned address = 0; address < size; ++address) {
        if (role[address] != ByteRole::Start || image[address] != Op::Cmp) continue;
        const unsigned a = operandA(image, address);
        const unsigned b = operandB(image, address);
        if (text[a]) uses.character[b] = true;
        if (text[b]) uses.character[a] = true;
    }
    return uses;
}

// Bytes that look like text go into strings; a character literal shows
// these and the few escapes below.
bool isPrintable(Byte byte) {
    return byte >= 0x20 && byte < 0x7F;
}

bool isText(Byte byte) {
    return isPrintable(byte) || byte == '\n' || byte == '\t';
}

enum class ItemKind { Number, Character, String };

// One item of a DB.
struct DataItem {
    unsigned address = 0;
    unsigned size = 0;
    ItemKind kind = ItemKind::Number;
};

enum class Kind { Instruction, Unassigned, Data, Skip };

// One line of the output: an instruction, an unassigned opcode with its
// operand bytes (written as DB), some data bytes, or zero bytes skipped
// with ORG.
struct Statement {
    unsigned address = 0;
    unsigned size = 0;
    Kind kind = Kind::Data;
    bool labelled = false;
    std::vector<DataItem> items;  // of DB
};

constexpr unsigned MAX_DATA_BYTES_PER_LINE = 40;
constexpr unsigned MAX_DATA_ITEMS_PER_LINE = 8;
constexpr unsigned MIN_PRINTABLE_IN_STRING = 3;
constexpr unsigned MIN_SKIPPED_ZEROS = 8;
constexpr std::size_t MAX_STRING_WIDTH = 40;  // between the quotes
constexpr std::size_t MAX_DATA_WIDTH = 48;    // of all the values of a line

// A byte inside quotes (delimiter " or '), with the escapes the assembler
// reads; \xHH for every byte that is not printable.
std::string escaped(Byte byte, char delimiter) {
    switch (byte) {
        case '\n': return "\\n";
        case '\t': return "\\t";
        case '\r': return "\\r";
        case 0: return "\\0";
        case '\\': return "\\\\";
        default: break;
    }
    if (byte == static_cast<Byte>(delimiter)) return std::string("\\") + delimiter;
    if (isPrintable(byte)) return std::string(1, static_cast<char>(byte));
    return "\\x" + hexDigits(byte);
}

std::size_t escapedWidth(Byte byte) {
    return escaped(byte, '"').size();
}

// Where to cut a string that is too long for one line (more than
// MAX_STRING_WIDTH characters between its quotes, escapes included): after
// the last blank or line end in the line's second half, so that no word is
// split, or else where the line is full.
unsigned pieceLength(const std::vector<Byte>& image, unsigned start, unsigned end) {
    unsigned length = 0;
    std::size_t width = 0;
    while (start + length < end) {
        width += escapedWidth(image[start + length]);
        if (width > MAX_STRING_WIDTH) break;
        ++length;
    }
    if (start + length == end) return length;
    for (unsigned cut = length; cut > length / 2; --cut) {
        const Byte last = image[start + cut - 1];
        if (last == ' ' || last == '\n') return cut;
    }
    return length;
}

void addString(std::vector<DataItem>& items, const std::vector<Byte>& image, unsigned start, unsigned end) {
    for (unsigned piece = start; piece < end;) {
        const unsigned length = pieceLength(image, piece, end);
        items.push_back({piece, length, ItemKind::String});
        piece += length;
    }
}

// The items of the data bytes from start to end: what a WRT prints is a
// string, other runs of text with at least three printable characters too;
// every other byte is a character or a number.
std::vector<DataItem> dataItems(const std::vector<Byte>& image, const Uses& uses, unsigned start, unsigned end) {
    std::vector<DataItem> items;
    unsigned address = start;
    while (address < end) {
        unsigned runEnd = address;
        if (uses.printed[address]) {
            while (runEnd < end && uses.printed[runEnd]) ++runEnd;
            addString(items, image, address, runEnd);
            address = runEnd;
            continue;
        }
        unsigned printable = 0;
        while (runEnd < end && !uses.printed[runEnd] && isText(image[runEnd])) {
            if (isPrintable(image[runEnd])) ++printable;
            ++runEnd;
        }
        if (printable >= MIN_PRINTABLE_IN_STRING) {
            addString(items, image, address, runEnd);
            address = runEnd;
            continue;
        }
        const bool character = uses.character[address] && isText(image[address]);
        items.push_back({address, 1, character ? ItemKind::Character : ItemKind::Number});
        ++address;
    }
    return items;
}

// How many characters an item takes in the source.
std::size_t widthOf(const std::vector<Byte>& image, const DataItem& item) {
    switch (item.kind) {
        case ItemKind::String: {
            std::size_t width = 2;
            for (unsigned address = item.address; address < item.address + item.size; ++address)
                width += escapedWidth(image[address]);
            return width;
        }
        case ItemKind::Character: return escaped(image[item.address], '\'').size() + 2;
        case ItemKind::Number: return std::to_string(image[item.address]).size();
    }
    return 0;
}

// How many zero bytes from an address can be skipped with ORG: a run of at
// least MIN_SKIPPED_ZEROS data bytes of 0 that no instruction names, with
// more of the image after it (the image ends at its last byte written, so
// zeros at its end must be written). 0 when there is no such run.
unsigned skippableZeros(const std::vector<Byte>& image, const std::array<ByteRole, 256>& role, const Uses& uses,
                        unsigned address) {
    const auto size = static_cast<unsigned>(image.size());
    unsigned end = address;
    while (end < size && role[end] == ByteRole::Data && image[end] == 0 && !uses.referenced[end]) ++end;
    return end < size && end - address >= MIN_SKIPPED_ZEROS ? end - address : 0;
}

// Lays out the image as statements. Data runs are cut where a label must
// stand and where zeros are skipped, and packed into lines of a few items.
std::vector<Statement> layOut(const std::vector<Byte>& image, const std::array<ByteRole, 256>& role, const Uses& uses) {
    std::vector<Statement> statements;
    const auto size = static_cast<unsigned>(image.size());
    unsigned address = 0;
    while (address < size) {
        if (role[address] == ByteRole::Start) {
            const unsigned length = instructionLength(image[address]);
            const Kind kind = findInstruction(image[address]) ? Kind::Instruction : Kind::Unassigned;
            Statement statement{address, length, kind, false, {}};
            if (kind == Kind::Unassigned)
                for (unsigned offset = 0; offset < length; ++offset)
                    statement.items.push_back({address + offset, 1, ItemKind::Number});
            statements.push_back(std::move(statement));
            address += length;
            continue;
        }
        if (const unsigned zeros = skippableZeros(image, role, uses, address); zeros > 0) {
            statements.push_back({address, zeros, Kind::Skip, false, {}});
            address += zeros;
            continue;
        }
        unsigned end = address + 1;
        while (end < size && role[end] == ByteRole::Data && !uses.referenced[end] &&
               skippableZeros(image, role, uses, end) == 0)
            ++end;
        Statement line{address, 0, Kind::Data, false, {}};
        std::size_t width = 0;
        for (const DataItem& item : dataItems(image, uses, address, end)) {
            const std::size_t itemWidth = widthOf(image, item) + 2;  // and its ", "
            if (line.items.size() == MAX_DATA_ITEMS_PER_LINE || line.size + item.size > MAX_DATA_BYTES_PER_LINE ||
                (!line.items.empty() && width + itemWidth > MAX_DATA_WIDTH)) {
                statements.push_back(std::move(line));
                line = {item.address, 0, Kind::Data, false, {}};
                width = 0;
            }
            line.size += item.size;
            line.items.push_back(item);
            width += itemWidth;
        }
        statements.push_back(std::move(line));
        address = end;
    }
    return statements;
}

std::string labelOf(const Statement& statement) {
    return (statement.kind == Kind::Data ? "D_" : "L_") + hexDigits(statement.address);
}

std::string quoted(const std::vector<Byte>& image, const DataItem& item) {
    std::string text = "\"";
    for (unsigned address = item.address; address < item.address + item.size; ++address)
        text += escaped(image[address], '"');
    return text + "\"";
}

std::string characterLiteral(Byte byte) {
    return "'" + escaped(byte, '\'') + "'";
}

// Everything the writer needs to know about the image.
struct Listing {
    const std::vector<Byte>& image;
    const Uses& uses;
    std::vector<Statement> statements;
    std::array<std::size_t, 256> statementAt{};  // the statement holding each address
    bool beyondUsed = false;                     // whether the B_xx label is named
};

// An address operand: a label, plus an offset when it falls inside an
// instruction or past the first address beyond the image.
std::string addressOperand(Listing& listing, unsigned value) {
    if (value >= listing.image.size()) {
        listing.beyondUsed = true;
        const unsigned offset = value - listing.uses.firstBeyond;
        return "B_" + hexDigits(listing.uses.firstBeyond) + (offset == 0 ? "" : "+" + std::to_string(offset));
    }
    Statement& holder = listing.statements[listing.statementAt[value]];
    holder.labelled = true;
    const unsigned offset = value - holder.address;
    return labelOf(holder) + (offset == 0 ? "" : "+" + std::to_string(offset));
}

std::string operandsOf(Listing& listing, const Statement& statement) {
    const Instruction& instruction = *findInstruction(listing.image[statement.address]);
    std::string text;
    for (unsigned index = 0; index < operandCount(instruction.opcode); ++index) {
        const Byte value = listing.image[statement.address + 1 + index];
        if (index > 0) text += ", ";
        if (operandIsAddress(instruction, index)) {
            text += addressOperand(listing, value);
        } else if (instruction.opcode == Op::Val && listing.uses.character[operandA(listing.image, statement.address)] &&
                   isText(value)) {
            text += characterLiteral(value);  // a character stored into text
        } else {
            text += std::to_string(value);
        }
    }
    return text;
}

std::string dataOf(const Listing& listing, const Statement& statement) {
    std::string text;
    for (const DataItem& item : statement.items) {
        if (!text.empty()) text += ", ";
        const Byte first = listing.image[item.address];
        switch (item.kind) {
            case ItemKind::String: text += quoted(listing.image, item); break;
            case ItemKind::Character: text += characterLiteral(first); break;
            case ItemKind::Number: text += std::to_string(first); break;
        }
    }
    return text;
}

void padTo(std::string& text, std::size_t column) {
    if (text.size() < column) text.resize(column, ' ');
    else text += ' ';
}

// One line of the output: label, keyword, operands, comment.
std::string sourceLine(const std::string& label, std::string_view keyword, const std::string& operands,
                       const std::string& comment) {
    std::string line = label.empty() ? "" : label + ":";
    if (!keyword.empty()) {
        padTo(line, 8);
        line += keyword;
    }
    if (!operands.empty()) {
        padTo(line, 18);
        line += operands;
    }
    padTo(line, 48);
    return line + "; " + comment + "\n";
}

}  // namespace

std::string disassemble(const std::vector<Byte>& wholeImage) {
    const std::vector<Byte> image(wholeImage.begin(),
                                  wholeImage.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(wholeImage.size(), 256)));
    const std::array<ByteRole, 256> role = findCode(image);
    const Uses uses = findUses(image, role);

    Listing listing{image, uses, layOut(image, role, uses)};
    for (std::size_t index = 0; index < listing.statements.size(); ++index) {
        const Statement& statement = listing.statements[index];
        for (unsigned offset = 0; offset < statement.size; ++offset) listing.statementAt[statement.address + offset] = index;
    }

    // The operands first, so that every statement knows whether it needs a label.
    std::vector<std::string> texts;
    for (const Statement& statement : listing.statements) {
        if (statement.kind == Kind::Instruction) texts.push_back(operandsOf(listing, statement));
        else if (statement.kind == Kind::Skip) texts.push_back(std::to_string(statement.address + statement.size));
        else texts.push_back(dataOf(listing, statement));
    }

    std::string out = "; " + std::to_string(image.size()) +
                      " byte. Etichette: L_xx istruzioni, D_xx dati, B_xx oltre l'immagine"
                      " (xx: indirizzo esadecimale).\n";
    for (std::size_t index = 0; index < listing.statements.size(); ++index) {
        const Statement& statement = listing.statements[index];
        const std::string label = statement.labelled ? labelOf(statement) : "";
        switch (statement.kind) {
            case Kind::Instruction:
                out += sourceLine(label, findInstruction(image[statement.address])->mnemonic, texts[index],
                                  addressText(statement.address));
                break;
            case Kind::Unassigned:
                out += sourceLine(label, "DB", texts[index],
                                  addressText(statement.address) + " codice operativo non assegnato: non fa nulla");
                break;
            case Kind::Data: out += sourceLine(label, "DB", texts[index], addressText(statement.address)); break;
            case Kind::Skip:
                out += sourceLine("", "ORG", texts[index],
                                  addressText(statement.address) + " .. " +
                                      addressText(statement.address + statement.size - 1) + ": " +
                                      std::to_string(statement.size) + " byte a 0");
                break;
        }
    }
    // The assembler binds a label with nothing after it to the address of the
    // ORG before it, and writes no byte there: the image keeps its length.
    if (listing.beyondUsed) {
        out += sourceLine("", "ORG", std::to_string(uses.firstBeyond), "dopo la fine dell'immagine: nessun byte scritto");
        out += sourceLine("B_" + hexDigits(uses.firstBeyond), "", "", addressText(uses.firstBeyond));
    }
    return out;
}

}  // namespace tarn

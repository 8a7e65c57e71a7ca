#include "tools/disassembler.hpp"

#include "machine/instruction_set.hpp"
#include "tools/instruction_forms.hpp"

#include <algorithm>
#include <array>
#include <vector>

namespace tarn {

namespace {

// What each byte of the image turned out to be.
enum class Role : Byte { Data, Start, Operand };

// Follows the control flow from address 0 and marks the instructions it
// meets. A path ends on opcode 0, on a JMP (after queueing its target), at an
// address beyond the image, and at an instruction that would run past the
// end of the image or over one already found: that one stays data.
std::array<Role, 256> findCode(const std::vector<Byte>& image) {
    std::array<Role, 256> role{};
    std::vector<unsigned> pending;
    if (!image.empty()) pending.push_back(0);
    while (!pending.empty()) {
        const unsigned address = pending.back();
        pending.pop_back();
        if (address >= image.size() || role[address] != Role::Data) continue;
        const Byte opcode = image[address];
        const unsigned length = instructionLength(opcode);
        if (address + length > image.size()) continue;
        bool free = true;
        for (unsigned offset = 1; offset < length; ++offset)
            if (role[address + offset] != Role::Data) free = false;
        if (!free) continue;

        role[address] = Role::Start;
        for (unsigned offset = 1; offset < length; ++offset) role[address + offset] = Role::Operand;
        const unsigned next = (address + length) % 256;  // PC wraps around
        const Instruction* instruction = findInstruction(opcode);
        if (instruction == nullptr) {
            // An unassigned opcode does nothing: the machine goes on after it.
            pending.push_back(next);
            continue;
        }
        const unsigned target = length >= 2 ? image[address + 1] : 0;
        switch (flowOf(*instruction)) {
            case Flow::Stops: break;
            case Flow::Jumps: pending.push_back(target); break;
            case Flow::Branches:
                pending.push_back(target);
                pending.push_back(next);
                break;
            case Flow::FallsThrough: pending.push_back(next); break;
        }
    }
    return role;
}

enum class Kind { Instruction, Unassigned, Data };

// One line of the output: an instruction, an unassigned opcode with its
// operand bytes (written as DB), or some data bytes.
struct Statement {
    unsigned address = 0;
    unsigned size = 0;
    Kind kind = Kind::Data;
    bool labelled = false;
};

// Bytes that look like text go into strings.
bool isPrintable(Byte byte) {
    return byte >= 0x20 && byte < 0x7F;
}

bool isText(Byte byte) {
    return isPrintable(byte) || byte == '\n' || byte == '\t';
}

// One item of a DB: a string (size > 1 or text) or a single number.
struct DataItem {
    unsigned address = 0;
    unsigned size = 0;
    bool isString = false;
};

constexpr unsigned MAX_DATA_BYTES_PER_LINE = 40;
constexpr unsigned MAX_DATA_ITEMS_PER_LINE = 8;
constexpr unsigned MIN_PRINTABLE_IN_STRING = 3;

// The items of the data bytes from start to end: runs of text with at least
// three printable characters become strings, every other byte a number.
std::vector<DataItem> dataItems(const std::vector<Byte>& image, unsigned start, unsigned end) {
    std::vector<DataItem> items;
    unsigned address = start;
    while (address < end) {
        unsigned runEnd = address;
        unsigned printable = 0;
        while (runEnd < end && isText(image[runEnd])) {
            if (isPrintable(image[runEnd])) ++printable;
            ++runEnd;
        }
        if (printable >= MIN_PRINTABLE_IN_STRING) {
            for (unsigned piece = address; piece < runEnd; piece += MAX_DATA_BYTES_PER_LINE)
                items.push_back({piece, std::min(MAX_DATA_BYTES_PER_LINE, runEnd - piece), true});
            address = runEnd;
        } else {
            items.push_back({address, 1, false});
            ++address;
        }
    }
    return items;
}

// Lays out the image as statements. Data runs are cut where a label must
// stand and packed into lines of a few items each.
std::vector<Statement> layOut(const std::vector<Byte>& image, const std::array<Role, 256>& role,
                              const std::array<bool, 256>& referenced) {
    std::vector<Statement> statements;
    const auto size = static_cast<unsigned>(image.size());
    unsigned address = 0;
    while (address < size) {
        if (role[address] == Role::Start) {
            const unsigned length = instructionLength(image[address]);
            const Kind kind = findInstruction(image[address]) ? Kind::Instruction : Kind::Unassigned;
            statements.push_back({address, length, kind});
            address += length;
            continue;
        }
        unsigned end = address + 1;
        while (end < size && role[end] == Role::Data && !referenced[end]) ++end;
        Statement line{address, 0, Kind::Data};
        unsigned itemsInLine = 0;
        for (const DataItem& item : dataItems(image, address, end)) {
            if (itemsInLine == MAX_DATA_ITEMS_PER_LINE || line.size + item.size > MAX_DATA_BYTES_PER_LINE) {
                statements.push_back(line);
                line = {item.address, 0, Kind::Data};
                itemsInLine = 0;
            }
            line.size += item.size;
            ++itemsInLine;
        }
        statements.push_back(line);
        address = end;
    }
    return statements;
}

const char HEX_DIGITS[] = "0123456789ABCDEF";

std::string hexByte(unsigned value) {
    return {HEX_DIGITS[(value >> 4) & 0xF], HEX_DIGITS[value & 0xF]};
}

std::string labelOf(const Statement& statement) {
    return (statement.kind == Kind::Data ? "D_" : "L_") + hexByte(statement.address);
}

// The text of a string item, with the escapes the assembler reads.
std::string quoted(const std::vector<Byte>& image, const DataItem& item) {
    std::string text = "\"";
    for (unsigned address = item.address; address < item.address + item.size; ++address) {
        const Byte byte = image[address];
        switch (byte) {
            case '\n': text += "\\n"; break;
            case '\t': text += "\\t"; break;
            case '"': text += "\\\""; break;
            case '\\': text += "\\\\"; break;
            default: text += static_cast<char>(byte); break;
        }
    }
    return text + "\"";
}

// Everything the writer needs to know about the image.
struct Listing {
    const std::vector<Byte>& image;
    std::vector<Statement> statements;
    std::array<int, 256> statementAt{};  // the statement holding each address
};

// An address operand: a label (plus an offset, when it falls inside an
// instruction) for addresses inside the image, a number for the rest.
std::string addressOperand(Listing& listing, unsigned value) {
    if (value >= listing.image.size()) return std::to_string(value);
    Statement& holder = listing.statements[static_cast<std::size_t>(listing.statementAt[value])];
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
        text += operandIsAddress(instruction, index) ? addressOperand(listing, value) : std::to_string(value);
    }
    return text;
}

std::string dataOf(const Listing& listing, const Statement& statement) {
    std::string text;
    for (const DataItem& item : dataItems(listing.image, statement.address, statement.address + statement.size)) {
        if (!text.empty()) text += ", ";
        text += item.isString ? quoted(listing.image, item) : std::to_string(listing.image[item.address]);
    }
    return text;
}

void padTo(std::string& text, std::size_t column) {
    if (text.size() < column) text.resize(column, ' ');
    else text += ' ';
}

}  // namespace

std::string disassemble(const std::vector<Byte>& wholeImage) {
    const std::vector<Byte> image(wholeImage.begin(),
                                  wholeImage.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(wholeImage.size(), 256)));
    const std::array<Role, 256> role = findCode(image);

    // Addresses that instructions name must start a statement when they are data.
    std::array<bool, 256> referenced{};
    for (unsigned address = 0; address < image.size(); ++address) {
        if (role[address] != Role::Start) continue;
        const Instruction* instruction = findInstruction(image[address]);
        if (instruction == nullptr) continue;
        for (unsigned index = 0; index < operandCount(instruction->opcode); ++index)
            if (operandIsAddress(*instruction, index)) referenced[image[address + 1 + index]] = true;
    }

    Listing listing{image, layOut(image, role, referenced)};
    for (std::size_t index = 0; index < listing.statements.size(); ++index) {
        const Statement& statement = listing.statements[index];
        for (unsigned offset = 0; offset < statement.size; ++offset)
            listing.statementAt[statement.address + offset] = static_cast<int>(index);
    }

    // The operands first, so that every statement knows whether it needs a label.
    std::vector<std::string> texts;
    for (const Statement& statement : listing.statements) {
        if (statement.kind == Kind::Instruction) texts.push_back(operandsOf(listing, statement));
        else texts.push_back(dataOf(listing, statement));
    }

    std::string out = "; " + std::to_string(image.size()) +
                      " byte. Etichette: L_xx istruzioni, D_xx dati (xx: indirizzo esadecimale).\n";
    for (std::size_t index = 0; index < listing.statements.size(); ++index) {
        const Statement& statement = listing.statements[index];
        std::string line = statement.labelled ? labelOf(statement) + ":" : "";
        padTo(line, 8);
        if (statement.kind == Kind::Instruction) {
            line += findInstruction(image[statement.address])->mnemonic;
            if (!texts[index].empty()) {
                padTo(line, 18);
                line += texts[index];
            }
        } else {
            line += "DB";
            padTo(line, 18);
            line += texts[index];
        }
        padTo(line, 48);
        line += "; " + std::to_string(statement.address) + " (0x" + hexByte(statement.address) + ")";
        if (statement.kind == Kind::Unassigned) line += " codice operativo non assegnato: non fa nulla";
        out += line + "\n";
    }
    return out;
}

}  // namespace tarn

#include "debugger/program.hpp"

#include "machine/instruction_set.hpp"
#include "assembly/assembler.hpp"
#include "assembly/disassembler.hpp"

namespace tarn::debugger {

namespace {

// The lines of a text, tabs expanded to the next multiple of 8 and a
// carriage return before the line end dropped.
std::vector<ProgramLine> linesOf(std::string_view text) {
    std::vector<ProgramLine> lines;
    std::int64_t number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ProgramLine entry;
        entry.number = ++number;
        for (const char c : line) {
            if (c == '\t')
                entry.text.append(8 - entry.text.size() % 8, ' ');
            else
                entry.text += c;
        }
        lines.push_back(std::move(entry));
    }
    return lines;
}

// Puts an assembled source's listing into the program: addresses of lines,
// roles and owners of bytes.
void takeListing(const Assembly& assembly, Program& program) {
    program.labelOf.fill(-1);
    // By address, then by line: of several labels at one address, the last
    // one defined owns the bytes (the others stand alone on lines before
    // the data, with none of their own).
    for (const LabelEntry& label : assembly.labels)
        if (label.address >= 0 && label.address <= 255)
            program.labels.push_back({label.name, label.line, static_cast<unsigned>(label.address)});
    std::size_t next = 0;
    for (unsigned address = 0; address < 256; ++address) {
        while (next < program.labels.size() && program.labels[next].address <= address) ++next;
        program.labelOf[address] = static_cast<int>(next) - 1;
    }
    program.lineOf.fill(-1);
    program.roles.fill(CellRole::Undefined);
    for (const ListingEntry& entry : assembly.listing) {
        if (entry.line < 1 || entry.line > static_cast<std::int64_t>(program.lines.size())) continue;
        const int index = static_cast<int>(entry.line - 1);
        ProgramLine& line = program.lines[static_cast<std::size_t>(index)];
        if (entry.address < 0 || entry.address > 255) continue;
        if (!line.address) line.address = static_cast<Byte>(entry.address);
        line.data = entry.data;
        for (std::size_t offset = 0; offset < entry.bytes.size(); ++offset) {
            const std::size_t address = static_cast<std::size_t>(entry.address) + offset;
            if (address > 255) break;
            program.lineOf[address] = index;
            if (entry.data)
                program.roles[address] = CellRole::Data;
            else
                program.roles[address] = offset == 0 ? CellRole::Instruction : CellRole::Operand;
        }
    }
}

}  // namespace

void Program::place(unsigned address, Byte value) {
    if (address > 255) return;
    placed[address] = true;
    placedValue[address] = value;
}

const ProgramLabel* Program::labelAt(unsigned address) const {
    if (address > 255 || labelOf[address] < 0 || static_cast<std::size_t>(labelOf[address]) >= labels.size())
        return nullptr;
    return &labels[static_cast<std::size_t>(labelOf[address])];
}

const ProgramLine* Program::lineAt(unsigned address) const {
    const int index = lineIndexOf(address);
    return index < 0 ? nullptr : &lines[static_cast<std::size_t>(index)];
}

bool programFromSource(const std::string& name, std::string_view source, Program& program,
                       std::vector<std::string>& report) {
    const Assembly assembly = assemble(source, AssemblyOptions{false});
    if (assembly.failed()) {
        report = formatReport(name, assembly);
        return false;
    }
    program = programFromAssembly(name, source, assembly);
    return true;
}

Program programFromAssembly(const std::string& name, std::string_view source, const Assembly& assembly) {
    Program program;
    program.name = name;
    program.fromSource = true;
    program.image = assembly.image;
    if (program.image.size() > 256) program.image.resize(256);
    program.lines = linesOf(source);
    takeListing(assembly, program);
    return program;
}

Program programFromImage(const std::string& name, const std::vector<Byte>& image) {
    Program program;
    program.name = name;
    program.image.assign(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(image.size(), 256)));
    // The disassembly assembles back into the very same bytes, so its own
    // listing tells which line holds which byte.
    const std::string source = disassemble(program.image);
    program.lines = linesOf(source);
    takeListing(assemble(source, AssemblyOptions{false}), program);
    // Every byte of the image was given by it, the skipped zeros too.
    for (std::size_t address = 0; address < program.image.size(); ++address)
        if (program.roles[address] == CellRole::Undefined) program.roles[address] = CellRole::Data;
    return program;
}

}  // namespace tarn::debugger

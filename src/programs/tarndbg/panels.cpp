// The panels of tarndbg's screen: the source with its marks, the memory
// with what the next instruction reads and the last one wrote, the
// registers (as the fetch leaves them, while f shows it), the flags with
// the input not yet read, and the output.
#include "programs/tarndbg/debugger_screen.hpp"
#include "programs/tarndbg/terminal_text.hpp"

#include "machine/instruction_set.hpp"
#include "text/numbers.hpp"

#include <curses.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::dbg {

namespace {

std::string_view mnemonicOf(Byte opcode) {
    const Instruction* instruction = findInstruction(opcode);
    return instruction ? instruction->mnemonic : std::string_view{"NOP"};
}

}  // namespace

void Screen::drawSource() {
    const int width = sourceWidth();
    const std::vector<debugger::ProgramLine>& lines = session_.program().lines;
    put(1, 0, width, session_.program().fromSource ? "Sorgente" : "Disassemblato");

    const int count = static_cast<int>(lines.size());
    sourceCursor_ = std::clamp(sourceCursor_, 0, std::max(0, count - 1));
    if (sourceCursor_ < sourceTop_) sourceTop_ = sourceCursor_;
    if (sourceCursor_ >= sourceTop_ + PANEL_ROWS) sourceTop_ = sourceCursor_ - PANEL_ROWS + 1;
    sourceTop_ = std::clamp(sourceTop_, 0, std::max(0, count - PANEL_ROWS));

    const int next = session_.currentLine();
    // The line numbers take as many columns as the last one needs.
    const int numberWidth = std::max(2, static_cast<int>(std::to_string(count).size()));
    const char* loopMark = terminalCharacters.utf8 ? "↻" : "@";
    for (int row = 0; row < PANEL_ROWS; ++row) {
        const int index = sourceTop_ + row;
        if (index >= count) break;
        const debugger::ProgramLine& line = lines[static_cast<std::size_t>(index)];
        const int y = PANEL_TOP + row;
        attr_t attributes = A_NORMAL;
        if (index == next) attributes |= A_REVERSE;
        if (index == sourceCursor_ && focus_ == Focus::Source) attributes |= A_BOLD | A_UNDERLINE;
        if (attributes != A_NORMAL) fillRow(y, 0, width, attributes);
        attron(attributes);
        // "*> 12 0A↻": breakpoint, next, the line's number, its address and
        // the mark of a line that an endless loop goes through.
        std::string head;
        head += line.address && session_.breakpoint(*line.address) ? '*' : ' ';
        head += index == next ? '>' : ' ';
        head += formatted(" %*lld ", numberWidth, static_cast<long long>(line.number));
        head += line.address ? hexDigits(*line.address) : std::string("  ");
        const int textColumn = static_cast<int>(head.size()) + 1;
        put(y, 0, width, head);
        if (lineInLoop(index)) put(y, textColumn - 1, 1, loopMark);
        // The indentation of a statement shrinks to one blank: at 80
        // columns the panel has room for little more than the statement.
        std::string_view text = line.text;
        const std::size_t indent = text.find_first_not_of(' ');
        if (indent != std::string_view::npos && indent > 1) text.remove_prefix(indent - 1);
        put(y, textColumn, width - textColumn, text, TextOrigin::Program);
        attroff(attributes);
    }
}

void Screen::drawMemory() {
    const int base = memoryColumn();
    put(1, base, 7, "Memoria");
    for (int column = 1; column < 16; ++column) mvaddch(1, base + 5 + 3 * column, "0123456789ABCDEF"[column]);

    const debugger::NextAccess access = session_.nextAccess();
    const MachineState& machine = session_.machine();
    for (int row = 0; row < 16; ++row) {
        const int y = PANEL_TOP + row;
        mvaddstr(y, base, formatted("%02X ", static_cast<unsigned>(row * 16)).c_str());
        for (int column = 0; column < 16; ++column) {
            const unsigned address = static_cast<unsigned>(row * 16 + column);
            const Byte byte = static_cast<Byte>(address);
            const bool effective = (access.effective && *access.effective == address) ||
                                   (access.fromA && *access.fromA == address);
            const bool atB = access.atB && *access.atB == address;
            const bool changed = session_.changedByLastStep(byte);
            const char mark = effective ? '>' : atB ? '+' : changed ? '*' : ' ';
            attr_t attributes = A_NORMAL;
            if (changed) attributes |= A_BOLD | (terminalCharacters.colours ? COLOR_PAIR(CHANGED_PAIR) : A_NORMAL);
            if (effective) attributes |= A_REVERSE;
            if (session_.watchpoint(byte)) attributes |= A_UNDERLINE;
            if (focus_ == Focus::Memory && gridCursor_ == static_cast<int>(address)) attributes |= A_STANDOUT | A_BOLD;
            const int x = base + 3 + 3 * column;
            mvaddch(y, x, static_cast<chtype>(mark));
            attron(attributes);
            mvaddstr(y, x + 1, hexDigits(machine.M[address]).c_str());
            attroff(attributes);
        }
        if (!showsCharacters()) continue;
        for (int column = 0; column < 16; ++column) {
            const auto address = static_cast<unsigned>(row * 16 + column);
            const bool cursor = focus_ == Focus::Memory && gridCursor_ == static_cast<int>(address);
            if (cursor) attron(A_STANDOUT | A_BOLD);
            mvaddch(y, base + MEMORY_WIDTH + 1 + column, static_cast<chtype>(rowCharacter(machine.M[address])));
            if (cursor) attroff(A_STANDOUT | A_BOLD);
        }
    }
}

void Screen::drawRegisters() {
    // What the fetch puts in them, while f shows it, against the machine now.
    const std::optional<MachineState> fetched = fetchShown();
    const MachineState& now = fetched ? *fetched : session_.machine();
    const MachineState* before = fetched ? &session_.machine() : session_.previous();
    const auto changed = [&](Byte MachineState::*field) { return before != nullptr && before->*field != now.*field; };
    const std::string mnemonic = formatted("%-8s", std::string(mnemonicOf(now.IR)).c_str());
    struct Part {
        std::string text;
        bool bold;
    };
    // "PC 0x1F (31)", each padded to its widest, so that nothing moves.
    const auto value = [](const char* name, Byte byte, int width) {
        return formatted("%-*s", width, (std::string(name) + " " + addressText(byte)).c_str());
    };
    const Part parts[] = {
        {value("PC", now.PC, 13), changed(&MachineState::PC)},
        {"  ", false},
        {value("IR", now.IR, 13) + " " + mnemonic, changed(&MachineState::IR)},
        {"  ", false},
        {value("A", now.A, 12), changed(&MachineState::A)},
        {"  ", false},
        {value("B", now.B, 12), changed(&MachineState::B)},
        {"  ", false},
        {value("X", now.X, 12), changed(&MachineState::X)},
    };
    int x = 0;
    for (const Part& part : parts) {
        if (part.bold) attron(A_BOLD);
        x += put(REGISTER_ROW, x, columns_ - x, part.text);
        if (part.bold) attroff(A_BOLD);
    }
}

void Screen::drawFlagsAndInput() {
    const Byte flags = session_.machine().F;
    mvaddstr(FLAG_ROW, 0, "Flag ");
    int x = 5;
    const std::pair<char, Byte> names[] = {{'D', FLAG_D}, {'Z', FLAG_Z}, {'O', FLAG_O}, {'P', FLAG_P}, {'N', FLAG_N}};
    for (const auto& [name, bit] : names) {
        const bool set = (flags & bit) != 0;
        mvaddch(FLAG_ROW, x++, ' ');
        if (set) attron(A_BOLD);
        mvaddstr(FLAG_ROW, x, formatted("%c=%d", name, set ? 1 : 0).c_str());
        if (set) attroff(A_BOLD);
        x += 3;
    }

    const std::string_view pending = session_.pendingInput();
    const int room = columns_ - INPUT_COLUMN;
    const int label = put(FLAG_ROW, INPUT_COLUMN, room, "Da leggere: ");
    if (!pending.empty()) {
        // Only what can be seen is looked at, however long the input.
        const std::size_t shown = std::min(pending.size(), static_cast<std::size_t>(columns_) * 4);
        putGlyphs(FLAG_ROW, INPUT_COLUMN + label, room - label,
                  glyphsOf(pending.substr(0, shown), TextOrigin::Program, true));
    } else if (session_.inputEnded()) {
        put(FLAG_ROW, INPUT_COLUMN + label, room - label, "(fine dell'ingresso)");
    } else {
        put(FLAG_ROW, INPUT_COLUMN + label, room - label, "(niente: sarà chiesto)");
    }
}

void Screen::drawOutput() {
    const int count = rows_ - 3 - OUTPUT_ROW;  // rows 20..H-4
    const int room = columns_ - 8;
    mvaddstr(OUTPUT_ROW, 0, "Uscita: ");
    if (session_.outputLength() == 0) {
        put(OUTPUT_ROW, 8, room, "(niente)");
        return;
    }
    std::string_view text = session_.output();
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    // The last count lines, each cut to what its row can show of its end.
    std::vector<std::string_view> lines;
    while (static_cast<int>(lines.size()) < count) {
        const std::size_t end = text.rfind('\n');
        lines.push_back(end == std::string_view::npos ? text : text.substr(end + 1));
        if (end == std::string_view::npos) break;
        text = text.substr(0, end);
    }
    std::reverse(lines.begin(), lines.end());
    const std::string note = "(oltre 1 MiB: mostrato il primo MiB)";
    const Glyphs noteGlyphs = glyphsOf(note);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        const std::size_t keep = static_cast<std::size_t>(columns_) * 4;
        bool cut = false;
        if (line.size() > keep) {
            line = line.substr(line.size() - keep);
            cut = true;
        }
        Glyphs glyphs = glyphsOf(line, TextOrigin::Program);
        if (cut) {  // the bytes of a character split by the cut
            std::size_t lead = 0;
            while (lead < 3 && lead < glyphs.size() && glyphs[lead].text == "?") ++lead;
            glyphs.erase(glyphs.begin(), glyphs.begin() + static_cast<std::ptrdiff_t>(lead));
        }
        const bool last = i + 1 == lines.size();
        const int width = last && session_.outputCut() ? room - widthOf(noteGlyphs) - 1 : room;
        putGlyphs(OUTPUT_ROW + static_cast<int>(i), 8, width, glyphs, tailStart(glyphs, width));
    }
    if (session_.outputCut())
        putGlyphs(OUTPUT_ROW + static_cast<int>(lines.size()) - 1, columns_ - widthOf(noteGlyphs), widthOf(noteGlyphs),
                  noteGlyphs);
}

}  // namespace tarn::dbg

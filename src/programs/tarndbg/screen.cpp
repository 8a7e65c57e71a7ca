// The screen of tarndbg. Layout (W x H, at least 80 x 24):
//
//   row 0            title: the program's name, the instructions executed
//   rows 1..17       left: source or disassembly, each line with its number
//                    and its address; right (the last 52 columns): the
//                    memory, 16 x 16, and beside it (17 more columns) the
//                    row's bytes as characters, when the terminal has 100
//                    columns or the memory has the focus
//   row 18           registers
//   row 19           flags, and from column 30 the input not yet read
//   rows 20..H-4     what the program has printed
//   rows H-3..H-2    the message, wrapped at blanks (or its first row and the
//                    input line); a longer one a page at a time
//   row H-1          the keys
//
// One column stays blank between source and memory. The memory
// title "Memoria" covers the place of the first column header, so the
// headers (the low hex digit, above the low digit of each cell) start from
// column 1. A last line end of the output does not open an empty row of its
// own: at 80 x 24 the single output row still shows the last line printed.
//
// The message after a command is the library's description of where the run
// stopped, then the warnings where the machine stands; but a plain step (s
// that nothing stopped), a step back (b) and the return to the start (g) say
// so in the library's words for them (describeStep, describeStepBack,
// describeRestart), since "running" or "nothing before here" would not
// describe them. An s that arrives at an INP waiting for a word does not
// open the input line: the next s does (c opens it at once, and goes on
// after the word).
#include "programs/tarndbg/screen.hpp"

#include "debugger/forward_run.hpp"
#include "debugger/session_messages.hpp"
#include "machine/instruction_set.hpp"
#include "programs/tarndbg/terminal.hpp"
#include "text/numbers.hpp"
#include "text/utf8.hpp"

#include <curses.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::dbg {

namespace {

using debugger::ProgramLine;
using debugger::RunResult;
using debugger::Session;
using debugger::StopReason;

constexpr int MIN_COLUMNS = 80;
constexpr int MIN_ROWS = 24;
constexpr int MEMORY_WIDTH = 52;
constexpr int CHARACTERS_WIDTH = 17;  // a blank, then a row's 16 bytes as characters
constexpr int CHARACTERS_ALWAYS = 100;  // from this many columns the characters always show
constexpr int PANEL_TOP = 2;    // first row of source lines and memory rows
constexpr int PANEL_ROWS = 16;  // rows 2..17
constexpr int REGISTER_ROW = 18;
constexpr int FLAG_ROW = 19;
constexpr int OUTPUT_ROW = 20;
constexpr int INPUT_COLUMN = 30;
constexpr std::uint64_t RUN_CHUNK = 100000;
constexpr int KEY_WAIT_MS = 200;
constexpr std::size_t MAX_LINE_BYTES = 255;  // one typed line
constexpr auto REDRAW_INTERVAL = std::chrono::milliseconds(100);
constexpr short CHANGED_PAIR = 1;
constexpr debugger::CommandNames KEYS{"c", "b", "g"};

constexpr int KEY_CTRL_C = 3;
constexpr int KEY_CTRL_D = 4;
constexpr int KEY_CTRL_Z = 26;
constexpr int KEY_ESCAPE = 27;
constexpr int KEY_TAB = 9;

// --- Text as cells of the terminal ------------------------------------------

bool utf8 = true;
bool colours = false;

struct Glyph {
    std::string text;
    int width = 1;
};

using Glyphs = std::vector<Glyph>;

// Where a text comes from: the program's bytes (any bytes at all) or the
// debugger's Italian, which a terminal without UTF-8 gets in plain ASCII.
enum class Origin { Program, Message };

// The debugger's own letters, for a terminal that only has ASCII.
const char* asciiFor(char32_t point) {
    switch (point) {
        case U'à': case U'á': return "a'";
        case U'è': case U'é': return "e'";
        case U'ì': case U'í': return "i'";
        case U'ò': case U'ó': return "o'";
        case U'ù': case U'ú': return "u'";
        case U'È': return "E'";
        case U'×': return "x";
        case U'⏎': return "~";
        case U'·': return ".";
        case U'–': case U'—': return "-";
        case U'…': return "...";
        case U'↻': return "@";
        default: return "?";
    }
}

void addGlyph(Glyphs& glyphs, std::string text, int width = 1) {
    glyphs.push_back({std::move(text), width});
}

// Appends the cells of text; lineEnds: a line end is shown as one cell
// (else it is a control byte like the others).
void appendGlyphs(Glyphs& glyphs, std::string_view text, Origin origin, bool lineEnds = false) {
    const char* control = utf8 ? "·" : ".";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n' && lineEnds) {
            addGlyph(glyphs, utf8 ? "⏎" : "~");
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            addGlyph(glyphs, control);
            ++i;
        } else if (c < 0x80) {
            addGlyph(glyphs, std::string(1, static_cast<char>(c)));
            ++i;
        } else if (!utf8 && origin == Origin::Program) {
            addGlyph(glyphs, "?");
            ++i;
        } else {
            const Utf8Sequence sequence = utf8At(text, i);
            const std::size_t length = sequence.length;
            const auto point = static_cast<char32_t>(sequence.code);
            if (length == 0) {
                addGlyph(glyphs, "?");
                ++i;
                continue;
            }
            if (!utf8) {
                const std::string ascii = asciiFor(point);
                for (char a : ascii) addGlyph(glyphs, std::string(1, a));
            } else {
                const int width = ::wcwidth(static_cast<wchar_t>(point));
                if (width < 0)
                    addGlyph(glyphs, control);
                else if (width == 0 && !glyphs.empty())
                    glyphs.back().text.append(text.substr(i, length));  // a combining mark joins its letter
                else if (width > 0)
                    addGlyph(glyphs, std::string(text.substr(i, length)), width);
            }
            i += length;
        }
    }
}

Glyphs glyphsOf(std::string_view text, Origin origin = Origin::Message, bool lineEnds = false) {
    Glyphs glyphs;
    appendGlyphs(glyphs, text, origin, lineEnds);
    return glyphs;
}

int widthOf(const Glyphs& glyphs, std::size_t from = 0, std::size_t to = std::string::npos) {
    to = std::min(to, glyphs.size());
    from = std::min(from, to);
    int width = 0;
    for (auto glyph = glyphs.begin() + static_cast<std::ptrdiff_t>(from);
         glyph != glyphs.begin() + static_cast<std::ptrdiff_t>(to); ++glyph)
        width += glyph->width;
    return width;
}

// Draws glyphs[from, to) at (y, x) within width columns; the columns used.
int putGlyphs(int y, int x, int width, const Glyphs& glyphs, std::size_t from = 0,
              std::size_t to = std::string::npos) {
    std::string text;
    int used = 0;
    for (std::size_t i = from; i < std::min(to, glyphs.size()); ++i) {
        if (used + glyphs[i].width > width) break;
        text += glyphs[i].text;
        used += glyphs[i].width;
    }
    if (!text.empty()) mvaddstr(y, x, text.c_str());
    return used;
}

int put(int y, int x, int width, std::string_view text, Origin origin = Origin::Message) {
    return putGlyphs(y, x, width, glyphsOf(text, origin));
}

// The last glyphs of a row that fit in width columns.
std::size_t tailStart(const Glyphs& glyphs, int width) {
    std::size_t start = glyphs.size();
    int used = 0;
    while (start > 0 && used + glyphs[start - 1].width <= width) used += glyphs[--start].width;
    return start;
}

// Breaks glyphs into rows of at most width columns, at blanks when it can.
std::vector<std::pair<std::size_t, std::size_t>> wrap(const Glyphs& glyphs, int width) {
    std::vector<std::pair<std::size_t, std::size_t>> rows;
    std::size_t start = 0;
    while (start < glyphs.size()) {
        std::size_t end = start;
        int used = 0;
        while (end < glyphs.size() && used + glyphs[end].width <= width) used += glyphs[end++].width;
        if (end == start) ++end;  // a glyph wider than the row
        if (end < glyphs.size()) {
            std::size_t blank = end;
            while (blank > start && glyphs[blank].text != " ") --blank;
            if (blank > start) end = blank;
        }
        rows.emplace_back(start, end);
        start = end;
        while (start < glyphs.size() && glyphs[start].text == " ") ++start;
    }
    return rows;
}

void fillRow(int y, int x, int width, attr_t attributes) {
    attron(attributes);
    mvhline(y, x, ' ', width);
    attroff(attributes);
}

std::string formatted(const char* format, auto... values) {
    char buffer[128];
    const int length = std::snprintf(buffer, sizeof buffer, format, values...);
    if (length < 0) return {};
    return std::string(buffer, std::min(static_cast<std::size_t>(length), sizeof buffer - 1));
}

std::string_view mnemonicOf(Byte opcode) {
    const Instruction* instruction = findInstruction(opcode);
    return instruction ? instruction->mnemonic : std::string_view{"NOP"};
}

// --- The message rows ---------------------------------------------------------

// The message wrapped at blanks over its rows: two, or one while a word is
// typed on the row below. A message that needs more is shown a page at a
// time, with a note at the right of the page's last row that says which page
// it is and which key shows the next (m; Tab while a word is typed, since
// letters are typed then); after the last page, the key shows the first.
struct MessagePages {
    Glyphs glyphs;
    std::vector<std::pair<std::size_t, std::size_t>> rows;
    int rowsPerPage = 2;
    int count = 1;  // pages
};

std::string pageNote(int page, int count, bool typing) {
    return std::string("(") + (typing ? "Tab" : "m") + (page + 1 < count ? ": il seguito, " : ": da capo, ") +
           std::to_string(page + 1) + "/" + std::to_string(count) + ")";
}

MessagePages messagePages(const std::string& message, int columns, bool typing) {
    MessagePages pages;
    pages.glyphs = glyphsOf(message);
    pages.rowsPerPage = typing ? 1 : 2;
    pages.rows = wrap(pages.glyphs, columns);
    if (static_cast<int>(pages.rows.size()) <= pages.rowsPerPage) return pages;
    // Every row leaves room for the note, whichever row of its page it is.
    const int noteWidth = widthOf(glyphsOf(pageNote(0, static_cast<int>(pages.glyphs.size()), typing)));
    pages.rows = wrap(pages.glyphs, columns - noteWidth - 1);
    const int rows = static_cast<int>(pages.rows.size());
    pages.count = (rows + pages.rowsPerPage - 1) / pages.rowsPerPage;
    return pages;
}

// --- The screen ---------------------------------------------------------------

enum class Focus { Source, Memory };

// What an input line, once given, goes on with.
enum class Pending { Nothing, Step, Continue };

class Screen {
public:
    Screen(Session& session, std::string message) : session_(session), message_(std::move(message)) {
        followNext();
        if (message_.empty()) message_ = "Pronto: s esegue un'istruzione, c continua, h mostra tutti i tasti.";
        message_ = withWarnings(message_, StopReason::None);
    }

    int run();

private:
    // Drawing.
    void draw();
    void drawTooSmall();
    void drawTitle(std::uint64_t count);
    void drawSource();
    void drawMemory();
    void drawRegisters();
    void drawFlagsAndInput();
    void drawOutput();
    // What the count, the message line and the keys show.
    struct Shown {
        std::uint64_t count = 0;
        std::string message;
        bool inputOpen = false;
        std::string typed;
        int page = 0;
    };
    void drawMessage(const Shown& shown);
    void drawKeys(bool typing);
    void drawHelp();
    void placeCursor(const Shown& shown);

    // Keys.
    bool handle(int key);  // false: quit
    void inputKey(int key);
    void step();
    void stepBack();
    void runForward();
    void runBackward();
    void restart();
    void toggleBreakpoint();
    void toggleWatchpoint();
    void moveCursor(int key);
    void nextMessagePage();

    void followNext();
    void openInput(Pending pending);
    void finishRun(const RunResult& result);
    std::string withWarnings(std::string text, StopReason reason) const;
    bool tooSmall() const { return columns_ < MIN_COLUMNS || rows_ < MIN_ROWS; }
    // Whether the line (an index in the program's lines) is an instruction
    // that the proved endless loop goes through.
    bool lineInLoop(int index) const {
        const ProgramLine& line = session_.program().lines[static_cast<std::size_t>(index)];
        return line.address && session_.inEndlessLoop(*line.address);
    }
    bool showsCharacters() const { return columns_ >= CHARACTERS_ALWAYS || focus_ == Focus::Memory; }
    int memoryWidth() const { return MEMORY_WIDTH + (showsCharacters() ? CHARACTERS_WIDTH : 0); }
    int sourceWidth() const { return columns_ - memoryWidth() - 1; }
    int memoryColumn() const { return columns_ - memoryWidth(); }

    Session& session_;
    std::string message_;
    Focus focus_ = Focus::Source;
    int sourceCursor_ = 0;
    int sourceTop_ = 0;
    int gridCursor_ = 0;
    bool helpOpen_ = false;
    bool inputOpen_ = false;
    std::string typed_;
    Pending pending_ = Pending::Nothing;
    int rows_ = 0;
    int columns_ = 0;
    int messagePage_ = 0;  // of a message longer than its rows
    Shown shown_;
};

void Screen::followNext() {
    const int line = session_.currentLine();
    if (line >= 0) sourceCursor_ = line;
}

std::string Screen::withWarnings(std::string text, StopReason reason) const {
    const std::vector<debugger::Warning> warnings = session_.warnings();
    // describeStop shows the first warning itself when the run stopped for it.
    for (std::size_t i = reason == StopReason::Warning ? 1 : 0; i < warnings.size(); ++i) {
        if (!text.empty()) text += ' ';
        text += warnings[i].text;
    }
    return text;
}

// --- Drawing --------------------------------------------------------------------

void Screen::draw() {
    getmaxyx(stdscr, rows_, columns_);
    erase();
    if (tooSmall()) {
        drawTooSmall();
        refresh();
        return;
    }
    // Two refreshes: first the panels, with the count, the message and the
    // keys as they were; then those. ncurses writes a frame in many pieces,
    // so whoever watches the count or the message change (a person, or a
    // test reading the terminal) finds the panels of that moment already
    // there. The help window covers the message rows: it goes in one.
    const bool twoPhases = !helpOpen_;
    drawTitle(shown_.count);
    drawSource();
    drawMemory();
    drawRegisters();
    drawFlagsAndInput();
    drawOutput();
    if (twoPhases) {
        drawMessage(shown_);
        drawKeys(shown_.inputOpen);
        placeCursor(shown_);
        refresh();
    }
    if (message_ != shown_.message) messagePage_ = 0;
    shown_ = {session_.position(), message_, inputOpen_, typed_, messagePage_};
    drawTitle(shown_.count);
    for (int y = rows_ - 3; y < rows_ - 1; ++y) {
        move(y, 0);
        clrtoeol();
    }
    drawMessage(shown_);
    drawKeys(shown_.inputOpen);
    if (helpOpen_) drawHelp();
    placeCursor(shown_);
    refresh();
}

void Screen::drawTooSmall() {
    curs_set(0);
    const std::string text = "Il terminale è troppo piccolo: servono almeno " + std::to_string(MIN_COLUMNS) + " × " +
                             std::to_string(MIN_ROWS) + " caratteri (ora " + std::to_string(columns_) + " × " +
                             std::to_string(rows_) + ").";
    const Glyphs glyphs = glyphsOf(text);
    const auto lines = wrap(glyphs, std::max(columns_, 1));
    const int top = std::max(0, (rows_ - static_cast<int>(lines.size())) / 2);
    for (std::size_t i = 0; i < lines.size() && top + static_cast<int>(i) < rows_; ++i) {
        const int width = widthOf(glyphs, lines[i].first, lines[i].second);
        putGlyphs(top + static_cast<int>(i), std::max(0, (columns_ - width) / 2), columns_, glyphs, lines[i].first,
                  lines[i].second);
    }
}

void Screen::drawTitle(std::uint64_t count) {
    fillRow(0, 0, columns_, A_REVERSE);
    attron(A_REVERSE);
    const std::string text = "istruzioni eseguite: " + std::to_string(count);
    const int countWidth = static_cast<int>(text.size());
    put(0, 0, std::max(0, columns_ - countWidth - 1), "tarndbg: " + session_.program().name, Origin::Program);
    put(0, columns_ - countWidth, countWidth, text);
    attroff(A_REVERSE);
}

void Screen::drawSource() {
    const int width = sourceWidth();
    const std::vector<ProgramLine>& lines = session_.program().lines;
    put(1, 0, width, session_.program().fromSource ? "Sorgente" : "Disassemblato");

    const int count = static_cast<int>(lines.size());
    sourceCursor_ = std::clamp(sourceCursor_, 0, std::max(0, count - 1));
    if (sourceCursor_ < sourceTop_) sourceTop_ = sourceCursor_;
    if (sourceCursor_ >= sourceTop_ + PANEL_ROWS) sourceTop_ = sourceCursor_ - PANEL_ROWS + 1;
    sourceTop_ = std::clamp(sourceTop_, 0, std::max(0, count - PANEL_ROWS));

    const int next = session_.currentLine();
    // The line numbers take as many columns as the last one needs.
    const int numberWidth = std::max(2, static_cast<int>(std::to_string(count).size()));
    const char* loopMark = utf8 ? "↻" : "@";
    for (int row = 0; row < PANEL_ROWS; ++row) {
        const int index = sourceTop_ + row;
        if (index >= count) break;
        const ProgramLine& line = lines[static_cast<std::size_t>(index)];
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
        put(y, textColumn, width - textColumn, text, Origin::Program);
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
            if (changed) attributes |= A_BOLD | (colours ? COLOR_PAIR(CHANGED_PAIR) : A_NORMAL);
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
    const MachineState& now = session_.machine();
    const MachineState* before = session_.previous();
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
        putGlyphs(FLAG_ROW, INPUT_COLUMN + label, room - label, glyphsOf(pending.substr(0, shown), Origin::Program, true));
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
        Glyphs glyphs = glyphsOf(line, Origin::Program);
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

void Screen::drawMessage(const Shown& shown) {
    const int first = rows_ - 3;
    const MessagePages pages = messagePages(shown.message, columns_, shown.inputOpen);
    const int page = shown.page % pages.count;
    for (int i = 0; i < pages.rowsPerPage; ++i) {
        const std::size_t index = static_cast<std::size_t>(page * pages.rowsPerPage + i);
        if (index >= pages.rows.size()) break;
        putGlyphs(first + i, 0, columns_, pages.glyphs, pages.rows[index].first, pages.rows[index].second);
    }
    if (pages.count > 1) {
        const Glyphs note = glyphsOf(pageNote(page, pages.count, shown.inputOpen));
        putGlyphs(first + pages.rowsPerPage - 1, columns_ - widthOf(note), widthOf(note), note);
    }
    if (shown.inputOpen) {
        mvaddstr(first + 1, 0, "> ");
        const Glyphs line = glyphsOf(shown.typed, Origin::Program);
        const int room = columns_ - 3;
        putGlyphs(first + 1, 2, room, line, tailStart(line, room));
    }
}

void Screen::drawKeys(bool typing) {
    static const char* const wide[] = {
        "s passo  b indietro  c continua  r all'indietro  k arresto  w osserva  ? chi ha scritto  "
        "g inizio  Tab sorgente/memoria  h aiuto  q esci",
        "s passo  b indietro  c continua  r all'indietro  k arresto  w osserva  ? chi ha scritto  "
        "g inizio  h aiuto  q esci",
        "s passo  b indietro  c continua  r ritorna  k arresto  w osserva  ? chi  g inizio  h aiuto  q esci",
        "s passo b indietro c continua r ritorna k arresto w osserva ? chi h aiuto q esci",
        "s b c r k w ? g  Tab  h aiuto  q esci",
    };
    static const char* const typingKeys[] = {
        "Invio dà la parola  Ctrl-D su riga vuota: fine dell'ingresso  Esc annulla  Ctrl-C esce",
        "Invio dà la parola  Ctrl-D: fine dell'ingresso  Esc annulla",
        "Invio  Ctrl-D  Esc",
    };
    const int y = rows_ - 1;
    fillRow(y, 0, columns_, A_REVERSE);
    attron(A_REVERSE);
    const auto choose = [&](const auto& options) {
        for (const char* option : options) {
            if (widthOf(glyphsOf(option)) <= columns_) {
                put(y, 0, columns_, option);
                return;
            }
        }
    };
    if (typing)
        choose(typingKeys);
    else
        choose(wide);
    attroff(A_REVERSE);
}

void Screen::drawHelp() {
    static const char* const lines[] = {
        "s        esegue un'istruzione",
        "b        torna indietro di un'istruzione",
        "c        continua fino a un punto di arresto, un byte osservato che",
        "         cambia, un avviso, un ciclo infinito (righe segnate con ↻)",
        "         o la fine; un tasto qualsiasi interrompe",
        "r        continua all'indietro fino all'arresto precedente",
        "g        torna all'inizio",
        "k        mette o toglie un punto di arresto sulla riga sotto il",
        "         cursore (nella memoria: sul byte sotto il cursore)",
        "w        osserva il byte sotto il cursore della memoria, o smette",
        "?        dice quale istruzione ha scritto per ultima quel byte",
        "Tab      passa dal sorgente alla memoria e viceversa",
        "m        mostra il seguito di un messaggio lungo (Tab mentre si scrive)",
        "frecce   muovono il cursore; PagSu e PagGiù di una pagina",
        "Ctrl-Z   sospende il debugger; q o Ctrl-C lo chiude",
        "h        mostra questo aiuto",
        "",
        "Quando INP aspetta una parola: Invio la dà, Ctrl-D su una riga",
        "vuota chiude l'ingresso, Esc annulla.",
    };
    const int count = static_cast<int>(sizeof lines / sizeof lines[0]);
    const int height = count + 4;
    const int width = 76;
    const int top = std::max(0, (rows_ - height) / 2);
    const int left = std::max(0, (columns_ - width) / 2);
    for (int y = top; y < top + height; ++y) mvhline(y, left, ' ', width);
    attron(A_BOLD);
    mvaddch(top, left, ACS_ULCORNER);
    mvhline(top, left + 1, ACS_HLINE, width - 2);
    mvaddch(top, left + width - 1, ACS_URCORNER);
    mvaddch(top + height - 1, left, ACS_LLCORNER);
    mvhline(top + height - 1, left + 1, ACS_HLINE, width - 2);
    mvaddch(top + height - 1, left + width - 1, ACS_LRCORNER);
    mvvline(top + 1, left, ACS_VLINE, height - 2);
    mvvline(top + 1, left + width - 1, ACS_VLINE, height - 2);
    put(top, left + 2, width - 4, " Tasti di tarndbg ");
    attroff(A_BOLD);
    for (int i = 0; i < count; ++i) put(top + 2 + i, left + 3, width - 4, lines[i]);
    put(top + height - 2, left + 3, width - 4, "Un tasto qualsiasi chiude l'aiuto.");
}

void Screen::placeCursor(const Shown& shown) {
    if (helpOpen_) {
        curs_set(0);
        return;
    }
    curs_set(1);
    if (shown.inputOpen) {
        const Glyphs line = glyphsOf(shown.typed, Origin::Program);
        const int room = columns_ - 3;
        move(rows_ - 2, 2 + widthOf(line, tailStart(line, room)));
    } else if (focus_ == Focus::Source) {
        move(PANEL_TOP + std::clamp(sourceCursor_ - sourceTop_, 0, PANEL_ROWS - 1), 0);
    } else {
        move(PANEL_TOP + gridCursor_ / 16, memoryColumn() + 4 + 3 * (gridCursor_ % 16));
    }
}

// --- Keys -----------------------------------------------------------------------

int Screen::run() {
    if (colours) {
        const short background = use_default_colors() == OK ? -1 : COLOR_BLACK;
        init_pair(CHANGED_PAIR, COLOR_YELLOW, background);
    }
    // The wait for a key ends now and then: a resize that comes just before
    // ncurses sleeps is noticed only when it looks again.
    timeout(KEY_WAIT_MS);
    for (;;) {
        draw();
        int key = ERR;
        while (key == ERR) key = getch();
        if (!handle(key)) return 0;
    }
}

bool Screen::handle(int key) {
    if (key == KEY_RESIZE) return true;
    if (key == KEY_CTRL_C) return false;
    if (key == KEY_CTRL_Z) {
        suspendTerminal();
        return true;
    }
    if (tooSmall()) return key != 'q' && key != 'Q';
    if (helpOpen_) {
        helpOpen_ = false;
        return true;
    }
    if (inputOpen_) {
        inputKey(key);
        return true;
    }
    switch (key) {
        case 'q': case 'Q': return false;
        case 's': step(); break;
        case 'b': stepBack(); break;
        case 'c': runForward(); break;
        case 'r': runBackward(); break;
        case 'g': restart(); break;
        case 'k': toggleBreakpoint(); break;
        case 'w': toggleWatchpoint(); break;
        case '?': message_ = debugger::describeLastWrite(session_, static_cast<Byte>(gridCursor_)); break;
        case 'h': case KEY_F(1): helpOpen_ = true; break;
        case 'm': nextMessagePage(); break;
        case KEY_TAB: case KEY_BTAB: focus_ = focus_ == Focus::Source ? Focus::Memory : Focus::Source; break;
        default: moveCursor(key); break;
    }
    return true;
}

void Screen::moveCursor(int key) {
    if (focus_ == Focus::Source) {
        const int last = std::max(0, static_cast<int>(session_.program().lines.size()) - 1);
        switch (key) {
            case KEY_UP: --sourceCursor_; break;
            case KEY_DOWN: ++sourceCursor_; break;
            case KEY_PPAGE: sourceCursor_ -= PANEL_ROWS; break;
            case KEY_NPAGE: sourceCursor_ += PANEL_ROWS; break;
            case KEY_HOME: sourceCursor_ = 0; break;
            case KEY_END: sourceCursor_ = last; break;
            default: return;
        }
        sourceCursor_ = std::clamp(sourceCursor_, 0, last);
        return;
    }
    switch (key) {
        case KEY_UP: gridCursor_ -= 16; break;
        case KEY_DOWN: gridCursor_ += 16; break;
        case KEY_LEFT: --gridCursor_; break;
        case KEY_RIGHT: ++gridCursor_; break;
        case KEY_PPAGE: gridCursor_ -= 128; break;
        case KEY_NPAGE: gridCursor_ += 128; break;
        case KEY_HOME: gridCursor_ = 0; break;
        case KEY_END: gridCursor_ = 255; break;
        default: return;
    }
    // Up and down stop at the edges; left and right go on to the next row.
    if (gridCursor_ < 0) gridCursor_ = key == KEY_LEFT ? 255 : gridCursor_ + 16 * ((-gridCursor_ + 15) / 16);
    if (gridCursor_ > 255) gridCursor_ = key == KEY_RIGHT ? 0 : gridCursor_ - 16 * ((gridCursor_ - 255 + 15) / 16);
    gridCursor_ = std::clamp(gridCursor_, 0, 255);
}

void Screen::nextMessagePage() {
    const int count = messagePages(message_, columns_, inputOpen_).count;
    messagePage_ = (messagePage_ + 1) % count;
}

void Screen::openInput(Pending pending) {
    inputOpen_ = true;
    typed_.clear();
    pending_ = pending;
}

void Screen::inputKey(int key) {
    const auto goOn = [this] {
        inputOpen_ = false;
        const Pending pending = pending_;
        pending_ = Pending::Nothing;
        typed_.clear();
        // A word that makes the INP write where it should not is said
        // before the INP runs: the next s or c runs it.
        if (session_.inputBringsWarning()) {
            message_ = withWarnings(debugger::describeStop(session_, {StopReason::Warning, 0, {}}), StopReason::Warning);
            return;
        }
        if (pending == Pending::Step) step();
        if (pending == Pending::Continue) runForward();
    };
    switch (key) {
        case KEY_TAB:
            nextMessagePage();
            return;
        case KEY_ESCAPE:
            inputOpen_ = false;
            pending_ = Pending::Nothing;
            typed_.clear();
            message_ = "Nessuna parola data: la macchina resta dov'è.";
            return;
        case '\r': case '\n': case KEY_ENTER:
            if (!session_.giveInput(typed_)) {
                inputOpen_ = false;
                pending_ = Pending::Nothing;
                typed_.clear();
                message_ = debugger::TYPED_INPUT_FULL;
                return;
            }
            goOn();
            return;
        case KEY_CTRL_D:
            if (!typed_.empty()) return;
            session_.endInput();
            goOn();
            return;
        case KEY_BACKSPACE: case 127: case 8:
            // A whole character: its continuation bytes with it.
            while (!typed_.empty() && (static_cast<unsigned char>(typed_.back()) & 0xC0u) == 0x80u) typed_.pop_back();
            if (!typed_.empty()) typed_.pop_back();
            return;
        default:
            break;
    }
    if (key >= 0 && key <= 255 && (key >= 0x20 && key != 0x7F) && typed_.size() < MAX_LINE_BYTES)
        typed_ += static_cast<char>(key);
}

void Screen::step() {
    if (session_.halted()) {
        message_ = debugger::describeStepWhenHalted(session_, KEYS);
        return;
    }
    if (session_.needsInput()) {
        message_ = debugger::describeStop(session_, {StopReason::NeedsInput, 0, {}});
        openInput(Pending::Step);
        return;
    }
    const RunResult result = session_.runForward(1);
    followNext();
    // Arriving at an INP that waits is no stop of its own: the next s asks
    // for the word (so that a key pressed again and again stays a command).
    message_ = withWarnings(debugger::describeStep(session_, result), result.reason);
}

void Screen::stepBack() {
    if (!session_.stepBack()) {
        message_ = debugger::describeStepBack(session_, false);
        return;
    }
    followNext();
    message_ = withWarnings(debugger::describeStepBack(session_, true), StopReason::None);
}

void Screen::runForward() {
    std::uint64_t steps = 0;
    auto lastDrawn = std::chrono::steady_clock::now();
    debugger::ForwardRun run(session_);
    for (;;) {
        const RunResult result = run.stretch(RUN_CHUNK);
        steps += result.steps;
        if (result.reason != StopReason::Budget) {
            finishRun(result);
            return;
        }
        timeout(0);
        const int key = getch();
        timeout(KEY_WAIT_MS);
        if (key == KEY_RESIZE) {
            draw();
            continue;
        }
        if (key != ERR) {
            followNext();
            message_ = debugger::describeInterrupted(steps);
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - lastDrawn >= REDRAW_INTERVAL) {
            message_ = debugger::describeStop(session_, result) + " Un tasto qualsiasi interrompe.";
            followNext();
            draw();
            lastDrawn = now;
        }
    }
}

void Screen::finishRun(const RunResult& result) {
    followNext();
    message_ = withWarnings(debugger::describeStop(session_, result), result.reason);
    if (result.reason == StopReason::EndlessLoop) message_ += " r torna dove comincia.";
    if (result.reason == StopReason::NeedsInput) openInput(Pending::Continue);
}

void Screen::runBackward() {
    // A long history takes a while to search: say so first.
    message_ = "Torno indietro: cerco il punto di arresto, l'osservazione o l'avviso precedente... "
               "Un tasto qualsiasi interrompe.";
    draw();
    // Any key gives the search up.
    const RunResult result = session_.runBackward([] {
        timeout(0);
        const int key = getch();
        timeout(KEY_WAIT_MS);
        return key == ERR || key == KEY_RESIZE;
    });
    followNext();
    message_ = withWarnings(debugger::describeStop(session_, result), result.reason);
}

void Screen::restart() {
    session_.restart();
    followNext();
    message_ = withWarnings(debugger::describeRestart(), StopReason::None);
}

void Screen::toggleBreakpoint() {
    int address = gridCursor_;
    if (focus_ == Focus::Source) {
        const std::vector<ProgramLine>& lines = session_.program().lines;
        if (sourceCursor_ < 0 || sourceCursor_ >= static_cast<int>(lines.size()) ||
            !lines[static_cast<std::size_t>(sourceCursor_)].address) {
            message_ = debugger::LINE_WITHOUT_INSTRUCTIONS;
            return;
        }
        address = *lines[static_cast<std::size_t>(sourceCursor_)].address;
    }
    const Byte byte = static_cast<Byte>(address);
    session_.toggleBreakpoint(byte);
    message_ = debugger::describeBreakpoint(session_, byte);
}

void Screen::toggleWatchpoint() {
    const Byte byte = static_cast<Byte>(gridCursor_);
    session_.toggleWatchpoint(byte);
    message_ = debugger::describeWatch(session_, byte, KEYS);
}

}  // namespace

int runScreen(Session& session, const std::string& firstMessage) {
    utf8 = utf8Locale();
    colours = has_colors();
    Screen screen(session, firstMessage);
    return screen.run();
}

}  // namespace tarn::dbg

// tarndbg on a pseudo-terminal, as its end-to-end tests drive it: started
// on a program written in the test's folder, with what its screen shows
// read by panel (the count, the message, the memory's cells, the source's
// rows). TARNDBG_BINARY names the program.
#pragma once

#include "support/process.hpp"
#include "support/screen_session.hpp"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tarntest {

// tarndbg on a file written in the test's folder, started from that folder
// so that the title shows the bare name.
class Debugger {
public:
    Debugger(const std::string& name, const std::string& program, std::vector<std::string> extraArguments = {},
             ScreenOptions options = {}) {
        const std::filesystem::path path = writeTempFile(name, program);
        options.workingDirectory = path.parent_path().string();
        std::vector<std::string> argv = {TARNDBG_BINARY, name};
        argv.insert(argv.end(), extraArguments.begin(), extraArguments.end());
        screen.start(argv, options);
    }

    // Waits for the first drawing of the whole screen.
    bool ready() {
        return screen.waitUntil([&] { return screen.alternateScreen() && count() == "0" && !screen.row(rows() - 1).empty(); });
    }

    int rows() const { return screen.rows(); }
    // Where the memory panel begins: its title's column, since the panel
    // widens when the row's characters show.
    int gridColumn() const {
        const std::size_t at = screen.row(1).find("Memoria");
        return at == std::string::npos ? screen.cols() : static_cast<int>(at);
    }

    // The instructions executed, as the title row tells them.
    std::string count() const {
        const std::string title = screen.row(0);
        const std::string label = "istruzioni eseguite: ";
        const std::size_t at = title.rfind(label);
        return at == std::string::npos ? std::string() : title.substr(at + label.size());
    }
    bool waitForCount(const std::string& wanted) {
        return screen.waitUntil([&] { return count() == wanted; });
    }

    // The message line, its two rows joined where the text was wrapped.
    std::string message() const {
        std::string text = screen.row(rows() - 3);
        const std::string second = screen.row(rows() - 2);
        if (!second.empty()) text += " " + second.substr(second.find_first_not_of(' '));
        return text;
    }
    bool waitForMessage(const std::string& part) {
        return screen.waitUntil([&] { return message().find(part) != std::string::npos; });
    }

    // The message rows as they are, the page note included.
    std::string messageRows() const { return screen.row(rows() - 3) + "\n" + screen.row(rows() - 2); }

    // The memory cell of an address: its mark and its two hex digits.
    int cellRow(int address) const { return 2 + address / 16; }
    int cellColumn(int address) const { return gridColumn() + 3 + 3 * (address % 16); }
    std::string cell(int address) const {
        return screen.row(cellRow(address)).substr(static_cast<std::size_t>(cellColumn(address)), 3);
    }

    // The row of the source panel that shows a line's text.
    int sourceRow(const std::string& text) const {
        for (int r = 2; r <= 17; ++r)
            if (screen.row(r).substr(0, static_cast<std::size_t>(gridColumn())).find(text) != std::string::npos)
                return r;
        return -1;
    }

    // Moves the source cursor (which has the terminal's cursor) to a row.
    bool moveSourceCursorTo(int row) {
        const int from = screen.cursor().first;
        if (row > from) screen.pressKey(Key::Down, row - from);
        if (row < from) screen.pressKey(Key::Up, from - row);
        return screen.waitUntil([&] { return screen.cursor().first == row; });
    }

    // Moves the grid cursor (with the focus on the grid) to an address.
    bool moveGridCursorTo(int address) {
        auto at = [&] {
            const auto [r, c] = screen.cursor();
            const int column = (c - gridColumn() - 3) / 3;
            return (r - 2) * 16 + column;
        };
        if (!screen.waitUntil([&] { return screen.cursor().second >= gridColumn() + 3; })) return false;
        const int from = at();
        const int rowsDown = address / 16 - from / 16, columnsRight = address % 16 - from % 16;
        screen.pressKey(rowsDown >= 0 ? Key::Down : Key::Up, std::abs(rowsDown));
        screen.pressKey(columnsRight >= 0 ? Key::Right : Key::Left, std::abs(columnsRight));
        return screen.waitUntil([&] { return at() == address; });
    }

    bool quit() {
        screen.press("q");
        const std::optional<int> status = screen.waitForExit();
        return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
    }

    ScreenSession screen;
};

// A program for both debuggers' tests: reads two words and prints the first.
//   0 INP  2 WRT  4 INP  6 RST  7 parola
inline constexpr const char* TWO_WORDS =
    "        INP parola\n"
    "        WRT parola\n"
    "        INP parola\n"
    "        RST\n"
    "parola: DB 0, 0, 0, 0, 0, 0\n";

}  // namespace tarntest

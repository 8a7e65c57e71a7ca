// The real tarngrade and a real shell on what an exercise file and a
// submission's name can hold: nesting deep enough to exhaust a parser, and
// names that only $'...' writes back.
#include "support/process.hpp"
#include "grading/wording.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using tarntest::ProcessResult;
using tarntest::runProcess;

namespace {

// A fresh folder of the test's own, removed at the end.
class Folder {
public:
    Folder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarngrade-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
        path_ = pattern;
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    std::string write(const std::string& name, const std::string& content) const {
        const std::string path = path_.string() + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

private:
    std::filesystem::path path_;
};

const char* const GREETING = "        WRT testo\n        RST\ntesto:  DB \"ciao\", 10, 0\n";

// "a.a.…a.b": a key of that many parts.
std::string dottedKey(std::size_t parts) {
    std::string key;
    for (std::size_t i = 1; i < parts; ++i) key += "a.";
    return key + "b";
}

}  // namespace

TEST(TarngradeExercise, DeepNestingIsOneErrorLineNotACrash) {
    const Folder folder;
    const std::string program = folder.write("rossi.asm", GREETING);
    const std::string key = dottedKey(60000);  // about 120 KB
    const struct {
        std::string text;
        std::string place;
    } rows[] = {
        {key + " = 1\n", ":1:128"},
        {"titolo = \"T\"\n[" + key + "]\n", ":2:129"},
        {"titolo = \"T\"\n[[" + key + "]]\n", ":2:128"},
        {"x = " + std::string(120000, '[') + "\n", ":1:68"},
    };
    for (const auto& row : rows) {
        const std::string exercise = folder.write("es.toml", row.text);
        ASSERT_GE(std::filesystem::file_size(exercise), 120000u);
        const ProcessResult result = runProcess({TARNGRADE_BINARY, exercise, program});
        EXPECT_EQ(result.signal, 0) << row.place;
        EXPECT_EQ(result.exitStatus, 2) << row.place;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, exercise + row.place +
                                  ": errore: troppi livelli uno dentro l'altro: tra parti di chiavi separate da "
                                  "punti, tabelle e array, un esercizio può scendere al massimo di 64 livelli\n");
    }
}

// Whatever bytes a word holds, bash reads its quoted form back as those bytes.
TEST(TarngradeReplay, BashReadsEveryQuotedWordBackAsTheSameBytes) {
    const std::string words[] = {
        "rossi.asm",       "\xff\xfe.asm", "a\nb",         "tab\tqui",        "d'amico",       "\\",
        "$(echo x)",       "`x`",          "più è",        "\x1b[2J",         "\xc2\x85",      "\xef\xbf\xbf",
        "-x",              "!storia",      "*",            "~",               "a b",           "\x7f",
        "\x01\x02\x03",    "'\\''",        "\xe8\xff\x80", "fine\\",          "\\x41",         "''",
        "",                "\xc3",         "\xf0\x9f\x98\x80", "\r\n",        "a\\'b\xff\"c",  "$'x'",
    };
    for (const std::string& word : words) {
        const std::string quoted = tarn::grading::shellQuoted(word);
        const ProcessResult result = runProcess({"/usr/bin/env", "bash", "-c", "printf %s " + quoted});
        EXPECT_EQ(result.exitStatus, 0) << quoted;
        EXPECT_EQ(result.out, word) << quoted;
        EXPECT_EQ(quoted.find('\n'), std::string::npos) << quoted;
    }
}

// The command that the report prints for a file whose name is not UTF-8,
// pasted into bash, grades that very file.
TEST(TarngradeReplay, TheReplayCommandOfANameThatIsNotUtf8CanBePasted) {
    const Folder folder;
    const std::string exercise =
        folder.write("es.toml", "titolo = \"Saluto\"\n[[caso]]\nnome = \"ciao\"\nuscita = \"salve\\n\"\n");
    const std::string program = folder.write("\xff\xfe.asm", GREETING);
    const ProcessResult report = runProcess({TARNGRADE_BINARY, exercise, program});
    ASSERT_EQ(report.exitStatus, 1) << report.err;
    const std::string lead = "per rivederlo: ";
    const std::size_t start = report.out.find(lead);
    ASSERT_NE(start, std::string::npos) << report.out;
    const std::size_t end = report.out.find('\n', start);
    const std::string command = report.out.substr(start + lead.size(), end - start - lead.size());
    EXPECT_NE(command.find("$'"), std::string::npos) << command;

    // "tarngrade" in the command is the program under test.
    const ProcessResult pasted =
        runProcess({"/usr/bin/env", "bash", "-c", "tarngrade() { \"$0\" \"$@\"; }; " + command, TARNGRADE_BINARY});
    const ProcessResult direct = runProcess({TARNGRADE_BINARY, exercise, program, "--caso", "ciao"});
    EXPECT_EQ(pasted.err, "");
    EXPECT_EQ(pasted.exitStatus, 1);
    EXPECT_NE(pasted.out.find("salve"), std::string::npos) << pasted.out;
    EXPECT_EQ(pasted.out, direct.out);
}

// The tarngrade program end to end: the command line, the report on standard
// output, the report files, the exit status.
#include "support/process.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using tarntest::ProcessOptions;
using tarntest::ProcessResult;
using tarntest::runProcess;
using tarntest::writeTempFile;

namespace {

const std::string USAGE =
    " (uso: tarngrade ESERCIZIO CONSEGNA... [-j N] [--json F] [--junit F] [--csv F] [--gradescope F] "
    "[--caso NOME] [--somiglianze])\n";

ProcessResult grade(std::vector<std::string> args, ProcessOptions options = {}) {
    args.insert(args.begin(), TARNGRADE_BINARY);
    return runProcess(args, options);
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

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
    std::string write(const std::string& name, const std::string& content) const {
        const std::filesystem::path path = path_ / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

const char* const EXERCISE =
    "titolo = \"Saluto\"\n"
    "\n"
    "[[caso]]\n"
    "nome = \"ciao\"\n"
    "uscita = \"ciao\\n\"\n";

const char* const GREETING = "        WRT testo\n        RST\ntesto:  DB \"ciao\", 10, 0\n";

}  // namespace

TEST(TarngradeCommandLine, UsageErrorsSayWhatIsWrongWithExitStatus2) {
    Folder folder;
    const std::string exercise = folder.write("es.toml", EXERCISE);
    const std::string program = folder.write("rossi.asm", GREETING);
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{}, "manca il file dell'esercizio"},
        {{exercise}, "manca almeno una consegna"},
        {{exercise, program, "--vai"}, "opzione sconosciuta '--vai'"},
        {{exercise, program, "-j"}, "l'opzione -j vuole un numero da 1 a 256"},
        {{exercise, program, "-j", "0"}, "l'opzione -j vuole un numero da 1 a 256"},
        {{exercise, program, "-j257"}, "l'opzione -j vuole un numero da 1 a 256"},
        {{exercise, program, "-j", "2x"}, "l'opzione -j vuole un numero da 1 a 256"},
        {{exercise, program, "--json"}, "l'opzione --json vuole un nome di file"},
        {{exercise, program, "--csv="}, "l'opzione --csv vuole un nome di file"},
        {{exercise, program, "--csv", "a", "--csv", "b"}, "l'opzione --csv è ripetuta"},
        {{exercise, program, "--caso"}, "l'opzione --caso vuole il nome di un caso"},
        {{exercise, program, program, "--caso", "ciao"},
         "l'opzione --caso mostra il caso di una sola consegna, ma ne sono date 2"},
        {{exercise, program, "--caso", "ciao", "--json", folder / "r.json"},
         "l'opzione --caso non si combina con i rapporti né con --somiglianze"},
        {{exercise, program, program, "--gradescope", folder / "g.json"},
         "Gradescope valuta una consegna alla volta: --gradescope ne vuole una sola, ma ne sono date 2"},
        {{exercise, program, ""}, "un argomento è vuoto"},
        {{exercise, program, "--json", exercise}, "il rapporto --json '" + exercise + "' prenderebbe il posto dell'esercizio"},
        {{exercise, program, "--csv", program},
         "il rapporto --csv '" + program + "' prenderebbe il posto della consegna '" + program + "'"},
        {{exercise, program, "--csv", folder / "r", "--junit", folder / "r"},
         "i rapporti --junit e --csv non possono essere lo stesso file"},
    };
    for (const auto& c : cases) {
        const ProcessResult result = grade(c.args);
        EXPECT_EQ(2, result.exitStatus) << c.error;
        EXPECT_EQ("", result.out) << c.error;
        EXPECT_EQ("tarngrade: " + c.error + USAGE, result.err);
    }
    EXPECT_EQ(EXERCISE, readFile(exercise));
    EXPECT_EQ(GREETING, readFile(program));
    EXPECT_FALSE(std::filesystem::exists(folder / "r"));
}

TEST(TarngradeCommandLine, FileErrorsNameTheFileWithExitStatus2) {
    Folder folder;
    const std::string exercise = folder.write("es.toml", EXERCISE);
    const std::string program = folder.write("rossi.asm", GREETING);
    const std::string missing = folder / "manca.toml";
    const std::string big = folder.write("grande.toml", std::string((4u << 20) + 1, '#'));
    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{missing, program}, "impossibile leggere l'esercizio '" + missing + "': No such file or directory"},
        {{folder.path().string(), program},
         "impossibile leggere l'esercizio '" + folder.path().string() + "': Is a directory"},
        {{big, program}, "l'esercizio '" + big + "' supera il limite di 4194304 byte"},
        {{exercise, program, "--caso", "Ciao"}, "l'esercizio non ha un caso 'Ciao': forse intendevi 'ciao'?"},
        {{exercise, program, "--caso", "addio"}, "l'esercizio non ha un caso 'addio'"},
    };
    for (const auto& c : cases) {
        const ProcessResult result = grade(c.args);
        EXPECT_EQ(2, result.exitStatus) << c.error;
        EXPECT_EQ("", result.out) << c.error;
        EXPECT_EQ("tarngrade: " + c.error + "\n", result.err);
    }
}

TEST(TarngradeCommandLine, HelpGoesToStandardOutput) {
    const ProcessResult result = grade({"--help"});
    EXPECT_EQ(0, result.exitStatus);
    EXPECT_EQ("", result.err);
    EXPECT_TRUE(result.out.starts_with("Uso: tarngrade ESERCIZIO CONSEGNA... [opzioni]\n")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("  --caso NOME       mostra per intero il caso NOME di una sola consegna\n"));
}

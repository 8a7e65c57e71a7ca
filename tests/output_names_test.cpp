// tarnasm end to end on how its outputs are named: a path that names one of
// its open descriptors (/dev/stdout, /dev/fd/N) is written through it, the
// way a shell redirected it; and one file spelled two ways is one file.
#include "support/process.hpp"
#include "support/temp_folder.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using tarntest::bytes;
using tarntest::ProcessOptions;
using tarntest::ProcessResult;
using tarntest::runProcess;

namespace {

namespace fs = std::filesystem;

using tarntest::IMAGE;
using tarntest::LISTING;
using tarntest::PROGRAM;
const std::string USAGE = " (uso: tarnasm SORGENTE [-o IMMAGINE] [-l LISTATO] [-w])\n";

using tarntest::fileContent;

// A fresh folder holding prog.asm, removed at the end.
class Folder : public tarntest::ScratchFolder {
public:
    Folder() : ScratchFolder("tarnasm-nomi") { put("prog.asm", PROGRAM); }
    // Everything in the folder but prog.asm, to start a case afresh.
    void clear() const { ScratchFolder::clear({"prog.asm"}); }
};

// Runs a shell command line in the folder, with "$T" naming tarnasm, and
// standard output and error on pipes.
ProcessResult shell(const Folder& folder, const std::string& script, const ProcessOptions& options = {}) {
    return runProcess({"/bin/sh", "-c", "T=\"$1\"; cd \"$2\" || exit 99\n" + script, "sh", TARNASM_BINARY,
                       folder.path().string()},
                      options);
}

ProcessResult tarnasm(std::vector<std::string> args, const ProcessOptions& options = {}) {
    args.insert(args.begin(), TARNASM_BINARY);
    return runProcess(args, options);
}

}  // namespace

// --- Outputs named by a descriptor -----------------------------------------

// Each redirection keeps what the file had and gets the listing where the
// descriptor stands; the image beside the source is written as usual.
TEST(DescriptorOutputs, TheListingGoesWhereTheShellRedirectedTheDescriptor) {
    const Folder folder;
    const std::string old = "vecchia riga\n";
    const struct {
        std::string script;
        std::string log;
    } cases[] = {
        {"\"$T\" prog.asm -l /dev/stdout >> registro.log", old + LISTING},
        {"\"$T\" prog.asm -l /dev/stdout > registro.log", LISTING},
        {"\"$T\" prog.asm -l /dev/stderr 2>> registro.log", old + LISTING},
        {"\"$T\" prog.asm -l /dev/fd/3 3>> registro.log", old + LISTING},
        {"\"$T\" prog.asm -l /proc/self/fd/1 >> registro.log", old + LISTING},
        {"\"$T\" prog.asm -l /dev/./fd/1 >> registro.log", old + LISTING},
        {"ln -s /dev/stdout uscita && \"$T\" prog.asm -l uscita >> registro.log", old + LISTING},
        // Written at the descriptor's position, between what comes before and after.
        {"{ echo prima; \"$T\" prog.asm -l /dev/stdout; echo dopo; } > registro.log", "prima\n" + LISTING + "dopo\n"},
        {"{ echo prima; \"$T\" prog.asm -l /dev/stdout; echo dopo; } 1<> registro.log",
         "prima\n" + LISTING + "dopo\n"},
    };
    for (const auto& c : cases) {
        folder.clear();
        folder.put("registro.log", old);
        const ProcessResult result = shell(folder, c.script + " || echo \"stato $?\" >&2");
        EXPECT_EQ("", result.err) << c.script;
        EXPECT_EQ(c.log, fileContent(folder / "registro.log")) << c.script;
        EXPECT_EQ(IMAGE, fileContent(folder / "prog.bin")) << c.script;
        // A link that led there is still a link.
        if (c.script.find("uscita") != std::string::npos) {
            EXPECT_TRUE(fs::is_symlink(folder / "uscita"));
        }
    }
}

TEST(DescriptorOutputs, APipeIsWrittenThrough) {
    const Folder folder;
    const std::string source = (folder / "prog.asm").string();
    const std::string image = (folder / "prog.bin").string();
    for (const std::string name : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
        ProcessResult result = tarnasm({source, "-o", name});
        EXPECT_EQ(0, result.exitStatus) << name << result.err;
        EXPECT_EQ("", result.err) << name;
        EXPECT_EQ(IMAGE, result.out) << name;

        result = tarnasm({source, "-o", image, "-l", name});
        EXPECT_EQ(0, result.exitStatus) << name << result.err;
        EXPECT_EQ(LISTING, result.out) << name;
    }
    EXPECT_FALSE(fs::exists(folder / "1"));
}

// A descriptor that is closed, read-only or full fails the command, and
// the other output keeps its old content.
TEST(DescriptorOutputs, ADescriptorThatTakesNoWriteIsAnErrorAndTheImageStaysAsItWas) {
    const Folder folder;
    const std::string source = (folder / "prog.asm").string();
    const std::string image = (folder / "prog.bin").string();
    const std::string badDescriptor = "descrittore di file non valido";
    ProcessOptions closed;
    closed.closeOutput = true;
    ProcessOptions full;
    full.outputPath = "/dev/full";
    const struct {
        std::string name;
        ProcessOptions options;
        std::string reason;
    } cases[] = {
        {"/dev/stdout", closed, badDescriptor},
        {"/dev/fd/1", closed, badDescriptor},
        {"/dev/fd/9", {}, badDescriptor},
        {"/dev/stdin", {}, badDescriptor},  // /dev/null, read-only
        {"/dev/stdout", full, "spazio esaurito sul dispositivo"},
    };
    for (const auto& c : cases) {
        folder.put("prog.bin", "vecchia immagine");
        const ProcessResult result = tarnasm({source, "-o", image, "-l", c.name}, c.options);
        EXPECT_EQ(2, result.exitStatus) << c.name;
        EXPECT_EQ("tarnasm: impossibile scrivere il listato '" + c.name + "': " + c.reason + "\n", result.err)
            << c.name;
        EXPECT_EQ("vecchia immagine", fileContent(image)) << c.name;
    }
}

// --- One file spelled two ways ---------------------------------------------

TEST(OutputNames, OneFileSpelledTwoWaysIsRefusedAndNothingIsWritten) {
    const Folder folder;
    const std::string clash = "tarnasm: l'immagine e il listato non possono essere lo stesso file" + USAGE;
    const struct {
        std::string setup;
        std::string image, listing;
    } cases[] = {
        {"", "./n.bin", "n.bin"},
        {"", "\"$PWD/n.bin\"", "n.bin"},
        {"mkdir sotto", "sotto/../n.bin", "./n.bin"},
        {"ln -s . qui", "qui/n.bin", "n.bin"},
        {"ln -s n.bin collegamento", "collegamento", "n.bin"},                 // dangling, and its target
        {"mkdir altrove && ln -s ../n.bin altrove/l", "altrove/l", "\"$PWD/n.bin\""},
        {"echo vecchio > n.bin", "n.bin", "./n.bin"},
        {"echo vecchio > n.bin && ln n.bin duro", "duro", "n.bin"},
        {"echo vecchio > n.bin && ln -s n.bin collegamento", "collegamento", "n.bin"},
        {"echo vecchio > n.bin && exec > n.bin", "n.bin", "/dev/stdout"},  // the descriptor open on it
    };
    for (const auto& c : cases) {
        folder.clear();
        const std::string command = "\"$T\" prog.asm -o " + c.image + " -l " + c.listing;
        const ProcessResult result =
            shell(folder, (c.setup.empty() ? "" : c.setup + " && ") + command + "; echo \"stato $?\" >&2");
        EXPECT_EQ(clash + "stato 2\n", result.err) << command << " dopo " << c.setup;
        EXPECT_EQ(PROGRAM, fileContent(folder / "prog.asm"));
        if (c.setup.find("vecchio") == std::string::npos) {
            EXPECT_FALSE(fs::exists(folder / "n.bin")) << command << " dopo " << c.setup;
        } else if (c.listing != "/dev/stdout") {  // the shell itself emptied it for the last one
            EXPECT_EQ("vecchio\n", fileContent(folder / "n.bin")) << command << " dopo " << c.setup;
        }
    }

    // The source spelled another way.
    const ProcessResult source = shell(folder, "\"$T\" prog.asm -o ./prog.asm");
    EXPECT_EQ("tarnasm: l'immagine './prog.asm' prenderebbe il posto del sorgente" + USAGE, source.err);
    EXPECT_EQ(PROGRAM, fileContent(folder / "prog.asm"));
}

TEST(OutputNames, OneDescriptorTwiceIsAClashUnlessItIsADevice) {
    const Folder folder;
    const std::string source = (folder / "prog.asm").string();
    // Into a pipe, the two would come out mixed.
    for (const std::vector<std::string>& names : std::vector<std::vector<std::string>>{
             {"/dev/stdout", "/dev/stdout"}, {"/dev/stdout", "/dev/fd/1"}, {"/proc/self/fd/1", "/dev/stdout"}}) {
        const ProcessResult result = tarnasm({source, "-o", names[0], "-l", names[1]});
        EXPECT_EQ(2, result.exitStatus) << names[0] << " " << names[1];
        EXPECT_EQ("", result.out);
        EXPECT_EQ("tarnasm: l'immagine e il listato non possono essere lo stesso file" + USAGE, result.err);
    }

    // Two names of one device, or one descriptor on a device, or two
    // descriptors: each output is written in full.
    const std::string allowed[] = {
        "\"$T\" prog.asm -o /dev/null -l /dev/null",
        "\"$T\" prog.asm -o /dev/stdout -l /dev/fd/1 > /dev/null",
        "\"$T\" prog.asm -o /dev/stdout -l /dev/stderr > registro.log 2>&1",
    };
    for (const std::string& script : allowed) {
        const ProcessResult result = shell(folder, script + "; echo \"stato $?\"");
        EXPECT_EQ("stato 0\n", result.out) << script << result.err;
    }
    EXPECT_EQ(IMAGE + LISTING, fileContent(folder / "registro.log"));
}

// The real tarndis, end to end: its output for the examples, and every
// example and benchmark back through the real tarnasm to the same image.
#include "support/process.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

const std::filesystem::path EXAMPLES = std::filesystem::path(TARNSIM_SOURCE_DIR) / "examples";

// The image that the real tarnasm makes of a source, or "" after failing the test.
std::string assembleWithTarnasm(const std::string& sourcePath, const std::string& imagePath) {
    const tarntest::ProcessResult result = tarntest::runProcess({TARNASM_BINARY, sourcePath, "-o", imagePath});
    EXPECT_EQ(0, result.exitStatus) << sourcePath << "\n" << result.err;
    return result.exitStatus == 0 ? readFile(imagePath) : "";
}

std::string tarndisOutput(const std::string& imagePath) {
    const tarntest::ProcessResult result = tarntest::runProcess({TARNDIS_BINARY, imagePath});
    EXPECT_EQ(0, result.exitStatus) << imagePath;
    EXPECT_EQ("", result.err) << imagePath;
    return result.out;
}

const std::string HEADER =
    " byte. Etichette: L_xx istruzioni, D_xx dati, B_xx oltre l'immagine (xx: indirizzo esadecimale).\n";

}  // namespace

TEST(TarndisOutput, Eco) {
    const std::string image = assembleWithTarnasm((EXAMPLES / "eco.asm").string(), tarntest::writeTempFile("eco.bin", ""));
    EXPECT_EQ("; 34" + HEADER +
                  "L_00:   INP       B_22                          ; 0x00 (0)\n"
                  "        CLZ                                     ; 0x02 (2)\n"
                  "        CMP       B_22, D_21                    ; 0x03 (3)\n"
                  "        JPZ       L_1E                          ; 0x06 (6)\n"
                  "        WRT       B_22                          ; 0x08 (8)\n"
                  "        WRT       D_1F                          ; 0x0A (10)\n"
                  "        VALOFFST  0                             ; 0x0C (12)\n"
                  "L_0E:   MUL       B_22, D_21                    ; 0x0E (14)\n"
                  "        INCOFFST                                ; 0x11 (17)\n"
                  "        CLZ                                     ; 0x12 (18)\n"
                  "        CMP       B_22, D_21                    ; 0x13 (19)\n"
                  "        JPZ       L_1A                          ; 0x16 (22)\n"
                  "        JMP       L_0E                          ; 0x18 (24)\n"
                  "L_1A:   VALOFFST  0                             ; 0x1A (26)\n"
                  "        JMP       L_00                          ; 0x1C (28)\n"
                  "L_1E:   RST                                     ; 0x1E (30)\n"
                  "D_1F:   DB        \"\\n\", 0                       ; 0x1F (31)\n"
                  "D_21:   DB        0                             ; 0x21 (33)\n"
                  "        ORG       34                            ; dopo la fine dell'immagine: nessun byte scritto\n"
                  "B_22:                                           ; 0x22 (34)\n",
              tarndisOutput(tarntest::writeTempFile("eco.bin", image)));
}

TEST(TarndisOutput, Asterischi) {
    EXPECT_EQ("; 33" + HEADER +
                  "        VAL       D_1E, 3                       ; 0x00 (0)\n"
                  "L_03:   WRT       D_1F                          ; 0x03 (3)\n"
                  "        CLZ                                     ; 0x05 (5)\n"
                  "        DEC       D_1E                          ; 0x06 (6)\n"
                  "        JPZ       L_0C                          ; 0x08 (8)\n"
                  "        JMP       L_03                          ; 0x0A (10)\n"
                  "L_0C:   RST                                     ; 0x0C (12)\n"
                  "        ORG       30                            ; 0x0D (13) .. 0x1D (29): 17 byte a 0\n"
                  "D_1E:   DB        0                             ; 0x1E (30)\n"
                  "D_1F:   DB        \"*\", 0                        ; 0x1F (31)\n",
              tarndisOutput((EXAMPLES / "asterischi.bin").string()));
}

TEST(TarndisOutput, EveryExampleAndBenchmarkComesBackThroughTarnasmByteForByte) {
    // The shipped images, and the image of every example and benchmark source.
    std::vector<std::pair<std::string, std::string>> images;
    for (const std::filesystem::path& folder : {EXAMPLES, EXAMPLES.parent_path() / "bench"}) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const std::filesystem::path& path = entry.path();
            const std::string name = path.stem().string();
            if (path.extension() == ".bin") images.emplace_back(name + ".bin", readFile(path));
            if (path.extension() == ".asm")
                images.emplace_back(name + ".asm",
                                    assembleWithTarnasm(path.string(), tarntest::writeTempFile(name + "-asm.bin", "")));
        }
    }
    ASSERT_GE(images.size(), 13u);
    for (const auto& [name, image] : images) {
        ASSERT_FALSE(image.empty()) << name;
        const std::string source = tarndisOutput(tarntest::writeTempFile("originale.bin", image));
        const std::string again = assembleWithTarnasm(tarntest::writeTempFile("copia.asm", source),
                                                      tarntest::writeTempFile("copia.bin", ""));
        EXPECT_EQ(image, again) << name << "\n" << source;
    }
}

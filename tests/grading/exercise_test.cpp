#include "grading/exercise.hpp"

#include "machine/instruction_set.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace tarn;
using namespace tarn::grading;

const char* const ISSUE_EXAMPLE = R"(titolo = "Somma di due cifre"
limite_istruzioni = 100000        # default for every case; reaching it fails the case
limite_uscita = 4096              # default: bytes of output kept; more fails the case
proibite = ["MUL"]                # instructions the program must never execute
dimensione_massima = 128          # optional: bytes of image allowed

[[caso]]
nome = "tre più quattro"
ingresso = "3 4\n"                # standard input of the run
uscita = "7\n"                    # expected output of WRT, compared exactly...
confronto = "esatto"              # ...or "spazi"
punti = 2                         # default 1
nascosto = false                  # hidden cases show pass or fail, never details

[[caso]]
nome = "somma della tabella"
memoria = { "0xC8" = [5, 7, 9, 0] }   # bytes placed before the run
atteso.memoria = { "0xF0" = [21] }    # bytes expected after the run
atteso.registri = { X = 3 }            # PC, A, B, X expected after the run
atteso.flag = ["Z"]                    # flags that must be set (others free)
)";

Exercise parsed(const std::string& text) {
    ExerciseParse parse = parseExercise(text);
    EXPECT_TRUE(parse.exercise.has_value()) << parse.error.line << ":" << parse.error.column << ": "
                                            << parse.error.message;
    return parse.exercise.value_or(Exercise{});
}

std::vector<Byte> bytes(std::initializer_list<int> values) {
    std::vector<Byte> result;
    for (int value : values) result.push_back(static_cast<Byte>(value));
    return result;
}

TEST(ExerciseParse, ReadsTheIssueExampleFieldByField) {
    const Exercise exercise = parsed(ISSUE_EXAMPLE);
    EXPECT_EQ(exercise.title, "Somma di due cifre");
    EXPECT_EQ(exercise.instructionLimit, 100000u);
    EXPECT_EQ(exercise.outputLimit, 4096u);
    for (unsigned opcode = 0; opcode < 256; ++opcode)
        EXPECT_EQ(exercise.forbidden[opcode], opcode == findInstruction(std::string_view("MUL"))->opcode) << opcode;
    EXPECT_EQ(exercise.forbiddenNames, std::vector<std::string>{"MUL"});
    EXPECT_EQ(exercise.maximumSize, std::optional<std::size_t>{128});
    ASSERT_EQ(exercise.cases.size(), 2u);
    EXPECT_DOUBLE_EQ(exercise.totalPoints(), 3);

    const TestCase& first = exercise.cases[0];
    EXPECT_EQ(first.name, "tre più quattro");
    EXPECT_EQ(first.input, "3 4\n");
    EXPECT_EQ(first.output, std::optional<std::string>{"7\n"});
    EXPECT_EQ(first.comparison, Comparison::Exact);
    EXPECT_DOUBLE_EQ(first.points, 2);
    EXPECT_FALSE(first.hidden);
    EXPECT_TRUE(first.memory.empty());
    EXPECT_TRUE(first.expectedMemory.empty());
    EXPECT_TRUE(first.expectedRegisters.empty());
    EXPECT_EQ(first.expectedFlags, 0);

    const TestCase& second = exercise.cases[1];
    EXPECT_EQ(second.name, "somma della tabella");
    EXPECT_EQ(second.input, "");
    EXPECT_FALSE(second.output.has_value());
    ASSERT_EQ(second.memory.size(), 1u);
    EXPECT_EQ(second.memory[0].address, 0xC8u);
    EXPECT_EQ(second.memory[0].bytes, bytes({5, 7, 9, 0}));
    ASSERT_EQ(second.expectedMemory.size(), 1u);
    EXPECT_EQ(second.expectedMemory[0].address, 0xF0u);
    EXPECT_EQ(second.expectedMemory[0].bytes, bytes({21}));
    ASSERT_EQ(second.expectedRegisters.size(), 1u);
    EXPECT_EQ(second.expectedRegisters[0].address, 260u);
    EXPECT_EQ(second.expectedRegisters[0].value, 3);
    EXPECT_EQ(second.expectedFlags, FLAG_Z);
    EXPECT_EQ(exercise.findCase("somma della tabella"), &second);
    EXPECT_EQ(exercise.findCase("somma"), nullptr);
}

TEST(ExerciseParse, DefaultsAndTheCasesOwnLimits) {
    const Exercise defaults = parsed("titolo = \"T\"\n[[caso]]\nnome = \"a\"\nuscita = \"\"\n");
    EXPECT_EQ(defaults.instructionLimit, DEFAULT_INSTRUCTION_LIMIT);
    EXPECT_EQ(defaults.outputLimit, DEFAULT_OUTPUT_LIMIT);
    EXPECT_FALSE(defaults.maximumSize.has_value());
    EXPECT_TRUE(defaults.forbiddenNames.empty());
    const TestCase& plain = defaults.cases.at(0);
    EXPECT_EQ(plain.output, std::optional<std::string>{""});  // an empty output is still checked
    EXPECT_EQ(plain.comparison, Comparison::Exact);
    EXPECT_DOUBLE_EQ(plain.points, 1);
    EXPECT_FALSE(plain.hidden);
    EXPECT_EQ(plain.instructionLimit, DEFAULT_INSTRUCTION_LIMIT);
    EXPECT_EQ(plain.outputLimit, DEFAULT_OUTPUT_LIMIT);

    // The exercise's limits are every case's, unless a case has its own.
    const Exercise limits = parsed(R"(titolo = "T"
limite_istruzioni = 1000000000000
limite_uscita = 0
proibite = ["mul", "Div", "INCOFFST"]
dimensione_massima = 256
[[caso]]
nome = "a"
atteso.flag = ["z", "D", "n", "O", "P"]
[[caso]]
nome = "b"
uscita = "x  \n"
confronto = "spazi"
punti = 0.5
nascosto = true
limite_istruzioni = 1
limite_uscita = 65536
)");
    EXPECT_EQ(limits.instructionLimit, MAX_INSTRUCTION_LIMIT);
    EXPECT_EQ(limits.outputLimit, 0u);
    EXPECT_EQ(limits.maximumSize, std::optional<std::size_t>{256});
    EXPECT_EQ(limits.forbiddenNames, (std::vector<std::string>{"mul", "Div", "INCOFFST"}));
    for (const char* name : {"MUL", "DIV", "INCOFFST"}) EXPECT_TRUE(limits.forbidden[findInstruction(std::string_view(name))->opcode]) << name;
    EXPECT_FALSE(limits.forbidden[findInstruction(std::string_view("ADD"))->opcode]);
    ASSERT_EQ(limits.cases.size(), 2u);
    EXPECT_EQ(limits.cases[0].instructionLimit, MAX_INSTRUCTION_LIMIT);
    EXPECT_EQ(limits.cases[0].outputLimit, 0u);
    EXPECT_EQ(limits.cases[0].expectedFlags, FLAG_D | FLAG_Z | FLAG_O | FLAG_P | FLAG_N);
    EXPECT_EQ(limits.cases[1].instructionLimit, 1u);
    EXPECT_EQ(limits.cases[1].outputLimit, MAX_OUTPUT_LIMIT);
    EXPECT_EQ(limits.cases[1].comparison, Comparison::Blanks);
    EXPECT_DOUBLE_EQ(limits.cases[1].points, 0.5);
    EXPECT_TRUE(limits.cases[1].hidden);

    // Blanks at line ends are not compared: an expected output longer than
    // the output kept can still match.
    const Exercise blanks =
        parsed("titolo = \"T\"\nlimite_uscita = 2\n[[caso]]\nnome = \"a\"\nuscita = \"ab  \\n\\n\"\nconfronto = \"spazi\"\n");
    EXPECT_EQ(blanks.cases.at(0).output, std::optional<std::string>{"ab  \n\n"});
}

// Only an escape between single quotes is a slip: a backslash written
// between double quotes, or one before another letter, is meant.
TEST(ExerciseParse, BackslashesThatAreMeantAreKept) {
    const Exercise exercise = parsed(R"(titolo = "T"
[[caso]]
nome = "a"
ingresso = "3 4\\n"
uscita = 'C:\dati'
[[caso]]
nome = "b"
ingresso = '''riga
'''
uscita = '\'
)");
    EXPECT_EQ(exercise.cases.at(0).input, "3 4\\n");
    EXPECT_EQ(exercise.cases.at(0).output, std::optional<std::string>{"C:\\dati"});
    EXPECT_EQ(exercise.cases.at(1).input, "riga\n");
    EXPECT_EQ(exercise.cases.at(1).output, std::optional<std::string>{"\\"});
}

TEST(ExerciseMemory, AddressesValuesAndOrder) {
    const Exercise exercise = parsed(R"(titolo = "T"
[[caso]]
nome = "a"
memoria = { "255" = -1, "0XfE" = -128, "0x10" = [0, 127, 128, 255], "0" = [1, 2] }
atteso.memoria = { "016" = [9] }
atteso.registri = { x = -1, pc = 0xFF, b = 255, A = 0 }  # by name in any case
)");
    const TestCase& testCase = exercise.cases.at(0);
    ASSERT_EQ(testCase.memory.size(), 4u);  // sorted by address
    EXPECT_EQ(testCase.memory[0].address, 0u);
    EXPECT_EQ(testCase.memory[0].bytes, bytes({1, 2}));
    EXPECT_EQ(testCase.memory[1].address, 16u);
    EXPECT_EQ(testCase.memory[1].bytes, bytes({0, 127, 128, 255}));
    EXPECT_EQ(testCase.memory[2].address, 254u);
    EXPECT_EQ(testCase.memory[2].bytes, bytes({128}));
    EXPECT_EQ(testCase.memory[3].address, 255u);
    EXPECT_EQ(testCase.memory[3].bytes, bytes({255}));
    ASSERT_EQ(testCase.expectedMemory.size(), 1u);
    EXPECT_EQ(testCase.expectedMemory[0].address, 16u);
    ASSERT_EQ(testCase.expectedRegisters.size(), 4u);
    const unsigned addresses[] = {256, 258, 259, 260};
    const Byte values[] = {255, 0, 255, 255};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(testCase.expectedRegisters[i].address, addresses[i]);
        EXPECT_EQ(testCase.expectedRegisters[i].value, values[i]);
    }

    // A range that ends exactly at 255, and two ranges that touch.
    const Exercise edges = parsed(R"(titolo = "T"
[[caso]]
nome = "a"
atteso.memoria = { "0xF0" = [0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0], "0xEF" = 1 }
)");
    EXPECT_EQ(edges.cases.at(0).expectedMemory.size(), 2u);
}

struct Malformed {
    const char* text;
    std::int64_t line;
    std::int64_t column;
    const char* message;
};

// Every fault of an exercise file, at its place and in its words.
TEST(ExerciseErrors, MalformedFilesAtTheirPlace) {
    const std::vector<Malformed> table = {
        {"", 0, 0, "manca 'titolo': ogni esercizio ha bisogno di un titolo"},
        {"titlo = \"x\"\n", 1, 1, "chiave sconosciuta 'titlo': forse intendevi 'titolo'?"},
        {"titolo = \"\"\n", 1, 10, "'titolo' non può essere vuoto"},
        {"titolo = 3\n", 1, 10, "'titolo' deve essere una stringa"},
        {"titolo = \"a\\nb\"\n", 1, 10, "'titolo' non può contenere caratteri di controllo, come un a capo"},
        {"titolo = \"T\"\n", 0, 0, "l'esercizio non ha casi: aggiungine almeno uno sotto [[caso]]"},
        {"titolo = \"T\"\ncaso = []\n", 2, 8, "l'esercizio non ha casi: aggiungine almeno uno sotto [[caso]]"},
        {"titolo = \"T\"\n[caso]\nnome = \"a\"\n", 2, 1,
         "'caso' deve essere un array di tabelle: scrivi ogni caso sotto [[caso]]"},
        {"titolo = \"T\"\ncaso = [1]\n", 2, 9,
         "ogni elemento di 'caso' deve essere una tabella: scrivi ogni caso sotto [[caso]]"},
        {"titolo = \"T\"\nlimite_istruzioni = 0\n", 2, 21,
         "'limite_istruzioni' deve essere un intero da 1 a 1000000000000"},
        {"titolo = \"T\"\nlimite_istruzioni = 1000000000001\n", 2, 21,
         "'limite_istruzioni' deve essere un intero da 1 a 1000000000000"},
        {"titolo = \"T\"\nlimite_istruzioni = 1e3\n", 2, 21,
         "'limite_istruzioni' deve essere un intero da 1 a 1000000000000"},
        {"titolo = \"T\"\nlimite_uscita = 65537\n", 2, 17, "'limite_uscita' deve essere un intero da 0 a 65536"},
        {"titolo = \"T\"\nlimite_uscita = -1\n", 2, 17, "'limite_uscita' deve essere un intero da 0 a 65536"},
        {"titolo = \"T\"\ndimensione_massima = 0\n", 2, 22, "'dimensione_massima' deve essere un intero da 1 a 256"},
        {"titolo = \"T\"\ndimensione_massima = 257\n", 2, 22,
         "'dimensione_massima' deve essere un intero da 1 a 256"},
        {"titolo = \"T\"\nproibite = \"MUL\"\n", 2, 12,
         "'proibite' deve essere un array di nomi di istruzioni, come [\"MUL\", \"DIV\"]"},
        {"titolo = \"T\"\nproibite = [\"ADD\", 3]\n", 2, 20,
         "'proibite' deve essere un array di nomi di istruzioni, come [\"MUL\", \"DIV\"]"},
        {"titolo = \"T\"\nproibite = [\"MULL\"]\n", 2, 13, "istruzione sconosciuta 'MULL' in 'proibite': forse intendevi MUL?"},
        {"titolo = \"T\"\nproibite = [\"ORG\"]\n", 2, 13, "istruzione sconosciuta 'ORG' in 'proibite'"},
        {"titolo = \"T\"\nproibite = [\"rst\"]\n", 2, 13,
         "RST non si può proibire: non viene mai eseguita, il programma si ferma quando la incontra"},
        {"titolo = \"T\"\nproibite = [\"mul\", \"MUL\"]\n", 2, 20, "MUL compare due volte in 'proibite'"},
        // A case.
        {"titolo = \"T\"\n[[caso]]\nuscita = \"x\"\n", 2, 1,
         "manca 'nome' nel caso numero 1: ogni caso ha bisogno di un nome"},
        {"titolo = \"T\"\n[[caso]]\nnome = 1\nuscita = \"x\"\n", 3, 8, "'nome' deve essere una stringa"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"\"\nuscita = \"x\"\n", 3, 8, "'nome' non può essere vuoto"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"a\\tb\"\nuscita = \"x\"\n", 3, 8,
         "'nome' non può contenere caratteri di controllo, come un a capo"},
        {"titolo = \"T\"\n[[caso]]\nusita = \"x\"\nnome = 1\n", 3, 1,
         "chiave sconosciuta 'usita' nel caso numero 1: forse intendevi 'uscita'?"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"tre più quattro\"\nuscite = \"7\"\n", 4, 1,
         "chiave sconosciuta 'uscite' nel caso 'tre più quattro': forse intendevi 'uscita'?"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nzzz = 1\nuscite = \"7\"\n", 4, 1,
         "chiave sconosciuta 'zzz' nel caso 'uno'"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscite = \"7\"\nzzz = 1\n", 4, 1,
         "chiave sconosciuta 'uscite' nel caso 'uno': forse intendevi 'uscita'?"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\n", 6, 8,
         "c'è già un caso chiamato 'uno', alla riga 2"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\ningresso = \"\"\n", 2, 1,
         "il caso 'uno' non controlla niente e passerebbe sempre: aggiungi 'uscita' o 'atteso'"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\natteso = { flag = [], memoria = {} }\n", 2, 1,
         "il caso 'uno' non controlla niente e passerebbe sempre: aggiungi 'uscita' o 'atteso'"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = 7\n", 4, 10, "'uscita' del caso 'uno' deve essere una stringa"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\ningresso = [\"3\"]\n", 5, 12,
         "'ingresso' del caso 'uno' deve essere una stringa"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\nconfronto = \"Esatto\"\n", 5, 13,
         "'confronto' del caso 'uno' deve essere \"esatto\" o \"spazi\""},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\npunti = -1\n", 5, 9,
         "'punti' del caso 'uno' deve essere un numero da 0 a 1000000"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\npunti = 1000000.5\n", 5, 9,
         "'punti' del caso 'uno' deve essere un numero da 0 a 1000000"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\npunti = inf\n", 5, 9,
         "'punti' del caso 'uno' deve essere un numero da 0 a 1000000"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\npunti = nan\n", 5, 9,
         "'punti' del caso 'uno' deve essere un numero da 0 a 1000000"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\npunti = \"2\"\n", 5, 9,
         "'punti' del caso 'uno' deve essere un numero da 0 a 1000000"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\nnascosto = 1\n", 5, 12,
         "'nascosto' del caso 'uno' deve essere true o false"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\nlimite_istruzioni = 0\n", 5, 21,
         "'limite_istruzioni' del caso 'uno' deve essere un intero da 1 a 1000000000000"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\nlimite_uscita = 70000\n", 5, 17,
         "'limite_uscita' del caso 'uno' deve essere un intero da 0 a 65536"},
        // An expected output that the kept output could never match.
        {"titolo = \"T\"\nlimite_uscita = 2\n[[caso]]\nnome = \"uno\"\nuscita = \"abc\"\n", 5, 10,
         "'uscita' del caso 'uno' ha 3 byte, ma 'limite_uscita' ne tiene al massimo 2: il caso non potrebbe mai "
         "passare"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"abc\"\nlimite_uscita = 2\n", 4, 10,
         "'uscita' del caso 'uno' ha 3 byte, ma 'limite_uscita' ne tiene al massimo 2: il caso non potrebbe mai "
         "passare"},
        // Without blanks, what the comparison leaves out does not count, the rest does.
        {"titolo = \"T\"\nlimite_uscita = 4\n[[caso]]\nnome = \"uno\"\nconfronto = \"spazi\"\n"
         "uscita = \"ab \\t\\ncde \\n\\n\"\n", 6, 10,
         "'uscita' del caso 'uno' ha 6 byte, ma 'limite_uscita' ne tiene al massimo 4: il caso non potrebbe mai "
         "passare"},
        {"titolo = \"T\"\nlimite_uscita = 1\n[[caso]]\nnome = \"uno\"\nuscita = \"ab\"\n", 5, 10,
         "'uscita' del caso 'uno' ha 2 byte, ma 'limite_uscita' ne tiene al massimo 1: il caso non potrebbe mai "
         "passare"},
        {"titolo = \"T\"\nlimite_uscita = 0\n[[caso]]\nnome = \"uno\"\nuscita = \"a\"\n", 5, 10,
         "'uscita' del caso 'uno' ha 1 byte, ma 'limite_uscita' è 0: il caso non potrebbe mai passare"},
        // Memory.
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\nmemoria = [1]\n", 5, 11,
         "'memoria' del caso 'uno' deve essere una tabella di indirizzi e byte, come { \"0xC8\" = [5, 7] }"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\nmemoria = { \"256\" = 1 }\n", 5, 13,
         "indirizzo non valido '256' in 'memoria' del caso 'uno': un indirizzo va da 0 a 255, in decimale "
         "(\"200\") o in esadecimale (\"0xC8\")"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\nmemoria = { \"0x\" = 1 }\n", 5, 13,
         "indirizzo non valido '0x' in 'memoria' del caso 'uno': un indirizzo va da 0 a 255, in decimale "
         "(\"200\") o in esadecimale (\"0xC8\")"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\nmemoria = { \"-1\" = 1 }\n", 5, 13,
         "indirizzo non valido '-1' in 'memoria' del caso 'uno': un indirizzo va da 0 a 255, in decimale "
         "(\"200\") o in esadecimale (\"0xC8\")"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\nmemoria = { \"0xC8\" = [] }\n", 5, 22,
         "'memoria' del caso 'uno' all'indirizzo '0xC8' non ha byte: scrivine almeno uno"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\nmemoria = { \"0xC8\" = [1, 256] }\n", 5, 26,
         "ogni byte di 'memoria' del caso 'uno' all'indirizzo '0xC8' deve essere un intero da -128 a 255"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\nmemoria = { \"0xC8\" = -129 }\n", 5, 22,
         "il byte di 'memoria' del caso 'uno' all'indirizzo '0xC8' deve essere un intero da -128 a 255"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\nmemoria = { \"0xC8\" = \"ab\" }\n", 5, 22,
         "'memoria' del caso 'uno' all'indirizzo '0xC8' deve avere un byte o un array di byte, interi da -128 a 255"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\natteso.memoria = { \"254\" = [1, 2, 3] }\n", 4, 28,
         "i 3 byte di 'atteso.memoria' del caso 'uno' all'indirizzo '254' vanno oltre l'ultimo indirizzo, 255"},
        // Overlapping ranges, told where the file comes to the second one,
        // whichever of the two has the higher address.
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\nmemoria = { \"10\" = [1, 2, 3], \"0x0C\" = 4 }\n",
         5, 31, "in 'memoria' del caso 'uno' i byte da '0x0C' si sovrappongono a quelli da '10'"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\nuscita = \"\"\nmemoria = { \"12\" = 4, \"0x0A\" = [1, 2, 3] }\n",
         5, 23, "in 'memoria' del caso 'uno' i byte da '0x0A' si sovrappongono a quelli da '12'"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\natteso.memoria = { \"200\" = 1, \"0xc8\" = 1 }\n", 4, 31,
         "in 'atteso.memoria' del caso 'uno' i byte da '0xc8' si sovrappongono a quelli da '200'"},
        // Registers and flags.
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\natteso = 3\n", 4, 10,
         "'atteso' del caso 'uno' deve essere una tabella con 'memoria', 'registri' o 'flag'"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\natteso.registro = { X = 3 }\n", 4, 8,
         "chiave sconosciuta 'registro' in 'atteso' del caso 'uno': forse intendevi 'registri'?"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\natteso.registri = [3]\n", 4, 19,
         "'atteso.registri' del caso 'uno' deve essere una tabella di registri, come { X = 3 }"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\natteso.registri = { IR = 3 }\n", 4, 21,
         "registro sconosciuto 'IR' in 'atteso.registri' del caso 'uno': si possono controllare PC, A, B e X"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\natteso.registri = { XY = 3 }\n", 4, 21,
         "registro sconosciuto 'XY' in 'atteso.registri' del caso 'uno': forse intendevi 'X'?"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\natteso.registri = { x = 3, X = 3 }\n", 4, 28,
         "il registro X compare due volte in 'atteso.registri' del caso 'uno', come 'x' e come 'X'"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\natteso.registri = { A = 256 }\n", 4, 25,
         "il registro A in 'atteso.registri' del caso 'uno' deve essere un intero da -128 a 255"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\natteso.flag = \"Z\"\n", 4, 15,
         "'atteso.flag' del caso 'uno' deve essere un array di flag tra \"D\", \"Z\", \"O\", \"P\" e \"N\""},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\natteso.flag = [\"ZN\"]\n", 4, 16,
         "flag sconosciuto 'ZN' in 'atteso.flag' del caso 'uno': i flag sono D, Z, O, P e N"},
        {"titolo = \"T\"\n[[caso]]\nnome = \"uno\"\natteso.flag = [\"z\", \"Z\"]\n", 4, 21,
         "il flag 'Z' compare due volte in 'atteso.flag' del caso 'uno'"},
    };
    for (const Malformed& entry : table) {
        const ExerciseParse parse = parseExercise(entry.text);
        EXPECT_FALSE(parse.exercise.has_value()) << entry.text;
        EXPECT_EQ(parse.error.message, entry.message) << entry.text;
        EXPECT_EQ(parse.error.line, entry.line) << entry.text;
        EXPECT_EQ(parse.error.column, entry.column) << entry.text;
    }
}

// toml++'s own complaints, told in Italian at toml++'s place.
TEST(ExerciseSyntax, ErrorsInItalian) {
    const std::vector<Malformed> table = {
        {"titolo = \"abc", 1, 14, "stringa non chiusa: il file finisce prima delle virgolette di chiusura"},
        {"titolo = \"abc\nx = 1\n", 1, 14,
         "carattere di controllo in una stringa: se la stringa doveva finire prima, mancano le virgolette di "
         "chiusura; un a capo dentro una stringa si scrive \\n"},
        {"titolo \"x\"\n", 1, 8, "manca '=' tra la chiave e il valore"},
        {"titolo = \"x\"\ntitolo = \"y\"\n", 2, 10, "la chiave 'titolo' è già definita più sopra"},
        {"[[caso]]\n[caso]\n", 2, 1, "'caso' è già un array di tabelle: non può essere anche una tabella sola"},
        {"[a]\n[a]\n", 2, 1, "la tabella 'a' è già definita più sopra"},
        {"caso = 1\n[[caso]]\n", 2, 1, "la chiave 'caso' ha già un valore: non può essere anche una tabella"},
        // A key defined twice is named as the file writes it, in quotes or
        // not, in a table header, a dotted key or an inline table.
        {"[[caso]]\nnome = \"a\"\nuscita = \"\"\natteso.memoria = { \"0xF0\" = [1], \"0xF0\" = [2] }\n", 4, 43,
         "la chiave '0xF0' è già definita più sopra"},
        {"\"0xF0\" = 1\n  \"0xF0\" = 2\n", 2, 12, "la chiave '0xF0' è già definita più sopra"},
        {"nome = \"a\"\n'nome'='b'\n", 2, 8, "la chiave 'nome' è già definita più sopra"},
        {"x = { a.b = 1, a . \"b\" = 2}\n", 1, 26, "la chiave 'a.b' è già definita più sopra"},
        {"x.\"a\\\"b\" = 1\nx.'a\"b' = 2\n", 2, 11, "la chiave 'x.a\"b' è già definita più sopra"},
        {"x = { \"\\u00e8\" = [1], \"è\" = [2] }\n", 1, 29, "la chiave 'è' è già definita più sopra"},
        {"[\"a\"]\n[\"a\"]\n", 2, 1, "la tabella 'a' è già definita più sopra"},
        {"[ x . \"a b\" ]\n[x.'a b']\n", 2, 1, "la tabella 'x.a b' è già definita più sopra"},
        {"x = 1\nx.y = 2\n", 2, 1,
         "la chiave 'x.y' passa per una chiave che ha già un valore: non può essere anche una tabella"},
        {"[[\"caso\"]]\n[\"caso\"]\n", 2, 1, "'caso' è già un array di tabelle: non può essere anche una tabella sola"},
        {"x = 1x\n", 1, 6, "numero non valido"},
        {"x = 012\n", 1, 8, "un numero non può cominciare con uno 0 (gli esadecimali si scrivono 0x...)"},
        {"x = 1__0\n", 1, 7, "in un numero '_' va sempre tra due cifre"},
        {"x = 99999999999999999999\n", 1, 25,
         "intero troppo grande: TOML li ammette da -9223372036854775808 a 9223372036854775807"},
        {"x = \"\\q\"\n", 1, 7,
         "sequenza di escape sconosciuta '\\q': una barra rovesciata dentro le virgolette doppie si scrive \\\\"},
        {"x = \"\\u12\"\n", 1, 10,
         "sequenza \\u o \\U non valida: vuole 4 o 8 cifre esadecimali di un carattere Unicode"},
        {"x = \"\xff\"\n", 1, 5, "il file non è testo UTF-8 valido"},
        {"x = \n", 1, 5, "manca il valore: scrivi chiave = valore"},
        {"= 1\n", 1, 1, "qui ci vuole una chiave, un'intestazione di tabella o un commento"},
        {"x = [1, 2\n", 1, 10, "array non chiuso: manca la ']' finale"},  // at the line end, not past it
        {"x = [1 2]\n", 1, 8, "nell'array manca una virgola o la ']' finale"},
        {"x = {a = 1\n", 1, 11, "tabella tra graffe non chiusa: va scritta tutta su una riga, fino alla '}'"},
        {"x = {a = 1 b = 2}\n", 1, 12, "nella tabella manca una virgola o la '}' finale"},
        {"x = {,}\n", 1, 6, "virgola di troppo"},
        {"x = [1,,2]\n", 1, 8, "virgola di troppo"},
        {"x = \"a\" # \x01\n", 1, 11, "carattere di controllo non ammesso in un commento"},
        {"x = {a = 1,}\n", 1, 12, "virgola di troppo prima di '}': le tabelle tra graffe non la ammettono"},
        {"x = yes\n", 1, 5,
         "valore non riconosciuto: una stringa va tra virgolette, i valori logici sono true e false"},
        {"x = 1 y = 2\n", 1, 7, "dopo il valore la riga può avere solo un commento: ogni chiave va su una riga a sé"},
        {"[]\n", 1, 2, "una tabella non può avere un nome vuoto"},
        {"x = 1979-05-32\n", 1, 15, "data o ora non valida"},
    };
    for (const Malformed& entry : table) {
        const ExerciseParse parse = parseExercise(entry.text);
        EXPECT_FALSE(parse.exercise.has_value()) << entry.text;
        EXPECT_EQ(parse.error.message, entry.message) << entry.text;
        EXPECT_EQ(parse.error.line, entry.line) << entry.text;
        EXPECT_EQ(parse.error.column, entry.column) << entry.text;
    }
}

TEST(ExerciseSyntax, FormatsTheErrorWithOrWithoutAPlace) {
    EXPECT_EQ(formatExerciseError("es.toml", {3, 7, "numero non valido"}), "es.toml:3:7: errore: numero non valido");
    EXPECT_EQ(formatExerciseError("es.toml", {0, 0, "manca 'titolo'"}), "es.toml: errore: manca 'titolo'");
}

// Any bytes: an error or an exercise, never a crash, always in Italian.
TEST(ExerciseHostile, AnyBytesGiveAnItalianAnswer) {
    std::mt19937 random(11);
    std::vector<std::string> inputs;
    for (int i = 0; i < 300; ++i) {
        std::string text(ISSUE_EXAMPLE);
        // A few bytes changed anywhere in a valid file.
        for (int changes = 0; changes < 3; ++changes)
            text[random() % text.size()] = static_cast<char>(random() % 256);
        inputs.push_back(text);
    }
    for (int i = 0; i < 50; ++i) {
        std::string text(random() % 200, '\0');
        for (char& c : text) c = static_cast<char>(random() % 256);
        inputs.push_back(text);
    }
    inputs.push_back(std::string(100000, '['));
    inputs.push_back("x = " + std::string(100000, '['));
    inputs.push_back("titolo = \"" + std::string(1000, '\x01') + "\"\n");
    for (const std::string& text : inputs) {
        const ExerciseParse parse = parseExercise(text);
        if (parse.exercise) continue;
        EXPECT_FALSE(parse.error.message.empty());
        for (const char* english : {"Error", "expected", "saw", "while"})
            EXPECT_EQ(parse.error.message.find(english), std::string::npos) << parse.error.message;
        EXPECT_EQ(parse.error.message.find('\n'), std::string::npos) << parse.error.message;
    }

    // A key of control characters is shown escaped and cut short.
    const ExerciseParse key = parseExercise("\"\\n\\u0001" + std::string(200, 'k') + "\" = 1\n");
    ASSERT_FALSE(key.exercise.has_value());
    EXPECT_EQ(key.error.message, "chiave sconosciuta '\\n\\x01" + std::string(58, 'k') + "...'");

    // Too long a file is refused unread.
    const ExerciseParse huge = parseExercise(std::string(MAX_EXERCISE_BYTES + 1, ' '));
    ASSERT_FALSE(huge.exercise.has_value());
    EXPECT_EQ(huge.error.line, 0);
    EXPECT_EQ(huge.error.message, "il file è troppo lungo: un esercizio può avere al massimo 4194304 byte");
}

// A character outside ASCII where blanks may stand is an error at its
// place, every block of Unicode alike (toml++'s tables of whitespace once
// left some blocks to an unreachable point: the sanitizers' build tells).
TEST(ExerciseHostile, NonAsciiWhereBlanksMayStandIsAnErrorAtItsPlace) {
    const struct {
        const char* text;
        int line, column;
    } rows[] = {
        {"\xc3\xa9 = 1\n", 1, 1},                 // U+00E9
        {"titolo = \"x\"\n\xc2\xa1\n", 2, 1},       // U+00A1
        {"titolo =\xd0\x96 \"x\"\n", 1, 9},          // U+0416
        {"titolo = \"x\" \xe2\xb4\x80\n", 1, 14},   // U+2D00
        {"titolo = \"x\"\n\xef\xbb\xbe = 1\n", 2, 1},  // U+FEFE
    };
    for (const auto& row : rows) {
        const ExerciseParse parse = parseExercise(row.text);
        ASSERT_FALSE(parse.exercise.has_value()) << row.text;
        EXPECT_EQ(parse.error.line, row.line) << row.text;
        EXPECT_EQ(parse.error.column, row.column) << row.text;
    }
    // Inside a string or a comment the same characters are only text.
    EXPECT_TRUE(parseExercise("titolo = \"\xc3\xa9\xc2\xa1\" # \xd0\x96\n[[caso]]\nnome = \"a\"\nuscita = \"\"\n")
                    .exercise.has_value());
}

// Every fault of a file, not only the first: in the file's order, those
// without a place last, each part checked whatever the others hold.
struct Placed {
    std::int64_t line;
    std::int64_t column;
    const char* message;
};

TEST(ExerciseErrors, EveryFaultInTheFilesOrder) {
    const struct {
        const char* name;
        const char* text;
        std::vector<Placed> errors;
    } files[] = {
        {"the whole file",
         "titolo = 3\n"
         "limite_uscita = -1\n"
         "proibite = [\"MULL\", 3, \"mul\", \"MUL\"]\n"
         "[[caso]]\n"
         "usita = \"x\"\n"
         "nome = 1\n"
         "punti = \"2\"\n"
         "[[caso]]\n"
         "nome = \"due\"\n"
         "uscita = 5\n"
         "atteso.registri = { Q = 1, A = 300 }\n"
         "atteso.flag = [\"Z\", \"W\", \"z\"]\n",
         {{1, 10, "'titolo' deve essere una stringa"},
          {2, 17, "'limite_uscita' deve essere un intero da 0 a 65536"},
          {3, 13, "istruzione sconosciuta 'MULL' in 'proibite': forse intendevi MUL?"},
          {3, 21, "'proibite' deve essere un array di nomi di istruzioni, come [\"MUL\", \"DIV\"]"},
          {3, 31, "MUL compare due volte in 'proibite'"},
          {5, 1, "chiave sconosciuta 'usita' nel caso numero 1: forse intendevi 'uscita'?"},
          {6, 8, "'nome' deve essere una stringa"},
          {7, 9, "'punti' del caso numero 1 deve essere un numero da 0 a 1000000"},
          {10, 10, "'uscita' del caso 'due' deve essere una stringa"},
          {11, 21, "registro sconosciuto 'Q' in 'atteso.registri' del caso 'due': si possono controllare PC, A, B e X"},
          {11, 32, "il registro A in 'atteso.registri' del caso 'due' deve essere un intero da -128 a 255"},
          {12, 21, "flag sconosciuto 'W' in 'atteso.flag' del caso 'due': i flag sono D, Z, O, P e N"},
          {12, 26, "il flag 'Z' compare due volte in 'atteso.flag' del caso 'due'"}}},
        {"faults without a place come last",
         "tittolo = \"T\"\nlimite_istruzioni = 0\n",
         {{1, 1, "chiave sconosciuta 'tittolo': forse intendevi 'titolo'?"},
          {2, 21, "'limite_istruzioni' deve essere un intero da 1 a 1000000000000"},
          {0, 0, "manca 'titolo': ogni esercizio ha bisogno di un titolo"},
          {0, 0, "l'esercizio non ha casi: aggiungine almeno uno sotto [[caso]]"}}},
        {"every overlap, every duplicate name",
         "titolo = \"T\"\n"
         "[[caso]]\n"
         "nome = \"a\"\n"
         "uscita = \"\"\n"
         "memoria = { \"10\" = [1, 2, 3, 4, 5, 6], \"12\" = 0, \"14\" = 0, \"20\" = 0 }\n"
         "[[caso]]\n"
         "nome = \"a\"\n"
         "uscita = \"\"\n"
         "[[caso]]\n"
         "nome = \"a\"\n"
         "uscita = \"\"\n",
         {{5, 40, "in 'memoria' del caso 'a' i byte da '12' si sovrappongono a quelli da '10'"},
          {5, 50, "in 'memoria' del caso 'a' i byte da '14' si sovrappongono a quelli da '10'"},
          {7, 8, "c'è già un caso chiamato 'a', alla riga 2"},
          {10, 8, "c'è già un caso chiamato 'a', alla riga 2"}}},
        // A limit that is wrong measures no output against itself, and a
        // case with a misspelt key is not also said to check nothing.
        {"no fault follows from another",
         "titolo = \"T\"\n"
         "limite_uscita = \"2\"\n"
         "[[caso]]\n"
         "nome = \"a\"\n"
         "uscita = \"abcdef\"\n"
         "[[caso]]\n"
         "nome = \"b\"\n"
         "uscite = \"abcdef\"\n"
         "[[caso]]\n"
         "nome = \"c\"\n"
         "uscita = \"abcdef\"\n"
         "confronto = \"tutto\"\n"
         "limite_uscita = 1\n",
         {{2, 17, "'limite_uscita' deve essere un intero da 0 a 65536"},
          {8, 1, "chiave sconosciuta 'uscite' nel caso 'b': forse intendevi 'uscita'?"},
          {12, 13, "'confronto' del caso 'c' deve essere \"esatto\" o \"spazi\""}}},
        {"every fault of a case at once",
         "titolo = \"T\"\n"
         "[[caso]]\n"
         "nome = \"a\"\n"
         "punti = -1\n"
         "[[caso]]\n"
         "nome = \"b\"\n"
         "atteso = 3\n",
         {{2, 1, "il caso 'a' non controlla niente e passerebbe sempre: aggiungi 'uscita' o 'atteso'"},
          {4, 9, "'punti' del caso 'a' deve essere un numero da 0 a 1000000"},
          {7, 10, "'atteso' del caso 'b' deve essere una tabella con 'memoria', 'registri' o 'flag'"}}},
        // Between single quotes a backslash is a backslash: "\n" there is
        // almost always meant as a line end.
        {"escapes between single quotes",
         "titolo = \"T\"\n"
         "[[caso]]\n"
         "nome = \"a\"\n"
         "ingresso = '3 4\\n'\n"
         "uscita = '''7\\t'''\n",
         {{4, 12,
           "'ingresso' del caso 'a' è tra apici singoli, dove \\n è una barra rovesciata e una n, non un a capo: per "
           "un a capo usa le virgolette doppie, \"\\n\"; per la barra e la n, \"\\\\n\""},
          {5, 10,
           "'uscita' del caso 'a' è tra apici singoli, dove \\t è una barra rovesciata e una t, non una tabulazione: "
           "per una tabulazione usa le virgolette doppie, \"\\t\"; per la barra e la t, \"\\\\t\""}}},
        // The column counts characters, as the parser does.
        {"escapes between single quotes after an accented letter",
         "titolo = \"T\"\n"
         "caso = [{ nome = \"città\", uscita = 'x\\r' }]\n",
         {{2, 36,
           "'uscita' del caso 'città' è tra apici singoli, dove \\r è una barra rovesciata e una r, non un ritorno a "
           "capo: per un ritorno a capo usa le virgolette doppie, \"\\r\"; per la barra e la r, \"\\\\r\""}}},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        const ExerciseParse parse = parseExercise(file.text);
        EXPECT_FALSE(parse.exercise.has_value());
        EXPECT_EQ(parse.moreErrors, 0u);
        ASSERT_EQ(parse.errors.size(), file.errors.size());
        for (std::size_t i = 0; i < file.errors.size(); ++i) {
            EXPECT_EQ(parse.errors[i].message, file.errors[i].message) << i;
            EXPECT_EQ(parse.errors[i].line, file.errors[i].line) << parse.errors[i].message;
            EXPECT_EQ(parse.errors[i].column, file.errors[i].column) << parse.errors[i].message;
        }
        EXPECT_EQ(parse.error.message, parse.errors.front().message);
        EXPECT_EQ(parse.error.line, parse.errors.front().line);
    }
    // A syntax error stops the reading: it is the only fault.
    const ExerciseParse syntax = parseExercise("titolo = 3\nx = [1,\n");
    ASSERT_EQ(syntax.errors.size(), 1u);
    EXPECT_EQ(syntax.errors.front().message, syntax.error.message);
}

TEST(ExerciseErrors, AHundredFaultsAreToldAndTheRestCounted) {
    // The faults come from the last line first: the first hundred of the
    // file are kept all the same.
    std::string text = "titolo = \"T\"\n[[caso]]\nnome = \"a\"\nuscita = \"\"\natteso.flag = [";
    for (int i = 0; i < 150; ++i) text += "\"W\", ";
    text += "]\n";
    for (int i = 0; i < 5; ++i) text = "x" + std::to_string(i) + " = 1\n" + text;
    const ExerciseParse parse = parseExercise(text);
    ASSERT_EQ(parse.errors.size(), MAX_EXERCISE_ERRORS);
    EXPECT_EQ(parse.moreErrors, 55u);
    EXPECT_EQ(parse.errors.front().message, "chiave sconosciuta 'x4'");
    EXPECT_EQ(parse.errors.front().line, 1);
    EXPECT_EQ(parse.errors[5].line, 10);
    EXPECT_EQ(parse.errors[5].column, 16);
    EXPECT_EQ(parse.errors.back().column, 16 + 94 * 5);
    const std::vector<std::string> lines = formatExerciseErrors("es.toml", parse);
    ASSERT_EQ(lines.size(), 101u);
    EXPECT_EQ(lines.front(), "es.toml:1:1: errore: chiave sconosciuta 'x4'");
    EXPECT_EQ(lines.back(), "es.toml: altri 55 errori non mostrati");

    ExerciseParse one = parse;
    one.moreErrors = 1;
    EXPECT_EQ(formatExerciseErrors("es.toml", one).back(), "es.toml: un altro errore non mostrato");
}

TEST(ExerciseSolution, ThePathIsKeptAndGradingIgnoresIt) {
    const std::string cases = "[[caso]]\nnome = \"a\"\nuscita = \"\"\n";
    EXPECT_EQ(parsed("titolo = \"T\"\n" + cases).solution, "");
    EXPECT_EQ(parsed("titolo = \"T\"\nsoluzione = \"sol/somma giusta.asm\"\n" + cases).solution,
              "sol/somma giusta.asm");
    const std::vector<Malformed> table = {
        {"soluzione = [\"a.asm\"]\n", 1, 13,
         "'soluzione' deve essere una stringa: il percorso della soluzione, a partire dalla cartella dell'esercizio"},
        {"soluzione = \"\"\n", 1, 13, "'soluzione' non può essere vuota"},
        {"soluzione = \"a\\nb.asm\"\n", 1, 13, "'soluzione' non può contenere caratteri di controllo"},
        {"soluzioni = \"a.asm\"\n", 1, 1, "chiave sconosciuta 'soluzioni': forse intendevi 'soluzione'?"},
    };
    for (const Malformed& entry : table) {
        const ExerciseParse parse = parseExercise(std::string(entry.text) + "titolo = \"T\"\n" + cases);
        EXPECT_FALSE(parse.exercise.has_value()) << entry.text;
        EXPECT_EQ(parse.error.message, entry.message) << entry.text;
        EXPECT_EQ(parse.error.line, entry.line) << entry.text;
        EXPECT_EQ(parse.error.column, entry.column) << entry.text;
    }
}

// 'testo', the statement: any string, on several lines as TOML writes
// them, kept as it reads; anything else refused at the value.
TEST(ExerciseStatement, AStringOnAnyLinesIsKeptAndAnythingElseRefused) {
    const std::string cases = "titolo = \"T\"\n[[caso]]\nnome = \"a\"\nuscita = \"\"\n";
    struct Kept {
        std::string text;
        std::string statement;
    };
    const std::vector<Kept> kept = {
        {"", ""},
        {"testo = \"Leggi due cifre.\\nStampa la somma.\"\n", "Leggi due cifre.\nStampa la somma."},
        {"testo = \"\"\"\nLeggi due cifre:\n\tla prima,\n\tla seconda.\n\"\"\"\n", "Leggi due cifre:\n\tla prima,\n\tla seconda.\n"},
        // Between single quotes a backslash is the statement's own.
        {"testo = '''\nStampa \\n alla fine.'''\n", "Stampa \\n alla fine."},
        {"testo = \"" + std::string(MAX_STATEMENT_BYTES, 'x') + "\"\n", std::string(MAX_STATEMENT_BYTES, 'x')},
    };
    for (const Kept& entry : kept) EXPECT_EQ(parsed(entry.text + cases).statement, entry.statement) << entry.text;

    const std::string notAString =
        "'testo' deve essere una stringa: il testo dell'esercizio, anche su più righe tra tre virgolette (\"\"\")";
    const std::string control = "'testo' non può contenere caratteri di controllo, tranne l'a capo e la tabulazione";
    const std::vector<Malformed> refused = {
        {"testo = 3\n", 1, 9, notAString.c_str()},
        {"testo = { riga = \"uno\" }\n", 1, 9, notAString.c_str()},
        {"testo = [\"uno\", \"due\"]\n", 1, 9, notAString.c_str()},
        {"testo = \"\"\n", 1, 9, "'testo' non può essere vuoto"},
        {"testo = \"\"\"\n \t\n\"\"\"\n", 1, 9, "'testo' non può essere vuoto"},
        {"testo = \"uno\\rdue\"\n", 1, 9, control.c_str()},
        {"testo = \"\"\"\nuno\n\\u0007due\"\"\"\n", 1, 9, control.c_str()},
        {"testi = \"uno\"\n", 1, 1, "chiave sconosciuta 'testi': forse intendevi 'testo'?"},
    };
    for (const Malformed& entry : refused) {
        const ExerciseParse parse = parseExercise(entry.text + cases);
        EXPECT_FALSE(parse.exercise.has_value()) << entry.text;
        EXPECT_EQ(parse.error.message, entry.message) << entry.text;
        EXPECT_EQ(parse.error.line, entry.line) << entry.text;
        EXPECT_EQ(parse.error.column, entry.column) << entry.text;
    }
    const ExerciseParse tooLong = parseExercise("testo = \"" + std::string(MAX_STATEMENT_BYTES + 1, 'x') + "\"\n" + cases);
    EXPECT_EQ(tooLong.error.message, "'testo' ha 65537 byte: un testo può averne al massimo 65536");
    EXPECT_EQ(tooLong.error.line, 1);
}

TEST(ExerciseHostile, AtMostAThousandCases) {
    std::string text = "titolo = \"T\"\n";
    for (int i = 0; i < 1000; ++i) text += "[[caso]]\nnome = \"c" + std::to_string(i) + "\"\nuscita = \"\"\n";
    EXPECT_EQ(parsed(text).cases.size(), 1000u);
    text += "[[caso]]\nnome = \"oltre\"\nuscita = \"\"\n";
    const ExerciseParse parse = parseExercise(text);
    ASSERT_FALSE(parse.exercise.has_value());
    EXPECT_EQ(parse.error.message, "troppi casi: un esercizio ne può avere al massimo 1000");
    EXPECT_EQ(parse.error.line, 3002);
    EXPECT_EQ(parse.error.column, 1);
}

}  // namespace

TEST(ExerciseOutputs, AnOutputComparedWithoutBlanksMayBeLongerThanTheOutputKept) {
    const ExerciseParse parse = parseExercise(
        "titolo = \"T\"\nlimite_uscita = 5\n[[caso]]\nnome = \"uno\"\nconfronto = \"spazi\"\n"
        "uscita = \"ab  \\ncd\\t\\r\\n\\n \\n\"\n");
    ASSERT_TRUE(parse.exercise) << parse.error.message;
    EXPECT_EQ(parse.exercise->cases[0].output, "ab  \ncd\t\r\n\n \n");
}

namespace {

// A key of `parts` parts, "a.a.…a.b".
std::string dottedKey(std::size_t parts) {
    std::string key;
    for (std::size_t i = 1; i < parts; ++i) key += "a.";
    return key + "b";
}

const std::string TOO_DEEP =
    "troppi livelli uno dentro l'altro: tra parti di chiavi separate da punti, tabelle e array, un esercizio può "
    "scendere al massimo di 64 livelli";

}  // namespace

// Nesting deep enough to exhaust the stack of the TOML library is refused
// before the library sees it, at the place where it goes past the bound.
TEST(ExerciseHostile, DeepNestingIsRefusedAtItsPlace) {
    const std::size_t huge = 60000;  // a file of about 120 KB
    const struct {
        std::string text;
        std::int64_t line, column;
    } rows[] = {
        {dottedKey(huge) + " = 1\n", 1, 128},                     // the 64th dot
        {"titolo = \"T\"\n[" + dottedKey(huge) + "]\n", 2, 129},
        {"titolo = \"T\"\n[[" + dottedKey(huge) + "]]\n", 2, 128},  // each element one level down
        {"x = " + std::string(huge, '[') + "\n", 1, 68},
        {"x = [[[" + std::string(huge, '[') + std::string(huge + 3, ']') + "\n", 1, 68},
        [&] {
            std::string text = "x = ";
            for (std::size_t i = 0; i < huge / 3; ++i) text += "{x=";
            return decltype(rows[0]){text + "1\n", 1, 99};  // the key inside the 32nd brace
        }(),
        // Levels add up: a table's depth, its key's parts, the arrays.
        {"[" + dottedKey(40) + "]\n" + dottedKey(20) + " = [[[[[1]]]]]\n", 2, 47},
        {"x = [ { " + dottedKey(62) + " = 1 } ]\n", 1, 130},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text.substr(0, 80));
        const ExerciseParse parse = parseExercise(row.text);
        ASSERT_FALSE(parse.exercise.has_value());
        EXPECT_EQ(parse.error.message, TOO_DEEP);
        EXPECT_EQ(parse.error.line, row.line);
        EXPECT_EQ(parse.error.column, row.column);
    }
}

// Up to the bound the file goes on to the library, and what only looks
// deep (inside strings, comments and values) never counts.
TEST(ExerciseHostile, NestingUpToTheBoundAndWhatOnlyLooksDeepAreRead) {
    const std::string fine[] = {
        dottedKey(64) + " = 1\n",
        "[" + dottedKey(63) + "]\nb = 1\n",
        "[[" + dottedKey(62) + "]]\nb = 1\n",
        "x = " + std::string(63, '[') + std::string(63, ']') + "\n",
        "[" + dottedKey(40) + "]\n" + dottedKey(19) + " = [[[[1]]]]\n",
        "\"" + dottedKey(1000) + "\" = 1\n'" + dottedKey(1000) + "' = 2\n",  // quoted: one part
        "x = \"" + std::string(1000, '[') + "\"\n# " + std::string(1000, '{') + dottedKey(1000) + "\n",
        "x = \"\"\"\n" + std::string(1000, '[') + "\\\"\"\"\n\"\"\"\ny = '''" + std::string(1000, '{') + "'''\n",
        "x = [" + [] {
            std::string numbers;
            for (int i = 0; i < 1000; ++i) numbers += "1.5, 1979-05-27T07:32:00.999Z, ";
            return numbers;
        }() + "2.5]\n",
        "x = [1, [2, [3]], 4]\n" + dottedKey(64) + " = 1\n",  // closed arrays give their levels back
        "[[a]]\n[[a]]\n[" + dottedKey(64) + "]\n",
    };
    for (const std::string& text : fine) {
        SCOPED_TRACE(text.substr(0, 80));
        EXPECT_NE(parseExercise(text).error.message, TOO_DEEP);
    }
    // A valid exercise reaches its cases as before.
    const std::string exercise = "titolo = \"T\"\n[[caso]]\nnome = \"a.b.c\"\natteso.memoria = { \"0xC8\" = [5] }\n";
    EXPECT_EQ(parsed(exercise).cases.size(), 1u);
}

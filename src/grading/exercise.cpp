#include "grading/exercise.hpp"

#include "machine/instruction_set.hpp"
#include "assembly/instruction_forms.hpp"
#include "assembly/suggestions.hpp"

#include "grading/exercise_syntax.hpp"
#include "grading/exercise_values.hpp"
#include "grading/toml.hpp"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <optional>
#include <utility>

namespace tarn::grading {

double Exercise::totalPoints() const {
    double total = 0;
    for (const TestCase& testCase : cases) total += testCase.points;
    return total;
}

const TestCase* Exercise::findCase(std::string_view name) const {
    for (const TestCase& testCase : cases)
        if (testCase.name == name) return &testCase;
    return nullptr;
}

std::string_view registerName(unsigned address) {
    switch (address) {
        case 256: return "PC";
        case 257: return "IR";
        case 258: return "A";
        case 259: return "B";
        case 260: return "X";
        default: return "?";
    }
}

namespace {

using syntax::quote;
using namespace values;

// The bytes of a text that a comparison without blanks looks at: every line
// without its trailing blanks, and no line ends or empty lines at the end.
std::size_t bytesWithoutTrailingBlanks(std::string_view text) {
    std::size_t total = 0;
    std::size_t kept = 0;  // up to the end of the last line that is not empty
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        const bool last = end == std::string_view::npos;
        if (last) end = text.size();
        std::size_t length = end - start;
        while (length > 0 && (text[start + length - 1] == ' ' || text[start + length - 1] == '\t' ||
                              text[start + length - 1] == '\r'))
            --length;
        total += length;
        if (length > 0) kept = total;
        if (last) break;
        ++total;  // the line end, which counts only before more text
        start = end + 1;
    }
    return kept;
}

constexpr std::size_t MAX_CASES = 1000;
constexpr double MAX_POINTS = 1'000'000;

// The opcodes of `proibite`, by mnemonic in any case.
void parseForbidden(const toml::node& node, Exercise& exercise, Faults& faults) {
    const std::string shape = "'proibite' deve essere un array di nomi di istruzioni, come [\"MUL\", \"DIV\"]";
    const auto* array = node.as_array();
    if (array == nullptr) fail(node.source(), shape);
    for (const toml::node& element : *array) faults.attempt([&] {
        const auto* name = element.as_string();
        if (name == nullptr) fail(element.source(), shape);
        std::string upper = name->get();
        for (char& c : upper) c = upperCase(c);
        const Instruction* instruction = findInstruction(std::string_view(upper));
        if (instruction == nullptr) {
            std::string message = "istruzione sconosciuta " + quote(name->get()) + " in 'proibite'";
            // The nearest keyword may be a directive, which no program executes.
            if (const auto nearest = nearestKeyword(upper); nearest && findInstruction(*nearest) != nullptr)
                message += ": forse intendevi " + std::string(*nearest) + "?";
            fail(element.source(), message);
        }
        if (flowOf(*instruction) == Flow::Stops)
            fail(element.source(), std::string(instruction->mnemonic) +
                                       " non si può proibire: non viene mai eseguita, il programma si ferma quando la "
                                       "incontra");
        if (exercise.forbidden[instruction->opcode])
            fail(element.source(), std::string(instruction->mnemonic) + " compare due volte in 'proibite'");
        exercise.forbidden[instruction->opcode] = true;
        exercise.forbiddenNames.push_back(name->get());
    });
}

// What the cases of an exercise share while they are read.
struct CaseContext {
    std::string_view text;  // of the whole file
    std::vector<std::pair<std::string, std::uint32_t>> seen;  // name, line
    bool outputLimitRead = true;  // the exercise's 'limite_uscita', when given, was valid
};

// The text of 'ingresso' or 'uscita': between single quotes, where a
// backslash is only a backslash, "\n" is almost always meant as a line end,
// which would make every program fail; one that is meant so is written
// "\\n" between double quotes.
std::string textOf(const toml::node& value, const std::string& what, const CaseContext& context) {
    const auto* text = value.as_string();
    if (text == nullptr) fail(value.source(), what + " deve essere una stringa");
    const std::string& content = text->get();
    const std::size_t escape = content.find_first_of('\\');
    if (escape != std::string::npos && escape + 1 < content.size() &&
        std::string_view("ntr").find(content[escape + 1]) != std::string_view::npos &&
        syntax::literalStringAt(context.text, static_cast<std::int64_t>(value.source().begin.line),
                                static_cast<std::int64_t>(value.source().begin.column))) {
        const std::string sequence = content.substr(escape, 2);
        const std::string letter = sequence.substr(1);
        const std::string meaning = letter == "n" ? "un a capo" : letter == "t" ? "una tabulazione" : "un ritorno a capo";
        fail(value.source(), what + " è tra apici singoli, dove " + sequence + " è una barra rovesciata e una " +
                                 letter + ", non " + meaning + ": per " + meaning + " usa le virgolette doppie, \"" +
                                 sequence + "\"; per la barra e la " + letter + ", \"\\" + sequence + "\"");
    }
    return content;
}

// The statement: any text a student reads, on as many lines as it needs
// (a multi-line string between three quotes), within MAX_STATEMENT_BYTES.
// Tabs and line ends are its only control characters: the others have no
// place in a text meant to be read, and show as nothing or as garbage.
std::string statementOf(const toml::node& value) {
    const auto* text = value.as_string();
    if (text == nullptr)
        fail(value.source(), "'testo' deve essere una stringa: il testo dell'esercizio, anche su più righe tra tre "
                             "virgolette (\"\"\")");
    const std::string& content = text->get();
    if (content.find_first_not_of(" \t\n") == std::string::npos)
        fail(value.source(), "'testo' non può essere vuoto");
    if (content.size() > MAX_STATEMENT_BYTES)
        fail(value.source(), "'testo' ha " + std::to_string(content.size()) + " byte: un testo può averne al massimo " +
                                 std::to_string(MAX_STATEMENT_BYTES));
    if (std::any_of(content.begin(), content.end(),
                    [](char c) { return c != '\n' && c != '\t' && isControl(static_cast<unsigned char>(c)); }))
        fail(value.source(), "'testo' non può contenere caratteri di controllo, tranne l'a capo e la tabulazione");
    return content;
}

TestCase parseCase(const toml::node& node, std::size_t number, const Exercise& exercise, CaseContext& context,
                   Faults& faults) {
    const auto* table = node.as_table();
    if (table == nullptr) fail(node.source(), "ogni elemento di 'caso' deve essere una tabella: scrivi ogni caso sotto [[caso]]");

    const toml::node* nameNode = table->get("nome");
    const auto* nameValue = nameNode != nullptr ? nameNode->as_string() : nullptr;
    const bool nameShown = nameValue != nullptr && !nameValue->get().empty() && !hasControl(nameValue->get());
    const std::string in =
        nameShown ? " nel caso " + quote(nameValue->get()) : " nel caso numero " + std::to_string(number);
    const std::size_t faultsBefore = faults.count();
    checkKeys(*table,
              {"nome", "ingresso", "uscita", "confronto", "punti", "nascosto", "limite_istruzioni", "limite_uscita",
               "memoria", "atteso"},
              in, faults);
    const bool keysKnown = faults.count() == faultsBefore;

    TestCase testCase;
    faults.attempt([&] {
        if (nameNode == nullptr) fail(node.source(), "manca 'nome'" + in + ": ogni caso ha bisogno di un nome");
        if (nameValue == nullptr) fail(nameNode->source(), "'nome' deve essere una stringa");
        if (nameValue->get().empty()) fail(nameNode->source(), "'nome' non può essere vuoto");
        if (!nameShown) fail(nameNode->source(), "'nome' non può contenere caratteri di controllo, come un a capo");
        testCase.name = nameValue->get();
        for (const auto& [seen, line] : context.seen)
            if (seen == testCase.name)
                fail(nameNode->source(),
                     "c'è già un caso chiamato " + quote(seen) + ", alla riga " + std::to_string(line));
        context.seen.emplace_back(testCase.name, node.source().begin.line);
    });

    // A case whose name cannot be shown is told by its number.
    const std::string of = nameShown ? " del caso " + quote(nameValue->get()) : " del caso numero " + std::to_string(number);
    faults.attempt([&] {
        if (const toml::node* value = table->get("ingresso")) testCase.input = textOf(*value, "'ingresso'" + of, context);
    });
    const bool comparisonRead = faults.attempt([&] {
        if (const toml::node* value = table->get("confronto")) {
            const auto* text = value->as_string();
            if (text != nullptr && text->get() == "esatto") testCase.comparison = Comparison::Exact;
            else if (text != nullptr && text->get() == "spazi") testCase.comparison = Comparison::Blanks;
            else fail(value->source(), "'confronto'" + of + " deve essere \"esatto\" o \"spazi\"");
        }
    });
    faults.attempt([&] {
        if (const toml::node* value = table->get("punti")) {
            const std::string what = "'punti'" + of + " deve essere un numero da 0 a 1000000";
            double points = -1;
            if (const auto* integer = value->as_integer())
                points = static_cast<double>(integer->get());
            else if (const auto* real = value->as_floating_point())
                points = real->get();
            if (!std::isfinite(points) || points < 0 || points > MAX_POINTS) fail(value->source(), what);
            testCase.points = points;
        }
    });
    faults.attempt([&] {
        if (const toml::node* value = table->get("nascosto")) {
            const auto* flag = value->as_boolean();
            if (flag == nullptr) fail(value->source(), "'nascosto'" + of + " deve essere true o false");
            testCase.hidden = flag->get();
        }
    });
    testCase.instructionLimit = exercise.instructionLimit;
    faults.attempt([&] {
        if (const toml::node* value = table->get("limite_istruzioni"))
            testCase.instructionLimit = static_cast<std::uint64_t>(
                integerIn(*value, 1, static_cast<std::int64_t>(MAX_INSTRUCTION_LIMIT), "'limite_istruzioni'" + of));
    });
    testCase.outputLimit = exercise.outputLimit;
    const bool outputLimitRead = faults.attempt([&] {
        if (const toml::node* value = table->get("limite_uscita"))
            testCase.outputLimit = static_cast<std::size_t>(
                integerIn(*value, 0, static_cast<std::int64_t>(MAX_OUTPUT_LIMIT), "'limite_uscita'" + of));
    });
    const bool outputRead = faults.attempt([&] {
        if (const toml::node* value = table->get("uscita")) {
            testCase.output = textOf(*value, "'uscita'" + of, context);
            // An output longer than what a run keeps could never match: byte
            // for byte, or without the blanks that the comparison leaves out.
            // Measured only against a limit and a comparison that are known.
            if (!comparisonRead || !outputLimitRead ||
                (!context.outputLimitRead && table->get("limite_uscita") == nullptr))
                return;
            const std::size_t needed = testCase.comparison == Comparison::Exact
                                           ? testCase.output->size()
                                           : bytesWithoutTrailingBlanks(*testCase.output);
            if (needed > testCase.outputLimit)
                fail(value->source(), "'uscita'" + of + " ha " + std::to_string(needed) + " byte, ma 'limite_uscita' " +
                                          (testCase.outputLimit == 0
                                               ? std::string("è 0")
                                               : "ne tiene al massimo " + std::to_string(testCase.outputLimit)) +
                                          ": il caso non potrebbe mai passare");
        }
    });
    faults.attempt([&] {
        if (const toml::node* value = table->get("memoria"))
            testCase.memory = parseMemory(*value, "'memoria'" + of, faults);
    });
    const std::size_t faultsBeforeExpected = faults.count();
    faults.attempt([&] {
        if (const toml::node* value = table->get("atteso")) {
            const auto* expected = value->as_table();
            if (expected == nullptr)
                fail(value->source(), "'atteso'" + of + " deve essere una tabella con 'memoria', 'registri' o 'flag'");
            checkKeys(*expected, {"memoria", "registri", "flag"}, " in 'atteso'" + of, faults);
            faults.attempt([&] {
                if (const toml::node* part = expected->get("memoria"))
                    testCase.expectedMemory = parseMemory(*part, "'atteso.memoria'" + of, faults);
            });
            faults.attempt([&] {
                if (const toml::node* part = expected->get("registri"))
                    testCase.expectedRegisters = parseRegisters(*part, "'atteso.registri'" + of, faults);
            });
            faults.attempt([&] {
                if (const toml::node* part = expected->get("flag"))
                    testCase.expectedFlags = parseFlags(*part, "'atteso.flag'" + of, faults);
            });
        }
    });
    // Told with the case's other faults, unless one of them may be the
    // check it meant to have: an unknown (misspelt) key, or a faulty
    // 'uscita' or 'atteso'.
    const bool checksRead = keysKnown && outputRead && faults.count() == faultsBeforeExpected;
    if (checksRead && !testCase.output && testCase.expectedMemory.empty() && testCase.expectedRegisters.empty() &&
        testCase.expectedFlags == 0)
        fail(node.source(), (nameShown ? "il caso " + quote(nameValue->get()) : "il caso numero " + std::to_string(number)) +
                                " non controlla niente e passerebbe sempre: aggiungi 'uscita' o 'atteso'");
    return testCase;
}

Exercise parseDocument(const toml::table& root, std::string_view text, Faults& faults) {
    checkKeys(root,
              {"titolo", "testo", "soluzione", "limite_istruzioni", "limite_uscita", "proibite", "dimensione_massima", "caso"},
              "", faults);
    Exercise exercise;

    faults.attempt([&] {
        const toml::node* title = root.get("titolo");
        if (title == nullptr) {
            faults.add({0, 0, "manca 'titolo': ogni esercizio ha bisogno di un titolo"});
            return;
        }
        const auto* titleText = title->as_string();
        if (titleText == nullptr) fail(title->source(), "'titolo' deve essere una stringa");
        if (titleText->get().empty()) fail(title->source(), "'titolo' non può essere vuoto");
        if (hasControl(titleText->get()))
            fail(title->source(), "'titolo' non può contenere caratteri di controllo, come un a capo");
        exercise.title = titleText->get();
    });
    faults.attempt([&] {
        if (const toml::node* value = root.get("testo")) exercise.statement = statementOf(*value);
    });
    faults.attempt([&] {
        if (const toml::node* value = root.get("soluzione")) {
            const auto* path = value->as_string();
            if (path == nullptr)
                fail(value->source(), "'soluzione' deve essere una stringa: il percorso della soluzione, a partire "
                                      "dalla cartella dell'esercizio");
            if (path->get().empty()) fail(value->source(), "'soluzione' non può essere vuota");
            if (hasControl(path->get()))
                fail(value->source(), "'soluzione' non può contenere caratteri di controllo");
            exercise.solution = path->get();
        }
    });

    faults.attempt([&] {
        if (const toml::node* value = root.get("limite_istruzioni"))
            exercise.instructionLimit = static_cast<std::uint64_t>(
                integerIn(*value, 1, static_cast<std::int64_t>(MAX_INSTRUCTION_LIMIT), "'limite_istruzioni'"));
    });
    CaseContext context;
    context.text = text;
    context.outputLimitRead = faults.attempt([&] {
        if (const toml::node* value = root.get("limite_uscita"))
            exercise.outputLimit = static_cast<std::size_t>(
                integerIn(*value, 0, static_cast<std::int64_t>(MAX_OUTPUT_LIMIT), "'limite_uscita'"));
    });
    faults.attempt([&] {
        if (const toml::node* value = root.get("proibite")) parseForbidden(*value, exercise, faults);
    });
    faults.attempt([&] {
        if (const toml::node* value = root.get("dimensione_massima"))
            exercise.maximumSize = static_cast<std::size_t>(integerIn(*value, 1, 256, "'dimensione_massima'"));
    });

    faults.attempt([&] {
        const toml::node* cases = root.get("caso");
        if (cases == nullptr) {
            faults.add({0, 0, "l'esercizio non ha casi: aggiungine almeno uno sotto [[caso]]"});
            return;
        }
        const auto* array = cases->as_array();
        if (array == nullptr)
            fail(cases->source(), "'caso' deve essere un array di tabelle: scrivi ogni caso sotto [[caso]]");
        if (array->empty()) fail(cases->source(), "l'esercizio non ha casi: aggiungine almeno uno sotto [[caso]]");
        if (array->size() > MAX_CASES)
            faults.add(errorAt((*array)[MAX_CASES].source(),
                               "troppi casi: un esercizio ne può avere al massimo " + std::to_string(MAX_CASES)));
        for (std::size_t i = 0; i < std::min(array->size(), MAX_CASES); ++i)
            faults.attempt(
                [&] { exercise.cases.push_back(parseCase((*array)[i], i + 1, exercise, context, faults)); });
    });
    return exercise;
}

}  // namespace

namespace {

// A parse that failed on one fault, which stops the reading.
ExerciseParse failedOn(ExerciseError error) {
    ExerciseParse parse;
    parse.error = error;
    parse.errors.push_back(std::move(error));
    return parse;
}

}  // namespace

ExerciseParse parseExercise(std::string_view text) {
    if (text.size() > MAX_EXERCISE_BYTES)
        return failedOn({0, 0, "il file è troppo lungo: un esercizio può avere al massimo " +
                                   std::to_string(MAX_EXERCISE_BYTES) + " byte"});
    if (const auto deep = syntax::firstTooDeep(text))
        return failedOn(syntax::withinText(
            text, syntax::placeOf(text, *deep,
                                  "troppi livelli uno dentro l'altro: tra parti di chiavi separate da punti, tabelle "
                                  "e array, un esercizio può scendere al massimo di " +
                                      std::to_string(MAX_EXERCISE_NESTING) + " livelli")));
    toml::table root;
    try {
        root = toml::parse(text);
    } catch (const toml::parse_error& error) {
        const auto line = static_cast<std::int64_t>(error.source().begin.line);
        const auto column = static_cast<std::int64_t>(error.source().begin.column);
        return failedOn(syntax::withinText(
            text, {line, column, syntax::syntaxErrorMessage(error.description(), text, line, column)}));
    }
    Faults faults;
    Exercise exercise = parseDocument(root, text, faults);
    ExerciseParse parse;
    if (faults.count() == 0) {
        parse.exercise = std::move(exercise);
        return parse;
    }
    parse.errors = std::move(faults.kept());
    parse.error = parse.errors.front();
    parse.moreErrors = faults.count() - parse.errors.size();
    return parse;
}

std::string formatExerciseError(const std::string& file, const ExerciseError& error) {
    if (error.line <= 0) return file + ": errore: " + error.message;
    return file + ":" + std::to_string(error.line) + ":" + std::to_string(error.column) + ": errore: " + error.message;
}

std::vector<std::string> formatExerciseErrors(const std::string& file, const ExerciseParse& parse) {
    std::vector<std::string> lines;
    for (const ExerciseError& error : parse.errors) lines.push_back(formatExerciseError(file, error));
    if (parse.moreErrors == 1) lines.push_back(file + ": un altro errore non mostrato");
    else if (parse.moreErrors > 1) lines.push_back(file + ": altri " + std::to_string(parse.moreErrors) + " errori non mostrati");
    return lines;
}

}  // namespace tarn::grading

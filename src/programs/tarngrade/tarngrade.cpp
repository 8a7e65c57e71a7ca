// tarngrade: grades a class's programs on the cases of an exercise.
//
//     tarngrade ESERCIZIO CONSEGNA... [-j N] [--json F] [--junit F] [--csv F]
//               [--xlsx F] [--gradescope F] [--github-classroom F]
//               [--prairielearn F] [--caso NOME] [--somiglianze
//               [--scheletro F]] [--sintesi] [--docente] [--vpl | --coderunner]
//     tarngrade --verifica ESERCIZIO [-j N]
//
// Exit status: 0 when every case of every submission passed, 1 when any
// failed, 2 when the command line is wrong, a file cannot be read or
// written, or memory runs out.
#include "grading/classroom_reports.hpp"
#include "grading/exercise.hpp"
#include "grading/grader.hpp"
#include "grading/report_files.hpp"
#include "programs/tarngrade/edition.hpp"
#include "programs/tarngrade/junit_report.hpp"
#include "programs/tarngrade/platform_reports.hpp"
#include "programs/tarngrade/progress.hpp"
#include "programs/tarngrade/xlsx_report.hpp"
#include "programs/tarngrade/verify.hpp"
#include "grading/report_text.hpp"
#include "grading/similarity.hpp"
#include "host/submissions.hpp"
#include "assembly/assembler.hpp"
#include "assembly/suggestions.hpp"
#include "host/descriptors.hpp"
#include "host/files.hpp"
#include "programs/entry.hpp"
#include "text/command_line.hpp"
#include "text/file_names.hpp"
#include "text/utf8.hpp"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace {

using namespace tarn::grading;

constexpr const char* USAGE_LINE =
    "uso: tarngrade ESERCIZIO CONSEGNA... [-j N] [--json F] [--junit F] [--csv F] [--xlsx F] [--gradescope F] "
    "[--github-classroom F] [--prairielearn F] [--caso NOME] [--somiglianze [--scheletro F]] [--sintesi] [--docente] "
    "[--vpl | --coderunner], oppure tarngrade --verifica ESERCIZIO";

constexpr const char* HELP =
    "Uso: tarngrade ESERCIZIO CONSEGNA... [opzioni]\n"
    "     tarngrade --verifica ESERCIZIO\n"
    "Valuta i programmi di una classe sui casi di un esercizio.\n"
    "\n"
    "ESERCIZIO è un file TOML con i casi; ogni CONSEGNA è un sorgente .asm, un'immagine\n"
    ".bin o una cartella che ne contiene uno, col nome dello studente.\n"
    "\n"
    "  -j N              esegue N casi alla volta (altrimenti: uno per core)\n"
    "  --json F          scrive in F il rapporto completo in JSON\n"
    "  --junit F         scrive in F il rapporto JUnit XML, una testsuite per studente\n"
    "  --csv F           scrive in F il registro dei voti: una riga per studente\n"
    "  --xlsx F          scrive in F il registro dei voti come cartella di lavoro Excel\n"
    "  --gradescope F    scrive in F il results.json di Gradescope (una sola consegna)\n"
    "  --github-classroom F\n"
    "                    scrive in F i risultati per GitHub Classroom (una sola consegna)\n"
    "  --prairielearn F  scrive in F il results.json di PrairieLearn (una sola consegna)\n"
    "  --caso NOME       mostra per intero il caso NOME di una sola consegna\n"
    "  --somiglianze     elenca anche le coppie di consegne più simili\n"
    "  --scheletro F     con --somiglianze: il codice dato a tutti, che non conta\n"
    "  --sintesi         una riga per studente e il riepilogo, al posto del rapporto\n"
    "  --docente         mostra per intero anche i casi nascosti (solo per il docente)\n"
    "  --vpl             il voto e i commenti per VPL di Moodle (una sola consegna)\n"
    "  --coderunner      il JSON per una domanda CodeRunner (una sola consegna)\n"
    "  --verifica        controlla l'esercizio e prova la sua soluzione su tutti i casi\n"
    "  -h, --help        mostra questo aiuto ed esce\n"
    "  --version         mostra la versione ed esce\n"
    "\n"
    "Il rapporto va sullo standard output, a colori su un terminale (non con NO_COLOR).\n"
    "Stato di uscita: 0 tutti i casi superati, 1 qualche caso non superato,\n"
    "2 errori di uso o di file.\n";

constexpr unsigned MAX_JOBS = 256;

struct Options {
    std::string exercise;
    std::vector<std::string> submissions;
    unsigned jobs = 0;
    std::string json, junit, csv, xlsx, gradescope;
    std::string githubClassroom, prairieLearn;  // one submission each, as Gradescope
    std::optional<std::string> replayCase;
    bool similarities = false;
    std::string skeleton;   // --scheletro: the starter code every student received
    bool summary = false;   // --sintesi
    bool teacher = false;   // --docente: hidden cases in full
    bool verify = false;    // --verifica: the exercise alone, and its solution
    bool vpl = false;         // --vpl: VPL's evaluation output instead of the report
    bool coderunner = false;  // --coderunner: CodeRunner's JSON instead of the report
    bool help = false;
};

int usageError(const std::string& message) {
    tarn::printError("tarngrade: " + message + " (" + USAGE_LINE + ")");
    return 2;
}

int fileError(const std::string& message) {
    tarn::printError("tarngrade: " + message);
    return 2;
}

// The spellings of the options, for suggestions.
constexpr std::string_view OPTIONS[] = {"-j",        "--json",    "--junit",   "--csv",      "--xlsx",
                                        "--gradescope", "--github-classroom", "--prairielearn", "--caso", "--somiglianze", "--scheletro", "--sintesi",
                                        "--docente", "--verifica", "--vpl", "--coderunner", "-h",        "--help",     "--version"};

// An unknown option, with the known one it resembles.
int unknownOption(std::string_view argument) {
    return usageError(tarn::unknownOptionMessage(argument, {std::begin(OPTIONS), std::end(OPTIONS)}));
}

// An option's value: the rest of "-jN" or "--json=F", or the next argument
// (separate). Nothing when there is none.
struct OptionValue {
    std::optional<std::string> value;
    bool separate = false;
};

OptionValue optionValue(std::string_view argument, std::string_view option, int& index, int argc, char** argv) {
    if (argument.size() > option.size()) {
        std::string_view rest = argument.substr(option.size());
        if (rest.front() == '=') rest.remove_prefix(1);
        return {std::string(rest), false};
    }
    if (index + 1 >= argc) return {};
    return {std::string(argv[++index]), true};
}

// Whether a separate value looks like an option: "--json --somiglianze" is a
// slip, not a file named "--somiglianze".
bool looksLikeOption(const OptionValue& value) {
    return value.separate && value.value && value.value->starts_with('-');
}

// Whether an argument is the option, alone or with its value attached
// ("--json=F"; "-jN" and "-j=N" with a number).
bool isOption(std::string_view argument, std::string_view option) {
    if (!argument.starts_with(option)) return false;
    if (argument.size() == option.size()) return true;
    const char next = argument[option.size()];
    return next == '=' || (option == "-j" && next >= '0' && next <= '9');
}

std::optional<int> parseOptions(int argc, char** argv, Options& options) {
    bool positionalOnly = false;
    std::vector<std::string_view> seen;
    // Each option once: a second one is an error, not a silent choice.
    const auto once = [&](std::string_view option) {
        if (std::find(seen.begin(), seen.end(), option) != seen.end())
            return std::optional<int>(usageError("l'opzione " + std::string(option) + " è ripetuta"));
        seen.push_back(option);
        return std::optional<int>();
    };
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (positionalOnly || argument.size() < 2 || argument[0] != '-') {
            if (argument.empty()) return usageError("un argomento è vuoto");
            if (options.exercise.empty()) options.exercise = argument;
            else options.submissions.emplace_back(argument);
            continue;
        }
        if (argument == "--") {
            positionalOnly = true;
        } else if (argument == "-h" || argument == "--help") {
            options.help = true;
        } else if (argument == "--somiglianze" || argument == "--sintesi" || argument == "--docente" ||
                   argument == "--verifica" || argument == "--vpl" || argument == "--coderunner") {
            if (const std::optional<int> failed = once(argument)) return failed;
            bool& flag = argument == "--somiglianze" ? options.similarities
                         : argument == "--sintesi"   ? options.summary
                         : argument == "--docente"   ? options.teacher
                         : argument == "--vpl"       ? options.vpl
                         : argument == "--coderunner" ? options.coderunner
                                                     : options.verify;
            flag = true;
        } else if (isOption(argument, "-j")) {
            const std::optional<std::string> value = optionValue(argument, "-j", index, argc, argv).value;
            unsigned jobs = 0;
            const char* end = value ? value->data() + value->size() : nullptr;
            if (!value || value->empty() || std::from_chars(value->data(), end, jobs).ptr != end || jobs == 0 ||
                jobs > MAX_JOBS)
                return usageError("l'opzione -j vuole un numero da 1 a " + std::to_string(MAX_JOBS));
            if (const std::optional<int> failed = once("-j")) return failed;
            options.jobs = jobs;
        } else if (isOption(argument, "--caso")) {
            const OptionValue value = optionValue(argument, "--caso", index, argc, argv);
            if (!value.value) return usageError("l'opzione --caso vuole il nome di un caso");
            if (looksLikeOption(value))
                return usageError(tarn::optionLikeValueMessage("--caso", "il nome di un caso", "un caso", *value.value,
                                                               "--caso=" + *value.value));
            if (const std::optional<int> failed = once("--caso")) return failed;
            options.replayCase = *value.value;
        } else {
            bool known = false;
            for (auto [name, target] : {std::pair{"--json", &options.json}, std::pair{"--junit", &options.junit},
                                        std::pair{"--csv", &options.csv}, std::pair{"--xlsx", &options.xlsx},
                                        std::pair{"--gradescope", &options.gradescope},
                                        std::pair{"--github-classroom", &options.githubClassroom},
                                        std::pair{"--prairielearn", &options.prairieLearn},
                                        std::pair{"--scheletro", &options.skeleton}}) {
                if (!isOption(argument, name)) continue;
                known = true;
                const std::string option = name;
                const OptionValue value = optionValue(argument, name, index, argc, argv);
                if (!value.value || value.value->empty())
                    return usageError("l'opzione " + option + " vuole un nome di file");
                if (looksLikeOption(value))
                    return usageError(tarn::optionLikeValueMessage(option, "un nome di file", "un file",
                                                                   *value.value, "./" + *value.value));
                if (const std::optional<int> failed = once(name)) return failed;
                *target = *value.value;
            }
            if (!known) return unknownOption(argument);
        }
    }
    return std::nullopt;
}

// Colour on a terminal, unless NO_COLOR is set to anything or the terminal
// cannot show it.
bool wantsColour() {
    const char* noColour = std::getenv("NO_COLOR");
    if (noColour != nullptr && noColour[0] != '\0') return false;
    const char* term = std::getenv("TERM");
    if (term == nullptr || std::string_view(term) == "dumb") return false;
    return tarn::isTerminal(1);
}

// The report files asked for, with their option names.
struct ReportFile {
    std::string option;
    std::string path;
};

std::vector<ReportFile> reportFiles(const Options& options) {
    std::vector<ReportFile> files;
    for (auto [option, path] : {std::pair{"--json", &options.json}, std::pair{"--junit", &options.junit},
                                std::pair{"--csv", &options.csv}, std::pair{"--xlsx", &options.xlsx},
                                std::pair{"--gradescope", &options.gradescope},
                                std::pair{"--github-classroom", &options.githubClassroom},
                                std::pair{"--prairielearn", &options.prairieLearn}})
        if (!path->empty()) files.push_back({option, *path});
    return files;
}

// A report must never take the place of what it reports on, nor of the
// solution the exercise names, nor of another, nor of a file that a student
// handed in.
std::optional<int> checkReportPaths(const Options& options, const Exercise& exercise,
                                    const std::vector<Submission>& submissions) {
    const std::vector<ReportFile> files = reportFiles(options);
    // The solution where --verifica looks for it, and beside the file that
    // an exercise given as a link leads to.
    std::vector<std::string> solutions;
    if (!exercise.solution.empty()) {
        solutions.push_back(solutionPath(options.exercise, exercise.solution));
        if (std::optional<std::string> beside = solutionBesideLinkTarget(options.exercise, exercise.solution))
            solutions.push_back(std::move(*beside));
    }
    for (std::size_t index = 0; index < files.size(); ++index) {
        const ReportFile& file = files[index];
        const std::string report = "il rapporto " + file.option + " " + tarn::quotedName(file.path);
        if (tarn::sameFile(file.path, options.exercise))
            return usageError(report + " prenderebbe il posto dell'esercizio");
        for (const std::string& solution : solutions) {
            if (tarn::sameFile(file.path, solution))
                return usageError(report + " prenderebbe il posto della soluzione indicata dall'esercizio, " +
                                  tarn::quotedName(solution));
            if (replacesFileInFolder(file.path, solution))
                return usageError(report + " prenderebbe il posto di un file della soluzione indicata dall'esercizio, " +
                                  tarn::quotedName(solution));
        }
        for (const Submission& submission : submissions) {
            if (tarn::sameFile(file.path, submission.argument) ||
                (!submission.program.empty() && tarn::sameFile(file.path, submission.program)))
                return usageError(report + " prenderebbe il posto della consegna " + tarn::quotedName(submission.argument));
            if (replacesSubmissionFile(file.path, submission))
                return usageError(report + " prenderebbe il posto di un file della consegna " +
                                  tarn::quotedName(submission.argument));
        }
        if (!options.skeleton.empty() && tarn::sameFile(file.path, options.skeleton))
            return usageError(report + " prenderebbe il posto dello scheletro");
        for (std::size_t other = 0; other < index; ++other)
            if (tarn::sameFile(file.path, files[other].path))
                return usageError("i rapporti " + files[other].option + " e " + file.option +
                                  " non possono essere lo stesso file");
    }
    return std::nullopt;
}

// --scheletro: the code every student received, a source assembled or an
// image read as a submission's is. Its instruction sequence, or the status
// to end with.
std::optional<int> readSkeleton(const std::string& path, std::vector<tarn::Byte>& sequence) {
    const std::string name = tarn::quotedName(path);
    const bool source = tarn::hasExtension(path, ".asm");
    if (!source && !tarn::hasExtension(path, ".bin"))
        return fileError("lo scheletro " + name + " dev'essere un sorgente .asm o un'immagine .bin");
    std::string text;
    std::string reason;
    bool notRegular = false;
    if (!tarn::readRegularFile(path, text, reason, tarn::MAX_SOURCE_BYTES, notRegular))
        return fileError(notRegular ? "lo scheletro " + name + " non è un file regolare"
                                    : "impossibile leggere lo scheletro " + name + ": " + reason);
    if (source && text.size() > tarn::MAX_SOURCE_BYTES)
        return fileError("lo scheletro " + name + " supera il limite di " + std::to_string(tarn::MAX_SOURCE_BYTES) +
                         " byte di un sorgente");
    Submission skeleton;
    skeleton.argument = skeleton.program = path;
    if (source) {
        assembleSubmission(skeleton, text);
        if (!skeleton.runnable()) {
            // The assembler's first error, at its position, is the one to fix;
            // any other problem is tarngrade's to tell.
            const std::string& problem = skeleton.problems.front();
            tarn::printError(problem.starts_with(path + ":") ? problem : "tarngrade: " + tarn::visibleName(problem));
            return 2;
        }
    } else {
        skeleton.image.assign(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(text.size(), 256)));
    }
    sequence = instructionSequence(skeleton.image);
    return std::nullopt;
}

int replay(const Options& options, const Exercise& exercise, const Submission& submission, bool colour) {
    const TestCase* testCase = exercise.findCase(*options.replayCase);
    const TestCase& chosen = *testCase;
    if (!submission.runnable()) {
        std::string text;
        text += "La consegna " + tarn::quotedName(submission.argument) + " non si può eseguire:\n";
        for (const std::string& problem : submission.problems) text += "  " + tarn::visibleName(problem) + "\n";
        const int status = tarn::printStandardOutput("tarngrade", text);
        return status != 0 ? status : 1;
    }
    const CaseRun run = runCase(exercise, chosen, submission);
    ReportStyle style{colour};
    style.teacher = options.teacher;
    const int status = tarn::printStandardOutput("tarngrade", formatReplay(exercise, submission, chosen, run, style));
    if (status != 0) return status;
    return run.result.passed ? 0 : 1;
}

// --verifica: the exercise checked alone, then its solution run on every
// case, hidden ones included.
int verifyExercise(const Options& options) {
    return tarn::grading::verifyExercise(options.exercise, options.jobs, wantsColour());
}

int gradeCommand(int argc, char** argv) {
    if (tarn::asksForVersion(argc, argv)) return tarn::printStandardOutput("tarngrade", tarn::versionLine("tarngrade"));
    Options options;
    if (const std::optional<int> failed = parseOptions(argc, argv, options)) return *failed;
    if (options.help) return tarn::printStandardOutput("tarngrade", HELP);
    if (!options.junit.empty() && !junitAvailable())
        return fileError("--junit non è disponibile " + std::string(editionPlace()) +
                         ": usa --json, --csv o --gradescope");
    if (!options.xlsx.empty() && !xlsxAvailable())
        return fileError("--xlsx non è disponibile " + std::string(editionPlace()) +
                         ": usa --csv, che ogni foglio di calcolo apre");
    if (options.exercise.empty()) return usageError("manca il file dell'esercizio");
    if (options.verify) {
        if (!options.submissions.empty())
            return usageError("l'opzione --verifica controlla solo l'esercizio: non vuole consegne");
        if (!reportFiles(options).empty() || options.replayCase || options.similarities || options.summary ||
            !options.skeleton.empty() || options.vpl || options.coderunner)
            return usageError("l'opzione --verifica non si combina con i rapporti, --caso, --somiglianze o --sintesi");
        return verifyExercise(options);
    }
    if (options.submissions.empty()) return usageError("manca almeno una consegna");
    if (!options.skeleton.empty() && !options.similarities)
        return usageError("l'opzione --scheletro serve solo con --somiglianze");
    if (options.replayCase) {
        if (options.submissions.size() != 1)
            return usageError("l'opzione --caso mostra il caso di una sola consegna, ma ne sono date " +
                              std::to_string(options.submissions.size()));
        if (!reportFiles(options).empty() || options.similarities || options.summary)
            return usageError("l'opzione --caso non si combina con i rapporti, --somiglianze o --sintesi");
    }
    // The platforms that grade one submission at a time.
    for (auto [asked, option, platform] :
         {std::tuple{!options.gradescope.empty(), "--gradescope", "Gradescope"},
          std::tuple{!options.githubClassroom.empty(), "--github-classroom", "GitHub Classroom"},
          std::tuple{!options.prairieLearn.empty(), "--prairielearn", "PrairieLearn"},
          std::tuple{options.vpl, "--vpl", "VPL"}, std::tuple{options.coderunner, "--coderunner", "CodeRunner"}})
        if (asked && options.submissions.size() != 1)
            return usageError(std::string(platform) + " valuta una consegna alla volta: " + option +
                              " ne vuole una sola, ma ne sono date " + std::to_string(options.submissions.size()));
    // --vpl and --coderunner write for the student on standard output, in
    // place of the report.
    if (options.vpl && options.coderunner)
        return usageError("le opzioni --vpl e --coderunner non si combinano: ognuna scrive sullo standard output");
    if ((options.vpl || options.coderunner) &&
        (options.replayCase || options.similarities || options.summary || options.teacher))
        return usageError(std::string("l'opzione ") + (options.vpl ? "--vpl" : "--coderunner") +
                          " scrive per lo studente al posto del rapporto: non si combina con --caso, "
                          "--somiglianze, --sintesi o --docente");

    std::string text;
    std::string reason;
    if (!tarn::readFile(options.exercise, text, reason, MAX_EXERCISE_BYTES))
        return fileError("impossibile leggere l'esercizio " + tarn::quotedName(options.exercise) + ": " + reason);
    if (text.size() > MAX_EXERCISE_BYTES)
        return fileError("l'esercizio " + tarn::quotedName(options.exercise) + " supera il limite di " +
                         std::to_string(MAX_EXERCISE_BYTES) + " byte");
    ExerciseParse parse = parseExercise(text);
    if (!parse.exercise) {
        for (const std::string& line : formatExerciseErrors(tarn::visibleName(options.exercise), parse))
            tarn::printError(line);
        return 2;
    }
    const Exercise& exercise = *parse.exercise;

    if (options.replayCase && exercise.findCase(*options.replayCase) == nullptr) {
        std::vector<std::string_view> names;
        for (const TestCase& testCase : exercise.cases) names.push_back(testCase.name);
        std::string message = "l'esercizio non ha un caso " + tarn::quotedName(*options.replayCase);
        if (const std::optional<std::string> near = tarn::similarName(*options.replayCase, names))
            message += ": forse intendevi " + tarn::quotedName(*near) + "?";
        return fileError(message);
    }
    if (options.replayCase && exercise.findCase(*options.replayCase)->hidden && !options.teacher)
        return fileError("il caso " + tarn::quotedName(*options.replayCase) +
                         " è nascosto: se ne vede solo l'esito (il docente lo vede per intero con --docente)");

    // A platform's one submission, or that of a replay, is one student's
    // whatever it holds; a platform's is often a folder that an archive
    // unpacked, and its program is looked for below it too.
    const bool platform = !options.gradescope.empty() || !options.githubClassroom.empty() ||
                          !options.prairieLearn.empty() || options.vpl || options.coderunner;
    const bool oneStudent = platform || options.replayCase.has_value();
    SubmissionSet gathered = gatherSubmissions(options.submissions, exercise, oneStudent,
                                               platform ? ProgramSearch::Below : ProgramSearch::Folder);
    for (const std::string& warning : gathered.warnings) tarn::printError("tarngrade: " + warning);
    if (!gathered.error.empty()) return fileError(gathered.error);
    std::vector<Submission> submissions = std::move(gathered.submissions);
    if (const std::optional<int> failed = checkReportPaths(options, exercise, submissions)) return *failed;
    std::vector<tarn::Byte> skeleton;
    if (!options.skeleton.empty())
        if (const std::optional<int> failed = readSkeleton(options.skeleton, skeleton)) return *failed;

    const bool colour = wantsColour();
    if (options.replayCase) return replay(options, exercise, submissions.front(), colour);

    const std::time_t gradedAt = std::time(nullptr);
    ProgressLine progress(tarn::isTerminal(2) && !options.vpl && !options.coderunner);
    const std::vector<SubmissionResult> results =
        gradeClass(exercise, std::move(submissions), options.jobs,
                   [&progress](const GradingCount& count) { progress.update(count); });
    progress.clear();
    std::optional<Similarities> similar;
    if (options.similarities) similar = options.skeleton.empty() ? similarPairs(results) : similarPairs(results, skeleton);
    const Similarities* similarShown = similar ? &*similar : nullptr;

    std::vector<tarn::OutputFile> outputs;
    for (const ReportFile& file : reportFiles(options)) {
        std::string content;
        if (file.option == "--json") content = jsonReport(exercise, options.exercise, results, similarShown);
        else if (file.option == "--junit") content = junitReport(exercise, options.exercise, results);
        else if (file.option == "--csv") content = csvReport(exercise, results);
        else if (file.option == "--xlsx") {
            XlsxReport workbook = xlsxReport(exercise, options.exercise, results, gradedAt);
            if (!workbook.made)
                return fileError("impossibile scrivere il rapporto " + tarn::quotedName(file.path) + ": " +
                                 workbook.reason);
            content = std::move(workbook.content);
        }
        else if (file.option == "--github-classroom")
            content = githubClassroomReport(exercise, options.exercise, results.front());
        else if (file.option == "--prairielearn")
            content = prairieLearnReport(exercise, options.exercise, results.front());
        else content = gradescopeReport(exercise, options.exercise, results.front());
        outputs.push_back({file.path, std::move(content)});
    }
    tarn::OutputFailure failure;
    if (!outputs.empty() && !tarn::writeOutputs(outputs, failure)) {
        tarn::printError("tarngrade: impossibile scrivere il rapporto " + tarn::quotedName(outputs[failure.index].path) +
                         ": " + failure.reason);
        if (!failure.notRestored.empty())
            tarn::printError("tarngrade: " + tarn::quotedName(failure.notRestored) +
                             " era già stato sostituito e non è stato possibile ripristinarlo");
        return 2;
    }
    if (options.vpl) return printVplReport(exercise, options.exercise, results.front());
    if (options.coderunner) return printCoderunnerReport(exercise, options.exercise, results.front(), gathered.warnings);
    ReportStyle style{colour};
    style.teacher = options.teacher;
    const int status = tarn::printStandardOutput(
        "tarngrade", options.summary ? formatClassSummary(exercise, options.exercise, results, similarShown, style)
                                     : formatClassReport(exercise, options.exercise, results, similarShown, style));
    if (status != 0) return status;
    for (const SubmissionResult& result : results)
        if (!result.allPassed()) return 1;
    return 0;
}

// Under --coderunner nothing goes to standard error: an error is the JSON
// object that the question shows.
int grade(int argc, char** argv) {
    return asksForCoderunner(argc, argv) ? runForCoderunner(gradeCommand, argc, argv) : gradeCommand(argc, argv);
}

}  // namespace

int programMain(int argc, char** argv) {
    return tarn::runTool("tarngrade", grade, argc, argv);
}

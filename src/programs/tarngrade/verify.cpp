#include "programs/tarngrade/verify.hpp"

#include "programs/tarngrade/progress.hpp"

#include "grading/exercise.hpp"
#include "grading/grader.hpp"
#include "grading/report_text.hpp"
#include "grading/wording.hpp"
#include "host/descriptors.hpp"
#include "host/files.hpp"
#include "host/path_text.hpp"
#include "host/submission_files.hpp"
#include "host/submissions.hpp"
#include "text/utf8.hpp"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarn::grading {

namespace {

int fileError(const std::string& message) {
    tarn::printError("tarngrade: " + message);
    return 2;
}

// Why a solution that cannot be read may be missing: the exercise is a link,
// and the solution was looked for beside the link, not beside its target.
std::string linkNote(const std::string& exerciseArgument, const std::string& solution) {
    const std::optional<std::string> beside = solutionBesideLinkTarget(exerciseArgument, solution);
    if (!beside) return "";
    const std::string parent = tarn::textOf(tarn::pathOf(exerciseArgument).parent_path());
    std::string note = "; l'esercizio è un collegamento simbolico, e 'soluzione' si cerca dalla cartella del "
                       "collegamento, " + tarn::quotedName(files::resolved(parent.empty() ? "." : parent)) +
                       ", non da quella del file a cui porta, " +
                       tarn::quotedName(tarn::textOf(tarn::pathOf(*beside).parent_path()));
    files::Kind kind{};
    std::string reason;
    if (files::kindOf(*beside, kind, reason)) note += ", dove la soluzione c'è";
    return note;
}

// "Esercizio «T» (F): 5 casi, di cui 2 nascosti, 10 punti."
std::string exerciseLine(const Exercise& exercise, const std::string& exerciseArgument) {
    const auto hidden = static_cast<std::uint64_t>(
        std::count_if(exercise.cases.begin(), exercise.cases.end(), [](const TestCase& c) { return c.hidden; }));
    const double points = exercise.totalPoints();
    std::string line = "Esercizio «" + tarn::visibleName(exercise.title) + "» (" + tarn::visibleName(exerciseArgument) +
                       "): " + counted(exercise.cases.size(), "caso", "casi");
    if (hidden > 0) line += ", di cui " + counted(hidden, "nascosto", "nascosti");
    return line + ", " + formatPoints(points) + (points == 1 ? " punto" : " punti") + ".\n";
}

// The failing cases of the solution in full, the hidden ones too: the
// teacher reads them, never a student.
std::string failingCases(const Exercise& exercise, const std::string& exerciseArgument,
                         const SubmissionResult& result, bool colour) {
    Exercise shown = exercise;
    for (TestCase& testCase : shown.cases)
        if (testCase.hidden) {
            testCase.hidden = false;
            testCase.name += " (nascosto)";
        }
    std::string out;
    for (std::size_t index = 0; index < exercise.cases.size(); ++index) {
        if (index >= result.cases.size() || result.cases[index].passed) continue;
        // A hidden case has no command that replays it.
        out += formatCaseDetails(shown, exerciseArgument, result, index,
                                 ReportStyle{colour, !exercise.cases[index].hidden});
    }
    return out;
}

}  // namespace

std::string solutionPath(const std::string& exerciseArgument, const std::string& solution) {
    const std::filesystem::path named = tarn::pathOf(solution);
    if (named.has_root_path()) return solution;
    return tarn::textOf(tarn::pathOf(exerciseArgument).parent_path() / named);
}

std::optional<std::string> solutionBesideLinkTarget(const std::string& exerciseArgument, const std::string& solution) {
    if (tarn::pathOf(solution).has_root_path()) return std::nullopt;
    const std::string target = files::resolved(exerciseArgument);
    const std::string parent = tarn::textOf(tarn::pathOf(exerciseArgument).parent_path());
    const std::string folder = files::resolved(parent.empty() ? "." : parent);
    if (target.empty() || folder.empty()) return std::nullopt;
    const std::filesystem::path targetFolder = tarn::pathOf(target).parent_path();
    if (targetFolder == tarn::pathOf(folder)) return std::nullopt;
    return tarn::textOf(targetFolder / tarn::pathOf(solution));
}

int verifyExercise(const std::string& exerciseArgument, unsigned jobs, bool colour) {
    const std::string shownExercise = tarn::visibleName(exerciseArgument);
    std::string text;
    std::string reason;
    if (!tarn::readFile(exerciseArgument, text, reason, MAX_EXERCISE_BYTES))
        return fileError("impossibile leggere l'esercizio " + tarn::quotedName(exerciseArgument) + ": " + reason);
    if (text.size() > MAX_EXERCISE_BYTES)
        return fileError("l'esercizio " + tarn::quotedName(exerciseArgument) + " supera il limite di " +
                         std::to_string(MAX_EXERCISE_BYTES) + " byte");
    const ExerciseParse parse = parseExercise(text);
    if (!parse.exercise) {
        for (const std::string& line : formatExerciseErrors(shownExercise, parse)) tarn::printError(line);
        return 2;
    }
    const Exercise& exercise = *parse.exercise;
    std::string out = exerciseLine(exercise, exerciseArgument);
    if (exercise.solution.empty()) {
        out += "Il file è corretto. Non indica una soluzione da provare sui casi: per farlo, scrivi "
               "soluzione = \"FILE.asm\" in cima all'esercizio.\n";
        return tarn::printStandardOutput("tarngrade", out);
    }

    const std::string path = solutionPath(exerciseArgument, exercise.solution);
    SubmissionSet gathered = gatherSubmissions({path}, exercise, true);
    if (!gathered.error.empty()) {
        std::string message = gathered.error;
        constexpr std::string_view UNREADABLE = "impossibile leggere la consegna ";
        if (message.starts_with(UNREADABLE))
            message = "impossibile leggere la soluzione " + message.substr(UNREADABLE.size());
        else
            message += " (è la soluzione indicata dall'esercizio " + tarn::quotedName(exerciseArgument) + ")";
        return fileError(message + linkNote(exerciseArgument, exercise.solution));
    }
    for (const std::string& warning : gathered.warnings) tarn::printError("tarngrade: " + warning);
    Submission& solution = gathered.submissions.front();
    if (!solution.runnable()) {
        for (const std::string& problem : solution.problems)
            tarn::printError(problem.starts_with(solution.program + ":") ? problem
                                                                         : "tarngrade: " + tarn::visibleName(problem));
        return fileError("la soluzione " + tarn::quotedName(path) + " non si può provare sui casi");
    }
    for (const std::string& note : solution.notes) tarn::printError("tarngrade: " + tarn::visibleName(note));

    std::vector<Submission> submissions;
    submissions.push_back(std::move(solution));
    // A slip such as a limit of a thousand billion instructions shows on
    // the progress line, not as a silent wait.
    ProgressLine progress(tarn::isTerminal(2));
    const std::vector<SubmissionResult> results = gradeClass(
        exercise, std::move(submissions), jobs, [&progress](const GradingCount& count) { progress.update(count); });
    progress.clear();
    const SubmissionResult& result = results.front();
    // A case whose memory lands on the solution's instructions runs another
    // program than the teacher's: a fault of the exercise, hidden cases too.
    bool memoryOverSolution = false;
    for (std::size_t index = 0; index < exercise.cases.size() && index < result.cases.size(); ++index) {
        const std::vector<Byte>& over = result.cases[index].memoryOverProgram;
        if (over.empty()) continue;
        memoryOverSolution = true;
        tarn::printError(formatExerciseError(
            shownExercise,
            {0, 0, memoryOverProgramText(over, tarn::visibleName(exercise.cases[index].name), "della soluzione")}));
    }
    const int faultStatus = memoryOverSolution ? 2 : 0;
    const auto failed = static_cast<std::uint64_t>(
        std::count_if(result.cases.begin(), result.cases.end(), [](const CaseResult& c) { return !c.passed; }));
    const std::string shownPath = tarn::visibleName(path);
    if (failed == 0) {
        out += "La soluzione " + shownPath + " supera tutti i casi.\n";
        const int status = tarn::printStandardOutput("tarngrade", out);
        return status != 0 ? status : faultStatus;
    }
    out += "La soluzione " + shownPath + " NON supera " + counted(failed, "caso", "casi") + " su " +
           std::to_string(exercise.cases.size()) + ":\n";
    out += failingCases(exercise, exerciseArgument, result, colour);
    const int status = tarn::printStandardOutput("tarngrade", out);
    return status != 0 ? status : (memoryOverSolution ? faultStatus : 1);
}

}  // namespace tarn::grading

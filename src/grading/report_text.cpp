#include "grading/report_text.hpp"

#include "grading/diff.hpp"
#include "assembly/assembler.hpp"
#include "grading/wording.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

namespace tarn::grading {

namespace {

// What a report shows at most of an untrusted text, so that 40 failing
// students with outputs of 64 KiB each still make a report one can read.
constexpr std::size_t MAX_DIFF_LINES = 40;        // per case in the class report
constexpr std::size_t MAX_LINE_CHARACTERS = 200;  // per line in the class report
constexpr std::size_t MAX_INPUT_CHARACTERS = 200; // of a case's input, on one line
// Of a submission that cannot run: the assembler's own report (its first
// errors and the line that counts the rest) fits whole.
constexpr std::size_t MAX_PROBLEMS = MAX_REPORTED_DIAGNOSTICS + 5;
constexpr std::size_t MAX_REPLAY_LINES = 400;     // per block of the replay
constexpr std::size_t MAX_REPLAY_LINE_CHARACTERS = 1000;
constexpr std::size_t DIFF_CONTEXT = 2;           // unchanged lines kept around a change
constexpr std::size_t MAX_NAME_COLUMN = 40;       // names longer than this are not padded to
constexpr std::size_t MAX_GROUP_NAMES = 3;        // of a group of identical submissions

// ANSI styles, used only when the report is for a terminal that shows them.
class Paint {
public:
    explicit Paint(const ReportStyle& style) : on_(style.colour) {}
    std::string bold(std::string_view text) const { return wrap("\x1b[1m", text); }
    std::string red(std::string_view text) const { return wrap("\x1b[31m", text); }
    std::string green(std::string_view text) const { return wrap("\x1b[32m", text); }
    std::string boldRed(std::string_view text) const { return wrap("\x1b[1;31m", text); }
    std::string boldGreen(std::string_view text) const { return wrap("\x1b[1;32m", text); }
    std::string highlight(std::string_view text) const { return wrap("\x1b[7m", text); }
    std::string redHighlight(std::string_view text) const { return wrap("\x1b[1;31;7m", text); }
    bool on() const { return on_; }

private:
    std::string wrap(std::string_view code, std::string_view text) const {
        if (!on_ || text.empty()) return std::string(text);
        return std::string(code) + std::string(text) + "\x1b[0m";
    }
    bool on_;
};

// Characters of valid UTF-8 text: code points, not bytes.
std::size_t characters(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    return count;
}

std::string padded(std::string_view text, std::size_t width) {
    std::string result(text);
    const std::size_t length = characters(text);
    if (length < width) result.append(width - length, ' ');
    return result;
}

// Valid UTF-8 text cut to its first `limit` characters, and a note on what
// was left out ("" when nothing was).
struct Cut {
    std::string text;
    std::string note;
};

Cut cutText(std::string_view text, std::size_t limit) {
    std::size_t count = 0;
    for (std::size_t index = 0; index < text.size(); ++index) {
        if ((static_cast<unsigned char>(text[index]) & 0xC0) == 0x80) continue;
        if (count == limit)
            return {std::string(text.substr(0, index)),
                    " … (altri " + std::to_string(characters(text.substr(index))) + " caratteri)"};
        ++count;
    }
    return {std::string(text), ""};
}

std::string cut(std::string_view text, std::size_t limit) {
    Cut shown = cutText(text, limit);
    return shown.text + shown.note;
}

// Untrusted bytes on one line of the report: its line ends shown as \n.
std::string oneLine(std::string_view bytes) {
    const std::string visible = visibleText(bytes);
    std::string text;
    text.reserve(visible.size());
    for (const char c : visible) {
        if (c == '\n') text += "\\n";
        else text += c;
    }
    return text;
}

// Between double quotes, a quote within shown as \".
std::string quoted(std::string_view bytes, std::size_t limit) {
    const Cut shown = cutText(oneLine(bytes), limit);
    std::string text = "\"";
    for (const char c : shown.text) {
        if (c == '"') text += "\\\"";
        else text += c;
    }
    return text + "\"" + shown.note;
}

// A line made to be printed (a message that already shows its bytes, a
// command to copy into a shell): kept as it is, backslashes included, but any
// byte a terminal could take for a control, or a line end, shown escaped.
std::string readyLine(std::string_view command) {
    std::string text;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = command.find('\\', start);
        text += oneLine(command.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start));
        if (slash == std::string_view::npos) break;
        text += '\\';
        start = slash + 1;
    }
    return text;
}

std::string pointsWord(double points) {
    return formatPoints(points) + (formatPoints(points) == "1" ? " punto" : " punti");
}

// The name under which a submission is shown: its student, or its argument;
// names, unlike texts, show a backslash as the platform writes paths.
std::string studentName(const Submission& submission) {
    return visibleName(submission.student.empty() ? submission.argument : submission.student);
}

std::string programPath(const Submission& submission) {
    return visibleName(submission.program.empty() ? submission.argument : submission.program);
}

const CaseResult& caseResultAt(const SubmissionResult& result, std::size_t index) {
    static const CaseResult notRun{};
    return index < result.cases.size() ? result.cases[index] : notRun;
}

// A line of a diff or of a text, as the report shows it. Blanks at the end of
// a changed line are made visible, since they are what differs.
std::string diffLineText(const DiffLine& line, std::size_t limit, bool showBlanks) {
    std::string_view text = line.text;
    std::size_t blanks = 0;
    if (showBlanks)
        while (blanks < text.size() && text[text.size() - 1 - blanks] == ' ') ++blanks;
    std::string shown = visibleText(text.substr(0, text.size() - blanks));
    for (std::size_t index = 0; index < blanks; ++index) shown += "␣";
    shown = cut(shown, limit);
    if (!line.lineEnd) shown += "  (senza a capo finale)";
    return shown;
}

struct DiffLimits {
    std::size_t lines;
    std::size_t characters;
};

// The lines of a diff that differ, with a little context around them; long
// runs of equal lines are counted, not shown.
void appendDiff(std::string& out, const std::vector<DiffLine>& lines, std::string_view indent, DiffLimits limits,
                const Paint& paint) {
    std::vector<bool> shown(lines.size(), false);
    bool anyChange = false;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        if (lines[index].kind == DiffLine::Kind::Same) continue;
        anyChange = true;
        const std::size_t from = index >= DIFF_CONTEXT ? index - DIFF_CONTEXT : 0;
        const std::size_t to = std::min(lines.size(), index + DIFF_CONTEXT + 1);
        for (std::size_t near = from; near < to; ++near) shown[near] = true;
    }
    if (!anyChange) std::fill(shown.begin(), shown.end(), true);

    std::size_t written = 0;
    std::size_t index = 0;
    while (index < lines.size()) {
        if (written == limits.lines) {
            std::size_t changed = 0;
            for (std::size_t rest = index; rest < lines.size(); ++rest)
                if (lines[rest].kind != DiffLine::Kind::Same) ++changed;
            if (changed == 1) out += std::string(indent) + "… un'altra riga diversa\n";
            else if (changed > 1) out += std::string(indent) + "… altre " + std::to_string(changed) + " righe diverse\n";
            return;
        }
        if (!shown[index]) {
            std::size_t end = index;
            while (end < lines.size() && !shown[end]) ++end;
            if (end - index > 1) {
                out += std::string(indent) + "… " + counted(end - index, "riga uguale", "righe uguali") + "\n";
                ++written;
                index = end;
                continue;
            }
        }
        const DiffLine& line = lines[index];
        switch (line.kind) {
            case DiffLine::Kind::Same:
                out += std::string(indent) + "  " + diffLineText(line, limits.characters, false) + "\n";
                break;
            case DiffLine::Kind::Expected:
                out += std::string(indent) + paint.red("- " + diffLineText(line, limits.characters, true)) + "\n";
                break;
            case DiffLine::Kind::Actual:
                out += std::string(indent) + paint.green("+ " + diffLineText(line, limits.characters, true)) + "\n";
                break;
        }
        ++written;
        ++index;
    }
}

// A text shown whole, line by line after "| ", within limits.
void appendText(std::string& out, std::string_view text, std::string_view indent, DiffLimits limits) {
    std::size_t start = 0;
    std::size_t written = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const bool lineEnd = end != std::string_view::npos;
        if (written == limits.lines) {
            std::size_t left = 1;
            for (std::size_t index = start; index + 1 < text.size(); ++index)
                if (text[index] == '\n') ++left;
            out += std::string(indent) + "… " +
                   (left == 1 ? std::string("un'altra riga") : "altre " + std::to_string(left) + " righe") + "\n";
            return;
        }
        std::string shown = cut(visibleText(text.substr(start, lineEnd ? end - start : std::string_view::npos)),
                                limits.characters);
        if (!lineEnd) shown += "  (senza a capo finale)";
        out += std::string(indent) + "| " + shown + "\n";
        ++written;
        start = lineEnd ? end + 1 : text.size();
    }
}

// Whether a case's output is not the expected one. A run stopped by a limit
// or a forbidden instruction is not compared by the grader, but its output
// may still differ, and then the diff is worth showing.
bool outputDiffers(const TestCase& testCase, const CaseResult& result) {
    if (!testCase.output) return false;
    return result.outputMatches == false || !outputsMatch(*testCase.output, result.output, testCase.comparison);
}

std::string passedWord(bool passed, const Paint& paint) {
    return passed ? paint.green("superato") + "    " : paint.red("NON SUPERATO");
}

// Why a case failed and where its run stood, as the report's lines say it.
std::vector<std::string> causeLines(const Exercise& exercise, const SubmissionResult& result, std::size_t caseIndex) {
    const CaseResult& caseResult = caseResultAt(result, caseIndex);
    std::vector<std::string> lines =
        failureReasons(exercise, exercise.cases[caseIndex], result.submission, caseResult);
    for (const std::string& line : whereItStood(result.submission, exercise.cases[caseIndex], caseResult))
        lines.push_back(line);
    return lines;
}

// Whether the visible cases, two or more, all failed for the same stop (a
// limit, an endless loop, a forbidden instruction) in the same place: then
// the report says it once. Returns the first such case, or the count of cases.
std::size_t sharedStop(const Exercise& exercise, const SubmissionResult& result) {
    const std::size_t none = exercise.cases.size();
    std::size_t first = none;
    std::vector<std::string> cause;
    std::size_t visible = 0;
    for (std::size_t index = 0; index < exercise.cases.size(); ++index) {
        if (exercise.cases[index].hidden) continue;
        ++visible;
        const CaseResult& caseResult = caseResultAt(result, index);
        if (caseResult.passed || !caseResult.ran || (!caseResult.limitReached && !caseResult.forbidden)) return none;
        std::vector<std::string> lines = causeLines(exercise, result, index);
        if (first == none) {
            first = index;
            cause = std::move(lines);
        } else if (lines != cause) {
            return none;
        }
    }
    return visible >= 2 ? first : none;
}

// `everyCase`: the case stands for all the visible ones, which stopped alike;
// only why and where is shown, and how to replay it.
std::string caseDetails(const Exercise& exercise, const std::string& exerciseArgument, const SubmissionResult& result,
                        std::size_t caseIndex, const Paint& paint, bool replayCommand = true, bool teacher = false,
                        bool everyCase = false) {
    if (caseIndex >= exercise.cases.size()) return {};
    const TestCase& testCase = exercise.cases[caseIndex];
    const CaseResult& caseResult = caseResultAt(result, caseIndex);
    if (caseResult.passed) return {};
    std::string name = oneLine(testCase.name);
    if (testCase.hidden && !teacher) return paint.red("  ✗ " + name) + " (nascosto): non superato\n";
    if (everyCase)
        name = std::any_of(exercise.cases.begin(), exercise.cases.end(),
                           [](const TestCase& each) { return each.hidden; })
                   ? "in tutti i casi visibili"
                   : "in tutti i casi";

    std::string out;
    const std::vector<std::string> reasons = failureReasons(exercise, testCase, result.submission, caseResult);
    out += paint.red("  ✗ " + name + (reasons.empty() ? "" : ": " + readyLine(reasons.front()))) + "\n";
    for (std::size_t index = 1; index < reasons.size(); ++index) out += "    " + readyLine(reasons[index]) + "\n";
    if (!caseResult.ran) return out;
    for (const std::string& line : whereItStood(result.submission, testCase, caseResult))
        out += "    " + readyLine(line) + "\n";
    // How to replay the case in full, and how to step through it in the
    // debugger: a hidden case, shown to the teacher alone, with --docente.
    const auto appendCommands = [&] {
        if (!replayCommand) return;
        const Platform platform = shownPlatform();
        out += "    per rivederlo: " +
               readyLine(tarn::grading::replayCommand(exerciseArgument, result.submission.argument, testCase.name,
                                                      platform)) +
               (testCase.hidden ? " --docente" : "") + "\n";
        out += "    nel debugger: " +
               readyLine(debuggerAdvice(result.submission, exerciseArgument, testCase, platform)) + "\n";
    };
    if (everyCase) {
        appendCommands();
        return out;
    }

    out += "    ingresso: " + (testCase.input.empty() ? "nessuno" : quoted(testCase.input, MAX_INPUT_CHARACTERS)) + "\n";
    const DiffLimits limits{MAX_DIFF_LINES, MAX_LINE_CHARACTERS};
    if (testCase.output) {
        if (!outputDiffers(testCase, caseResult)) {
            out += "    uscita: come attesa\n";
        } else {
            out += "    uscita (" + paint.red("- attesa") + ", " + paint.green("+ ottenuta") + "):\n";
            appendDiff(out, diffOutputs(*testCase.output, caseResult.output, testCase.comparison), "      ", limits,
                       paint);
        }
    } else if (caseResult.output.empty()) {
        out += "    uscita: nessuna\n";
    } else {
        out += "    uscita:\n";
        appendText(out, caseResult.output, "      ", limits);
    }
    out += "    istruzioni eseguite: " + std::to_string(caseResult.instructions) + "\n";
    for (const std::string& note : caseNotes(caseResult)) out += "    nota: " + readyLine(note) + "\n";
    appendCommands();
    return out;
}

void appendSubmission(std::string& out, const Exercise& exercise, const std::string& exerciseArgument,
                      const SubmissionResult& result, std::size_t nameColumn, const Paint& paint, bool teacher) {
    const Submission& submission = result.submission;
    const double total = exercise.totalPoints();
    const std::string points = formatPoints(result.points) + "/" + formatPoints(total) + " punti";
    out += paint.bold(studentName(submission)) + "  (" + programPath(submission) + ")  " +
           (result.allPassed() ? paint.boldGreen(points) : paint.boldRed(points)) + "\n";
    for (const std::string& note : submission.notes) out += "  nota: " + readyLine(note) + "\n";
    if (!submission.runnable()) {
        out += paint.red("  il programma non si può eseguire:") + "\n";
        for (std::size_t index = 0; index < submission.problems.size() && index < MAX_PROBLEMS; ++index)
            out += "    " + readyLine(submission.problems[index]) + "\n";
        if (submission.problems.size() > MAX_PROBLEMS)
            out += "    … " + counted(submission.problems.size() - MAX_PROBLEMS, "altro problema", "altri problemi") +
                   "\n";
    }

    std::size_t pointsColumn = 0;
    for (std::size_t index = 0; index < exercise.cases.size(); ++index)
        pointsColumn = std::max(pointsColumn, characters(formatPoints(caseResultAt(result, index).points) + "/" +
                                                         formatPoints(exercise.cases[index].points)));
    for (std::size_t index = 0; index < exercise.cases.size(); ++index) {
        const TestCase& testCase = exercise.cases[index];
        const CaseResult& caseResult = caseResultAt(result, index);
        std::string row = "  " + passedWord(caseResult.passed, paint) + "  " + padded(oneLine(testCase.name), nameColumn) +
                          "  " +
                          padded(formatPoints(caseResult.points) + "/" + formatPoints(testCase.points), pointsColumn);
        if (testCase.hidden) row += "  (nascosto)";
        while (!row.empty() && row.back() == ' ') row.pop_back();
        out += row + "\n";
    }

    if (!submission.runnable()) return;
    // A visible case passed can still be worth a word (D left set).
    for (std::size_t index = 0; index < exercise.cases.size(); ++index) {
        if ((exercise.cases[index].hidden && !teacher) || !caseResultAt(result, index).passed) continue;
        for (const std::string& note : caseNotes(caseResultAt(result, index)))
            out += "  nota su " + oneLine(exercise.cases[index].name) + ": " + readyLine(note) + "\n";
    }
    // The same stop in every visible case: said once.
    if (const std::size_t shared = sharedStop(exercise, result); shared < exercise.cases.size()) {
        out += "\n" + caseDetails(exercise, exerciseArgument, result, shared, paint, true, teacher, true);
        // The teacher still sees each failing hidden case in full.
        for (std::size_t index = 0; teacher && index < exercise.cases.size(); ++index)
            if (exercise.cases[index].hidden && !caseResultAt(result, index).passed)
                out += "\n" + caseDetails(exercise, exerciseArgument, result, index, paint, true, true);
        return;
    }
    for (std::size_t index = 0; index < exercise.cases.size(); ++index) {
        if ((exercise.cases[index].hidden && !teacher) || caseResultAt(result, index).passed) continue;
        out += "\n" + caseDetails(exercise, exerciseArgument, result, index, paint, true, teacher);
    }
}

// The names of a group of identical submissions: all of them up to
// MAX_GROUP_NAMES + 1, otherwise the first MAX_GROUP_NAMES and how many more.
std::string groupNames(const std::vector<SubmissionResult>& results, const std::vector<std::size_t>& members) {
    const std::size_t shown = members.size() <= MAX_GROUP_NAMES + 1 ? members.size() : MAX_GROUP_NAMES;
    std::string names;
    for (std::size_t index = 0; index < shown; ++index) {
        if (index > 0) names += index + 1 == shown && shown == members.size() ? " e " : ", ";
        names += studentName(results[members[index]].submission);
    }
    if (shown < members.size()) names += " e altre " + std::to_string(members.size() - shown);
    return names;
}

void appendSimilar(std::string& out, const std::vector<SubmissionResult>& results, const Similarities& similar,
                   const Paint& paint) {
    // How many identical submissions each group's first one stands for.
    std::vector<std::vector<std::size_t>> groups;
    std::vector<std::size_t> groupSize(results.size(), 1);
    for (const std::vector<std::size_t>& group : similar.identical) {
        if (group.size() < 2 ||
            !std::all_of(group.begin(), group.end(), [&](std::size_t index) { return index < results.size(); }))
            continue;
        groups.push_back(group);
        groupSize[group.front()] = group.size();
    }
    std::vector<SimilarPair> pairs;
    for (const SimilarPair& pair : similar.pairs)
        if (pair.first < results.size() && pair.second < results.size()) pairs.push_back(pair);
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const SimilarPair& a, const SimilarPair& b) { return a.score > b.score; });
    const auto percent = [](double score) {
        const double clamped = std::isfinite(score) ? std::clamp(score, 0.0, 1.0) : 0.0;
        return std::to_string(static_cast<int>(std::lround(clamped * 100))) + "%";
    };
    const std::string skeleton = "  Non contano le sequenze di almeno " + std::to_string(SKELETON_RUN) +
                                 " istruzioni consecutive presenti anche nello scheletro.\n";
    if (groups.empty() && pairs.empty()) {
        out += paint.bold("Consegne simili:") + " nessuna coppia è simile almeno al " +
               percent(MIN_REPORTED_SIMILARITY) + ".\n";
        if (similar.skeletonExcluded) out += skeleton;
        return;
    }
    out += paint.bold("Consegne simili") + " (il codice confrontato come sequenza di istruzioni):\n";
    if (similar.skeletonExcluded) out += skeleton;
    for (const std::vector<std::size_t>& group : groups) out += "  " + groupNames(results, group) + ": identiche\n";

    // A submission that stands for a group says so.
    const auto side = [&](std::size_t index) {
        const std::size_t others = groupSize[index] - 1;
        std::string name = studentName(results[index].submission);
        if (others == 1) name += " (e un'altra identica)";
        else if (others > 1) name += " (e altre " + std::to_string(others) + " identiche)";
        return name;
    };
    std::size_t column = 0;
    std::vector<std::string> names;
    for (const SimilarPair& pair : pairs) {
        names.push_back(side(pair.first) + " e " + side(pair.second));
        column = std::max(column, std::min(characters(names.back()), 2 * MAX_NAME_COLUMN));
    }
    // A pair at 100 % that is not identical has the same instructions in the same order, not the same program.
    for (std::size_t index = 0; index < pairs.size(); ++index)
        out += "  " + padded(names[index], column) + "  " + percent(pairs[index].score) +
               (pairs[index].score >= 1.0 ? "  (le stesse istruzioni, con altri operandi o dati)" : "") + "\n";
}

void appendSummary(std::string& out, const Exercise& exercise, const std::vector<SubmissionResult>& results,
                   std::size_t nameColumn, const Paint& paint) {
    std::size_t allPassed = 0;
    double points = 0;
    for (const SubmissionResult& result : results) {
        if (result.allPassed()) ++allPassed;
        points += result.points;
    }
    out += paint.bold("Riepilogo:") + " ";
    if (results.empty()) {
        out += "nessuna consegna.\n";
        return;
    }
    out += counted(results.size(), "consegna", "consegne") + "; ";
    if (allPassed == 0) out += "nessuna ha superato tutti i casi.";
    else if (allPassed == 1) out += "1 ha superato tutti i casi.";
    else out += std::to_string(allPassed) + " hanno superato tutti i casi.";
    out += " Media " + formatPoints(points / static_cast<double>(results.size())) + " su " +
           pointsWord(exercise.totalPoints()) + ".\n";
    for (std::size_t index = 0; index < exercise.cases.size(); ++index) {
        std::size_t passed = 0;
        for (const SubmissionResult& result : results)
            if (caseResultAt(result, index).passed) ++passed;
        std::string row = "  " + padded(oneLine(exercise.cases[index].name), nameColumn) + "  superato da " +
                          counted(passed, "consegna", "consegne") + " su " + std::to_string(results.size());
        if (exercise.cases[index].hidden) row += "  (nascosto)";
        out += row + "\n";
    }
}

std::string hexDigits(unsigned value) {
    return hexByte(value).substr(2);
}

// The line that opens a report: the exercise, its cases and its points.
std::string exerciseLine(const Exercise& exercise, const std::string& exerciseArgument, const Paint& paint) {
    const std::string title = exercise.title.empty() ? "Esercizio" : "Esercizio «" + oneLine(exercise.title) + "»";
    return paint.bold(title) + " (" + visibleName(exerciseArgument) + "): " +
           counted(exercise.cases.size(), "caso", "casi") + ", " + pointsWord(exercise.totalPoints()) + "\n";
}

}  // namespace

std::string formatCaseDetails(const Exercise& exercise, const std::string& exerciseArgument,
                              const SubmissionResult& result, std::size_t caseIndex, const ReportStyle& style) {
    return caseDetails(exercise, exerciseArgument, result, caseIndex, Paint(style), style.replayCommand, style.teacher);
}

std::string formatClassReport(const Exercise& exercise, const std::string& exerciseArgument,
                              const std::vector<SubmissionResult>& results, const Similarities* similar,
                              const ReportStyle& style) {
    const Paint paint(style);
    std::string out = exerciseLine(exercise, exerciseArgument, paint);
    if (!exercise.forbiddenNames.empty()) {
        std::string names;
        for (const std::string& name : exercise.forbiddenNames) names += (names.empty() ? "" : ", ") + oneLine(name);
        out += "Istruzioni proibite: " + names + "\n";
    }
    if (exercise.maximumSize) out += "Dimensione massima del programma: " + std::to_string(*exercise.maximumSize) + " byte\n";
    out += "\n";

    std::size_t nameColumn = 0;
    for (const TestCase& testCase : exercise.cases)
        nameColumn = std::max(nameColumn, std::min(characters(oneLine(testCase.name)), MAX_NAME_COLUMN));
    for (const SubmissionResult& result : results) {
        appendSubmission(out, exercise, exerciseArgument, result, nameColumn, paint, style.teacher);
        out += "\n";
    }
    if (similar != nullptr) {
        appendSimilar(out, results, *similar, paint);
        out += "\n";
    }
    appendSummary(out, exercise, results, nameColumn, paint);
    return out;
}

std::string formatClassSummary(const Exercise& exercise, const std::string& exerciseArgument,
                               const std::vector<SubmissionResult>& results, const Similarities* similar,
                               const ReportStyle& style) {
    const Paint paint(style);
    std::string out = exerciseLine(exercise, exerciseArgument, paint) + "\n";

    std::size_t studentColumn = 0;
    std::size_t pointsColumn = 0;
    const std::string total = formatPoints(exercise.totalPoints());
    for (const SubmissionResult& result : results) {
        studentColumn = std::max(studentColumn, std::min(characters(studentName(result.submission)), MAX_NAME_COLUMN));
        pointsColumn = std::max(pointsColumn, characters(formatPoints(result.points) + "/" + total + " punti"));
    }
    for (const SubmissionResult& result : results) {
        std::size_t passed = 0;
        for (std::size_t index = 0; index < exercise.cases.size(); ++index)
            if (caseResultAt(result, index).passed) ++passed;
        const std::string points = padded(formatPoints(result.points) + "/" + total + " punti", pointsColumn);
        std::string row = padded(studentName(result.submission), studentColumn) + "  " +
                          (result.allPassed() ? paint.boldGreen(points) : paint.boldRed(points)) +
                          "  casi superati: " + std::to_string(passed) + " su " +
                          std::to_string(exercise.cases.size());
        if (!result.submission.runnable()) row += " (il programma non si può eseguire)";
        out += row + "\n";
    }
    if (!results.empty()) out += "\n";
    if (similar != nullptr) {
        appendSimilar(out, results, *similar, paint);
        out += "\n";
    }
    std::size_t nameColumn = 0;
    for (const TestCase& testCase : exercise.cases)
        nameColumn = std::max(nameColumn, std::min(characters(oneLine(testCase.name)), MAX_NAME_COLUMN));
    appendSummary(out, exercise, results, nameColumn, paint);
    return out;
}

std::string formatReplay(const Exercise& exercise, const Submission& submission, const TestCase& testCase,
                         const CaseRun& run, const ReportStyle& style) {
    const Paint paint(style);
    const CaseResult& result = run.result;
    std::string out;
    out += paint.bold("Caso «" + oneLine(testCase.name) + "» di " + studentName(submission)) +
           (testCase.hidden ? " (nascosto)" : "") + "\n";
    out += (exercise.title.empty() ? std::string("Esercizio") : "Esercizio «" + oneLine(exercise.title) + "»") +
           ", programma " + programPath(submission) + "\n\n";

    const std::string points = formatPoints(result.points) + "/" + formatPoints(testCase.points) + " punti";
    out += "Esito: " + (result.passed ? paint.boldGreen("superato") : paint.boldRed("NON SUPERATO")) + ", " + points +
           "\n";
    for (const std::string& reason : failureReasons(exercise, testCase, submission, result))
        out += "  " + paint.red(readyLine(reason)) + "\n";
    for (const std::string& line : whereItStood(submission, testCase, result)) out += "  " + readyLine(line) + "\n";
    for (const std::string& note : submission.notes) out += "Nota: " + readyLine(note) + "\n";
    if (!result.ran) return out;
    out += "Istruzioni eseguite: " + std::to_string(result.instructions) + "\n";
    out += "Ingresso letto: " + std::to_string(result.inputTaken) + " byte su " + std::to_string(testCase.input.size()) +
           "\n";
    for (const std::string& note : caseNotes(result)) out += "Nota: " + readyLine(note) + "\n";
    out += "\n";

    const DiffLimits limits{MAX_REPLAY_LINES, MAX_REPLAY_LINE_CHARACTERS};
    const auto block = [&](std::string_view heading, std::string_view text, std::string_view none) {
        if (text.empty()) {
            out += paint.bold(heading) + ": " + std::string(none) + "\n";
        } else {
            out += paint.bold(heading) + ":\n";
            appendText(out, text, "  ", limits);
        }
    };
    block("Ingresso", testCase.input, "nessuno");
    if (testCase.output) block("Uscita attesa", *testCase.output, "nessuna");
    else out += paint.bold("Uscita attesa") + ": non controllata\n";
    if (testCase.output && *testCase.output == result.output && !result.output.empty())
        out += paint.bold("Uscita ottenuta") + ": uguale a quella attesa\n";
    else
        block("Uscita ottenuta", result.output, "nessuna");
    if (outputDiffers(testCase, result)) {
        out += paint.bold("Differenze") + " (" + paint.red("- attesa") + ", " + paint.green("+ ottenuta") +
               (testCase.comparison == Comparison::Blanks ? "; gli spazi a fine riga non contano" : "") + "):\n";
        appendDiff(out, diffOutputs(*testCase.output, result.output, testCase.comparison), "  ", limits, paint);
    }
    out += "\n";

    out += paint.bold("Registri finali") + ":\n";
    for (unsigned address = 256; address <= 260; ++address) {
        const Byte value = readByte(run.after, address);
        const std::string decimal = std::to_string(value);
        std::string row = "  " + padded(registerName(address), 3) + hexByte(value) + "  " +
                          std::string(3 - decimal.size(), ' ') + decimal;
        for (const Mismatch& mismatch : result.mismatches)
            if (mismatch.kind == Mismatch::Kind::Register && mismatch.address == address)
                row += "   " + paint.red("atteso " + hexByte(mismatch.expected) + " (" +
                                         std::to_string(mismatch.expected) +
                                         (mismatch.expected < 128 ? "" : ", -" + std::to_string(256 - mismatch.expected)) +
                                         ")");
        out += row + "\n";
    }
    std::string flags;
    for (const FlagName& flag : FLAG_NAMES) {
        flags += flags.empty() ? "" : " ";
        const bool set = (run.after.F & flag.bit) != 0;
        const bool wanted = (testCase.expectedFlags & flag.bit) != 0;
        const std::string shown(1, set ? flag.letter : '-');
        flags += wanted && !set ? paint.red(shown) : shown;
    }
    out += paint.bold("Flag") + " (F = " + hexByte(run.after.F) + "): " + flags + "\n";
    std::string order;
    for (const FlagName& flag : FLAG_NAMES) order += (order.empty() ? "" : " ") + std::string(1, flag.letter);
    out += "  nell'ordine " + order + ": la lettera se il flag è acceso, - se è spento\n";
    if (testCase.expectedFlags != 0) {
        std::string wanted;
        for (const FlagName& flag : FLAG_NAMES)
            if ((testCase.expectedFlags & flag.bit) != 0) wanted += (wanted.empty() ? "" : " ") + std::string(1, flag.letter);
        out += "  dovevano essere accesi: " + wanted + "\n";
    }
    out += "\n";

    std::array<bool, 256> wrong{};
    for (const Mismatch& mismatch : result.mismatches)
        if (mismatch.kind == Mismatch::Kind::Memory && mismatch.address < 256) wrong[mismatch.address] = true;
    out += paint.bold("Memoria finale") + ":\n";
    std::string header = "     ";
    for (unsigned column = 0; column < 16; ++column) header += "  " + hexDigits(column).substr(1) + " ";
    while (header.back() == ' ') header.pop_back();
    out += header + "\n";
    std::size_t changed = 0;
    for (unsigned row = 0; row < 16; ++row) {
        std::string line = "  " + hexDigits(row * 16) + " ";
        for (unsigned column = 0; column < 16; ++column) {
            const unsigned address = row * 16 + column;
            const bool differs = run.before.M[address] != run.after.M[address];
            if (differs) ++changed;
            const std::string byte = hexDigits(run.after.M[address]);
            line += " ";
            if (wrong[address]) line += paint.redHighlight(byte) + "!";
            else if (differs) line += paint.highlight(byte) + "*";
            else line += byte + " ";
        }
        while (line.back() == ' ') line.pop_back();
        out += line + "\n";
    }
    out += changed == 0 ? "  nessun byte è cambiato durante l'esecuzione\n" : "  * byte cambiato dall'esecuzione\n";
    if (std::any_of(wrong.begin(), wrong.end(), [](bool cell) { return cell; }))
        out += "  ! byte diverso da quello atteso\n";
    return out;
}

}  // namespace tarn::grading

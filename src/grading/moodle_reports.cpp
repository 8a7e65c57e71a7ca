// What Moodle reads from tarngrade for one submission.
//
// VPL takes the grade from the last line that starts with "Grade :=>>", and
// the comments from lines that start with "Comment :=>>" and from blocks
// between a line holding only "<|--" and one holding only "--|>". In a
// comment a line that starts with "-" is a title (a title that ends with a
// negative number in brackets is a deduction), and one whose first character
// other than blanks is ">" is preformatted text. So every line written here
// starts with a character of ours: the exercise's and the cases' names only
// inside titles, which end with the points; the student's output, the
// assembler's messages and the details of a case only after ">". No bytes of
// a student can then end the block or start a line "Grade :=>>", and
// carriage returns and other control characters are shown as escapes, so no
// reader can see a line break that is not ours.
//
// CodeRunner's combinator template grader prints one JSON object: "fraction"
// (0 to 1), and optionally "testresults" (rows, the first the header; an
// "iscorrect" column shows a tick for 1 and a cross for 0, and an
// "ishidden" row is seen by the staff only) and "prologuehtml" (HTML shown
// before the table). Table cells are text, which CodeRunner escapes itself;
// the prologue is HTML, escaped here.
#include "grading/moodle_reports.hpp"

#include "grading/report_files.hpp"
#include "grading/wording.hpp"
#include "text/utf8.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

namespace tarn::grading {

namespace {

using Json = nlohmann::ordered_json;

// A name from the exercise on one line, with what it holds shown safely.
std::string oneLine(std::string_view text) {
    const std::string shown = visibleText(text);
    std::string line;
    line.reserve(shown.size());
    for (const char c : shown) {
        if (c == '\n') line += "\\n";
        else line += c;
    }
    return line;
}

// Every line of a text, each after ">": preformatted for VPL, and out of the
// reach of its tags.
std::string preformatted(std::string_view text) {
    if (text.ends_with('\n')) text.remove_suffix(1);
    std::string lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines += '>';
        lines.append(text.substr(start, end - start));
        lines += '\n';
        if (end == text.size()) break;
        start = end + 1;
    }
    return lines;
}

std::string pointsOf(double points, double total) {
    const std::string shown = formatPoints(points);
    return shown + (shown == "1" ? " punto su " : " punti su ") + formatPoints(total);
}

struct Tally {
    std::size_t passed = 0;
    std::size_t total = 0;
};

Tally tally(const Exercise& exercise, const SubmissionResult& result) {
    Tally counted;
    counted.total = exercise.cases.size();
    for (std::size_t index = 0; index < caseCount(exercise, result); ++index)
        if (result.cases[index].passed) ++counted.passed;
    return counted;
}

// The share of the total points (0 to 1); all of it when the cases are worth
// nothing and every one passed.
double fractionOf(const Exercise& exercise, const SubmissionResult& result) {
    const double total = exercise.totalPoints();
    if (!(total > 0) || !std::isfinite(total) || !std::isfinite(result.points))
        return result.allPassed() && !result.cases.empty() ? 1.0 : 0.0;
    const double fraction = std::clamp(result.points / total, 0.0, 1.0);
    return std::round(fraction * 1e6) / 1e6;
}

// What a case says of itself: passed, or the details a student may see of a
// visible one that failed (nothing of a hidden one).
struct CaseView {
    bool passed = false;
    double points = 0;
    std::string details;  // a visible case that failed: its details
};

CaseView caseView(const Exercise& exercise, const std::string& exerciseArgument, const SubmissionResult& result,
                  std::size_t index) {
    CaseView view;
    const TestCase& testCase = exercise.cases[index];
    if (index >= result.cases.size()) return view;
    view.passed = result.cases[index].passed;
    view.points = result.cases[index].points;
    if (!view.passed && !testCase.hidden && result.submission.runnable()) {
        const std::vector<std::string> reasons =
            failureReasons(exercise, testCase, result.submission, result.cases[index]);
        view.details = failureDetails(exercise, exerciseArgument, result, index, reasons, false);
    }
    return view;
}

std::string html(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '"': escaped += "&quot;"; break;
            case '\'': escaped += "&#39;"; break;
            default: escaped += c;
        }
    }
    return escaped;
}

// A paragraph, and lines as they are, escaped.
std::string paragraphWithLines(std::string_view paragraph, const std::vector<std::string>& lines) {
    return "<p>" + html(paragraph) + "</p>\n<pre>" + html(visibleText(joinLines(lines))) + "</pre>\n";
}

std::string dumped(const Json& json) {
    // Every text is valid UTF-8 by now; replace is only a guard, so that no bytes can ever make this throw.
    return json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace

std::optional<double> vplGradeMax(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    // Digits, then maybe a point and more: read by hand, the same in every
    // locale, and never more digits than a double holds.
    constexpr std::size_t MAX_DIGITS = 15;
    double value = 0;
    double scale = 1;
    std::size_t digits = 0;
    bool point = false;
    for (const char c : text) {
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9' && ++digits <= MAX_DIGITS) {
            if (point) scale /= 10;
            value = value * (point ? 1 : 10) + (c - '0') * (point ? scale : 1);
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0 || !(value > 0) || value > MAX_VPL_GRADE) return std::nullopt;
    return value;
}

std::string vplReport(const Exercise& exercise, const std::string& exerciseArgument, const SubmissionResult& result,
                      std::optional<double> gradeMax) {
    const Submission& submission = result.submission;
    const Tally counted = tally(exercise, result);
    std::string text = "<|--\n";
    text += "-Esercizio «" + oneLine(exercise.title) + "»\n";
    text += "Casi superati: " + std::to_string(counted.passed) + " su " + std::to_string(counted.total) +
            "; " + pointsOf(result.points, exercise.totalPoints()) + ".\n";
    if (!submission.runnable()) {
        text += "-Il programma non è stato eseguito\n";
        text += preformatted(visibleText(joinLines(submission.problems)));
    }
    if (!submission.notes.empty()) {
        text += "-Da sapere sul programma\n";
        text += preformatted(visibleText(joinLines(submission.notes)));
    }
    for (std::size_t index = 0; index < exercise.cases.size(); ++index) {
        const TestCase& testCase = exercise.cases[index];
        const CaseView view = caseView(exercise, exerciseArgument, result, index);
        text += "-Caso «" + oneLine(testCase.name) + "»" + (testCase.hidden ? " (nascosto)" : "") + ": " +
                (view.passed ? "superato" : "non superato") + ", " + pointsOf(view.points, testCase.points) + "\n";
        if (!view.details.empty()) text += preformatted(view.details);
    }
    text += "--|>\n";
    const double grade = gradeMax ? fractionOf(exercise, result) * *gradeMax : result.points;
    text += "Grade :=>> " + formatPointsPlain(grade) + "\n";
    return text;
}

std::string coderunnerReport(const Exercise& exercise, const std::string& exerciseArgument,
                             const SubmissionResult& result, const std::vector<std::string>& warnings) {
    const Submission& submission = result.submission;
    Json report;
    report["fraction"] = fractionOf(exercise, result);
    std::string prologue;
    if (!submission.runnable())
        prologue += paragraphWithLines("Il programma non è stato eseguito:", submission.problems);
    if (!submission.notes.empty()) prologue += paragraphWithLines("Da sapere sul programma:", submission.notes);
    if (!warnings.empty()) prologue += paragraphWithLines("Avvisi di tarngrade:", warnings);
    if (!prologue.empty()) report["prologuehtml"] = prologue;
    Json rows = Json::array();
    rows.push_back(Json::array({"iscorrect", "Caso", "Punti", "Esito", "ishidden"}));
    for (std::size_t index = 0; index < exercise.cases.size(); ++index) {
        const TestCase& testCase = exercise.cases[index];
        const CaseView view = caseView(exercise, exerciseArgument, result, index);
        const std::string outcome = view.passed ? "superato" : "non superato";
        rows.push_back(Json::array({view.passed ? 1 : 0, oneLine(testCase.name),
                                    formatPoints(view.points) + " su " + formatPoints(testCase.points),
                                    view.details.empty() ? outcome : outcome + "\n" + view.details,
                                    testCase.hidden ? 1 : 0}));
    }
    report["testresults"] = std::move(rows);
    return dumped(report);
}

std::string coderunnerFailure(const std::vector<std::string>& messages) {
    Json report;
    report["fraction"] = 0;
    std::string prologue = "<p>Il programma non è stato valutato:</p>\n<pre>";
    prologue += html(visibleText(joinLines(messages)));
    prologue += "</pre>\n";
    report["prologuehtml"] = prologue;
    return dumped(report);
}

}  // namespace tarn::grading

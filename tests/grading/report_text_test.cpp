// The reports for people: the diff of two outputs, the class report and the
// replay of one case, on results built by hand.
#include "grading/diff.hpp"
#include "grading/report_text.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace tarn::grading {
namespace {

using Kind = DiffLine::Kind;

// A diff written compactly: "-a" expected only, "+a" actual only, " a" both;
// a trailing '$' marks a line without its line end.
std::vector<std::string> compact(const std::vector<DiffLine>& lines) {
    std::vector<std::string> shown;
    for (const DiffLine& line : lines) {
        const char sign = line.kind == Kind::Same ? ' ' : line.kind == Kind::Expected ? '-' : '+';
        shown.push_back(sign + line.text + (line.lineEnd ? "" : "$"));
    }
    return shown;
}

TEST(Diff, ShortestEditOfLines) {
    struct Row {
        const char* what;
        std::string expected;
        std::string actual;
        Comparison comparison;
        std::vector<std::string> diff;
    };
    const std::vector<Row> rows = {
        {"same", "1\n2\n", "1\n2\n", Comparison::Exact, {" 1", " 2"}},
        {"both empty", "", "", Comparison::Exact, {}},
        {"one changed line", "a\nb\nc\n", "a\nX\nc\n", Comparison::Exact, {" a", "-b", "+X", " c"}},
        {"a line added", "a\nc\n", "a\nb\nc\n", Comparison::Exact, {" a", "+b", " c"}},
        {"a line missing", "a\nb\nc\n", "a\nc\n", Comparison::Exact, {" a", "-b", " c"}},
        {"nothing printed", "7\n", "", Comparison::Exact, {"-7"}},
        {"no final line end", "7\n", "7", Comparison::Exact, {"-7", "+7$"}},
        {"final line end too many", "7", "7\n", Comparison::Exact, {"-7$", "+7"}},
        {"an empty line more", "7\n", "7\n\n", Comparison::Exact, {" 7", "+"}},
        {"trailing blank counts", "7\n", "7 \n", Comparison::Exact, {"-7", "+7 "}},
        {"changes grouped", "a\nb\n", "c\nd\n", Comparison::Exact, {"-a", "-b", "+c", "+d"}},
        {"blanks at line ends", "1 2\n3\n", "1 2 \t\r\n3", Comparison::Blanks, {" 1 2", " 3"}},
        {"blanks: final empty lines", "x\n", "x\n\n  \n\n", Comparison::Blanks, {" x"}},
        {"blanks: inner blanks count", "1 2\n", "1  2\n", Comparison::Blanks, {"-1 2", "+1  2"}},
        {"blanks: lines shown trimmed", "a \nb\n", "a\t\nc \n", Comparison::Blanks, {" a", "-b", "+c"}},
        {"blanks: empty line inside counts", "a\nb\n", "a\n\nb\n", Comparison::Blanks, {" a", "+", " b"}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(compact(diffOutputs(row.expected, row.actual, row.comparison)), row.diff) << row.what;
}

// The lines of a text, each with its line end if it has one.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size() - 1);
        lines.push_back(text.substr(start, end + 1 - start));
        start = end + 1;
    }
    return lines;
}

TEST(Diff, RebuildsBothOutputsWithTheFewestChanges) {
    // Small random outputs over a few lines: both sides come back from the
    // diff, and the changes are as few as the longest common subsequence allows.
    std::mt19937 random(11);
    for (int round = 0; round < 3000; ++round) {
        std::string expected;
        std::string actual;
        for (std::string* text : {&expected, &actual}) {
            const auto count = static_cast<unsigned>(random() % 9);
            for (unsigned line = 0; line < count; ++line)
                *text += std::string(1, static_cast<char>('a' + random() % 3)) + "\n";
            if (random() % 4 == 0) *text += "a";
        }
        const std::vector<DiffLine> diff = diffOutputs(expected, actual, Comparison::Exact);
        std::string left;
        std::string right;
        std::size_t changes = 0;
        for (const DiffLine& line : diff) {
            const std::string text = line.text + (line.lineEnd ? "\n" : "");
            if (line.kind != Kind::Actual) left += text;
            if (line.kind != Kind::Expected) right += text;
            if (line.kind != Kind::Same) ++changes;
        }
        ASSERT_EQ(left, expected);
        ASSERT_EQ(right, actual);
        const std::vector<std::string> a = linesOf(expected);
        const std::vector<std::string> b = linesOf(actual);
        std::vector<std::vector<std::size_t>> common(a.size() + 1, std::vector<std::size_t>(b.size() + 1, 0));
        for (std::size_t x = 1; x <= a.size(); ++x)
            for (std::size_t y = 1; y <= b.size(); ++y)
                common[x][y] = a[x - 1] == b[y - 1] ? common[x - 1][y - 1] + 1
                                                     : std::max(common[x - 1][y], common[x][y - 1]);
        ASSERT_EQ(changes, a.size() + b.size() - 2 * common[a.size()][b.size()]) << expected << "|" << actual;
    }
}

TEST(Diff, LargeOutputsStayBoundedAndExactWhenClose) {
    // 10000 lines, three of them changed far apart: exact, in full.
    std::string expected;
    std::string actual;
    for (int line = 0; line < 10000; ++line) {
        expected += std::to_string(line) + "\n";
        actual += (line == 1000 || line == 5000 || line == 9000 ? "x" : std::to_string(line)) + "\n";
    }
    std::vector<DiffLine> lines = diffOutputs(expected, actual, Comparison::Exact);
    ASSERT_EQ(lines.size(), 10003u);
    for (const std::size_t at : {1000u, 5001u, 9002u}) {
        EXPECT_EQ(lines[at].kind, Kind::Expected) << at;
        EXPECT_EQ(lines[at + 1].kind, Kind::Actual) << at;
        EXPECT_EQ(lines[at + 1].text, "x");
    }
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const DiffLine& line) { return line.kind == Kind::Same; }),
              9997);
    // 65536 empty lines against the same: nothing differs.
    lines = diffOutputs(std::string(65536, '\n'), std::string(65536, '\n'), Comparison::Exact);
    EXPECT_EQ(lines.size(), 65536u);

    // Every other line differs: far past the bound, the middle is shown
    // removed then added, after the common start and before the common end.
    expected.clear();
    actual.clear();
    for (int index = 0; index < 20000; ++index) {
        expected += "a\n";
        actual += index % 2 == 0 ? "a\n" : "b\n";
    }
    expected = "inizio\n" + expected + "fine\n";
    actual = "inizio\n" + actual + "fine\n";
    lines = diffOutputs(expected, actual, Comparison::Exact);
    ASSERT_EQ(lines.size(), 2u + 20000u + 20000u - 1u);  // the first "a" is common too
    EXPECT_EQ(lines.front().kind, Kind::Same);
    EXPECT_EQ(lines[1].kind, Kind::Same);
    EXPECT_EQ(lines.back().kind, Kind::Same);
    EXPECT_EQ(lines.back().text, "fine");
    const auto firstActual = std::find_if(lines.begin(), lines.end(),
                                          [](const DiffLine& line) { return line.kind == Kind::Actual; });
    EXPECT_TRUE(std::all_of(lines.begin() + 2, firstActual,
                            [](const DiffLine& line) { return line.kind == Kind::Expected; }));
    EXPECT_TRUE(std::all_of(firstActual, lines.end() - 1, [](const DiffLine& line) { return line.kind == Kind::Actual; }));
}

// A small class graded by hand: rossi fails a visible case and a hidden one,
// bianchi cannot run, verdì passes everything.
struct SmallClass {
    Exercise exercise;
    std::vector<SubmissionResult> results;

    SmallClass() {
        exercise.title = "Somma di due cifre";
        exercise.cases.push_back(visibleCase("tre più quattro", "3 4\n", "7\n", 2));
        exercise.cases.push_back(visibleCase("zero più zero", "0 0\n", "0\n", 1));
        TestCase hidden = visibleCase("caso nascosto", "9 0\n", "9\n", 1);
        hidden.hidden = true;
        exercise.cases.push_back(hidden);
        TestCase carry = visibleCase("riporto", "ingresso-segreto\n", "uscita-segreta\n", 1);
        carry.hidden = true;
        exercise.cases.push_back(carry);

        SubmissionResult rossi;
        rossi.submission = submission("rossi", "consegne/rossi", "consegne/rossi/somma.asm");
        rossi.cases = {passed(2, "7\n"), failed("00\n", 17), passed(1, "9\n"), failed("prodotto-segreto\n", 23)};
        rossi.points = 3;
        results.push_back(rossi);

        SubmissionResult bianchi;
        bianchi.submission = submission("bianchi", "consegne/bianchi", "consegne/bianchi/somma.asm");
        bianchi.submission.problems = {"consegne/bianchi/somma.asm:3:5: errore: istruzione sconosciuta 'ADX'"};
        bianchi.cases.assign(4, CaseResult{});
        results.push_back(bianchi);

        SubmissionResult verdi;
        verdi.submission = submission("verdì", "consegne/verdì", "consegne/verdì/somma.bin");
        verdi.submission.notes = {"l'immagine è lunga 300 byte: ne sono caricati solo 256"};
        verdi.cases = {passed(2, "7\n"), passed(1, "0\n"), passed(1, "9\n"), passed(1, "uscita-segreta\n")};
        verdi.points = 5;
        results.push_back(verdi);
    }

    static TestCase visibleCase(const char* name, const char* input, const char* output, double points) {
        TestCase testCase;
        testCase.name = name;
        testCase.input = input;
        testCase.output = output;
        testCase.points = points;
        return testCase;
    }
    static Submission submission(const char* student, const char* argument, const char* program) {
        Submission result;
        result.student = student;
        result.argument = argument;
        result.program = program;
        return result;
    }
    static CaseResult passed(double points, const char* output) {
        CaseResult result;
        result.passed = true;
        result.ran = true;
        result.points = points;
        result.output = output;
        result.instructions = 12;
        return result;
    }
    static CaseResult failed(const char* output, std::uint64_t instructions) {
        CaseResult result;
        result.ran = true;
        result.output = output;
        result.outputMatches = false;
        result.instructions = instructions;
        return result;
    }
};

TEST(ReportText, ClassReportAsAWhole) {
    const SmallClass group;
    const std::string report = formatClassReport(group.exercise, "es1.toml", group.results, nullptr, ReportStyle{});
    EXPECT_EQ(report,
              "Esercizio «Somma di due cifre» (es1.toml): 4 casi, 5 punti\n"
              "\n"
              "rossi  (consegne/rossi/somma.asm)  3/5 punti\n"
              "  superato      tre più quattro  2/2\n"
              "  NON SUPERATO  zero più zero    0/1\n"
              "  superato      caso nascosto    1/1  (nascosto)\n"
              "  NON SUPERATO  riporto          0/1  (nascosto)\n"
              "\n"
              "  ✗ zero più zero: uscita diversa da quella attesa\n"
              "    ingresso: \"0 0\\n\"\n"
              "    uscita (- attesa, + ottenuta):\n"
              "      - 0\n"
              "      + 00\n"
              "    istruzioni eseguite: 17\n"
              "    per rivederlo: tarngrade es1.toml consegne/rossi --caso 'zero più zero'\n"
              "    nel debugger: tarndbg consegne/rossi/somma.asm --esercizio es1.toml --caso 'zero più zero'\n"
              "\n"
              "bianchi  (consegne/bianchi/somma.asm)  0/5 punti\n"
              "  il programma non si può eseguire:\n"
              "    consegne/bianchi/somma.asm:3:5: errore: istruzione sconosciuta 'ADX'\n"
              "  NON SUPERATO  tre più quattro  0/2\n"
              "  NON SUPERATO  zero più zero    0/1\n"
              "  NON SUPERATO  caso nascosto    0/1  (nascosto)\n"
              "  NON SUPERATO  riporto          0/1  (nascosto)\n"
              "\n"
              "verdì  (consegne/verdì/somma.bin)  5/5 punti\n"
              "  nota: l'immagine è lunga 300 byte: ne sono caricati solo 256\n"
              "  superato      tre più quattro  2/2\n"
              "  superato      zero più zero    1/1\n"
              "  superato      caso nascosto    1/1  (nascosto)\n"
              "  superato      riporto          1/1  (nascosto)\n"
              "\n"
              "Riepilogo: 3 consegne; 1 ha superato tutti i casi. Media 2,67 su 5 punti.\n"
              "  tre più quattro  superato da 2 consegne su 3\n"
              "  zero più zero    superato da 1 consegna su 3\n"
              "  caso nascosto    superato da 2 consegne su 3  (nascosto)\n"
              "  riporto          superato da 1 consegna su 3  (nascosto)\n");
    // Nothing of a hidden case leaks: not its input, output nor command.
    for (const char* secret : {"segret", "--caso riporto", "--caso 'caso nascosto'"})
        EXPECT_EQ(report.find(secret), std::string::npos) << secret;
}

TEST(ReportText, TheTeachersReportShowsHiddenCasesInFull) {
    const SmallClass group;
    ReportStyle teacher;
    teacher.teacher = true;
    const std::string student = formatClassReport(group.exercise, "es1.toml", group.results, nullptr, ReportStyle{});
    const std::string report = formatClassReport(group.exercise, "es1.toml", group.results, nullptr, teacher);
    // The failing hidden case as a visible one, after the visible ones, with
    // the commands that the teacher can run: both say --docente.
    const std::string hidden =
        "  ✗ riporto: uscita diversa da quella attesa\n"
        "    ingresso: \"ingresso-segreto\\n\"\n"
        "    uscita (- attesa, + ottenuta):\n"
        "      - uscita-segreta\n"
        "      + prodotto-segreto\n"
        "    istruzioni eseguite: 23\n"
        "    per rivederlo: tarngrade es1.toml consegne/rossi --caso riporto --docente\n"
        "    nel debugger: tarndbg consegne/rossi/somma.asm --esercizio es1.toml --caso riporto --docente\n";
    EXPECT_NE(report.find("    per rivederlo: tarngrade es1.toml consegne/rossi --caso 'zero più zero'\n"
                          "    nel debugger: tarndbg consegne/rossi/somma.asm --esercizio es1.toml --caso 'zero più zero'\n"
                          "\n" + hidden),
              std::string::npos)
        << report;
    EXPECT_EQ(student.find("segret"), std::string::npos);
    // Nothing else changes: without the hidden case's lines, the same report.
    std::string without = report;
    without.erase(without.find("\n" + hidden), hidden.size() + 1);
    EXPECT_EQ(without, student);
    // A hidden case passed shows nothing more; the details alone follow the style.
    EXPECT_EQ(formatCaseDetails(group.exercise, "es1.toml", group.results[0], 2, teacher), "");
    EXPECT_EQ(formatCaseDetails(group.exercise, "es1.toml", group.results[0], 3, teacher), hidden);
    EXPECT_EQ(formatCaseDetails(group.exercise, "es1.toml", group.results[0], 3, ReportStyle{}),
              "  ✗ riporto (nascosto): non superato\n");
}

TEST(ReportText, TheSummaryIsALinePerStudentAndTheClassSummary) {
    const SmallClass group;
    const std::string summary = formatClassSummary(group.exercise, "es1.toml", group.results, nullptr, ReportStyle{});
    EXPECT_EQ(summary,
              "Esercizio «Somma di due cifre» (es1.toml): 4 casi, 5 punti\n"
              "\n"
              "rossi    3/5 punti  casi superati: 2 su 4\n"
              "bianchi  0/5 punti  casi superati: 0 su 4 (il programma non si può eseguire)\n"
              "verdì    5/5 punti  casi superati: 4 su 4\n"
              "\n"
              "Riepilogo: 3 consegne; 1 ha superato tutti i casi. Media 2,67 su 5 punti.\n"
              "  tre più quattro  superato da 2 consegne su 3\n"
              "  zero più zero    superato da 1 consegna su 3\n"
              "  caso nascosto    superato da 2 consegne su 3  (nascosto)\n"
              "  riporto          superato da 1 consegna su 3  (nascosto)\n");
    // The same ending as the whole report.
    const std::string report = formatClassReport(group.exercise, "es1.toml", group.results, nullptr, ReportStyle{});
    EXPECT_EQ(summary.substr(summary.find("Riepilogo:")), report.substr(report.find("Riepilogo:")));
    // In colour, the points say at a glance who passed everything.
    const std::string coloured = formatClassSummary(group.exercise, "es1.toml", group.results, nullptr, ReportStyle{true});
    EXPECT_NE(coloured.find("verdì    \x1b[1;32m5/5 punti\x1b[0m"), std::string::npos) << coloured;
    EXPECT_NE(coloured.find("rossi    \x1b[1;31m3/5 punti\x1b[0m"), std::string::npos) << coloured;
    // No students: the summary says so.
    EXPECT_EQ(formatClassSummary(group.exercise, "es1.toml", {}, nullptr, ReportStyle{}),
              "Esercizio «Somma di due cifre» (es1.toml): 4 casi, 5 punti\n\nRiepilogo: nessuna consegna.\n");
}

TEST(ReportText, CaseDetailsOfEveryKind) {
    SmallClass group;
    const ReportStyle plain{};
    // Passed: nothing; hidden: the verdict alone.
    EXPECT_EQ(formatCaseDetails(group.exercise, "es1.toml", group.results[0], 0, plain), "");
    EXPECT_EQ(formatCaseDetails(group.exercise, "es1.toml", group.results[0], 3, plain),
              "  ✗ riporto (nascosto): non superato\n");
    EXPECT_EQ(formatCaseDetails(group.exercise, "es1.toml", group.results[0], 9, plain), "");
    // Not run: the reasons, which hold the problems, and no command.
    EXPECT_EQ(formatCaseDetails(group.exercise, "es1.toml", group.results[1], 0, plain),
              "  ✗ tre più quattro: programma non eseguito\n"
              "    consegne/bianchi/somma.asm:3:5: errore: istruzione sconosciuta 'ADX'\n");

    // A program stopped by the limit is not compared, but its output is
    // shown against the expected one when it differs; the problems of a
    // submission are ready lines, their escapes kept as they are.
    SubmissionResult looping = group.results[0];
    looping.cases[1].outputMatches = true;
    looping.cases[1].limitReached = true;
    looping.cases[1].output = "GGG";
    EXPECT_NE(formatCaseDetails(group.exercise, "es1.toml", looping, 1, plain)
                  .find("    uscita (- attesa, + ottenuta):\n"
                        "      - 0\n"
                        "      + GGG  (senza a capo finale)\n"),
              std::string::npos);
    looping.cases[1].output = "0\n";
    EXPECT_NE(formatCaseDetails(group.exercise, "es1.toml", looping, 1, plain).find("    uscita: come attesa\n"),
              std::string::npos);
    SubmissionResult broken = group.results[1];
    broken.submission.problems = {"x.asm:1:1: errore: carattere inatteso \\xC5"};
    EXPECT_EQ(formatCaseDetails(group.exercise, "es1.toml", broken, 1, plain),
              "  ✗ zero più zero: programma non eseguito\n"
              "    x.asm:1:1: errore: carattere inatteso \\xC5\n");

    // No expected output: the output itself; notes; every reason; a path
    // that reads as an option is replayed as ./-x.
    TestCase& free = group.exercise.cases[1];
    free.output.reset();
    free.input.clear();
    SubmissionResult& rossi = group.results[0];
    rossi.submission.argument = "-x";
    CaseResult& result = rossi.cases[1];
    result.outputMatches = true;
    result.output = "a\nb";
    result.limitReached = true;
    result.finalPC = 0x1F;
    result.instructions = 100000;
    result.tracesShown = 3;
    result.mismatches = {{Mismatch::Kind::Register, 260, 3, 4}};
    EXPECT_EQ(formatCaseDetails(group.exercise, "es1.toml", rossi, 1, plain),
              "  ✗ zero più zero: limite di istruzioni superato: PC = 0x1F dopo 100000 istruzioni\n"
              "    registro X: atteso 3, trovato 4\n"
              "    ingresso: nessuno\n"
              "    uscita:\n"
              "      | a\n"
              "      | b  (senza a capo finale)\n"
              "    istruzioni eseguite: 100000\n"
              "    nota: il programma lascia acceso il flag D: 3 visualizzazioni della traccia sono state saltate\n"
              "    per rivederlo: tarngrade es1.toml ./-x --caso 'zero più zero'\n"
              "    nel debugger: tarndbg consegne/rossi/somma.asm --esercizio es1.toml --caso 'zero più zero'\n");
    // Neither command where the style leaves them out.
    const std::string student = formatCaseDetails(group.exercise, "es1.toml", rossi, 1, ReportStyle{false, false});
    EXPECT_EQ(student.find("per rivederlo"), std::string::npos) << student;
    EXPECT_EQ(student.find("tarndbg"), std::string::npos) << student;
}

TEST(ReportText, LongDiffsShowTheChangesWithinBounds) {
    SmallClass group;
    std::string expected;
    std::string actual;
    for (int line = 0; line < 1000; ++line) {
        expected += std::to_string(line) + "\n";
        actual += std::to_string(line == 500 ? -1 : line) + "\n";
    }
    group.exercise.cases[1].output = expected;
    group.results[0].cases[1].output = actual;
    const std::string details = formatCaseDetails(group.exercise, "es1.toml", group.results[0], 1, ReportStyle{});
    EXPECT_NE(details.find("      … 498 righe uguali\n"
                           "        498\n"
                           "        499\n"
                           "      - 500\n"
                           "      + -1\n"
                           "        501\n"
                           "        502\n"
                           "      … 497 righe uguali\n"),
              std::string::npos)
        << details;

    // Everything different: 40 lines shown, the rest counted.
    actual.clear();
    for (int line = 0; line < 1000; ++line) actual += "x" + std::to_string(line) + "\n";
    group.results[0].cases[1].output = actual;
    const std::string all = formatCaseDetails(group.exercise, "es1.toml", group.results[0], 1, ReportStyle{});
    EXPECT_NE(all.find("      … altre 1960 righe diverse\n"), std::string::npos) << all;
    EXPECT_LT(all.size(), 2000u);

    // One huge line is cut, and blanks at the end of a changed line show.
    group.exercise.cases[1].output = "7 \n";
    group.results[0].cases[1].output = std::string(5000, 'z') + "\n";
    const std::string wide = formatCaseDetails(group.exercise, "es1.toml", group.results[0], 1, ReportStyle{});
    EXPECT_NE(wide.find("      - 7␣\n"), std::string::npos) << wide;
    EXPECT_NE(wide.find("      + " + std::string(200, 'z') + " … (altri 4800 caratteri)\n"), std::string::npos);
}

TEST(ReportText, HostileBytesNeverReachTheReportRaw) {
    SmallClass group;
    SubmissionResult& rossi = group.results[0];
    rossi.submission.student = "ros\x1b[2Jsi";
    rossi.submission.argument = "consegne/ros\x1b[2Jsi\n";
    rossi.submission.program = "consegne/ros\x1b[2Jsi\n/somma.asm";
    rossi.cases[1].output = "\x1b]0;titolo\x07\r\xff\xc2\x9b" "fine\n";
    group.exercise.cases[1].input = "0\x1b\n\"0\"";
    group.results[1].submission.problems = {"x.asm:1:1: errore: simbolo '\x1b[31m' \n"};
    for (const bool colour : {false, true}) {
        const std::string report =
            formatClassReport(group.exercise, "es\x1b.toml", group.results, nullptr, ReportStyle{colour});
        // Every ESC is the report's own colour, a C1 CSI never appears, and
        // no line is broken by an untrusted line end.
        for (std::size_t at = report.find('\x1b'); at != std::string::npos; at = report.find('\x1b', at + 1)) {
            ASSERT_TRUE(colour) << report;
            EXPECT_TRUE(report.compare(at, 4, "\x1b[0m") == 0 || report.compare(at, 4, "\x1b[1m") == 0 ||
                        report.compare(at, 4, "\x1b[31") == 0 || report.compare(at, 4, "\x1b[32") == 0 ||
                        report.compare(at, 4, "\x1b[1;") == 0)
                << report.substr(at, 10);
        }
        EXPECT_EQ(report.find('\x07'), std::string::npos);
        EXPECT_EQ(report.find('\r'), std::string::npos);
        EXPECT_EQ(report.find("\xc2\x9b"), std::string::npos);
        EXPECT_NE(report.find("ros\\x1B[2Jsi"), std::string::npos) << report;
        EXPECT_NE(report.find("(consegne/ros\\x1B[2Jsi\\n/somma.asm)"), std::string::npos) << report;
        EXPECT_NE(report.find("ingresso: \"0\\x1B\\n\\\"0\\\"\""), std::string::npos) << report;
        EXPECT_NE(report.find("\\x1B]0;titolo\\x07\\r\\xFF\\xC2\\x9Bfine"), std::string::npos) << report;
        // The replay command stays one line, the control bytes quoted for the shell.
        EXPECT_NE(report.find("per rivederlo: tarngrade $'es\\x1B.toml' $'consegne/ros\\x1B[2Jsi\\x0A' --caso "),
                  std::string::npos)
            << report;
        EXPECT_NE(report.find("simbolo '\\x1B[31m' \\n\n"), std::string::npos);
    }
}

TEST(ReportText, ColourOnlyWhenAsked) {
    const SmallClass group;
    const std::string plain = formatClassReport(group.exercise, "es1.toml", group.results, nullptr, ReportStyle{false});
    const std::string coloured =
        formatClassReport(group.exercise, "es1.toml", group.results, nullptr, ReportStyle{true});
    EXPECT_EQ(plain.find('\x1b'), std::string::npos);
    EXPECT_NE(coloured.find("\x1b[32msuperato\x1b[0m"), std::string::npos);
    EXPECT_NE(coloured.find("\x1b[31mNON SUPERATO\x1b[0m"), std::string::npos);
    EXPECT_NE(coloured.find("\x1b[31m- 0\x1b[0m"), std::string::npos);
    EXPECT_NE(coloured.find("\x1b[32m+ 00\x1b[0m"), std::string::npos);
    EXPECT_NE(coloured.find("\x1b[1mrossi\x1b[0m"), std::string::npos);
    // Without its styles the coloured report is the plain one.
    std::string stripped;
    for (std::size_t index = 0; index < coloured.size(); ++index) {
        if (coloured[index] == '\x1b') {
            index = coloured.find('m', index);
            continue;
        }
        stripped += coloured[index];
    }
    EXPECT_EQ(stripped, plain);
}

TEST(ReportText, SimilarPairsMostAlikeFirst) {
    const SmallClass group;
    const Similarities pairs{{}, {{0, 2, 0.71}, {1, 2, 0.956}, {0, 7, 0.99}}};
    const std::string report = formatClassReport(group.exercise, "es1.toml", group.results, &pairs, ReportStyle{});
    EXPECT_NE(report.find("Consegne simili (il codice confrontato come sequenza di istruzioni):\n"
                          "  bianchi e verdì  96%\n"
                          "  rossi e verdì    71%\n"
                          "\n"
                          "Riepilogo:"),
              std::string::npos)
        << report;
    const Similarities none;
    EXPECT_NE(formatClassReport(group.exercise, "es1.toml", group.results, &none, ReportStyle{})
                  .find("Consegne simili: nessuna coppia è simile almeno al 60%.\n"),
              std::string::npos);
    EXPECT_EQ(formatClassReport(group.exercise, "es1.toml", group.results, nullptr, ReportStyle{}).find("simili"),
              std::string::npos);

    // Without the skeleton's code: one line says so, pairs or none.
    const std::string skeleton = "  Non contano le sequenze di almeno 5 istruzioni consecutive presenti anche nello "
                                 "scheletro.\n";
    Similarities excluded = pairs;
    excluded.skeletonExcluded = true;
    EXPECT_NE(formatClassReport(group.exercise, "es1.toml", group.results, &excluded, ReportStyle{})
                  .find("Consegne simili (il codice confrontato come sequenza di istruzioni):\n" + skeleton +
                        "  bianchi e verdì  96%\n"),
              std::string::npos);
    Similarities noneExcluded;
    noneExcluded.skeletonExcluded = true;
    EXPECT_NE(formatClassReport(group.exercise, "es1.toml", group.results, &noneExcluded, ReportStyle{})
                  .find("Consegne simili: nessuna coppia è simile almeno al 60%.\n" + skeleton + "\nRiepilogo:"),
              std::string::npos);
    EXPECT_EQ(report.find("scheletro"), std::string::npos);
}

TEST(ReportText, IdenticalSubmissionsAreOneLineEach) {
    // st0000 to st3005: groups of 3000, 5, 4 and 2 (all names up to four,
    // three and the count beyond), then pairs whose sides stand for groups.
    Exercise exercise;
    exercise.title = "Copie";
    std::vector<SubmissionResult> results(3011);
    for (std::size_t index = 0; index < results.size(); ++index) {
        char name[32];
        std::snprintf(name, sizeof name, "st%04zu", index);
        results[index].submission.student = name;
    }
    const auto range = [](std::size_t from, std::size_t to) {
        std::vector<std::size_t> members;
        for (std::size_t index = from; index < to; ++index) members.push_back(index);
        return members;
    };
    Similarities similar;
    similar.identical = {range(0, 3000), range(3000, 3005), range(3005, 3009), {3009, 3010}};
    similar.pairs = {{0, 3000, 0.9}, {3005, 3010, 0.8}, {3000, 3009, 0.7}, {0, 3011, 0.65}};
    const std::string report = formatClassReport(exercise, "es.toml", results, &similar, ReportStyle{});
    EXPECT_NE(report.find("Consegne simili (il codice confrontato come sequenza di istruzioni):\n"
                          "  st0000, st0001, st0002 e altre 2997: identiche\n"
                          "  st3000, st3001, st3002 e altre 2: identiche\n"
                          "  st3005, st3006, st3007 e st3008: identiche\n"
                          "  st3009 e st3010: identiche\n"
                          "  st0000 (e altre 2999 identiche) e st3000 (e altre 4 identiche)  90%\n"
                          "  st3005 (e altre 3 identiche) e st3010                           80%\n"
                          "  st3000 (e altre 4 identiche) e st3009 (e un'altra identica)     70%\n"
                          "\n"),
              std::string::npos)
        << report.substr(report.find("Consegne simili"));
    // An index outside the class (3011) is left out, never read.
    EXPECT_EQ(report.find("65%"), std::string::npos);
}

// A run by hand: the program wrote 0x2A at 0xF0 and 0x01 at 0x10; the
// exercise wanted 0x15 at 0xF0.
struct HandRun {
    Exercise exercise;
    TestCase testCase;
    Submission submission;
    CaseRun run;

    HandRun() {
        exercise.title = "Tabella";
        testCase.name = "somma della tabella";
        testCase.output = "21\n";
        testCase.input = "5";
        testCase.expectedFlags = FLAG_Z;
        submission.student = "rossi";
        submission.argument = "consegne/rossi";
        submission.program = "consegne/rossi/tabella.asm";
        std::memset(&run.before, 0, sizeof run.before);
        run.before.M[0] = 0x86;
        run.before.M[0xC8] = 5;
        run.after = run.before;
        run.after.M[0xF0] = 0x2A;
        run.after.M[0x10] = 0x01;
        run.after.PC = 0x1A;
        run.after.A = 0xF0;
        run.after.B = 7;
        run.after.X = 3;
        run.after.F = FLAG_P | FLAG_D;
        run.result.ran = true;
        run.result.instructions = 42;
        run.result.inputTaken = 1;
        run.result.output = "42\n";
        run.result.outputMatches = false;
        run.result.mismatches = {{Mismatch::Kind::Memory, 0xF0, 0x15, 0x2A}, {Mismatch::Kind::Flag, FLAG_Z, 1, 0}};
    }
};

TEST(ReportText, ReplayShowsANegativeExpectedRegisterBothWays) {
    HandRun hand;
    hand.run.result.mismatches = {{Mismatch::Kind::Register, 260, 0xFB, 3}, {Mismatch::Kind::Register, 259, 0x7F, 7}};
    const std::string replay = formatReplay(hand.exercise, hand.submission, hand.testCase, hand.run, ReportStyle{});
    EXPECT_NE(replay.find("\n  B  0x07    7   atteso 0x7F (127)\n"), std::string::npos) << replay;
    EXPECT_NE(replay.find("\n  X  0x03    3   atteso 0xFB (251, -5)\n"), std::string::npos) << replay;
}

TEST(ReportText, ReplayShowsTheMachineAfterTheRun) {
    const HandRun hand;
    const std::string replay = formatReplay(hand.exercise, hand.submission, hand.testCase, hand.run, ReportStyle{});
    const std::string expected =
        "Caso «somma della tabella» di rossi\n"
        "Esercizio «Tabella», programma consegne/rossi/tabella.asm\n"
        "\n"
        "Esito: NON SUPERATO, 0/1 punti\n"
        "  uscita diversa da quella attesa\n"
        "  memoria all'indirizzo 0xF0: atteso 21, trovato 42\n"
        "  flag Z spento: doveva essere acceso\n"
        "Istruzioni eseguite: 42\n"
        "Ingresso letto: 1 byte su 1\n"
        "\n"
        "Ingresso:\n"
        "  | 5  (senza a capo finale)\n"
        "Uscita attesa:\n"
        "  | 21\n"
        "Uscita ottenuta:\n"
        "  | 42\n"
        "Differenze (- attesa, + ottenuta):\n"
        "  - 21\n"
        "  + 42\n"
        "\n"
        "Registri finali:\n"
        "  PC 0x1A   26\n"
        "  IR 0x00    0\n"
        "  A  0xF0  240\n"
        "  B  0x07    7\n"
        "  X  0x03    3\n"
        "Flag (F = 0x09): D - - P -\n"
        "  nell'ordine D Z O P N: la lettera se il flag è acceso, - se è spento\n"
        "  dovevano essere accesi: Z\n"
        "\n"
        "Memoria finale:\n"
        "       0   1   2   3   4   5   6   7   8   9   A   B   C   D   E   F\n"
        "  00  86  00  00  00  00  00  00  00  00  00  00  00  00  00  00  00\n"
        "  10  01* 00  00  00  00  00  00  00  00  00  00  00  00  00  00  00\n";
    ASSERT_EQ(replay.substr(0, expected.size()), expected) << replay;
    EXPECT_NE(replay.find("\n  C0  00  00  00  00  00  00  00  00  05  00"), std::string::npos);
    EXPECT_NE(replay.find("\n  F0  2A! 00  00"), std::string::npos);
    EXPECT_NE(replay.find("\n  * byte cambiato dall'esecuzione\n"
                          "  ! byte diverso da quello atteso\n"),
              std::string::npos);
    // Exactly the two changed bytes are marked, and every line fits 80 columns.
    EXPECT_EQ(std::count(replay.begin(), replay.end(), '*'), 2);  // one in the grid, one in the legend
    EXPECT_EQ(std::count(replay.begin(), replay.end(), '!'), 2);
    std::size_t start = 0;
    while (start < replay.size()) {
        const std::size_t end = replay.find('\n', start);
        std::size_t characters = 0;
        for (std::size_t index = start; index < end; ++index)
            if ((static_cast<unsigned char>(replay[index]) & 0xC0) != 0x80) ++characters;
        EXPECT_LE(characters, 80u) << replay.substr(start, end - start);
        start = end + 1;
    }
}

TEST(ReportText, ReplayInColourHighlightsTheChangedBytes) {
    HandRun hand;
    hand.run.result.mismatches.clear();
    hand.run.result.outputMatches = true;
    hand.run.result.output = hand.testCase.output.value();
    const std::string replay = formatReplay(hand.exercise, hand.submission, hand.testCase, hand.run, ReportStyle{true});
    EXPECT_NE(replay.find("\x1b[7m01\x1b[0m*"), std::string::npos);
    EXPECT_NE(replay.find("\x1b[7m2A\x1b[0m*"), std::string::npos);
    EXPECT_EQ(replay.find("\x1b[7m00"), std::string::npos);
    EXPECT_NE(replay.find("Uscita ottenuta\x1b[0m: uguale a quella attesa\n"), std::string::npos);
    EXPECT_EQ(replay.find("Differenze"), std::string::npos);
    EXPECT_EQ(formatReplay(hand.exercise, hand.submission, hand.testCase, hand.run, ReportStyle{false}).find('\x1b'),
              std::string::npos);
}

}  // namespace
}  // namespace tarn::grading

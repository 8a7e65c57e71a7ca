#include "programs/tarngrade/xlsx_report.hpp"

#include "grading/wording.hpp"
#include "host/files.hpp"
#include "host/system_reason.hpp"
#include "text/utf8.hpp"

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace tarn::grading {

namespace {

// An Excel sheet's size, and what one of its cells holds at most.
constexpr std::size_t MAX_ROWS = LXW_ROW_MAX;
constexpr std::size_t MAX_COLUMNS = LXW_COL_MAX;
constexpr std::size_t MAX_CELL_CHARACTERS = 32767;
// A workbook read back larger than this is refused (a class of a thousand
// students and a hundred cases makes less than a megabyte).
constexpr std::size_t MAX_WORKBOOK_BYTES = std::size_t{256} << 20;
// Column widths, in characters, that a name or a number gets at least and at most.
constexpr std::size_t MIN_WIDTH = 8;
constexpr std::size_t MAX_WIDTH = 60;

constexpr const char* WORKBOOK_NAME = "registro.xlsx";

// Characters of valid UTF-8 text.
std::size_t characters(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    return count;
}

// Untrusted bytes as a cell's text: valid UTF-8 on one line, without control
// characters (what visibleName makes of them), within a cell's limit.
std::string cellText(std::string_view bytes) {
    std::string text = visibleName(bytes);
    std::size_t count = 0;
    for (std::size_t index = 0; index < text.size(); ++index) {
        if ((static_cast<unsigned char>(text[index]) & 0xC0) == 0x80) continue;
        if (++count == MAX_CELL_CHARACTERS) {  // room for the "…" that says it was cut
            text.resize(index);
            text += "…";
            break;
        }
    }
    return text;
}

// Points as every report rounds them: to hundredths.
double rounded(double points) {
    if (!std::isfinite(points)) return 0;
    return std::round(points * 100.0) / 100.0;
}

std::string libraryReason(lxw_error error) {
    switch (error) {
        case LXW_ERROR_MEMORY_MALLOC_FAILED: return "memoria esaurita";
        case LXW_ERROR_CREATING_XLSX_FILE: return "impossibile creare la cartella di lavoro";
        case LXW_ERROR_CREATING_TMPFILE:
        case LXW_ERROR_READING_TMPFILE: return "impossibile usare un file temporaneo";
        case LXW_ERROR_ZIP_FILE_OPERATION:
        case LXW_ERROR_ZIP_PARAMETER_ERROR:
        case LXW_ERROR_ZIP_BAD_ZIP_FILE:
        case LXW_ERROR_ZIP_INTERNAL_ERROR:
        case LXW_ERROR_ZIP_FILE_ADD:
        case LXW_ERROR_ZIP_CLOSE: return "errore nel comprimere la cartella di lavoro";
        case LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED: return "un testo è più lungo di quanto una cella possa contenere";
        case LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE: return "il registro non sta in un foglio di Excel";
        default: return "errore di libxlsxwriter " + std::to_string(static_cast<int>(error));
    }
}

// While it lives, the signals that end the program wait: the private folder
// is always removed before one of them ends it. Making a workbook takes
// milliseconds.
class EndingSignalsHeld {
public:
    EndingSignalsHeld() {
        sigset_t set;
        sigemptyset(&set);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&set, signal);
        ::pthread_sigmask(SIG_BLOCK, &set, &previous_);
    }
    ~EndingSignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    EndingSignalsHeld(const EndingSignalsHeld&) = delete;
    EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

private:
    sigset_t previous_;
};

// libxlsxwriter tells its troubles on standard error, in English, besides
// returning them: while it works, its standard error goes to /dev/null, and
// its error codes become one line of the program's own.
class StandardErrorSilenced {
public:
    StandardErrorSilenced() {
        saved_ = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) ::dup2(null, STDERR_FILENO);
        if (null >= 0) ::close(null);
    }
    ~StandardErrorSilenced() {
        if (saved_ < 0) return;
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
    }
    StandardErrorSilenced(const StandardErrorSilenced&) = delete;
    StandardErrorSilenced& operator=(const StandardErrorSilenced&) = delete;

private:
    int saved_ = -1;
};

// A folder only this process reads and writes (mode 0700), in $TMPDIR or
// /tmp, removed with what it holds.
class PrivateFolder {
public:
    explicit PrivateFolder(std::string& reason) {
        const char* tmpdir = std::getenv("TMPDIR");
        const std::string parent = tmpdir != nullptr && tmpdir[0] == '/' ? tmpdir : "/tmp";
        std::string pattern = parent + (parent.back() == '/' ? "" : "/") + "tarngrade-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            reason = "impossibile creare una cartella temporanea in " + quotedName(parent) + ": " + systemReason(errno);
            return;
        }
        path_ = pattern;
    }
    ~PrivateFolder() {
        if (path_.empty()) return;
        if (DIR* folder = ::opendir(path_.c_str())) {
            while (const dirent* entry = ::readdir(folder)) {
                const std::string_view name = entry->d_name;
                if (name != "." && name != "..") ::unlink((path_ + "/" + std::string(name)).c_str());
            }
            ::closedir(folder);
        }
        ::rmdir(path_.c_str());
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    bool made() const { return !path_.empty(); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Writes cells, keeping the first error and skipping everything after it,
// and the widest text of every column.
class SheetWriter {
public:
    SheetWriter(lxw_worksheet* sheet, lxw_error& error) : sheet_(sheet), error_(error) {}

    void text(std::size_t row, std::size_t column, std::string_view value, lxw_format* format = nullptr) {
        const std::string shown = cellText(value);
        widen(column, characters(shown));
        // A string cell, never a formula: "=1+1" stays the name it is.
        check(worksheet_write_string(sheet_, rowAt(row), columnAt(column), shown.c_str(), format));
    }
    void number(std::size_t row, std::size_t column, double value) {
        widen(column, characters(formatPointsPlain(value)));
        check(worksheet_write_number(sheet_, rowAt(row), columnAt(column), value, nullptr));
    }
    void date(std::size_t row, std::size_t column, const std::tm& when, lxw_format* format) {
        lxw_datetime value{when.tm_year + 1900, when.tm_mon + 1, when.tm_mday, when.tm_hour, when.tm_min,
                           static_cast<double>(std::min(when.tm_sec, 59))};
        widen(column, 16);
        check(worksheet_write_datetime(sheet_, rowAt(row), columnAt(column), &value, format));
    }
    // Every column as wide as its widest text, within bounds.
    void fitColumns() {
        for (std::size_t column = 0; column < widths_.size(); ++column) {
            const double width = static_cast<double>(std::clamp(widths_[column] + 2, MIN_WIDTH, MAX_WIDTH));
            check(worksheet_set_column(sheet_, columnAt(column), columnAt(column), width, nullptr));
        }
    }
    void check(lxw_error error) {
        if (error_ == LXW_NO_ERROR) error_ = error;
    }

private:
    static lxw_row_t rowAt(std::size_t row) { return static_cast<lxw_row_t>(row); }
    static lxw_col_t columnAt(std::size_t column) { return static_cast<lxw_col_t>(column); }
    void widen(std::size_t column, std::size_t width) {
        if (column >= widths_.size()) widths_.resize(column + 1, 0);
        widths_[column] = std::max(widths_[column], width);
    }

    lxw_worksheet* sheet_;
    lxw_error& error_;
    std::vector<std::size_t> widths_;
};

void writeGrades(SheetWriter& sheet, lxw_worksheet* worksheet, lxw_format* bold, const Exercise& exercise,
                 const std::vector<SubmissionResult>& results, lxw_error& error) {
    const std::size_t cases = exercise.cases.size();
    const std::size_t totalColumn = 2 + cases;
    sheet.text(0, 0, "studente", bold);
    sheet.text(0, 1, "consegna", bold);
    for (std::size_t index = 0; index < cases; ++index) sheet.text(0, 2 + index, exercise.cases[index].name, bold);
    sheet.text(0, totalColumn, "totale", bold);

    for (std::size_t at = 0; at < results.size(); ++at) {
        const SubmissionResult& result = results[at];
        const Submission& submission = result.submission;
        const std::size_t row = 1 + at;
        sheet.text(row, 0, submission.student.empty() ? submission.argument : submission.student);
        sheet.text(row, 1, submission.program.empty() ? submission.argument : submission.program);
        for (std::size_t index = 0; index < cases; ++index)
            sheet.number(row, 2 + index, rounded(index < result.cases.size() ? result.cases[index].points : 0.0));
        sheet.number(row, totalColumn, rounded(result.points));
    }

    // Apart from the students, so that sorting or filtering them leaves it be.
    const std::size_t maximumRow = results.size() + 2;
    sheet.text(maximumRow, 0, "punti massimi", bold);
    for (std::size_t index = 0; index < cases; ++index)
        sheet.number(maximumRow, 2 + index, rounded(exercise.cases[index].points));
    sheet.number(maximumRow, totalColumn, rounded(exercise.totalPoints()));

    sheet.fitColumns();
    worksheet_freeze_panes(worksheet, 1, 0);
    if (error == LXW_NO_ERROR && !results.empty())
        sheet.check(worksheet_autofilter(worksheet, 0, 0, static_cast<lxw_row_t>(results.size()),
                                         static_cast<lxw_col_t>(totalColumn)));
}

void writeExercise(SheetWriter& sheet, lxw_format* bold, lxw_format* dateFormat, const Exercise& exercise,
                   const std::string& exerciseArgument, const std::tm& gradedAt) {
    sheet.text(0, 0, "esercizio", bold);
    sheet.text(0, 1, exercise.title);
    sheet.text(1, 0, "file", bold);
    sheet.text(1, 1, exerciseArgument);
    sheet.text(2, 0, "valutato il", bold);
    sheet.date(2, 1, gradedAt, dateFormat);
    sheet.text(3, 0, "punti totali", bold);
    sheet.number(3, 1, rounded(exercise.totalPoints()));

    sheet.text(5, 0, "caso", bold);
    sheet.text(5, 1, "punti", bold);
    sheet.text(5, 2, "nascosto", bold);
    for (std::size_t index = 0; index < exercise.cases.size(); ++index) {
        const TestCase& testCase = exercise.cases[index];
        sheet.text(6 + index, 0, testCase.name);
        sheet.number(6 + index, 1, rounded(testCase.points));
        sheet.text(6 + index, 2, testCase.hidden ? "sì" : "no");
    }
    sheet.fitColumns();
}

// Makes the workbook at path; the reason when it cannot.
std::string makeWorkbook(const std::string& path, const std::string& tmpdir, const Exercise& exercise,
                         const std::string& exerciseArgument, const std::vector<SubmissionResult>& results,
                         const std::tm& gradedAt) {
    lxw_workbook_options options{};
    options.constant_memory = LXW_FALSE;
    std::string folder = tmpdir;
    options.tmpdir = folder.data();
    options.use_zip64 = LXW_FALSE;
    lxw_workbook* workbook = workbook_new_opt(path.c_str(), &options);
    if (workbook == nullptr) return libraryReason(LXW_ERROR_MEMORY_MALLOC_FAILED);

    lxw_error error = LXW_NO_ERROR;
    lxw_worksheet* grades = workbook_add_worksheet(workbook, "Voti");
    lxw_worksheet* about = workbook_add_worksheet(workbook, "Esercizio");
    lxw_format* bold = workbook_add_format(workbook);
    lxw_format* dateFormat = workbook_add_format(workbook);
    if (grades == nullptr || about == nullptr || bold == nullptr || dateFormat == nullptr) {
        error = LXW_ERROR_MEMORY_MALLOC_FAILED;
    } else {
        format_set_bold(bold);
        format_set_num_format(dateFormat, "dd/mm/yyyy hh:mm");
        format_set_align(dateFormat, LXW_ALIGN_LEFT);
        SheetWriter gradeSheet(grades, error);
        writeGrades(gradeSheet, grades, bold, exercise, results, error);
        SheetWriter aboutSheet(about, error);
        writeExercise(aboutSheet, bold, dateFormat, exercise, exerciseArgument, gradedAt);
    }
    // Closing frees the workbook whatever happened before.
    const lxw_error closed = workbook_close(workbook);
    if (error == LXW_NO_ERROR) error = closed;
    return error == LXW_NO_ERROR ? std::string() : libraryReason(error);
}

}  // namespace

XlsxReport xlsxReport(const Exercise& exercise, const std::string& exerciseArgument,
                      const std::vector<SubmissionResult>& results, std::time_t gradedAt) {
    XlsxReport report;
    // Beyond one sheet's rows or columns, Excel would refuse the workbook.
    if (exercise.cases.size() + 3 > MAX_COLUMNS || results.size() + 3 > MAX_ROWS ||
        exercise.cases.size() + 7 > MAX_ROWS) {
        report.reason = libraryReason(LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE);
        return report;
    }
    std::tm when{};
    if (::localtime_r(&gradedAt, &when) == nullptr) when = std::tm{};

    const EndingSignalsHeld held;
    const PrivateFolder folder(report.reason);
    if (!folder.made()) return report;
    const std::string path = folder.path() + "/" + WORKBOOK_NAME;
    {
        const StandardErrorSilenced silenced;
        report.reason = makeWorkbook(path, folder.path(), exercise, exerciseArgument, results, when);
    }
    if (!report.reason.empty()) return report;
    if (!readFile(path, report.content, report.reason, MAX_WORKBOOK_BYTES)) {
        report.content.clear();
        return report;
    }
    if (report.content.size() > MAX_WORKBOOK_BYTES) {
        report.content.clear();
        report.reason = "la cartella di lavoro supera il limite di " + std::to_string(MAX_WORKBOOK_BYTES) + " byte";
        return report;
    }
    report.made = true;
    return report;
}

bool xlsxAvailable() {
    return true;
}

}  // namespace tarn::grading

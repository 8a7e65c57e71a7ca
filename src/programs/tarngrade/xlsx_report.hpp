// tarngrade's gradebook as an Excel workbook, written with libxlsxwriter: a
// library built for this host only, so the report lives beside the program.
#pragma once

#include "grading/exercise.hpp"
#include "grading/grader.hpp"

#include <ctime>
#include <string>
#include <vector>

namespace tarn::grading {

// The workbook's bytes, or why it could not be made (in Italian, to follow
// "impossibile scrivere il rapporto 'F': ").
struct XlsxReport {
    bool made = false;
    std::string content;
    std::string reason;
};

// The sheet "Voti": a frozen header row (studente, consegna, every case,
// totale), a row per student with the points as numbers, and below them,
// after an empty row, the most points of every column. The sheet
// "Esercizio": title, file, date of grading and the cases with their points.
// The workbook is made in a private temporary folder, read back and removed:
// nothing of it is left anywhere, whatever happens.
XlsxReport xlsxReport(const Exercise& exercise, const std::string& exerciseArgument,
                      const std::vector<SubmissionResult>& results, std::time_t gradedAt);

// Whether this build has the report: the Windows and static editions,
// without libxlsxwriter, do not (xlsx_unavailable.cpp).
bool xlsxAvailable();

}  // namespace tarn::grading

// The Windows edition has no Excel workbook: libxlsxwriter, which writes it,
// is built for the host only. tarngrade refuses --xlsx before grading.
#include "programs/tarngrade/xlsx_report.hpp"

namespace tarn::grading {

XlsxReport xlsxReport(const Exercise&, const std::string&, const std::vector<SubmissionResult>&, std::time_t) {
    return {false, {}, "non disponibile in questa edizione"};
}

bool xlsxAvailable() {
    return false;
}

}  // namespace tarn::grading

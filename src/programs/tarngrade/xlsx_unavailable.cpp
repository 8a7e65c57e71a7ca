// A tarngrade without the Excel workbook: the Windows edition, whose
// toolchain has no libxlsxwriter, and the static edition, as Debian has
// libxlsxwriter only as a shared library (the CMake option TARNSIM_XLSX).
// tarngrade refuses --xlsx before grading, naming the edition.
#include "programs/tarngrade/xlsx_report.hpp"

namespace tarn::grading {

XlsxReport xlsxReport(const Exercise&, const std::string&, const std::vector<SubmissionResult>&, std::time_t) {
    return {false, {}, "non disponibile in questa edizione"};
}

bool xlsxAvailable() {
    return false;
}

}  // namespace tarn::grading

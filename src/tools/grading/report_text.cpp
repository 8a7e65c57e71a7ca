#include "tools/grading/report_text.hpp"

namespace tarn::grading {

std::string formatCaseDetails(const Exercise& exercise, const std::string& exerciseArgument,
                              const SubmissionResult& result, std::size_t caseIndex, const ReportStyle& style) {
    (void)exercise;
    (void)exerciseArgument;
    (void)result;
    (void)caseIndex;
    (void)style;
    return {};
}

std::string formatClassReport(const Exercise& exercise, const std::string& exerciseArgument,
                              const std::vector<SubmissionResult>& results, const std::vector<SimilarPair>* similar,
                              const ReportStyle& style) {
    (void)exercise;
    (void)exerciseArgument;
    (void)results;
    (void)similar;
    (void)style;
    return "non ancora scritto\n";
}

std::string formatReplay(const Exercise& exercise, const Submission& submission, const TestCase& testCase,
                         const CaseRun& run, const ReportStyle& style) {
    (void)exercise;
    (void)submission;
    (void)testCase;
    (void)run;
    (void)style;
    return "non ancora scritto\n";
}

}  // namespace tarn::grading

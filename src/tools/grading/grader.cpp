#include "tools/grading/grader.hpp"

namespace tarn::grading {

CaseRun runCase(const Exercise& exercise, const TestCase& testCase, const std::vector<Byte>& image) {
    (void)exercise;
    (void)testCase;
    (void)image;
    return {};
}

bool outputsMatch(std::string_view expected, std::string_view actual, Comparison comparison) {
    (void)comparison;
    return expected == actual;
}

bool SubmissionResult::allPassed() const {
    for (const CaseResult& result : cases)
        if (!result.passed) return false;
    return true;
}

std::vector<SubmissionResult> gradeClass(const Exercise& exercise, std::vector<Submission> submissions,
                                         unsigned jobs) {
    (void)exercise;
    (void)jobs;
    std::vector<SubmissionResult> results;
    for (Submission& submission : submissions) results.push_back({std::move(submission), {}, 0});
    return results;
}

}  // namespace tarn::grading

#include "tools/grading/report_files.hpp"

namespace tarn::grading {

std::string jsonReport(const Exercise& exercise, const std::string& exerciseArgument,
                       const std::vector<SubmissionResult>& results, const std::vector<SimilarPair>* similar) {
    (void)exercise;
    (void)exerciseArgument;
    (void)results;
    (void)similar;
    return "{}\n";
}

std::string junitReport(const Exercise& exercise, const std::string& exerciseArgument,
                        const std::vector<SubmissionResult>& results) {
    (void)exercise;
    (void)exerciseArgument;
    (void)results;
    return {};
}

std::string csvReport(const Exercise& exercise, const std::vector<SubmissionResult>& results) {
    (void)exercise;
    (void)results;
    return {};
}

std::string gradescopeReport(const Exercise& exercise, const std::string& exerciseArgument,
                             const SubmissionResult& result) {
    (void)exercise;
    (void)exerciseArgument;
    (void)result;
    return "{}\n";
}

}  // namespace tarn::grading

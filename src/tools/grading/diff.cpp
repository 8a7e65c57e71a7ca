#include "tools/grading/diff.hpp"

namespace tarn::grading {

std::vector<DiffLine> diffOutputs(std::string_view expected, std::string_view actual, Comparison comparison) {
    (void)comparison;
    return {{DiffLine::Kind::Expected, std::string(expected), true}, {DiffLine::Kind::Actual, std::string(actual), true}};
}

}  // namespace tarn::grading

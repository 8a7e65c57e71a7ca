// A line by line difference of an expected output and an actual one.
#pragma once

#include "grading/exercise.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace tarn::grading {

struct DiffLine {
    enum class Kind { Same, Expected, Actual };  // in both; only expected ("-"); only actual ("+")
    Kind kind = Kind::Same;
    std::string text;     // the line's bytes, without its line end
    bool lineEnd = true;  // false for a last line with no line end
};

// The shortest edit from expected to actual, as lines. Under Blanks the lines
// are compared, and shown, without their trailing blanks, and line ends at
// the end do not count. The work stays bounded for any two outputs within the
// output limits: past a bound, the rest is shown as removed then added.
std::vector<DiffLine> diffOutputs(std::string_view expected, std::string_view actual, Comparison comparison);

}  // namespace tarn::grading

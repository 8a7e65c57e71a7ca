// Sources of programs that loop, shared by the tests of the loop search and
// of the grader's report.
#pragma once

#include <string>

namespace tarn::testing {

// Two bytes count together: the state comes back only after every pair of
// values, some 16 thousand rounds later, so no state repeats in the first
// thousand steps.
inline const std::string TWO_BYTE_COUNTER =
    "giro: INC basso\n"
    " CLZ\n"
    " CMP basso, zero\n"
    " JPZ riporto\n"
    " JMP giro\n"
    "riporto: INC alto\n"
    " JMP giro\n"
    "basso: DB 0\n"
    "alto: DB 0\n"
    "zero: DB 0\n";

}  // namespace tarn::testing

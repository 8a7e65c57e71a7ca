// Sources of programs that loop, shared by the tests of the loop search, of
// the debugger and of the grader's report.
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

// Three nested countdowns of 60, some 900 thousand instructions, then `rest`,
// at the label `fine`: a long run before whatever `rest` does.
inline std::string afterCountdowns(const std::string& rest) {
    return "        VAL a, 60\n"
           "uno:    VAL b, 60\n"
           "due:    VAL c, 60\n"
           "tre:    CLZ\n"
           "        DEC c\n"
           "        JPZ finec\n"
           "        JMP tre\n"
           "finec:  CLZ\n"
           "        DEC b\n"
           "        JPZ fineb\n"
           "        JMP due\n"
           "fineb:  CLZ\n"
           "        DEC a\n"
           "        JPZ fine\n"
           "        JMP uno\n"
           "a:      DB 0\n"
           "b:      DB 0\n"
           "c:      DB 0\n"
           "fine:\n" +
           rest;
}

}  // namespace tarn::testing

// A program for the debugger's tests, from a source that must assemble.
#pragma once

#include "debugger/program.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace tarntest {

inline tarn::debugger::Program sourceProgram(std::string_view source) {
    tarn::debugger::Program program;
    std::vector<std::string> report;
    EXPECT_TRUE(tarn::debugger::programFromSource("prova.asm", source, program, report))
        << (report.empty() ? "" : report[0]);
    return program;
}

}  // namespace tarntest

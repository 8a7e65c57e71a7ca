// --vpl and --coderunner: the platforms' texts written, with what only the
// host knows (VPL_GRADEMAX, standard output and error).
#include "programs/tarngrade/platform_reports.hpp"

#include "grading/moodle_reports.hpp"
#include "host/files.hpp"
#include "text/utf8.hpp"

#include <cstdlib>
#include <exception>
#include <new>
#include <optional>
#include <string_view>

namespace tarn::grading {

namespace {

int exitStatus(int written, const SubmissionResult& result) {
    if (written != 0) return written;
    return result.allPassed() ? 0 : 1;
}

}  // namespace

int printVplReport(const Exercise& exercise, const std::string& exerciseArgument, const SubmissionResult& result) {
    std::optional<double> gradeMax;
    if (const char* given = std::getenv("VPL_GRADEMAX"); given != nullptr) {
        gradeMax = vplGradeMax(given);
        if (!gradeMax)
            printError("tarngrade: VPL_GRADEMAX vale " + quotedName(given) +
                       ", che non è un voto massimo (un numero maggiore di 0, col punto): il voto è in punti");
    }
    return exitStatus(printStandardOutput("tarngrade", vplReport(exercise, exerciseArgument, result, gradeMax)),
                      result);
}

int printCoderunnerReport(const Exercise& exercise, const std::string& exerciseArgument,
                          const SubmissionResult& result, const std::vector<std::string>& warnings) {
    return exitStatus(
        printStandardOutput("tarngrade", coderunnerReport(exercise, exerciseArgument, result, warnings)), result);
}

bool asksForCoderunner(int argc, char** argv) {
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        if (argument == "--") return false;
        if (argument == "--coderunner") return true;
    }
    return false;
}

int runForCoderunner(int (*body)(int, char**), int argc, char** argv) {
    int status = 2;
    std::vector<std::string> messages;
    {
        HeldErrors held;
        try {
            status = body(argc, argv);
        } catch (const std::bad_alloc&) {
            status = 2;
        } catch (const std::exception& error) {
            printError(std::string("tarngrade: errore interno: ") + error.what());
            status = 2;
        }
        if (status != 2) return status;
        messages = held.lines();
    }
    if (messages.empty()) messages.push_back("tarngrade: memoria esaurita");
    std::string reason;
    writeStandardOutput(coderunnerFailure(messages), reason);
    return 2;
}

}  // namespace tarn::grading

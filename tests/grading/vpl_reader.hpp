// What Moodle's Virtual Programming Lab reads from an evaluation's output,
// written from VPL's documentation of it: the grade is the rest of the last
// line that starts with "Grade :=>>", trimmed; the comments are the rest of
// every line that starts with "Comment :=>>", and every line between a line
// holding only "<|--" and one holding only "--|>" (blanks around a tag
// allowed, as older versions trimmed them). In a comment, a line that starts
// with "-" (and has more) is a title, one whose first character other than
// blanks is ">" is preformatted, any other is text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarntest {

struct VplLine {
    enum class Kind { Title, Preformatted, Text };
    Kind kind;
    std::string text;  // without its "-" or ">"
};

struct VplEvaluation {
    bool graded = false;
    std::string grade;
    std::vector<VplLine> comments;
    bool blockLeftOpen = false;

    std::vector<std::string> titles() const {
        std::vector<std::string> found;
        for (const VplLine& line : comments)
            if (line.kind == VplLine::Kind::Title) found.push_back(line.text);
        return found;
    }
};

inline std::string_view vplTrimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n\v\f");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n\v\f") - first + 1);
}

inline VplLine vplCommentLine(std::string_view line) {
    if (line.size() > 1 && line.front() == '-') return {VplLine::Kind::Title, std::string(vplTrimmed(line.substr(1)))};
    const std::string_view clean = vplTrimmed(line);
    if (!clean.empty() && clean.front() == '>')
        return {VplLine::Kind::Preformatted, std::string(line.substr(line.find('>') + 1))};
    return {VplLine::Kind::Text, std::string(line)};
}

inline VplEvaluation readVplEvaluation(std::string_view output) {
    constexpr std::string_view GRADE = "Grade :=>>";
    constexpr std::string_view COMMENT = "Comment :=>>";
    VplEvaluation evaluation;
    bool inBlock = false;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string_view::npos) end = output.size();
        const std::string_view line = output.substr(start, end - start);
        start = end + 1;
        if (line.starts_with(GRADE)) {
            evaluation.graded = true;
            evaluation.grade = vplTrimmed(line.substr(GRADE.size()));
        }
        if (inBlock) {
            if (vplTrimmed(line) == "--|>") inBlock = false;
            else evaluation.comments.push_back(vplCommentLine(line));
        } else if (line.starts_with(COMMENT)) {
            evaluation.comments.push_back(vplCommentLine(line.substr(COMMENT.size())));
        } else if (vplTrimmed(line) == "<|--") {
            inBlock = true;
        }
    }
    evaluation.blockLeftOpen = inBlock;
    return evaluation;
}

}  // namespace tarntest

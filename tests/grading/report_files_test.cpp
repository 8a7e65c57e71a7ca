#include "grading/report_files.hpp"
#include "programs/tarngrade/junit_report.hpp"

#include "machine/instruction_set.hpp"
#include "grading/wording.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace tarn::grading {
namespace {

using nlohmann::json;

// Three cases: an output checked exactly, a hidden one, one checked in memory only.
Exercise sampleExercise() {
    Exercise exercise;
    exercise.title = "Somma di due cifre";
    exercise.instructionLimit = 5000;
    exercise.outputLimit = 100;
    exercise.forbiddenNames = {"MUL"};
    exercise.forbidden[findInstruction("MUL")->opcode] = true;

    TestCase visible;
    visible.name = "tre più quattro";
    visible.input = "3 4\n";
    visible.output = "7\n";
    visible.points = 1.5;

    TestCase hidden;
    hidden.name = "nascosto";
    hidden.input = "9 9\n";
    hidden.output = "18\n";
    hidden.comparison = Comparison::Blanks;
    hidden.hidden = true;
    hidden.points = 2;

    TestCase memory;
    memory.name = "tabella";
    memory.points = 0.25;
    memory.expectedMemory = {{0xF0, {21}}};

    exercise.cases = {visible, hidden, memory};
    return exercise;
}

CaseResult passedCase(double points, std::string output) {
    CaseResult result;
    result.passed = true;
    result.points = points;
    result.ran = true;
    result.instructions = 12;
    result.output = std::move(output);
    return result;
}

// Passes the first case, fails the hidden one on its output and the memory
// one on memory, a register, a flag and a forbidden instruction.
SubmissionResult mixedResult(const std::string& student) {
    SubmissionResult result;
    result.submission.argument = "consegne/" + student;
    result.submission.student = student;
    result.submission.program = "consegne/" + student + "/somma.asm";
    result.submission.image = {0x00};
    result.submission.size = 1;
    result.cases.push_back(passedCase(1.5, "7\n"));

    CaseResult hidden;
    hidden.ran = true;
    hidden.instructions = 30;
    hidden.output = "SEGRETO\n";
    hidden.outputMatches = false;
    result.cases.push_back(hidden);

    CaseResult memory;
    memory.ran = true;
    memory.instructions = 77;
    memory.finalPC = 0x21;
    memory.tracesShown = 3;
    memory.forbidden = ForbiddenUse{findInstruction("MUL")->opcode, 0x10, 5};
    memory.mismatches = {{Mismatch::Kind::Memory, 0xF0, 21, 20},
                         {Mismatch::Kind::Register, 260, 3, 4},
                         {Mismatch::Kind::Flag, FLAG_Z, 1, 0}};
    result.cases.push_back(memory);
    result.points = 1.5;
    return result;
}

SubmissionResult allPassedResult(const std::string& student) {
    SubmissionResult result;
    result.submission.argument = student + ".asm";
    result.submission.student = student;
    result.submission.program = student + ".asm";
    result.submission.image = {0x00};
    result.submission.size = 1;
    result.cases = {passedCase(1.5, "7\n"), passedCase(2, "18\n"), passedCase(0.25, "")};
    result.points = 3.75;
    return result;
}

// A source the assembler refused: every case fails without running.
SubmissionResult brokenResult(const std::string& student) {
    SubmissionResult result;
    result.submission.argument = student + ".asm";
    result.submission.student = student;
    result.submission.program = student + ".asm";
    result.submission.problems = {student + ".asm:3:5: errore: istruzione sconosciuta 'ADX'"};
    result.cases.assign(3, CaseResult{});
    return result;
}

// Whether text is valid UTF-8, as nlohmann-json judges it.
bool isUtf8(const std::string& text) {
    try {
        (void)json(text).dump();
        return true;
    } catch (const json::exception&) {
        return false;
    }
}

// What XML 1.0 allows: UTF-8, no raw control characters but tab and line
// ends, and character references only to characters it can hold.
::testing::AssertionResult strictXml(const std::string& xml) {
    if (!isUtf8(xml)) return ::testing::AssertionFailure() << "not UTF-8";
    for (const char c : xml) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r')
            return ::testing::AssertionFailure() << "raw control byte " << unsigned{byte};
    }
    for (std::size_t at = xml.find("&#"); at != std::string::npos; at = xml.find("&#", at + 2)) {
        const bool hex = at + 2 < xml.size() && xml[at + 2] == 'x';
        const unsigned long code = std::strtoul(xml.c_str() + at + (hex ? 3 : 2), nullptr, hex ? 16 : 10);
        const bool allowed = code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
                             (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
        if (!allowed) return ::testing::AssertionFailure() << "reference to " << code;
    }
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_string(xml.c_str());
    if (!parsed) return ::testing::AssertionFailure() << parsed.description();
    return ::testing::AssertionSuccess();
}

pugi::xml_document parseXml(const std::string& xml) {
    pugi::xml_document document;
    EXPECT_TRUE(document.load_string(xml.c_str())) << xml;
    return document;
}

// Base64 as RFC 4648 has it, padding required; anything else is no bytes.
std::optional<std::string> fromBase64(const std::string& text) {
    const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (text.size() % 4 != 0) return std::nullopt;
    std::string bytes;
    for (std::size_t at = 0; at < text.size(); at += 4) {
        unsigned group = 0;
        std::size_t padding = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const char c = text[at + i];
            const bool last = at + 4 == text.size();
            if (c == '=' && last && i >= 2 && (i == 3 || text[at + 3] == '=')) {
                ++padding;
                group <<= 6;
                continue;
            }
            const std::size_t value = digits.find(c);
            if (value == std::string::npos || padding > 0) return std::nullopt;
            group = (group << 6) | static_cast<unsigned>(value);
        }
        for (std::size_t i = 0; i < 3 - padding; ++i) bytes += static_cast<char>((group >> (16 - 8 * i)) & 0xFF);
    }
    return bytes;
}

TEST(ReportFilesJson, HoldsEveryDetailOfEveryCaseHiddenOnesToo) {
    Exercise exercise = sampleExercise();
    const std::vector<SubmissionResult> results = {mixedResult("anna"), allPassedResult("bruno")};
    const std::string text = jsonReport(exercise, "es1.toml", results, nullptr);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    const json report = json::parse(text);

    const json& ex = report.at("esercizio");
    EXPECT_EQ(ex.at("titolo"), "Somma di due cifre");
    EXPECT_EQ(ex.at("file"), "es1.toml");
    EXPECT_DOUBLE_EQ(ex.at("punti_totali").get<double>(), 3.75);
    EXPECT_EQ(ex.at("limite_istruzioni"), 5000);
    EXPECT_EQ(ex.at("limite_uscita"), 100);
    EXPECT_EQ(ex.at("proibite"), json::array({"MUL"}));
    EXPECT_TRUE(ex.at("dimensione_massima").is_null());
    ASSERT_EQ(ex.at("casi").size(), 3u);
    EXPECT_EQ(ex.at("casi")[0].at("nome"), "tre più quattro");
    EXPECT_EQ(ex.at("casi")[0].at("confronto"), "esatto");
    EXPECT_EQ(ex.at("casi")[1].at("confronto"), "spazi");
    EXPECT_EQ(ex.at("casi")[1].at("nascosto"), true);
    EXPECT_DOUBLE_EQ(ex.at("casi")[2].at("punti").get<double>(), 0.25);

    ASSERT_EQ(report.at("consegne").size(), 2u);
    const json& anna = report.at("consegne")[0];
    EXPECT_EQ(anna.at("studente"), "anna");
    EXPECT_EQ(anna.at("argomento"), "consegne/anna");
    EXPECT_EQ(anna.at("tipo"), "sorgente");
    EXPECT_EQ(anna.at("eseguibile"), true);
    EXPECT_EQ(anna.at("tutti_superati"), false);
    EXPECT_DOUBLE_EQ(anna.at("punti").get<double>(), 1.5);
    ASSERT_EQ(anna.at("casi").size(), 3u);

    const json& first = anna.at("casi")[0];
    EXPECT_EQ(first.at("superato"), true);
    EXPECT_EQ(first.at("motivi"), json::array());
    EXPECT_EQ(first.at("ingresso"), "3 4\n");
    EXPECT_EQ(first.at("uscita_attesa"), "7\n");
    EXPECT_FALSE(first.contains("uscita_byte"));

    // The teacher's record shows the hidden case in full.
    const json& hidden = anna.at("casi")[1];
    EXPECT_EQ(hidden.at("nascosto"), true);
    EXPECT_EQ(hidden.at("superato"), false);
    EXPECT_EQ(hidden.at("uscita"), "SEGRETO\n");
    EXPECT_EQ(hidden.at("uscita_attesa"), "18\n");
    EXPECT_EQ(hidden.at("uscita_corrisponde"), false);
    EXPECT_EQ(hidden.at("istruzione_proibita"), nullptr);
    EXPECT_FALSE(hidden.at("motivi").empty());

    const json& memory = anna.at("casi")[2];
    EXPECT_TRUE(memory.at("uscita_attesa").is_null());
    EXPECT_EQ(memory.at("istruzioni"), 77);
    EXPECT_EQ(memory.at("pc_finale"), 0x21);
    EXPECT_EQ(memory.at("tracce_saltate"), 3);
    EXPECT_EQ(memory.at("istruzione_proibita").at("mnemonico"), "MUL");
    EXPECT_EQ(memory.at("istruzione_proibita").at("indirizzo"), 0x10);
    EXPECT_EQ(memory.at("istruzione_proibita").at("passo"), 5);
    const json differences = json::array({
        {{"tipo", "memoria"}, {"indirizzo", 0xF0}, {"atteso", 21}, {"trovato", 20}},
        {{"tipo", "registro"}, {"nome", "X"}, {"atteso", 3}, {"trovato", 4}},
        {{"tipo", "flag"}, {"nome", "Z"}, {"atteso", 1}, {"trovato", 0}},
    });
    EXPECT_EQ(memory.at("differenze"), differences);
    // The reasons and notes are the shared texts of every report.
    const std::vector<std::string> reasons =
        failureReasons(exercise, exercise.cases[2], results[0].submission, results[0].cases[2]);
    EXPECT_EQ(memory.at("motivi"), json(reasons));
    EXPECT_EQ(memory.at("note"), json(caseNotes(results[0].cases[2])));
    EXPECT_FALSE(memory.at("note").empty());

    const json& summary = report.at("riepilogo");
    EXPECT_EQ(summary.at("consegne"), 2);
    EXPECT_EQ(summary.at("tutti_superati"), 1);
    EXPECT_DOUBLE_EQ(summary.at("media_punti").get<double>(), 2.63);  // (1.5 + 3.75) / 2, to hundredths
    const json cases = json::array({{{"nome", "tre più quattro"}, {"superati", 2}},
                                    {{"nome", "nascosto"}, {"superati", 1}},
                                    {{"nome", "tabella"}, {"superati", 1}}});
    EXPECT_EQ(summary.at("casi"), cases);
    EXPECT_FALSE(report.contains("somiglianze"));

    exercise.maximumSize = 128;
    const json sized = json::parse(jsonReport(exercise, "es1.toml", {}, nullptr));
    EXPECT_EQ(sized.at("esercizio").at("dimensione_massima"), 128);
    EXPECT_EQ(sized.at("riepilogo").at("media_punti"), 0);
}

TEST(ReportFilesJson, SimilaritiesNameTheStudentsOnlyWhenAsked) {
    const Exercise exercise = sampleExercise();
    const std::vector<SubmissionResult> results = {allPassedResult("anna"), allPassedResult("bruno"),
                                                   allPassedResult("carla"), allPassedResult("dario")};
    const Similarities none;
    EXPECT_EQ(json::parse(jsonReport(exercise, "e.toml", results, &none)).at("somiglianze"),
              json({{"identiche", json::array()}, {"coppie", json::array()}}));

    const Similarities found{{{1, 3}}, {{0, 2, 0.9}, {1, 2, 0.75}}};
    const json report = json::parse(jsonReport(exercise, "e.toml", results, &found));
    const json expected = {
        {"identiche", json::array({{{"consegne", {1, 3}}, {"studenti", {"bruno", "dario"}}}})},
        {"coppie", json::array({{{"consegne", {0, 2}}, {"prima", "anna"}, {"seconda", "carla"}, {"punteggio", 0.9}},
                                {{"consegne", {1, 2}}, {"prima", "bruno"}, {"seconda", "carla"}, {"punteggio", 0.75}}})},
    };
    EXPECT_EQ(report.at("somiglianze"), expected);
    EXPECT_EQ(report.at("versione"), 2);
}

TEST(ReportFilesJson, AnyBytesAreKeptWithoutThrowing) {
    const Exercise exercise = sampleExercise();
    const struct {
        std::string bytes;
        std::string text;  // as the JSON string holds it
        bool exact;        // valid UTF-8: no "_base64" beside
    } cases[] = {
        {"7\n", "7\n", true},
        {"è € \xF0\x9D\x84\x9E", "è € \xF0\x9D\x84\x9E", true},
        {std::string("a\0b\x01\x7F", 5), std::string("a\0b\x01\x7F", 5), true},
        {"\xFF", "\xEF\xBF\xBD", false},
        {"x\xC3", "x\xEF\xBF\xBD", false},                                       // cut short
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD", false},                         // overlong
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", false},         // surrogate
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", false},  // past U+10FFFF
        {"\xE2\x82\xACok\x80", "€ok\xEF\xBF\xBD", false},
    };
    for (const auto& c : cases) {
        SubmissionResult result = mixedResult(c.bytes);
        result.submission.argument = c.bytes;
        result.submission.problems = {"problema " + c.bytes};
        result.cases[1].output = c.bytes;
        std::string text;
        ASSERT_NO_THROW(text = jsonReport(exercise, c.bytes, {result}, nullptr)) << testing::PrintToString(c.bytes);
        const json report = json::parse(text);
        const json& submission = report.at("consegne")[0];
        const json& output = submission.at("casi")[1];
        EXPECT_EQ(output.at("uscita"), c.text) << testing::PrintToString(c.bytes);
        EXPECT_EQ(submission.at("studente"), c.text);
        EXPECT_EQ(submission.at("argomento"), c.text);
        EXPECT_EQ(report.at("esercizio").at("file"), c.text);
        EXPECT_EQ(submission.at("problemi")[0], "problema " + c.text);
        EXPECT_EQ(output.contains("uscita_base64"), !c.exact);
        EXPECT_EQ(submission.contains("studente_base64"), !c.exact);
        if (!c.exact) {
            EXPECT_EQ(fromBase64(output.at("uscita_base64")), c.bytes);
            EXPECT_EQ(fromBase64(submission.at("studente_base64")), c.bytes);
        }
        EXPECT_FALSE(output.contains("ingresso_base64"));
    }

    // Every byte value, in a similar pair's names too.
    std::string all;
    for (unsigned byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
    std::vector<SubmissionResult> results = {mixedResult(all), mixedResult("b")};
    results[0].cases[0].output = all;
    const Similarities pairs{{}, {{0, 1, 0.9}}};
    std::string text;
    ASSERT_NO_THROW(text = jsonReport(exercise, all, results, &pairs));
    const json report = json::parse(text);
    EXPECT_EQ(fromBase64(report.at("consegne")[0].at("casi")[0].at("uscita_base64")), all);
    EXPECT_EQ(fromBase64(report.at("somiglianze").at("coppie")[0].at("prima_base64")), all);
    // Compact: the exact bytes take a third more than the bytes.
    EXPECT_EQ(report.at("consegne")[0].at("casi")[0].at("uscita_base64").get<std::string>().size(), 344u);
    EXPECT_NO_THROW((void)gradescopeReport(exercise, all, results[0]));
}

TEST(ReportFilesJson, ExactBytesAreStandardBase64) {
    // RFC 4648's vectors, each after a byte that is not UTF-8.
    const struct {
        std::string bytes;
        std::string base64;
    } cases[] = {
        {"\xFF", "/w=="},         {"\xFF" "f", "/2Y="},       {"\xFF" "fo", "/2Zv"},
        {"\xFF" "foo", "/2Zvbw=="}, {"\xFF" "foob", "/2Zvb2I="}, {"\xFF" "fooba", "/2Zvb2Jh"},
        {"\xFB\xFF\xBF", "+/+/"},
    };
    const Exercise exercise = sampleExercise();
    for (const auto& c : cases) {
        SubmissionResult result = mixedResult("anna");
        result.cases[0].output = c.bytes;
        const json report = json::parse(jsonReport(exercise, "es1.toml", {result}, nullptr));
        EXPECT_EQ(report.at("consegne")[0].at("casi")[0].at("uscita_base64"), c.base64) << c.base64;
    }
}

TEST(ReportFilesJunit, OneSuitePerStudentWithFailuresThatSayWhy) {
    const Exercise exercise = sampleExercise();
    const std::vector<SubmissionResult> results = {mixedResult("anna"), allPassedResult("bruno")};
    const std::string xml = junitReport(exercise, "es1.toml", results);
    ASSERT_TRUE(strictXml(xml)) << xml;
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << xml;
    const pugi::xml_document document = parseXml(xml);

    const pugi::xml_node suites = document.child("testsuites");
    EXPECT_STREQ(suites.attribute("name").value(), "Somma di due cifre");
    EXPECT_EQ(suites.attribute("tests").as_int(), 6);
    EXPECT_EQ(suites.attribute("failures").as_int(), 2);
    EXPECT_STREQ(suites.attribute("errors").value(), "0");

    const pugi::xml_node anna = suites.find_child_by_attribute("testsuite", "name", "anna");
    const pugi::xml_node bruno = suites.find_child_by_attribute("testsuite", "name", "bruno");
    ASSERT_TRUE(anna && bruno);
    EXPECT_EQ(anna.attribute("tests").as_int(), 3);
    EXPECT_EQ(anna.attribute("failures").as_int(), 2);
    // Every suite has what Jenkins' schema requires: name, tests, failures, errors.
    for (const pugi::xml_node suite : suites.children("testsuite"))
        EXPECT_STREQ(suite.attribute("errors").value(), "0");
    EXPECT_EQ(bruno.attribute("failures").as_int(), 0);
    EXPECT_FALSE(bruno.child("testcase").child("failure"));
    EXPECT_STREQ(anna.child("properties").find_child_by_attribute("property", "name", "punti")
                     .attribute("value").value(), "1.5");
    EXPECT_STREQ(bruno.child("properties").find_child_by_attribute("property", "name", "punti_totali")
                     .attribute("value").value(), "3.75");

    std::vector<std::string> names;
    for (const pugi::xml_node testcase : anna.children("testcase")) {
        names.emplace_back(testcase.attribute("name").value());
        EXPECT_STREQ(testcase.attribute("classname").value(), "anna");
    }
    EXPECT_EQ(names, (std::vector<std::string>{"tre più quattro", "nascosto", "tabella"}));

    const pugi::xml_node passed = anna.find_child_by_attribute("testcase", "name", "tre più quattro");
    EXPECT_FALSE(passed.child("failure"));

    // A hidden case says that it failed, nothing more.
    const pugi::xml_node hidden = anna.find_child_by_attribute("testcase", "name", "nascosto").child("failure");
    ASSERT_TRUE(hidden);
    EXPECT_STREQ(hidden.attribute("message").value(), "caso nascosto non superato");
    EXPECT_STREQ(hidden.text().get(), "");
    EXPECT_EQ(xml.find("SEGRETO"), std::string::npos);

    const pugi::xml_node visible = anna.find_child_by_attribute("testcase", "name", "tabella").child("failure");
    ASSERT_TRUE(visible);
    const std::vector<std::string> reasons =
        failureReasons(exercise, exercise.cases[2], results[0].submission, results[0].cases[2]);
    EXPECT_EQ(visible.attribute("message").value(), reasons.front());
    const std::string body = visible.text().get();
    EXPECT_NE(body.find(reasons.back()), std::string::npos) << body;
    EXPECT_FALSE(anna.child("system-out"));
}

TEST(ReportFilesJunit, ProblemsOfASubmissionThatCannotRunAreInEveryFailure) {
    const Exercise exercise = sampleExercise();
    const SubmissionResult broken = brokenResult("carla");
    const std::string& problem = broken.submission.problems.front();
    const std::string xml = junitReport(exercise, "es1.toml", {broken});
    ASSERT_TRUE(strictXml(xml)) << xml;
    const pugi::xml_document document = parseXml(xml);
    const pugi::xml_node suite = document.child("testsuites").child("testsuite");
    EXPECT_EQ(suite.attribute("failures").as_int(), 3);
    EXPECT_NE(std::string(suite.child("system-out").text().get()).find(problem), std::string::npos);
    int failures = 0;
    for (const pugi::xml_node testcase : suite.children("testcase")) {
        const pugi::xml_node failure = testcase.child("failure");
        ASSERT_TRUE(failure);
        ++failures;
        const std::string everything = std::string(failure.attribute("message").value()) + "\n" + failure.text().get();
        EXPECT_NE(everything.find(problem), std::string::npos) << everything;
    }
    EXPECT_EQ(failures, 3);
}

TEST(ReportFilesJunit, HostileNamesAndOutputsKeepTheXmlWellFormed) {
    Exercise exercise = sampleExercise();
    std::string all;
    for (unsigned byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
    exercise.title = "titolo \x01 & <b>";
    exercise.cases[0].name = std::string("caso\0\x1B]]>\"'", 11);
    SubmissionResult result = mixedResult(all + "\xEF\xBF\xBE");
    result.cases[0] = CaseResult{};
    result.cases[0].ran = true;
    result.cases[0].output = all;
    result.cases[0].outputMatches = false;
    result.submission.notes = {all};
    SubmissionResult broken = brokenResult("x");
    broken.submission.problems = {all + "\r\n"};

    const std::string xml = junitReport(exercise, all, {result, broken});
    ASSERT_TRUE(strictXml(xml)) << xml;
    const pugi::xml_document document = parseXml(xml);
    EXPECT_STREQ(document.child("testsuites").attribute("name").value(), "titolo \\x01 & <b>");
    const pugi::xml_node suite = document.child("testsuites").child("testsuite");
    EXPECT_EQ(suite.attribute("name").value(), visibleText(all + "\xEF\xBF\xBE"));
    EXPECT_EQ(suite.child("testcase").attribute("name").value(), visibleText(exercise.cases[0].name));
    EXPECT_NE(std::string(suite.child("system-out").text().get()).find(visibleText(all)), std::string::npos);
}

TEST(ReportFilesCsv, GradebookWithARowPerStudentAndPlainDecimals) {
    const Exercise exercise = sampleExercise();
    const std::string csv = csvReport(exercise, {mixedResult("anna"), allPassedResult("bruno"), brokenResult("carla")});
    EXPECT_EQ(csv,
              "studente,tre più quattro,nascosto,tabella,totale\n"
              "anna,1.5,0,0,1.5\n"
              "bruno,1.5,2,0.25,3.75\n"
              "carla,0,0,0,0\n");
    EXPECT_EQ(csvReport(exercise, {}), "studente,tre più quattro,nascosto,tabella,totale\n");
}

TEST(ReportFilesCsv, FieldsAreQuotedAndNeverReadAsFormulas) {
    const struct {
        std::string name;
        std::string field;
    } cases[] = {
        {"mario rossi", "mario rossi"},
        {"rossi, mario", "\"rossi, mario\""},
        {"il \"mago\"", "\"il \"\"mago\"\"\""},
        {"due\nrighe", "\"due\nrighe\""},
        {"a\rb", "a\\rb"},
        {"=HYPERLINK(\"http://x\",\"y\")", "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\""},
        {"+1", "'+1"},
        {"-2", "'-2"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\t=1", "\\t=1"},
        {"\r=1", "\\r=1"},
        {"a=b", "a=b"},
        {"\xFF\x01", "\\xFF\\x01"},
        {"", ""},
    };
    for (const auto& c : cases) {
        Exercise exercise = sampleExercise();
        exercise.cases.resize(1);
        exercise.cases[0].name = c.name;
        SubmissionResult result = allPassedResult(c.name);
        result.cases.resize(1);
        result.points = 1.5;
        EXPECT_EQ(csvReport(exercise, {result}),
                  "studente," + c.field + ",totale\n" + c.field + ",1.5,1.5\n")
            << testing::PrintToString(c.name);
    }
}

TEST(ReportFilesGradescope, TestsPerCaseWithHiddenOnesAfterPublication) {
    const Exercise exercise = sampleExercise();
    const SubmissionResult result = mixedResult("anna");
    const std::string text = gradescopeReport(exercise, "es1.toml", result);
    EXPECT_EQ(text.back(), '\n');
    const json report = json::parse(text);
    // No total: it would give the hidden cases away; Gradescope sums the tests.
    EXPECT_FALSE(report.contains("score"));
    EXPECT_EQ(report.at("visibility"), "visible");
    ASSERT_EQ(report.at("tests").size(), 3u);

    const json& passed = report.at("tests")[0];
    EXPECT_EQ(passed.at("name"), "tre più quattro");
    EXPECT_DOUBLE_EQ(passed.at("score").get<double>(), 1.5);
    EXPECT_DOUBLE_EQ(passed.at("max_score").get<double>(), 1.5);
    EXPECT_EQ(passed.at("visibility"), "visible");
    EXPECT_EQ(passed.at("output"), "superato");
    EXPECT_EQ(passed.at("status"), "passed");

    const json& hidden = report.at("tests")[1];
    EXPECT_EQ(hidden.at("visibility"), "after_published");
    EXPECT_EQ(hidden.at("output"), "non superato");
    EXPECT_EQ(hidden.at("score"), 0);
    EXPECT_EQ(hidden.at("max_score"), 2);
    EXPECT_EQ(hidden.at("status"), "failed");
    EXPECT_EQ(text.find("SEGRETO"), std::string::npos);

    const json& failed = report.at("tests")[2];
    EXPECT_EQ(failed.at("visibility"), "visible");
    const std::string output = failed.at("output");
    const std::vector<std::string> reasons =
        failureReasons(exercise, exercise.cases[2], result.submission, result.cases[2]);
    EXPECT_NE(output.find(reasons.front()), std::string::npos) << output;
    EXPECT_DOUBLE_EQ(failed.at("max_score").get<double>(), 0.25);
    EXPECT_EQ(failed.at("status"), "failed");
    // The student cannot run tarngrade: no replay command, which the
    // teacher's JUnit report keeps.
    EXPECT_NE(output.find("istruzioni eseguite: 77"), std::string::npos) << output;
    EXPECT_EQ(text.find("per rivederlo"), std::string::npos) << text;
    EXPECT_EQ(text.find("--caso"), std::string::npos) << text;
    EXPECT_NE(junitReport(exercise, "es1.toml", {result}).find("per rivederlo: tarngrade es1.toml"), std::string::npos);

    // A case worth no points still says whether it passed.
    Exercise free = exercise;
    free.cases[2].points = 0;
    SubmissionResult freeResult = allPassedResult("bruno");
    freeResult.cases[2].points = 0;
    for (const bool passes : {true, false}) {
        freeResult.cases[2].passed = passes;
        const json test = json::parse(gradescopeReport(free, "es1.toml", freeResult)).at("tests")[2];
        EXPECT_EQ(test.at("score"), 0);
        EXPECT_EQ(test.at("max_score"), 0);
        EXPECT_EQ(test.at("status"), passes ? "passed" : "failed");
    }

    // The summary tells what the visible cases say, and keeps the hidden ones for later.
    const std::string summary = report.at("output");
    EXPECT_NE(summary.find("Somma di due cifre"), std::string::npos);
    EXPECT_NE(summary.find("Casi visibili: 1 caso superato su 2, 1,5 punti su 1,75."), std::string::npos) << summary;
    EXPECT_NE(summary.find("Un caso nascosto"), std::string::npos) << summary;

    const json all = json::parse(gradescopeReport(exercise, "es1.toml", allPassedResult("bruno")));
    double sum = 0;
    for (const json& test : all.at("tests")) sum += test.at("score").get<double>();
    EXPECT_DOUBLE_EQ(sum, 3.75);
    EXPECT_EQ(all.at("tests")[1].at("output"), "superato");
    EXPECT_NE(all.at("output").get<std::string>().find("2 casi superati su 2"), std::string::npos);

    Exercise twoHidden = exercise;
    twoHidden.cases[2].hidden = true;
    const std::string plural = json::parse(gradescopeReport(twoHidden, "es1.toml", result)).at("output");
    EXPECT_NE(plural.find("Casi visibili: 1 caso superato su 1, 1,5 punti su 1,5."), std::string::npos) << plural;
    EXPECT_NE(plural.find("2 casi nascosti: i loro risultati"), std::string::npos) << plural;
}

TEST(ReportFilesGradescope, ProblemsOfASubmissionThatCannotRunAreEverywhere) {
    const Exercise exercise = sampleExercise();
    const SubmissionResult broken = brokenResult("carla");
    const std::string& problem = broken.submission.problems.front();
    const json report = json::parse(gradescopeReport(exercise, "es1.toml", broken));
    EXPECT_NE(report.at("output").get<std::string>().find(problem), std::string::npos);
    for (const json& test : report.at("tests")) {
        EXPECT_EQ(test.at("score"), 0);
        EXPECT_NE(test.at("output").get<std::string>().find(problem), std::string::npos) << test;
    }
    EXPECT_EQ(report.at("tests")[1].at("output").get<std::string>().rfind("non superato\n", 0), 0u);
}

}  // namespace
}  // namespace tarn::grading

// The reports for course platforms, written with nlohmann-json (JUnit XML is
// written beside the program, with pugixml).
//
// The JSON report (--json), indented by 2, keys in this order (its format,
// field by field, is in the manual page; raise JSON_VERSION with any change
// that a reader could notice):
//
//   {"versione": 5,
//    "esercizio": {"titolo", "file", "punti_totali", "limite_istruzioni", "limite_uscita",
//                  "proibite": [mnemonics], "dimensione_massima": number or null,
//                  "casi": [{"nome", "punti", "nascosto", "confronto": "esatto" | "spazi",
//                            "limite_istruzioni", "limite_uscita"}]},
//    "consegne": [{"studente", "argomento", "programma", "tipo": "sorgente" | "immagine",
//                  "dimensione", "eseguibile", "problemi": [lines], "note": [lines],
//                  "punti", "punti_totali", "tutti_superati",
//                  "casi": [{"nome", "nascosto", "superato",
//                            "esito": "non_eseguito" | "proibita" | "ciclo" | "limite" | "tagliata"
//                                     | "uscita" | "memoria" | "superato",
//                            "punti", "punti_massimi", "eseguito",
//                            "istruzioni", "limite_superato", "pc_finale", "ingresso",
//                            "uscita_attesa": text or null (output not checked), "uscita",
//                            "uscita_tagliata",
//                            "uscita_corrisponde": true, false or null (output not compared),
//                            "tracce_saltate", "ingresso_letto",
//                            "istruzione_proibita": null or {"mnemonico", "codice", "indirizzo", "passo",
//                                                            "riga", "istruzione", "riscritta"},
//                            "ciclo_infinito": null or {"passo", "lunghezza",
//                                                       "istruzioni": [{"indirizzo", "riga", "istruzione",
//                                                                       "riscritta"}]},
//                            "ultime_istruzioni": [{"indirizzo", "riga", "istruzione", "riscritta"}],
//                            "differenze": [{"tipo": "memoria", "indirizzo", "atteso", "trovato"}
//                                         | {"tipo": "registro" | "flag", "nome", "atteso", "trovato"}],
//                            "memoria_sul_programma": [addresses],
//                            "motivi": [lines], "note": [lines]}]}],
//    "riepilogo": {"consegne", "tutti_superati", "media_punti", "punti_totali",
//                  "casi": [{"nome", "superati"}]},
//    "somiglianze": {"identiche": [{"consegne": [indexes], "studenti": [names]}],
//                    "coppie": [{"consegne": [index, index], "prima", "seconda", "punteggio"}]}}
//                                                                   (only with --somiglianze)
//
// Points are numbers rounded to hundredths; addresses, bytes and counts are
// plain numbers; the indexes of "somiglianze" count the "consegne" from 0.
// Every case is there, hidden ones too: this is the teacher's record. Texts
// that come from outside (names, paths, inputs, outputs) are not always
// UTF-8: such a text is kept with U+FFFD for every byte that is not part of a
// valid sequence, and its exact bytes follow in base64 under the same key
// with "_base64" appended ("uscita_base64": "/wo="). Base64 rather than hex:
// a third more than the bytes instead of twice as many, and every language
// reads it with its standard library. Lines of messages ("problemi",
// "motivi", "note") and the names in "studenti" only get the U+FFFD.
//
// The CSV gradebook follows RFC 4180 with LF line ends, in UTF-8 without a
// byte order mark: a comma between fields, a point before decimals, a field
// quoted only when it holds a comma, a quote or a line end, a text field that
// starts with = + - @, a tab or a carriage return preceded by '.
#include "grading/report_files.hpp"

#include "machine/instruction_set.hpp"
#include "assembly/rewritten_code.hpp"
#include "grading/report_text.hpp"
#include "grading/wording.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string_view>

namespace tarn::grading {

namespace {

using Json = nlohmann::ordered_json;

constexpr int JSON_VERSION = 5;

bool validUtf8(std::string_view bytes) {
    for (std::size_t index = 0; index < bytes.size();) {
        const std::size_t length = utf8At(bytes, index).length;
        if (length == 0) return false;
        index += length;
    }
    return true;
}

// Valid UTF-8 as it is; otherwise U+FFFD for every byte outside a valid sequence.
std::string utf8Text(std::string_view bytes) {
    if (validUtf8(bytes)) return std::string(bytes);
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 2);
    for (std::size_t index = 0; index < bytes.size();) {
        const std::size_t length = utf8At(bytes, index).length;
        if (length == 0) {
            text += "\xEF\xBF\xBD";
            ++index;
        } else {
            text.append(bytes.substr(index, length));
            index += length;
        }
    }
    return text;
}

// Bytes in base64 (RFC 4648, with padding): four characters for three bytes.
std::string base64(std::string_view bytes) {
    constexpr char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t index = 0; index < bytes.size(); index += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - index);
        std::uint32_t group = 0;
        for (std::size_t at = 0; at < 3; ++at)
            group = (group << 8) | (at < count ? static_cast<unsigned char>(bytes[index + at]) : 0u);
        for (std::size_t at = 0; at < 4; ++at)
            text += at <= count ? digits[(group >> (18 - 6 * at)) & 0x3F] : '=';
    }
    return text;
}

// A text from outside under a key, its exact bytes beside in base64 when it
// is not UTF-8.
void putText(Json& object, const std::string& key, std::string_view bytes) {
    if (validUtf8(bytes)) {
        object[key] = std::string(bytes);
        return;
    }
    object[key] = utf8Text(bytes);
    object[key + "_base64"] = base64(bytes);
}

Json lines(const std::vector<std::string>& texts) {
    Json array = Json::array();
    for (const std::string& text : texts) array.push_back(utf8Text(text));
    return array;
}

std::string_view comparisonName(Comparison comparison) {
    return comparison == Comparison::Blanks ? "spazi" : "esatto";
}

std::string flagName(unsigned bit) {
    for (const FlagName& flag : FLAG_NAMES)
        if (flag.bit == bit) return std::string(1, flag.letter);
    return "?";
}


// A report made for people, safe for XML and JSON: valid UTF-8 and line ends
// stay, tabs too; a carriage return reads "\r", every other control character,
// U+FFFE, U+FFFF and every byte outside valid UTF-8 "\xHH". Unlike
// visibleText, it leaves backslashes alone: the report has already shown the
// program's bytes its own way.
std::string displayText(std::string_view text) {
    constexpr char digits[] = "0123456789ABCDEF";
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t index = 0; index < text.size();) {
        const Utf8Sequence sequence = utf8At(text, index);
        const bool control = sequence.length == 1 && (sequence.code < 0x20 || sequence.code == 0x7F) &&
                             sequence.code != '\n' && sequence.code != '\t';
        const bool refused = sequence.length == 0 || control || sequence.code == 0xFFFE || sequence.code == 0xFFFF ||
                             (sequence.code >= 0x80 && sequence.code < 0xA0);
        if (!refused) {
            shown.append(text.substr(index, sequence.length));
            index += sequence.length;
            continue;
        }
        const std::size_t length = std::max<std::size_t>(sequence.length, 1);
        for (std::size_t at = 0; at < length; ++at) {
            const auto byte = static_cast<unsigned char>(text[index + at]);
            if (byte == '\r') {
                shown += "\\r";
            } else {
                shown += "\\x";
                shown += digits[byte >> 4];
                shown += digits[byte & 0x0F];
            }
        }
        index += length;
    }
    return shown;
}



// What a hidden case may say: whether it passed, and why nothing could run.
std::string hiddenOutcome(const SubmissionResult& result, bool passed) {
    std::string text = passed ? "superato" : "non superato";
    if (!result.submission.runnable()) text += "\n" + visibleText(joinLines(result.submission.problems));
    return text;
}

// ---- JSON ----

Json exerciseJson(const Exercise& exercise, const std::string& exerciseArgument) {
    Json json;
    json["titolo"] = utf8Text(exercise.title);
    putText(json, "file", exerciseArgument);
    json["punti_totali"] = roundedPoints(exercise.totalPoints());
    json["limite_istruzioni"] = exercise.instructionLimit;
    json["limite_uscita"] = exercise.outputLimit;
    json["proibite"] = lines(exercise.forbiddenNames);
    json["dimensione_massima"] = exercise.maximumSize ? Json(*exercise.maximumSize) : Json(nullptr);
    Json cases = Json::array();
    for (const TestCase& testCase : exercise.cases) {
        Json item;
        item["nome"] = utf8Text(testCase.name);
        item["punti"] = roundedPoints(testCase.points);
        item["nascosto"] = testCase.hidden;
        item["confronto"] = std::string(comparisonName(testCase.comparison));
        item["limite_istruzioni"] = testCase.instructionLimit;
        item["limite_uscita"] = testCase.outputLimit;
        cases.push_back(std::move(item));
    }
    json["casi"] = std::move(cases);
    return json;
}

Json mismatchJson(const Mismatch& mismatch) {
    Json json;
    switch (mismatch.kind) {
        case Mismatch::Kind::Memory:
            json["tipo"] = "memoria";
            json["indirizzo"] = mismatch.address;
            break;
        case Mismatch::Kind::Register:
            json["tipo"] = "registro";
            json["nome"] = std::string(registerName(mismatch.address));
            break;
        case Mismatch::Kind::Flag:
            json["tipo"] = "flag";
            json["nome"] = flagName(mismatch.address);
            break;
    }
    json["atteso"] = unsigned{mismatch.expected};
    json["trovato"] = unsigned{mismatch.found};
    return json;
}

// Into an instruction's object: the line of the source that placed it (null
// for an image, or a byte no line placed), the instruction that ran as a
// source writes it, and whether its bytes are not those the line placed.
// `before` is the machine the run started with.
void putInstruction(Json& json, const ProgramLines& lines, const Submission& submission, const MachineState& before,
                    const RanInstruction& ran) {
    const ProgramLine* line = lines.lineAt(ran.address);
    json["riga"] = line != nullptr && submission.kind == ProgramKind::Source ? Json(line->number) : Json(nullptr);
    json["istruzione"] = ranInstructionText(ran, lines.labels);
    json["riscritta"] = rewrittenByProgram(ran, before.M);
}

// An instruction that ran: its address, then as above.
Json instructionJson(const ProgramLines& lines, const Submission& submission, const MachineState& before,
                     const RanInstruction& ran) {
    Json json;
    json["indirizzo"] = unsigned{ran.address};
    putInstruction(json, lines, submission, before, ran);
    return json;
}

std::string_view outcomeName(CaseOutcome outcome) {
    switch (outcome) {
        case CaseOutcome::NotRun: return "non_eseguito";
        case CaseOutcome::Forbidden: return "proibita";
        case CaseOutcome::Loop: return "ciclo";
        case CaseOutcome::Limit: return "limite";
        case CaseOutcome::OutputCut: return "tagliata";
        case CaseOutcome::Output: return "uscita";
        case CaseOutcome::Memory: return "memoria";
        case CaseOutcome::Passed: return "superato";
    }
    return "superato";
}

Json caseJson(const Exercise& exercise, const TestCase& testCase, const Submission& submission,
              const CaseResult& result) {
    Json json;
    json["nome"] = utf8Text(testCase.name);
    json["nascosto"] = testCase.hidden;
    json["superato"] = result.passed;
    json["esito"] = std::string(outcomeName(caseOutcome(result)));
    json["punti"] = roundedPoints(result.points);
    json["punti_massimi"] = roundedPoints(testCase.points);
    json["eseguito"] = result.ran;
    json["istruzioni"] = result.instructions;
    json["limite_superato"] = result.limitReached;
    json["pc_finale"] = unsigned{result.finalPC};
    putText(json, "ingresso", testCase.input);
    if (testCase.output) putText(json, "uscita_attesa", *testCase.output);
    else json["uscita_attesa"] = nullptr;
    putText(json, "uscita", result.output);
    json["uscita_tagliata"] = result.outputCut;
    json["uscita_corrisponde"] = result.outputMatches ? Json(*result.outputMatches) : Json(nullptr);
    json["tracce_saltate"] = result.tracesShown;
    json["ingresso_letto"] = result.inputTaken;
    const ProgramLines program =
        result.loop || result.forbidden || !result.recent.empty() ? programLines(submission) : ProgramLines{};
    const MachineState before = machineBefore(testCase, submission.image);
    if (result.forbidden) {
        const Instruction* instruction = findInstruction(result.forbidden->opcode);
        Json forbidden;
        forbidden["mnemonico"] = instruction != nullptr ? Json(std::string(instruction->mnemonic)) : Json(nullptr);
        forbidden["codice"] = unsigned{result.forbidden->opcode};
        forbidden["indirizzo"] = unsigned{result.forbidden->address};
        forbidden["passo"] = result.forbidden->step;
        putInstruction(forbidden, program, submission, before, instructionWhereItStood(submission, result));
        json["istruzione_proibita"] = std::move(forbidden);
    } else {
        json["istruzione_proibita"] = nullptr;
    }
    if (result.loop) {
        Json loop;
        loop["passo"] = result.loop->start;
        loop["lunghezza"] = result.loop->length;
        Json instructions = Json::array();
        for (const RanInstruction& instruction : result.loop->instructions)
            instructions.push_back(instructionJson(program, submission, before, instruction));
        loop["istruzioni"] = std::move(instructions);
        json["ciclo_infinito"] = std::move(loop);
    } else {
        json["ciclo_infinito"] = nullptr;
    }
    Json recent = Json::array();
    for (const RanInstruction& instruction : result.recent)
        recent.push_back(instructionJson(program, submission, before, instruction));
    json["ultime_istruzioni"] = std::move(recent);
    Json differences = Json::array();
    for (const Mismatch& mismatch : result.mismatches) differences.push_back(mismatchJson(mismatch));
    json["differenze"] = std::move(differences);
    Json over = Json::array();
    for (const Byte address : result.memoryOverProgram) over.push_back(unsigned{address});
    json["memoria_sul_programma"] = std::move(over);
    json["motivi"] = lines(failureReasons(exercise, testCase, submission, result));
    json["note"] = lines(caseNotes(result));
    return json;
}

Json submissionJson(const Exercise& exercise, const SubmissionResult& result) {
    const Submission& submission = result.submission;
    Json json;
    putText(json, "studente", submission.student);
    putText(json, "argomento", submission.argument);
    putText(json, "programma", submission.program);
    json["tipo"] = submission.kind == ProgramKind::Image ? "immagine" : "sorgente";
    json["dimensione"] = submission.size;
    json["eseguibile"] = submission.runnable();
    json["problemi"] = lines(submission.problems);
    json["note"] = lines(submission.notes);
    json["punti"] = roundedPoints(result.points);
    json["punti_totali"] = roundedPoints(exercise.totalPoints());
    json["tutti_superati"] = result.allPassed();
    Json cases = Json::array();
    for (std::size_t index = 0; index < caseCount(exercise, result); ++index)
        cases.push_back(caseJson(exercise, exercise.cases[index], submission, result.cases[index]));
    json["casi"] = std::move(cases);
    return json;
}

Json summaryJson(const Exercise& exercise, const std::vector<SubmissionResult>& results) {
    std::size_t allPassed = 0;
    double points = 0;
    std::vector<std::size_t> passed(exercise.cases.size(), 0);
    for (const SubmissionResult& result : results) {
        if (result.allPassed()) ++allPassed;
        points += result.points;
        for (std::size_t index = 0; index < caseCount(exercise, result); ++index)
            if (result.cases[index].passed) ++passed[index];
    }
    Json json;
    json["consegne"] = results.size();
    json["tutti_superati"] = allPassed;
    json["media_punti"] = results.empty() ? 0.0 : roundedPoints(points / static_cast<double>(results.size()));
    json["punti_totali"] = roundedPoints(exercise.totalPoints());
    Json cases = Json::array();
    for (std::size_t index = 0; index < exercise.cases.size(); ++index) {
        Json item;
        item["nome"] = utf8Text(exercise.cases[index].name);
        item["superati"] = passed[index];
        cases.push_back(std::move(item));
    }
    json["casi"] = std::move(cases);
    return json;
}

Json similarJson(const std::vector<SubmissionResult>& results, const Similarities& similar) {
    Json groups = Json::array();
    for (const std::vector<std::size_t>& group : similar.identical) {
        Json indexes = Json::array();
        Json names = Json::array();
        for (const std::size_t index : group) {
            if (index >= results.size()) continue;
            indexes.push_back(index);
            names.push_back(utf8Text(results[index].submission.student));
        }
        Json item;
        item["consegne"] = std::move(indexes);
        item["studenti"] = std::move(names);
        groups.push_back(std::move(item));
    }
    Json pairs = Json::array();
    for (const SimilarPair& pair : similar.pairs) {
        if (pair.first >= results.size() || pair.second >= results.size()) continue;
        Json item;
        item["consegne"] = Json::array({pair.first, pair.second});
        putText(item, "prima", results[pair.first].submission.student);
        putText(item, "seconda", results[pair.second].submission.student);
        item["punteggio"] = std::isfinite(pair.score) ? std::round(pair.score * 1000.0) / 1000.0 : 0.0;
        pairs.push_back(std::move(item));
    }
    Json json;
    json["identiche"] = std::move(groups);
    json["coppie"] = std::move(pairs);
    return json;
}




// ---- CSV ----

// One field: shown safely, kept from being read as a formula, quoted when it must be.
std::string csvField(std::string_view bytes, bool text) {
    std::string field = text ? visibleText(bytes) : std::string(bytes);
    if (text && !field.empty()) {
        const char first = field.front();
        if (first == '=' || first == '+' || first == '-' || first == '@' || first == '\t' || first == '\r')
            field.insert(field.begin(), '\'');
    }
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string quoted = "\"";
    for (const char c : field) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

// ---- Gradescope ----

// The summary a student sees at once: only what the visible cases tell.
std::string gradescopeSummary(const Exercise& exercise, const SubmissionResult& result) {
    std::size_t visible = 0;
    std::size_t visiblePassed = 0;
    std::size_t hidden = 0;
    double visiblePoints = 0;
    double visibleTotal = 0;
    for (std::size_t index = 0; index < exercise.cases.size(); ++index) {
        const TestCase& testCase = exercise.cases[index];
        if (testCase.hidden) {
            ++hidden;
            continue;
        }
        ++visible;
        visibleTotal += testCase.points;
        if (index < result.cases.size() && result.cases[index].passed) {
            ++visiblePassed;
            visiblePoints += result.cases[index].points;
        }
    }
    std::string text = visibleText(exercise.title) + "\n";
    if (visible > 0)
        text += "Casi visibili: " + countedCases(visiblePassed, visible) + ", " +
                pointsOutOf(visiblePoints, visibleTotal) + ".\n";
    if (hidden == 1) text += "Un caso nascosto: il suo risultato si vedrà quando i voti saranno pubblicati.\n";
    else if (hidden > 1)
        text += std::to_string(hidden) +
                " casi nascosti: i loro risultati si vedranno quando i voti saranno pubblicati.\n";
    if (!result.submission.runnable())
        text += "Il programma non è stato eseguito:\n" + visibleText(joinLines(result.submission.problems)) + "\n";
    if (!result.submission.notes.empty()) text += visibleText(joinLines(result.submission.notes)) + "\n";
    return text;
}

}  // namespace

double roundedPoints(double points) {
    if (!std::isfinite(points)) return 0;
    return std::round(points * 100.0) / 100.0;
}

std::string countedCases(std::size_t count, std::size_t total) {
    return std::to_string(count) + (count == 1 ? " caso superato su " : " casi superati su ") + std::to_string(total);
}

std::string pointsOutOf(double points, double total) {
    const std::string shown = formatPoints(points);
    return shown + (shown == "1" ? " punto su " : " punti su ") + formatPoints(total);
}

// The cases a result can be read against: the exercise's, in its order.
std::size_t caseCount(const Exercise& exercise, const SubmissionResult& result) {
    return std::min(exercise.cases.size(), result.cases.size());
}

std::string joinLines(const std::vector<std::string>& texts, std::size_t from) {
    std::string joined;
    for (std::size_t index = from; index < texts.size(); ++index) {
        if (!joined.empty()) joined += '\n';
        joined += texts[index];
    }
    return joined;
}

// The details of a failing visible case, for a platform that shows text; the
// command that replays it only for the teacher's platforms.
std::string failureDetails(const Exercise& exercise, const std::string& exerciseArgument,
                           const SubmissionResult& result, std::size_t caseIndex,
                           const std::vector<std::string>& reasons, bool forTeacher) {
    std::string details =
        formatCaseDetails(exercise, exerciseArgument, result, caseIndex, ReportStyle{false, forTeacher});
    if (details.empty()) details = joinLines(reasons);
    return displayText(details);
}

// The submission's own lines: why it cannot run, then what is worth knowing.
std::string submissionLines(const Submission& submission) {
    std::vector<std::string> all = submission.problems;
    all.insert(all.end(), submission.notes.begin(), submission.notes.end());
    return joinLines(all);
}

std::string jsonReport(const Exercise& exercise, const std::string& exerciseArgument,
                       const std::vector<SubmissionResult>& results, const Similarities* similar) {
    Json report;
    report["versione"] = JSON_VERSION;
    report["esercizio"] = exerciseJson(exercise, exerciseArgument);
    Json submissions = Json::array();
    for (const SubmissionResult& result : results) submissions.push_back(submissionJson(exercise, result));
    report["consegne"] = std::move(submissions);
    report["riepilogo"] = summaryJson(exercise, results);
    if (similar != nullptr) report["somiglianze"] = similarJson(results, *similar);
    // Every text is UTF-8 by now; replace is only a guard, so that no bytes can ever make this throw.
    return report.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}


std::string csvReport(const Exercise& exercise, const std::vector<SubmissionResult>& results) {
    std::string csv = "studente";
    for (const TestCase& testCase : exercise.cases) csv += "," + csvField(testCase.name, true);
    csv += ",totale\n";
    for (const SubmissionResult& result : results) {
        csv += csvField(result.submission.student, true);
        for (std::size_t index = 0; index < exercise.cases.size(); ++index) {
            const double points = index < result.cases.size() ? result.cases[index].points : 0.0;
            csv += "," + csvField(formatPointsPlain(points), false);
        }
        csv += "," + csvField(formatPointsPlain(result.points), false) + "\n";
    }
    return csv;
}

std::string gradescopeReport(const Exercise& exercise, const std::string& exerciseArgument,
                             const SubmissionResult& result) {
    Json report;
    // No total "score": Gradescope then sums the tests' own, and a total
    // would tell the hidden cases' result before the grades are published.
    report["output"] = gradescopeSummary(exercise, result);
    Json tests = Json::array();
    for (std::size_t index = 0; index < exercise.cases.size(); ++index) {
        const TestCase& testCase = exercise.cases[index];
        const bool present = index < result.cases.size();
        const bool passed = present && result.cases[index].passed;
        Json test;
        test["name"] = visibleText(testCase.name);
        test["score"] = present ? roundedPoints(result.cases[index].points) : 0.0;
        test["max_score"] = roundedPoints(testCase.points);
        test["status"] = passed ? "passed" : "failed";
        if (testCase.hidden || !present) {
            test["output"] = hiddenOutcome(result, passed);
        } else if (passed) {
            test["output"] = "superato";
        } else {
            const std::vector<std::string> reasons =
                failureReasons(exercise, testCase, result.submission, result.cases[index]);
            test["output"] = failureDetails(exercise, exerciseArgument, result, index, reasons, false);
        }
        test["visibility"] = testCase.hidden ? "after_published" : "visible";
        tests.push_back(std::move(test));
    }
    report["tests"] = std::move(tests);
    report["visibility"] = "visible";
    return report.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace tarn::grading

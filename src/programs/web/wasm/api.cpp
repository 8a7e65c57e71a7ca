// The browser edition's entry points: the assembler, a run as tarnsim shows
// it (run.cpp), the debugger's session (debug.cpp) and the grader
// (exercise.cpp), for worker/worker.js.
//
// Every function takes its texts as pointer and length (UTF-8, in memory
// from tw_alloc) and returns a buffer that stays valid until the next call:
// JSON for results, raw bytes for what a run prints. tw_size() is the length
// of the last buffer returned. At most one run, one session and one exercise
// are held at a time; starting another replaces the one before.
#include "assembly/assembler.hpp"
#include "debugger/program.hpp"
#include "machine/instruction_set.hpp"
#include "programs/web/wasm/machine_view.hpp"
#include "programs/web/wasm/reply.hpp"
#include "programs/web/wasm/source.hpp"
#include "text/numbers.hpp"

#include <emscripten/emscripten.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

using namespace tarn::web;

extern "C" {

EMSCRIPTEN_KEEPALIVE void* tw_alloc(std::size_t size) {
    return std::malloc(size == 0 ? 1 : size);
}

EMSCRIPTEN_KEEPALIVE void tw_free(void* pointer) {
    std::free(pointer);
}

EMSCRIPTEN_KEEPALIVE std::size_t tw_size() {
    return givenSize();
}

// { mnemonics, directives, numbers, reference }: numbers is how the page
// writes each of the 256 values, as the libraries do: addresses ("0x1F
// (31)"), bytes ("0x6F (111, 'o')") and the characters of a memory row
// ("o", "."); reference is the instruction reference, a row { opcode,
// mnemonic, length, unit, meaning } for each instruction of the table.
EMSCRIPTEN_KEEPALIVE const char* tw_init() {
    json mnemonics = json::array();
    for (const tarn::Instruction& instruction : tarn::instructionTable) mnemonics.push_back(instruction.mnemonic);
    json directives = json::array();
    for (std::string_view directive : tarn::DIRECTIVES) directives.push_back(directive);
    json addresses = json::array(), bytes = json::array();
    std::string characters;
    for (unsigned value = 0; value < 256; ++value) {
        addresses.push_back(tarn::addressText(value));
        bytes.push_back(tarn::byteText(static_cast<std::uint8_t>(value)));
        characters += tarn::rowCharacter(static_cast<std::uint8_t>(value));
    }
    json reference = json::array();
    for (const tarn::ReferenceRow& row : tarn::instructionReference())
        reference.push_back({{"opcode", row.opcode},
                             {"mnemonic", row.mnemonic},
                             {"length", row.length},
                             {"unit", row.unit},
                             {"meaning", row.meaning}});
    return give(json{{"mnemonics", std::move(mnemonics)},
                     {"directives", std::move(directives)},
                     {"reference", std::move(reference)},
                     {"numbers", {{"addresses", std::move(addresses)},
                                  {"bytes", std::move(bytes)},
                                  {"characters", std::move(characters)}}}});
}

// { diagnostics, omitted, failed, image, lines, cells }: cells, null when
// the source has errors, is what the program made of each byte (see
// programCellsJson).
EMSCRIPTEN_KEEPALIVE const char* tw_assemble(const char* sourceData, std::size_t sourceSize, const char* nameData,
                                             std::size_t nameSize) {
    const std::string_view source = text(sourceData, sourceSize);
    const std::string_view name = text(nameData, nameSize);
    if (const auto error = sourceTooLong(source, name)) return failure(*error);
    json result = json::object();
    const tarn::Assembly assembly = assembleInto(result, source, name);
    json lines = json::array();
    for (const tarn::ListingEntry& entry : assembly.listing)
        if (!entry.bytes.empty())
            lines.push_back({{"number", entry.line}, {"address", entry.address}, {"data", entry.data}});
    result["image"] = assembly.failed() ? json(nullptr) : json(assembly.image);
    result["lines"] = std::move(lines);
    result["cells"] = assembly.failed()
                          ? json(nullptr)
                          : programCellsJson(tarn::debugger::programFromAssembly(sourceName(name), source, assembly));
    return give(result);
}

}  // extern "C"

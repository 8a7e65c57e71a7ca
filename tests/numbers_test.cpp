// How addresses and bytes are written for a person: hexadecimal first, the
// decimal beside it, the character where it prints.
#include "text/numbers.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

struct DigitsCase {
    unsigned value;
    const char* digits;
};

TEST(Numbers, HexDigitsAreTwoCapitalsAndThreePastAByte) {
    const std::vector<DigitsCase> cases = {
        {0x00, "00"}, {0x0F, "0F"}, {0xA0, "A0"}, {0xFF, "FF"}, {0x100, "100"}, {0x1FE, "1FE"},
    };
    for (const DigitsCase& c : cases) EXPECT_EQ(c.digits, tarn::hexDigits(c.value)) << c.value;
}

TEST(Numbers, AnAddressIsHexadecimalWithTheDecimalAfterIt) {
    const std::vector<DigitsCase> cases = {
        {0x00, "0x00 (0)"}, {0x0F, "0x0F (15)"}, {0x1F, "0x1F (31)"}, {0xFF, "0xFF (255)"}, {0x1FE, "0x1FE (510)"},
    };
    for (const DigitsCase& c : cases) EXPECT_EQ(c.digits, tarn::addressText(c.value)) << c.value;
    EXPECT_EQ("0x0A", tarn::hexAddress(10));
    EXPECT_EQ("0x1FE", tarn::hexAddress(0x1FE));
}

struct ByteCase {
    std::uint8_t value;
    const char* text;
    char row;  // as a memory row shows it
};

TEST(Numbers, AByteShowsItsCharacterOnlyWhereItPrints) {
    const std::vector<ByteCase> cases = {
        {0, "0x00 (0)", '.'},
        {10, "0x0A (10)", '.'},
        {31, "0x1F (31)", '.'},
        {32, "0x20 (32, ' ')", ' '},
        {39, "0x27 (39, '\\'')", '\''},
        {48, "0x30 (48, '0')", '0'},
        {92, "0x5C (92, '\\\\')", '\\'},
        {111, "0x6F (111, 'o')", 'o'},
        {126, "0x7E (126, '~')", '~'},
        {127, "0x7F (127)", '.'},
        {128, "0x80 (128)", '.'},
        {255, "0xFF (255)", '.'},
    };
    for (const ByteCase& c : cases) {
        EXPECT_EQ(c.text, tarn::byteText(c.value)) << int{c.value};
        EXPECT_EQ(c.row, tarn::rowCharacter(c.value)) << int{c.value};
    }
}

// For every byte: its text begins as its address does, and it names a
// character exactly when a memory row shows the byte itself.
TEST(Numbers, EveryByteAgreesWithItsAddressAndItsRowCharacter) {
    int characters = 0;
    for (unsigned value = 0; value < 256; ++value) {
        const auto byte = static_cast<std::uint8_t>(value);
        const std::string text = tarn::byteText(byte);
        const std::string address = tarn::addressText(value);
        EXPECT_EQ(0u, text.rfind(address.substr(0, address.size() - 1), 0)) << text;
        const bool named = text.find(", '") != std::string::npos;
        EXPECT_EQ(named, tarn::rowCharacter(byte) == static_cast<char>(byte)) << text;
        if (named) ++characters;
    }
    EXPECT_EQ(95, characters);  // 32 to 126
}

}  // namespace

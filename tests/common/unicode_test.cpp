// Unicode lower-casing, White_Space and the alphanumeric test, and the generated tables'
// agreement with the generator run over the installed Unicode Character Database.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "common/text.h"
#include "common/unicode.h"

namespace nimbalo {
namespace {

TEST(Unicode, LowerFull) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"", ""},
        {"ABC xyz 019 @[`{", "abc xyz 019 @[`{"},
        {"R\xC3\x89SUM\xC3\x89", "r\xC3\xA9sum\xC3\xA9"},               // RÉSUMÉ
        {"\xC4\xB0stanbul", "i\xCC\x87stanbul"},                         // İ becomes two characters
        {"\xCE\xA3\xCE\x91\xCE\xA3", "\xCF\x83\xCE\xB1\xCF\x83"},         // ΣΑΣ: no final-sigma rule
        {"\xE2\x84\xAA", "k"},                                           // KELVIN SIGN
        {"\xE1\xBA\x9E", "\xC3\x9F"},                                    // ẞ -> ß
        {"\xC3\x9F", "\xC3\x9F"},                                        // ß has no lower-case change
        {"\xF0\x90\x90\x80", "\xF0\x90\x90\xA8"},                        // DESERET CAPITAL LONG I (4 bytes)
        {"\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0", "\xD0\xBC\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0"},  // Москва
        {"A\xFF" "B\xC3", "a\xFF" "b\xC3"},                              // invalid bytes pass through
        {"\xED\xA0\x80X", "\xED\xA0\x80x"},                              // an encoded surrogate is invalid
    };
    for (const Case& c : cases) EXPECT_EQ(to_lower_full(c.in), c.out) << c.in;
}

TEST(Unicode, WhiteSpaceSet) {
    for (char32_t cp : {0x9, 0xA, 0xB, 0xC, 0xD, 0x20, 0x85, 0xA0, 0x1680, 0x2000, 0x2005, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000})
        EXPECT_TRUE(is_white_space(cp)) << std::hex << uint32_t(cp);
    for (char32_t cp : {0x0, 0x8, 0xE, 0x1F, 0x21, 0x84, 0x200B, 0x180E, 0xFEFF, 0x3001, 0x10FFFF})
        EXPECT_FALSE(is_white_space(cp)) << std::hex << uint32_t(cp);
}

TEST(Unicode, Alphanumeric) {
    for (char32_t cp : {U'a', U'Z', U'0', U'9', U'\u00E9', U'\u0663' /* Arabic-Indic 3, Nd */, U'\u216B' /* Roman 12, Nl */,
                        U'\u00BD' /* ½, No */, U'\u0345' /* Alphabetic mark */, U'\u4E2D', U'\U00010400'})
        EXPECT_TRUE(is_alphanumeric(cp)) << std::hex << uint32_t(cp);
    for (char32_t cp : {U' ', U'-', U'_', U'.', U'^', U'\u00D7', U'\u2028', U'\U0001F600'})
        EXPECT_FALSE(is_alphanumeric(cp)) << std::hex << uint32_t(cp);
}

TEST(Unicode, DecodeStep) {
    const std::string s = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xC3(\xC0\xAF";
    struct Step {
        char32_t cp;
        size_t len;
        bool valid;
    };
    const Step want[] = {{U'a', 1, true}, {0xE9, 2, true},     {0x20AC, 3, true},   {0x1F600, 4, true},
                         {0xFFFD, 1, false}, {U'(', 1, true}, {0xFFFD, 1, false}, {0xFFFD, 1, false}};
    size_t pos = 0;
    for (const Step& w : want) {
        ASSERT_LT(pos, s.size());
        const Utf8Step got = utf8_decode_step(s, pos);
        EXPECT_EQ(got.cp, w.cp) << "at " << pos;
        EXPECT_EQ(got.len, w.len) << "at " << pos;
        EXPECT_EQ(got.valid, w.valid) << "at " << pos;
        pos += got.len;
    }
    EXPECT_EQ(pos, s.size());
}

// A truncated or broken sequence is one replacement, however it is read: conversions,
// validation and sanitizing all agree on its length with the decoder, and lower-casing keeps its
// bytes. (Two decoders once disagreed here: one byte against the maximal subpart.)
TEST(Unicode, BrokenSequenceIsOneMaximalSubpart) {
    struct Case {
        std::string in;
        size_t first_len;
        std::u16string utf16;
    } cases[] = {
        {"\xE2\x82x", 2, u"\uFFFDx"},          // euro sign cut after two bytes
        {"\xF0\x9F\x98", 3, u"\uFFFD"},        // emoji cut at the end of the text
        {"\xF0\x9F(", 2, u"\uFFFD("},
        {"\xED\xA0\x80", 1, u"\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate: nothing is allowed after ED A0
        {"\xE0\x80\xAF", 1, u"\uFFFD\uFFFD\uFFFD"},  // overlong
        {"\xC3", 1, u"\uFFFD"},
    };
    for (const auto& c : cases) {
        const Utf8Step step = utf8_decode_step(c.in, 0);
        EXPECT_FALSE(step.valid);
        EXPECT_EQ(step.len, c.first_len) << c.in;
        EXPECT_EQ(utf8_to_utf16(c.in), c.utf16) << c.in;
        EXPECT_EQ(sanitize_utf8(c.in), utf16_to_utf8(c.utf16)) << c.in;
        EXPECT_FALSE(is_valid_utf8(c.in));
        EXPECT_EQ(to_lower_full(c.in), c.in) << "lower-casing keeps bad bytes";
    }
}

// The committed tables must be what the generator makes from the installed database, so a
// hand edit or a stale regeneration is caught.
TEST(Unicode, GeneratedTablesAreCurrent) {
    if (!std::ifstream("/usr/share/unicode/UnicodeData.txt")) GTEST_SKIP() << "unicode-data is not installed";
    const std::string out = std::string(NIMBALO_BINARY_DIR) + "/unicode_tables.regenerated.cpp";
    const std::string cmd = std::string("python3 ") + NIMBALO_SOURCE_DIR + "/tools/gen_unicode_tables.py > " + out;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    auto slurp = [](const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    };
    EXPECT_EQ(slurp(out), slurp(std::string(NIMBALO_SOURCE_DIR) + "/src/common/unicode_tables.cpp"));
}

}  // namespace
}  // namespace nimbalo

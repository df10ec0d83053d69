#include <gtest/gtest.h>

#include "common/command_line.h"
#include "common/text.h"

using nimbalo::quote_windows_command_line;
using nimbalo::split_windows_command_line;

namespace {

// What a child would see: split the quoted line back, all in UTF-8.
std::vector<std::string> round_trip(const std::string& program, const std::vector<std::string>& args) {
    auto line = quote_windows_command_line(program, args);
    EXPECT_TRUE(line.ok());
    if (!line.ok()) return {};
    std::vector<std::string> out;
    for (const auto& part : split_windows_command_line(nimbalo::utf8_to_utf16(*line)))
        out.push_back(nimbalo::utf16_to_utf8(part));
    return out;
}

}  // namespace

TEST(QuoteArgs, HandWrittenLines) {
    struct Case {
        std::vector<std::string> args;
        std::string want;
    } cases[] = {
        {{}, R"("C:\p.exe")"},
        {{"search", "report"}, R"("C:\p.exe" search report)"},
        {{""}, R"("C:\p.exe" "")"},
        {{"a b"}, R"("C:\p.exe" "a b")"},
        {{"a\tb"}, "\"C:\\p.exe\" \"a\tb\""},
        {{R"(a"b)"}, R"("C:\p.exe" "a\"b")"},
        {{R"(a\b)"}, R"("C:\p.exe" a\b)"},                           // no quote follows: literal
        {{R"(dir\)"}, R"("C:\p.exe" dir\)"},                         // unquoted, nothing to escape
        {{R"(C:\Program Files\)"}, R"("C:\p.exe" "C:\Program Files\\")"},  // doubled before the closing quote
        {{R"(\")"}, R"("C:\p.exe" "\\\"")"},
        {{R"(a\\"b c)"}, R"("C:\p.exe" "a\\\\\"b c")"},
        {{"service", "run"}, R"("C:\p.exe" service run)"},
    };
    for (const auto& c : cases) {
        auto line = quote_windows_command_line(R"(C:\p.exe)", c.args);
        ASSERT_TRUE(line.ok());
        EXPECT_EQ(*line, c.want);
    }
}

TEST(QuoteArgs, UnrepresentableInputIsRefused) {
    struct Case {
        std::string program;
        std::vector<std::string> args;
        std::string error_part;
    } cases[] = {
        {R"(C:\a"b.exe)", {}, "double quote"},
        {std::string("C:\\a\0b.exe", 10), {}, "NUL"},
        {"p.exe", {"ok", std::string("x\0y", 3)}, "NUL"},
    };
    for (const auto& c : cases) {
        auto line = quote_windows_command_line(c.program, c.args);
        ASSERT_FALSE(line.ok());
        EXPECT_NE(line.error().find(c.error_part), std::string::npos) << line.error();
    }
}

// Every argument of up to five characters over the characters that matter to the rules, alone
// and in pairs of up to three, must come back unchanged from the splitter.
TEST(QuoteArgs, ExhaustiveRoundTripOverSmallAlphabet) {
    const std::string alphabet = std::string("a \"\\\t");
    std::vector<std::string> words{""};
    for (size_t begin = 0, len = 1; len <= 5; ++len) {
        const size_t end = words.size();
        for (size_t i = begin; i < end; ++i)
            for (char c : alphabet) words.push_back(words[i] + c);
        begin = end;
    }
    ASSERT_EQ(words.size(), 1u + 5 + 25 + 125 + 625 + 3125);
    const std::string program = R"(C:\Program Files\Nimbalo\nimbalo.exe)";
    for (const auto& w : words) {
        const auto got = round_trip(program, {w});
        ASSERT_EQ(got, (std::vector<std::string>{program, w})) << "argument [" << w << "]";
    }
    const size_t short_words = 1 + 5 + 25 + 125;
    for (size_t i = 0; i < short_words; ++i)
        for (size_t j = 0; j < short_words; ++j) {
            const auto got = round_trip(program, {words[i], words[j]});
            ASSERT_EQ(got, (std::vector<std::string>{program, words[i], words[j]}))
                << "arguments [" << words[i] << "] [" << words[j] << "]";
        }
}

TEST(QuoteArgs, NonAsciiArgumentsRoundTrip) {
    const std::vector<std::string> args{"\xc3\xa9t\xc3\xa9 r\xc3\xa9sum\xc3\xa9", "\xe6\x97\xa5\xe6\x9c\xac\\",
                                        "\xf0\x9f\x93\x81 \"x\"", "-"};
    std::vector<std::string> want{"nimbalo.exe"};
    want.insert(want.end(), args.begin(), args.end());
    EXPECT_EQ(round_trip("nimbalo.exe", args), want);
}

TEST(CommandLine, WindowsSplittingRules) {
    struct Case {
        std::u16string line;
        std::vector<std::u16string> want;
    } cases[] = {
        {u"nimbalo.exe", {u"nimbalo.exe"}},
        {u"\"C:\\Program Files\\Nimbalo\\nimbalo.exe\" search x", {u"C:\\Program Files\\Nimbalo\\nimbalo.exe", u"search", u"x"}},
        {u"p a  b\tc", {u"p", u"a", u"b", u"c"}},
        {u"p \"a b\" c", {u"p", u"a b", u"c"}},
        {u"p fo\"o b\"ar", {u"p", u"foo bar"}},
        {u"p \"\"", {u"p", u""}},
        {u"p \"\" x", {u"p", u"", u"x"}},
        {u"p a\\\\b", {u"p", u"a\\\\b"}},           // backslashes not before a quote stay
        {u"p a\\\"b", {u"p", u"a\"b"}},             // \" is a literal quote
        {u"p a\\\\\"b c\"", {u"p", u"a\\b c"}},     // \\" : one backslash, quote toggles
        {u"p a\\\\\\\"b", {u"p", u"a\\\"b"}},       // \\\" : one backslash and a literal quote
        {u"p \"a\"\"b\"", {u"p", u"a\"b"}},         // doubled quote inside quotes
        {u"p C:\\dir\\", {u"p", u"C:\\dir\\"}},
        {u"p \"C:\\dir\\\\\"", {u"p", u"C:\\dir\\"}},
        {u"p \"unterminated arg", {u"p", u"unterminated arg"}},
        {u"p   ", {u"p"}},
    };
    for (const auto& c : cases) EXPECT_EQ(split_windows_command_line(c.line), c.want);
}

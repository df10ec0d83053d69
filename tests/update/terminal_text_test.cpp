#include <gtest/gtest.h>

#include "update/terminal_text.h"

using nimbalo::update::printable;

TEST(TerminalText, ControlCharactersArePrintedEscaped) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"v0.6.0", "v0.6.0"},
        {"https://up.example/n.exe", "https://up.example/n.exe"},
        {"\x1b]0;pwned\x07", "\\x1B]0;pwned\\x07"},
        {"1.0\x1b[2J\r\n", "1.0\\x1B[2J\\x0D\\x0A"},
        {"a\x7f" "b\tc", "a\\x7Fb\\x09c"},
        {"\xc2\x9b" "31m", "\\u009B31m"},   // CSI as a C1 character
        {"\xc2\xa0\xc3\xa9", "\xc2\xa0\xc3\xa9"},  // no-break space and e-acute stay
        {"x\x9b", "x\xef\xbf\xbd"},            // a lone byte is not UTF-8
        {std::string("a\0b", 3), "a\\x00b"},
    };
    for (const auto& c : cases) EXPECT_EQ(printable(c.in), c.out) << c.in;
}

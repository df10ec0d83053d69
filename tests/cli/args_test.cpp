#include <gtest/gtest.h>

#include "cli/args.h"

using nimbalo::cli::drive_arg;
using nimbalo::cli::split_windows_command_line;
using nimbalo::cli::take_tray_flags;

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

TEST(CommandLine, TrayFlagsAreRemovedAnywhere) {
    std::vector<std::string> a{"--tray"};
    EXPECT_TRUE(take_tray_flags(a));
    EXPECT_TRUE(a.empty());
    std::vector<std::string> b{"/tray", "--startup"};
    EXPECT_TRUE(take_tray_flags(b));
    EXPECT_TRUE(b.empty());
    std::vector<std::string> c{"build", "--tray", "d"};
    EXPECT_TRUE(take_tray_flags(c));
    EXPECT_EQ(c, (std::vector<std::string>{"build", "d"}));
    std::vector<std::string> d{"build", "--Tray", "-tray"};
    EXPECT_FALSE(take_tray_flags(d));
    EXPECT_EQ(d.size(), 3u);
}

TEST(CommandLine, DriveArgument) {
    const std::vector<std::string> args{"build", "d", "D:", "data", "7", "", "é", "z"};
    EXPECT_EQ(drive_arg(args, 1), 'D');
    EXPECT_EQ(drive_arg(args, 2), 'D');
    EXPECT_EQ(drive_arg(args, 3), 'D');
    EXPECT_EQ(drive_arg(args, 4), 'C');
    EXPECT_EQ(drive_arg(args, 5), 'C');
    EXPECT_EQ(drive_arg(args, 6), 'C');
    EXPECT_EQ(drive_arg(args, 7), 'Z');
    EXPECT_EQ(drive_arg(args, 8), 'C');  // absent
}

#include <gtest/gtest.h>

#include "cli/args.h"

using nimbalo::cli::drive_arg;
using nimbalo::cli::take_tray_flags;

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

#include <gtest/gtest.h>

#include <string>

#include "common/drive_path.h"
#include "common/percent_encoding.h"

using namespace nimbalo;

TEST(DrivePath, DrivePathsAndNames) {
    EXPECT_TRUE(is_drive_path("C:\\"));
    EXPECT_TRUE(is_drive_path("z:\\a"));
    for (const char* p : {"", "C:", "C:x", "\\\\host\\share", "\\\\?\\C:\\x", "1:\\x", "/etc/passwd", "CC:\\"})
        EXPECT_FALSE(is_drive_path(p)) << p;
    EXPECT_EQ(last_component("C:\\a\\b.txt"), "b.txt");
    EXPECT_EQ(last_component("C:\\"), "C:\\");
    EXPECT_EQ(last_component("C:\\dir\\"), "C:\\dir\\");
    EXPECT_EQ(last_component("plain"), "plain");
}

TEST(PercentEncoding, EverythingButUnreservedBytes) {
    EXPECT_EQ(percent_encode("AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(percent_encode("a b+c&d=e%f/\"\\"), "a%20b%2Bc%26d%3De%25f%2F%22%5C");
    EXPECT_EQ(percent_encode("Ä€"), "%C3%84%E2%82%AC");
    EXPECT_EQ(percent_encode(std::string("\0\xff", 2)), "%00%FF");
}

#include <gtest/gtest.h>

#include "cli/console_format.h"

using namespace nimbalo;

TEST(ConsoleFormat, Sizes) {
    const std::pair<uint64_t, const char*> cases[] = {
        {0, "0 B"},          {1023, "1023 B"},      {1024, "1.0 KB"},   {1536, "1.5 KB"},
        {1048575, "1024.0 KB"}, {1048576, "1.0 MB"}, {5ull << 50, "5120.0 TB"}, {UINT64_MAX, "16777216.0 TB"},
    };
    for (auto [in, want] : cases) EXPECT_EQ(format_size(in), want) << in;
}

TEST(ConsoleFormat, FiletimesAreUtc) {
    EXPECT_EQ(format_filetime(0), "-");
    EXPECT_EQ(format_filetime(1), "1601-01-01 00:00:00");
    EXPECT_EQ(format_filetime(116444736000000000ull), "1970-01-01 00:00:00");
    // 2020-07-25 13:45:06 UTC
    EXPECT_EQ(format_filetime(132401583060000000ull), "2020-07-25 13:45:06");
    EXPECT_EQ(format_filetime(132401583069999999ull), "2020-07-25 13:45:06");  // truncated, not rounded
    // Leap day and the end of a century year.
    EXPECT_EQ(format_filetime(125962560000000000ull), "2000-02-29 00:00:00");
    EXPECT_EQ(format_filetime(116444736000000000ull + 4107542399ull * 10000000), "2100-02-28 23:59:59");
    EXPECT_EQ(format_filetime(116444736000000000ull + 4107542400ull * 10000000), "2100-03-01 00:00:00");
    EXPECT_EQ(format_filetime(0x7FFFFFFFFFFFFFFFull), "30828-09-14 02:48:05");
    EXPECT_EQ(format_filetime(0x8000000000000000ull), "0000-00-00 00:00:00");
}

TEST(ConsoleFormat, HitAndChangeLines) {
    SearchHit dir{"C:\\Windows", "Windows", 0, 0, true};
    EXPECT_EQ(hit_line(dir), "       0 B  -  C:\\Windows\\\n");
    SearchHit file{"C:\\a.txt", "a.txt", 1536, 116444736000000000ull, false};
    EXPECT_EQ(hit_line(file), "    1.5 KB  1970-01-01 00:00:00  C:\\a.txt\n");
    UsnChange c;
    c.name = "x.txt";
    EXPECT_EQ(change_line(c, "delete"), "-  delete            x.txt\n");
    EXPECT_EQ(change_line(c, "create+data-extend+rename(new)"), "-  create+data-extend+rename(new)  x.txt\n");
}

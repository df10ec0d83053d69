#include <gtest/gtest.h>

#include "cli/console_format.h"

using nimbalo::format_filetime;
using nimbalo::format_size;
using nimbalo::format_change_line;

TEST(ConsoleFormat, Sizes) {
    struct Case {
        uint64_t bytes;
        const char* want;
    } cases[] = {
        {0, "0 B"}, {1023, "1023 B"}, {1024, "1.0 KB"}, {1536, "1.5 KB"}, {1048575, "1024.0 KB"},
        {1048576, "1.0 MB"}, {5ull << 50, "5120.0 TB"}, {UINT64_MAX, "16777216.0 TB"}, {(1ull << 40) - 1, "1024.0 GB"},
    };
    for (const auto& c : cases) EXPECT_EQ(format_size(c.bytes), c.want) << c.bytes;
}

TEST(ConsoleFormat, FileTimesAsUtc) {
    // Expected values worked out by hand from 100 ns ticks since 1601-01-01.
    struct Case {
        uint64_t ft;
        const char* want;
    } cases[] = {
        {0, "-"},
        {1, "1601-01-01 00:00:00"},
        {116444736000000000, "1970-01-01 00:00:00"},
        {132400000000000000, "2020-07-23 17:46:40"},
        {125911584000000000, "2000-01-01 00:00:00"},
        {125962560000000000, "2000-02-29 00:00:00"},  // leap day of a year divisible by 400
        {(116444736000000000 + 4107542399ull * 10000000), "2100-02-28 23:59:59"},
        {(116444736000000000 + 4107542400ull * 10000000), "2100-03-01 00:00:00"},  // 2100 is not a leap year
        {0x7FFFFFFFFFFFFFFF, "30828-09-14 02:48:05"},
        {0x8000000000000000, "0000-00-00 00:00:00"},  // the system conversion rejects it
    };
    for (const auto& c : cases) EXPECT_EQ(format_filetime(c.ft), c.want) << c.ft;
}

TEST(ConsoleFormat, ChangeLines) {
    struct Case {
        nimbalo::UsnChange change;
        const char* want;
    } cases[] = {
        {{"report.txt", 1, 5, 116444736000000000, 0x200, false}, "1970-01-01 00:00:00  delete            report.txt\n"},
        {{"long.txt", 1, 5, 116444736000000000, 0x2102, false},
         "1970-01-01 00:00:00  create+rename(new)+data-extend  long.txt\n"},  // longer than 16: not cut
        {{"", 1, 5, 0, 0x00400000, false}, "-  0x00400000        \n"},
    };
    for (const auto& c : cases) EXPECT_EQ(format_change_line(c.change), c.want);
}

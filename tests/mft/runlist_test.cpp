#include <gtest/gtest.h>

#include <vector>

#include "mft/runlist.h"

using nimbalo::DataRun;
using nimbalo::decode_runlist;

namespace {
std::vector<std::byte> bytes(std::initializer_list<int> v) {
    std::vector<std::byte> out;
    for (int b : v) out.push_back(std::byte(b));
    return out;
}
}  // namespace

TEST(Runlist, DecodesTheFormatsEdgeCases) {
    struct Case {
        const char* what;
        std::vector<std::byte> in;
        std::vector<DataRun> want;
    } cases[] = {
        {"empty input", {}, {}},
        {"terminator first", bytes({0x00, 0x31, 0x40, 0, 0, 0x0C}), {}},
        {"one extent", bytes({0x31, 0x40, 0x00, 0x00, 0x0C, 0x00}), {{786432, 64}}},
        {"negative relative offset", bytes({0x31, 0x40, 0x00, 0x00, 0x0C, 0x21, 0x10, 0x00, 0xF0, 0x00}),
         {{786432, 64}, {782336, 16}}},
        {"sparse keeps the base of the next extent",
         bytes({0x11, 0x04, 0x10, 0x01, 0x08, 0x11, 0x02, 0x05, 0x00}),
         {{0x10, 4}, {-1, 8}, {0x15, 2}}},
        {"length nibble 0 ends the list", bytes({0x11, 0x01, 0x20, 0x10, 0x05, 0x11, 0x01, 0x01}), {{0x20, 1}}},
        {"length nibble above 8 ends the list", bytes({0x11, 0x01, 0x20, 0x09, 1, 2, 3, 4, 5, 6, 7, 8, 9}), {{0x20, 1}}},
        {"offset wider than 8 ends the list", bytes({0x11, 0x01, 0x20, 0x91, 0x01, 1, 2, 3, 4, 5, 6, 7, 8, 9}), {{0x20, 1}}},
        {"truncated fields drop the partial extent", bytes({0x11, 0x01, 0x20, 0x32, 0x01, 0x00, 0x05}), {{0x20, 1}}},
        {"no terminator: stops at the end", bytes({0x11, 0x03, 0x07}), {{7, 3}}},
        {"position at or below 0 gives lcn 0", bytes({0x11, 0x01, 0x05, 0x11, 0x01, 0xF0, 0x11, 0x01, 0x0B, 0x00}),
         {{5, 1}, {0, 1}, {0, 1}}},  // 5, 5-16=-11 -> 0, -11+11=0 -> 0
        {"zero-length extents are kept", bytes({0x11, 0x00, 0x05, 0x00}), {{5, 0}}},
        {"8-byte fields, no sign extension needed",
         bytes({0x88, 1, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0x00}), {{0x1000, 1}}},
        {"8-byte length", bytes({0x18, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00}), {{1, UINT64_MAX}}},
        {"3-byte offset sign-extends from bit 23", bytes({0x31, 0x01, 0x00, 0x00, 0x10, 0x31, 0x01, 0x00, 0x00, 0xF0, 0x00}),
         {{0x100000, 1}, {0, 1}}},
    };
    for (const auto& c : cases) EXPECT_EQ(decode_runlist(c.in), c.want) << c.what;
}

TEST(Runlist, WrappingPositionsNeverTrap) {
    // Large positive then large positive offsets overflow int64: must stay defined (UBSan) and end.
    auto in = bytes({0x81, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F,
                     0x81, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00});
    const auto runs = decode_runlist(in);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].lcn, INT64_MAX);
    EXPECT_EQ(runs[1].lcn, 0);  // wrapped negative -> 0
}

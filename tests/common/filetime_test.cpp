#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "common/filetime.h"

using namespace nimbalo;

TEST(Filetime, Iso8601Text) {
    // Expected values from Python's datetime (proleptic Gregorian, UTC).
    const std::vector<std::pair<uint64_t, const char*>> rows = {
        {0, "1601-01-01T00:00:00Z"},
        {9999999, "1601-01-01T00:00:00Z"},
        {kUnixEpochFiletime, "1970-01-01T00:00:00Z"},
        {116444735990000000ull, "1969-12-31T23:59:59Z"},
        {94405824000000000ull, "1900-03-01T00:00:00Z"},
        {125963012960000000ull, "2000-02-29T12:34:56Z"},
        {133801631990000000ull, "2024-12-31T23:59:59Z"},
        {2650467743990000000ull, "9999-12-31T23:59:59Z"},
    };
    for (const auto& [ft, text] : rows) EXPECT_EQ(utc_iso8601_text(ft), text) << ft;
    const std::string far = utc_iso8601_text(UINT64_MAX);
    EXPECT_EQ(far.size(), 21u) << far;  // a five-digit year, still well formed
}

// The two renderings are one conversion: they agree on every field, far years included.
TEST(Filetime, BothTextsAgree) {
    for (uint64_t ft : {0ull, 1ull, 125963012960000000ull, 2650467743990000000ull, 0x7FFFFFFFFFFFFFFFull, ~0ull}) {
        std::string iso = utc_iso8601_text(ft);
        iso.pop_back();
        iso[iso.find('T')] = ' ';
        EXPECT_EQ(utc_date_time_text(ft), iso) << ft;
    }
}

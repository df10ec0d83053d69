#include <gtest/gtest.h>

#include "mcp/rows.h"
#include "mcp/service_link.h"

using namespace nimbalo::mcp;

TEST(Rows, UtcText) {
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
    for (const auto& [ft, text] : rows) EXPECT_EQ(utc_text(ft), text) << ft;
    const std::string far = utc_text(UINT64_MAX);
    EXPECT_EQ(far.size(), 21u) << far;  // a five-digit year, still well formed
}

TEST(Rows, DrivePathsAndNames) {
    EXPECT_TRUE(is_drive_path("C:\\"));
    EXPECT_TRUE(is_drive_path("z:\\a"));
    for (const char* p : {"", "C:", "C:x", "\\\\host\\share", "\\\\?\\C:\\x", "1:\\x", "/etc/passwd", "CC:\\"})
        EXPECT_FALSE(is_drive_path(p)) << p;
    EXPECT_EQ(last_component("C:\\a\\b.txt"), "b.txt");
    EXPECT_EQ(last_component("C:\\"), "C:\\");
    EXPECT_EQ(last_component("C:\\dir\\"), "C:\\dir\\");
    EXPECT_EQ(last_component("plain"), "plain");
}

TEST(Rows, PercentEncode) {
    EXPECT_EQ(percent_encode("AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(percent_encode("a b+c&d=e%f/\"\\"), "a%20b%2Bc%26d%3De%25f%2F%22%5C");
    EXPECT_EQ(percent_encode("Ä€"), "%C3%84%E2%82%AC");
    EXPECT_EQ(percent_encode(std::string("\0\xff", 2)), "%00%FF");
}

TEST(Rows, HttpBody) {
    EXPECT_EQ(http_body("HTTP/1.1 200 OK\r\nA: b\r\n\r\n{\"x\":1}\r\n\r\nmore"), "{\"x\":1}\r\n\r\nmore");
    EXPECT_EQ(http_body("HTTP/1.1 200 OK\r\n\r\n"), "");
    EXPECT_FALSE(http_body("HTTP/1.1 200 OK\r\n"));
    EXPECT_FALSE(http_body("HTTP/1.1 200 OK\r\n\r\n\xc3"));
}

#include <gtest/gtest.h>

#include "update/version.h"

using namespace nimbalo::update;

TEST(Version, ParseTable) {
    struct Case {
        const char* text;
        VersionTriple want;
    };
    // What a server's version.txt may really hold, and numbers that must not wrap around.
    const Case cases[] = {
        {"1.2.3", {1, 2, 3}},       {"v1.2.3", {1, 2, 3}},       {"  v0.6.0 \t", {0, 6, 0}},
        {"1.2.3.9", {1, 2, 3}},     {"1.2.3-beta", {1, 2, 3}},   {"1.10", {1, 10, 0}},
        {"", {0, 0, 0}},            {"x.y.z", {0, 0, 0}},
        {"4294967295.1", {4294967295u, 1, 0}},                   {"4294967296.1.1", {0, 1, 1}},
    };
    for (const auto& c : cases) {
        const VersionTriple got = parse_version(c.text);
        EXPECT_EQ(got, c.want) << '"' << c.text << "\" gave " << got.major << '.' << got.minor << '.' << got.patch;
    }
}

TEST(Version, IsNewerTable) {
    struct Case {
        const char* remote;
        const char* current;
        bool newer;
    };
    const Case cases[] = {
        {"0.5.5", "0.5.5", false}, {"0.5.10", "0.5.9", true}, {"1.0", "0.9.9", true},  {"1.10", "1.9.9", true},
        {"v0.6.0", "0.5.5", true}, {"0.5.4", "0.5.5", false}, {"0.5.5.1", "0.5.5", false}, {"V9.0.0", "0.5.5", false},
        {"0.6", "0.5.99", true},   {"garbage", "0.0.0", false},
    };
    for (const auto& c : cases) EXPECT_EQ(is_newer(c.remote, c.current), c.newer) << c.remote << " vs " << c.current;
}

// build_index: arena layout, build order, dirs/by_ref, dropped records and the arena limit.
#include <gtest/gtest.h>

#include "index/build.h"
#include "support/index_fixtures.h"

namespace nimbalo {
namespace {

using namespace nimbalo::testing;

TEST(BuildIndex, ArenaLayoutAndFields) {
    // C:\Windows (dir) and C:\Windows\notepad.exe: the arena reads C:\ C:\Windows\ C:\Windows\notepad.exe
    Index ix = build_index({dir(5, 5, "."), dir(30, 5, "Windows"), file(40, 30, "notepad.exe", 1234, 99)}, 'c');
    EXPECT_EQ(ix.names, "C:\\C:\\Windows\\C:\\Windows\\notepad.exe");
    EXPECT_EQ(ix.letter, 'c');
    ASSERT_EQ(ix.entries.size(), 2u);
    EXPECT_EQ(ix.entries[0], (IndexEntry{3, 10, 7, true, 0, 0}));
    EXPECT_EQ(ix.entries[1], (IndexEntry{14, 22, 11, false, 1234, 99}));
    ASSERT_NE(ix.dirs.find(5), nullptr);
    EXPECT_EQ(*ix.dirs.find(5), (ArenaRange{0, 3}));
    EXPECT_EQ(*ix.dirs.find(30), (ArenaRange{3, 11}));
    EXPECT_EQ(ix.dirs.find(40), nullptr);
    EXPECT_EQ(ix.by_ref.list(40), (std::vector<uint32_t>{1}));
    EXPECT_TRUE(ix.by_ref.list(5).empty()) << "the root is no entry";
    expect_invariants(ix);
}

TEST(BuildIndex, WhatBecomesAnEntry) {
    struct Case {
        const char* what;
        std::vector<MftRecord> records;
        char letter;
        std::vector<std::string> paths;  // in build order
    };
    const Case cases[] = {
        {"empty volume: root path only", {}, 'C', {}},
        {"metadata files under the root, root itself skipped",
         {dir(5, 5, "."), file(0, 5, "$MFT"), file(2, 5, "$LogFile"), dir(11, 5, "$Extend")},
         'C',
         {"C:\\$MFT", "C:\\$LogFile", "C:\\$Extend"}},
        {"letter d gives D:\\", {file(20, 5, "x")}, 'd', {"D:\\x"}},
        {"dot names are skipped anywhere", {dir(20, 5, "a"), file(21, 20, ".."), file(22, 20, ".")}, 'C', {"C:\\a"}},
        {"orphan directory and everything below it are dropped",
         {dir(20, 5, "kept"), dir(21, 999, "orphan"), file(22, 21, "below"), file(23, 20, "f")},
         'C',
         {"C:\\kept", "C:\\kept\\f"}},
        {"children of a file are dropped", {file(20, 5, "f"), file(21, 20, "child")}, 'C', {"C:\\f"}},
        {"a directory cycle not reachable from the root is dropped",
         {dir(20, 21, "a"), dir(21, 20, "b"), file(22, 5, "top")},
         'C',
         {"C:\\top"}},
        {"a directory listed under its own child is expanded once",
         {dir(20, 5, "a"), dir(21, 20, "b"), dir(20, 21, "again")},
         'C',
         {"C:\\a", "C:\\a\\b", "C:\\a\\b\\again"}},
        {"build order: root children in input order, then last directory first",
         {dir(20, 5, "d1"), dir(21, 5, "d2"), file(22, 5, "f"), file(23, 20, "in1"), dir(24, 21, "sub"), file(25, 21, "in2"),
          file(26, 24, "deep")},
         'C',
         {"C:\\d1", "C:\\d2", "C:\\f", "C:\\d2\\sub", "C:\\d2\\in2", "C:\\d2\\sub\\deep", "C:\\d1\\in1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto records = c.records;
        Index ix = build_index(std::move(records), c.letter);
        EXPECT_EQ(paths_of(ix), c.paths);
        EXPECT_EQ(ix.letter, c.letter);
        EXPECT_EQ(ix.names.substr(0, 3), std::string(1, char(std::toupper(c.letter))) + ":\\");
        expect_invariants(ix);
    }
}

TEST(BuildIndex, HardLinksInTwoDirectories) {
    Index ix = build_index({dir(20, 5, "a"), dir(21, 5, "b"), file(30, 20, "x.txt"), file(30, 21, "y.txt")}, 'C');
    EXPECT_EQ(paths_of(ix), (std::vector<std::string>{"C:\\a", "C:\\b", "C:\\b\\y.txt", "C:\\a\\x.txt"}));
    EXPECT_EQ(ix.by_ref.list(30), (std::vector<uint32_t>{2, 3}));
    expect_invariants(ix);
}

TEST(BuildIndex, NameOrderFoldsOnlyAscii) {
    Index ix = build_index({file(20, 5, "Zeta"), file(21, 5, "alpha"), file(22, 5, "abcd"), file(23, 5, "abc"),
                            file(24, 5, "README.txt"), file(25, 5, "readme.TXT"), file(26, 5, "\xC3\x89t\xC3\xA9"),
                            file(27, 5, "Ecole")},
                           'C');
    std::vector<std::string> names;
    for (uint32_t i : ix.sorted) names.emplace_back(ix.name_of(ix.entries[i]));
    // É (C3 89) sorts by its bytes, after every ASCII letter.
    ASSERT_EQ(names.size(), 8u);
    EXPECT_EQ((std::vector<std::string>(names.begin(), names.begin() + 4)),
              (std::vector<std::string>{"abc", "abcd", "alpha", "Ecole"}));
    EXPECT_EQ(fold_ascii(names[4]), "readme.txt");
    EXPECT_EQ(fold_ascii(names[5]), "readme.txt");
    EXPECT_EQ(names[6], "Zeta");
    EXPECT_EQ(names[7], "\xC3\x89t\xC3\xA9");
}

TEST(BuildIndex, RandomVolumesAgainstReferencePaths) {
    const uint64_t seed = 20261209;
    std::printf("seed %llu\n", (unsigned long long)seed);
    std::mt19937_64 rng(seed);
    const std::vector<std::string> words{"a", "B", "report", "Readme", "x", "\xC3\xA9t\xC3\xA9", "long_name_here"};
    for (int round = 0; round < 20; ++round) {
        auto recs = random_records(rng, 50 + rng() % 400, words);
        // Reference: the path of every reachable name by walking parents up to the root.
        std::map<uint64_t, std::vector<const MftRecord*>> by_record;
        for (const auto& r : recs) by_record[r.record].push_back(&r);
        std::multiset<std::string> expected;
        for (const auto& r : recs) {
            if (r.name == "." || r.name == "..") continue;
            std::string path = r.name;
            uint64_t p = r.parent;
            bool reached = false;
            for (int depth = 0; depth < 1000; ++depth) {
                if (p == 5) {
                    reached = true;
                    break;
                }
                auto it = by_record.find(p);
                if (it == by_record.end() || !it->second[0]->is_dir) break;
                path = it->second[0]->name + "\\" + path;
                p = it->second[0]->parent;
            }
            if (reached) expected.insert("C:\\" + path);
        }
        Index ix = build_index(std::move(recs), 'C');
        const auto got = paths_of(ix);
        EXPECT_EQ(std::multiset<std::string>(got.begin(), got.end()), expected) << "round " << round;
        expect_invariants(ix);
    }
}

// The arena holds u32 offsets: an entry that would push it past the limit is dropped like an
// orphan (with everything below it), never wrapped.
TEST(BuildIndex, Issue4_ArenaLimitDropsInsteadOfWrapping) {
    auto records = [] {
        return std::vector<MftRecord>{dir(20, 5, "aaaa"), file(21, 5, "b"), file(22, 20, "cccccccc"), dir(23, 20, "dd"),
                                      file(24, 23, "e")};
    };
    const Index full = build_index(records(), 'C');
    // Arena: "C:\" (3) "C:\aaaa\" (8) "C:\b" (4) "C:\aaaa\cccccccc" (16) "C:\aaaa\dd\" (11) "C:\aaaa\dd\e" (12)
    EXPECT_EQ(full.names.size(), 54u);
    EXPECT_EQ(paths_of(full), (std::vector<std::string>{"C:\\aaaa", "C:\\b", "C:\\aaaa\\cccccccc", "C:\\aaaa\\dd", "C:\\aaaa\\dd\\e"}));
    struct Case {
        uint64_t limit;
        std::vector<std::string> paths;
    };
    const Case cases[] = {
        {54, paths_of(full)},
        {53, {"C:\\aaaa", "C:\\b", "C:\\aaaa\\cccccccc", "C:\\aaaa\\dd"}},
        {25, {"C:\\aaaa", "C:\\b"}},
        {14, {"C:\\aaaa"}},
        {10, {"C:\\b"}},
        {3, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.limit);
        Index ix = build_index_with_arena_limit_for_tests(records(), 'C', c.limit);
        EXPECT_EQ(paths_of(ix), c.paths);
        EXPECT_LE(ix.names.size(), c.limit);
        expect_invariants(ix);
    }
}

}  // namespace
}  // namespace nimbalo

// Containment, scans, prefix search, exact path lookup and the rebuild of the name order.
#include <gtest/gtest.h>

#include <cstring>

#include "common/unicode.h"
#include "index/contains.h"
#include "index/lookups.h"
#include "index/scan.h"
#include "support/index_fixtures.h"

namespace nimbalo {
namespace {

using namespace nimbalo::testing;

// Slow reference of the containment rule, written from its definition.
bool reference_contains(std::string_view h, std::string_view n) {
    if (n.empty()) return true;
    if (n.size() > h.size()) return false;
    auto ascii = [](std::string_view s) {
        for (unsigned char c : s)
            if (c >= 0x80) return false;
        return true;
    };
    if (ascii(h) || ascii(n)) {
        for (size_t i = 0; i + n.size() <= h.size(); ++i)
            if (fold_ascii(h.substr(i, n.size())) == fold_ascii(n)) return true;
        return false;
    }
    return to_lower_full(h).find(to_lower_full(n)) != std::string::npos;
}

TEST(ContainsCi, Table) {
    struct Case {
        const char* haystack;
        const char* needle;
        bool expected;
    };
    const Case cases[] = {
        {"anything", "", true},
        {"", "", true},
        {"", "a", false},
        {"ab", "abc", false},
        {"Report.TXT", "report", true},
        {"Report.TXT", "T.t", true},
        {"Report.TXT", "txt ", false},
        {"R\xC3\x89SUM\xC3\x89.doc", "r\xC3\xA9sum\xC3\xA9", true},   // RÉSUMÉ.doc contains résumé
        {"R\xC3\x89SUM\xC3\x89.doc", "resume", false},                // ASCII needle: bytes only
        {"R\xC3\x89SUM\xC3\x89.doc", "sum\xC3\x89.D", true},          // both non-ASCII: full lower-casing
        {"caf\xC3\xA9", "CAF", true},                                  // ASCII needle inside a non-ASCII name
        {"cafe", "caf\xC3\xA9", false},                                // non-ASCII needle, ASCII name
        {"\xC3\x84rger", "\xC3\xA4RGER", true},                        // Ärger / äRGER: full lower-casing
        {"STRA\xE1\xBA\x9E" "E", "stra\xC3\x9F", true},                // ẞ lower-cases to ß
        {"x@[`{y", "@[`{", true},                                      // bytes next to A-Z are not folded
        {"x@[`{y", "`{", true},
        {"ABC", "abc", true},
        {"abc", "ABC", true},
        {"a\x80z", "Z", true},                                         // invalid byte: not ASCII, still folded
    };
    for (const Case& c : cases) {
        EXPECT_EQ(contains_ci(c.haystack, c.needle), c.expected) << c.haystack << " / " << c.needle;
        EXPECT_EQ(CiNeedle(c.needle).contained_in(c.haystack), c.expected) << c.haystack << " / " << c.needle;
        EXPECT_EQ(reference_contains(c.haystack, c.needle), c.expected) << "reference disagrees: " << c.haystack;
    }
}

TEST(ContainsCi, RandomAgainstReference) {
    const uint64_t seed = 1234567;
    std::printf("seed %llu\n", (unsigned long long)seed);
    std::mt19937_64 rng(seed);
    const std::vector<std::string> atoms{"a", "A", "b", "B", "z", ".", "\xC3\xA9", "\xC3\x89", "\xE2\x84\xAA", "k", "K", "@", "[",
                                         "\xC4\xB0", "i"};
    auto gen = [&](size_t max_atoms) {
        std::string s;
        for (size_t n = rng() % (max_atoms + 1); n > 0; --n) s += atoms[rng() % atoms.size()];
        return s;
    };
    for (int i = 0; i < 40000; ++i) {
        // Long haystacks reach the 16-byte block search; short needles hit often.
        const std::string h = gen(i % 2 ? 40 : 8);
        const std::string n = gen(3);
        const bool want = reference_contains(h, n);
        ASSERT_EQ(contains_ci(h, n), want) << "'" << h << "' / '" << n << "'";
        ASSERT_EQ(CiNeedle(n).contained_in(h), want) << "'" << h << "' / '" << n << "'";
    }
}

TEST(ContainsCi, NeverReadsPastTheHaystack) {
    // A haystack that ends exactly at the end of an allocation of every length around the
    // 16-byte block size; ASan reports any read beyond it.
    for (size_t len = 1; len < 70; ++len) {
        std::unique_ptr<char[]> buf(new char[len]);
        std::memset(buf.get(), 'x', len);
        buf[len - 1] = 'Q';
        const std::string_view h(buf.get(), len);
        EXPECT_TRUE(contains_ci(h, "q"));
        EXPECT_EQ(find_ascii_folded(h, "q"), len - 1);
        EXPECT_EQ(find_ascii_folded(h, "xq"), len >= 2 ? len - 2 : std::string_view::npos);
        EXPECT_FALSE(contains_ci(h, "qx"));
    }
}

TEST(IsAscii, Table) {
    EXPECT_TRUE(is_ascii(""));
    EXPECT_TRUE(is_ascii("plain text 0123456789 ~"));
    EXPECT_FALSE(is_ascii("caf\xC3\xA9"));
    EXPECT_FALSE(is_ascii("0123456789abcde\x80"));  // top bit in the tail after the 8-byte words
    EXPECT_FALSE(is_ascii("\xFF" "1234567"));
}

// An index of n files under the root named "f", except the ones given.
Index flat_index(size_t n, const std::map<size_t, std::string>& special) {
    std::vector<MftRecord> recs;
    recs.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        auto it = special.find(i);
        recs.push_back(file(100 + i, 5, it == special.end() ? "f" : it->second));
    }
    return build_index(std::move(recs), 'C');
}

TEST(Scan, LimitsAcrossChunksKeepIndexOrder) {
    const Index ix = flat_index(600000, {{5, "match"}, {300000, "Match"}, {599999, "xMATCHx"}});
    EXPECT_EQ(scan_names(ix, "match", 10), (std::vector<uint32_t>{5, 300000, 599999}));
    EXPECT_EQ(scan_names(ix, "match", 2), (std::vector<uint32_t>{5, 300000}));
    EXPECT_EQ(scan_names(ix, "match", 1), (std::vector<uint32_t>{5}));
    EXPECT_EQ(scan_names(ix, "match", 0), (std::vector<uint32_t>{}));
    EXPECT_EQ(scan_names(ix, "", 5), (std::vector<uint32_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(scan_paths(ix, "c:\\xmatch", 10), (std::vector<uint32_t>{599999}));
    EXPECT_EQ(scan_names(ix, "nothing", 100), (std::vector<uint32_t>{}));
}

TEST(Scan, RandomPredicatesAgainstSingleThreadedPass) {
    const uint64_t seed = 99;
    std::printf("seed %llu\n", (unsigned long long)seed);
    std::mt19937_64 rng(seed);
    for (int round = 0; round < 30; ++round) {
        const uint32_t n = uint32_t(rng() % (3 * kScanChunk));
        const uint64_t density = 1 + rng() % 200000;
        const uint64_t salt = rng();
        auto accept = [&](uint32_t i) { return ((i * 0x9E3779B97F4A7C15ull) ^ salt) % density == 0; };
        const uint64_t limit = (round % 3 == 0) ? rng() % 5 : rng() % 3000;
        std::vector<uint32_t> want;
        for (uint32_t i = 0; i < n && want.size() < limit; ++i)
            if (accept(i)) want.push_back(i);
        ASSERT_EQ(scan_entries(n, limit, accept), want) << "round " << round << " n " << n << " limit " << limit;
    }
}

// The arena search behind ASCII needles must equal testing each entry's own name or path:
// occurrences in a parent's part of the path, across two entries or over a directory's
// trailing backslash do not count.
TEST(Scan, ArenaSearchEqualsPerEntryTest) {
    const uint64_t seed = 5150;
    std::printf("seed %llu\n", (unsigned long long)seed);
    std::mt19937_64 rng(seed);
    const std::vector<std::string> words{"ab", "Ba", "a", "b", "abab", "\xC3\xA9", "x"};
    const std::vector<std::string> needles{"a", "ab", "BA", "bab", "abab", "b\\a", "\\", "a\\ab", "x.txt", "t\\x", "c:\\x",
                                           "ab.log", "\xC3\xA9", "ba\xC3\xA9"};
    for (size_t size : {size_t(3000), size_t(kScanChunk + 5000)}) {
        const Index ix = build_index(random_records(rng, size, words), 'C');
        for (const std::string& needle : needles) {
            for (uint64_t limit : {uint64_t(1), uint64_t(7), uint64_t(1000000)}) {
                std::vector<uint32_t> want_names, want_paths;
                for (uint32_t i = 0; i < ix.entries.size(); ++i) {
                    if (want_names.size() < limit && reference_contains(ix.name_of(ix.entries[i]), needle)) want_names.push_back(i);
                    if (want_paths.size() < limit && reference_contains(ix.path_of(ix.entries[i]), needle)) want_paths.push_back(i);
                }
                ASSERT_EQ(scan_names(ix, needle, limit), want_names) << needle << " limit " << limit;
                ASSERT_EQ(scan_paths(ix, needle, limit), want_paths) << needle << " limit " << limit;
            }
        }
    }
}

TEST(PrefixSearch, Cases) {
    const Index ix = build_index({file(20, 5, "Alpha"), file(21, 5, "alpha.txt"), file(22, 5, "ALPHABET"), file(23, 5, "alp"),
                                  file(24, 5, "beta"), file(25, 5, "\xC3\xA9t\xC3\xA9"), file(26, 5, "\xC3\x89T\xC3\x89")},
                                 'C');
    auto names = [&](std::string_view prefix) {
        std::multiset<std::string> out;
        for (const SearchHit& h : prefix_search(ix, prefix)) out.emplace(h.name);
        return out;
    };
    using S = std::multiset<std::string>;
    EXPECT_EQ(names("ALPHA"), (S{"Alpha", "alpha.txt", "ALPHABET"}));
    EXPECT_EQ(names("alp"), (S{"alp", "Alpha", "alpha.txt", "ALPHABET"}));
    EXPECT_EQ(names("alphabets"), S{});
    EXPECT_EQ(names("gamma"), S{});
    EXPECT_EQ(names("\xC3\xA9t"), (S{"\xC3\xA9t\xC3\xA9"}));
    // ÉT lower-cases to ét, but the name ÉTÉ sorts by its raw bytes elsewhere: not found.
    EXPECT_EQ(names("\xC3\x89T"), (S{"\xC3\xA9t\xC3\xA9"}));
    EXPECT_EQ(prefix_search(ix, "").size(), ix.entries.size());
}

TEST(PrefixSearch, EmptyPrefixGivesFirstHundredInNameOrder) {
    std::vector<MftRecord> recs;
    for (int i = 0; i < 250; ++i) recs.push_back(file(100 + i, 5, "n" + std::to_string(1000 + (i * 7919) % 250)));
    const Index ix = build_index(std::move(recs), 'C');
    const auto hits = prefix_search(ix, "");
    ASSERT_EQ(hits.size(), 100u);
    for (size_t k = 0; k < 100; ++k) EXPECT_EQ(hits[k].name, "n" + std::to_string(1000 + k));
}

TEST(FindPath, Cases) {
    const Index ix = build_index({dir(30, 5, "Windows"), file(40, 30, "notepad.exe", 7), file(41, 30, "R\xC3\x89SUM\xC3\x89")}, 'C');
    auto found = find_path(ix, "c:\\WINDOWS\\notepad.exe");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->path, "C:\\Windows\\notepad.exe");
    EXPECT_EQ(found->name, "notepad.exe");
    EXPECT_EQ(found->size, 7u);
    EXPECT_FALSE(find_path(ix, "C:\\Windows\\notepad.exe\\").has_value());
    EXPECT_FALSE(find_path(ix, "C:\\").has_value());
    EXPECT_TRUE(find_path(ix, "C:\\windows").has_value());
    EXPECT_TRUE(find_path(ix, "c:\\windows\\r\xC3\xA9sum\xC3\xA9").has_value());
}

TEST(RebuildSorted, FollowsChangedEntries) {
    Index ix = build_index({file(20, 5, "b"), file(21, 5, "a")}, 'C');
    ix.names += "C:\\0";
    ix.entries.push_back({uint32_t(ix.names.size() - 4), 4, 1, false, 0, 0});
    rebuild_sorted(ix);
    ASSERT_EQ(ix.sorted.size(), 3u);
    EXPECT_EQ(ix.name_of(ix.entries[ix.sorted[0]]), "0");
    EXPECT_EQ(ix.name_of(ix.entries[ix.sorted[1]]), "a");
    EXPECT_EQ(ix.name_of(ix.entries[ix.sorted[2]]), "b");
}

TEST(RebuildSorted, LargeRandomIndexIsInNameOrder) {
    const uint64_t seed = 31337;
    std::printf("seed %llu\n", (unsigned long long)seed);
    std::mt19937_64 rng(seed);
    const std::vector<std::string> words{"lib", "Lib", "libx", "a", "__init__.py", "README", "readme", "\xC3\xA9",
                                         "abcdefgh", "abcdefghi", "ABCDEFGH"};
    Index ix = build_index(random_records(rng, 100000, words), 'C');
    expect_invariants(ix);
}

}  // namespace
}  // namespace nimbalo

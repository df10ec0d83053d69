// Test-only helpers for building small indexes from hand-made MFT records and checking the
// index invariants against slow, obviously correct references. Linked into tests only.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "index/build.h"
#include "index/index.h"
#include "mft/records.h"

namespace nimbalo::testing {

inline MftRecord file(uint64_t record, uint64_t parent, std::string name, uint64_t size = 0, uint64_t modified = 0) {
    return MftRecord{std::move(name), parent, record, size, modified, false};
}
inline MftRecord dir(uint64_t record, uint64_t parent, std::string name) {
    return MftRecord{std::move(name), parent, record, 0, 0, true};
}

inline std::vector<std::string> paths_of(const Index& ix) {
    std::vector<std::string> out;
    for (const auto& e : ix.entries) out.emplace_back(ix.path_of(e));
    return out;
}

inline std::string fold_ascii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return out;
}

// Every invariant the rest of the program relies on, checked the slow way.
inline void expect_invariants(const Index& ix) {
    const auto n = ix.entries.size();
    for (size_t i = 0; i < n; ++i) {
        const IndexEntry& e = ix.entries[i];
        ASSERT_LE(uint64_t(e.path_start) + e.path_len, ix.names.size()) << "entry " << i;
        ASSERT_LE(e.name_len, e.path_len);
        ASSERT_GT(e.path_len, e.name_len) << "a path always has a parent part";
        EXPECT_EQ(ix.names[e.path_start + e.path_len - e.name_len - 1], '\\') << "entry " << i;
        EXPECT_EQ(ix.name_of(e).find('\\'), std::string_view::npos);
    }
    EXPECT_TRUE(entries_in_arena_order(ix));
    // sorted: a permutation, in name order (reference: folded std::string comparison).
    ASSERT_EQ(ix.sorted.size(), n);
    std::vector<bool> seen(n, false);
    for (uint32_t i : ix.sorted) {
        ASSERT_LT(i, n);
        ASSERT_FALSE(seen[i]);
        seen[i] = true;
    }
    for (size_t k = 1; k < n; ++k) {
        const auto a = fold_ascii(ix.name_of(ix.entries[ix.sorted[k - 1]]));
        const auto b = fold_ascii(ix.name_of(ix.entries[ix.sorted[k]]));
        ASSERT_LE(std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(),
                                               [](char x, char y) { return (unsigned char)x < (unsigned char)y; }),
                  false)
            << "sorted out of order at " << k << ": " << a << " / " << b;
    }
    // by_ref: every entry exactly once, lists ascending.
    std::vector<int> listed(n, 0);
    std::map<uint64_t, std::vector<uint32_t>> lists;
    ix.by_ref.for_each([&](uint64_t r, uint32_t e) {
        ASSERT_LT(e, n);
        ++listed[e];
        lists[r].push_back(e);
    });
    for (auto& [r, l] : lists) EXPECT_TRUE(std::is_sorted(l.begin(), l.end())) << "record " << r;
    for (size_t i = 0; i < n; ++i) EXPECT_EQ(listed[i], 1) << "entry " << i;
    // dirs: ranges inside the arena, ending with a backslash.
    ix.dirs.for_each([&](uint64_t r, const ArenaRange& d) {
        ASSERT_LE(uint64_t(d.start) + d.len, ix.names.size()) << "dir " << r;
        ASSERT_GT(d.len, 0u);
        EXPECT_EQ(ix.names[d.start + d.len - 1], '\\') << "dir " << r;
    });
}

// A random volume: directories and files under the root, some orphans, some hard links.
inline std::vector<MftRecord> random_records(std::mt19937_64& rng, size_t count, const std::vector<std::string>& words) {
    std::vector<MftRecord> recs;
    std::vector<uint64_t> dirs{5};
    recs.push_back(dir(5, 5, "."));
    for (uint64_t r = 16; recs.size() < count; ++r) {
        const bool is_dir = rng() % 4 == 0;
        uint64_t parent = dirs[rng() % dirs.size()];
        if (rng() % 50 == 0) parent = 1'000'000 + rng() % 100;  // orphan
        std::string name = words[rng() % words.size()];
        if (rng() % 3 == 0) name += words[rng() % words.size()];
        if (rng() % 2 == 0) name += "." + std::string(rng() % 2 ? "txt" : "LOG");
        recs.push_back(MftRecord{name, parent, r, rng() % 5000, rng(), is_dir});
        if (is_dir) dirs.push_back(r);
        if (!is_dir && rng() % 40 == 0) recs.push_back(MftRecord{name + "2", dirs[rng() % dirs.size()], r, 1, 2, false});
    }
    std::stable_sort(recs.begin(), recs.end(), [](const MftRecord& a, const MftRecord& b) { return a.record < b.record; });
    return recs;
}

}  // namespace nimbalo::testing

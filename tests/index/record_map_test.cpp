// The flat record tables against std containers, over long random operation sequences.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <unordered_map>

#include "index/record_map.h"
#include "index/ref_map.h"

namespace nimbalo {
namespace {

TEST(RecordMap, RandomOperationsMatchUnorderedMap) {
    const uint64_t seed = 77;
    std::printf("seed %llu\n", (unsigned long long)seed);
    std::mt19937_64 rng(seed);
    for (uint64_t key_space : {uint64_t(8), uint64_t(300), uint64_t(100000), kRecordMask}) {
        RecordMap<uint32_t> m;
        std::unordered_map<uint64_t, uint32_t> ref;
        for (int op = 0; op < 60000; ++op) {
            // Clustered keys exercise long probe runs and the wrap-around at the table's end.
            const uint64_t key = (rng() % 3 == 0) ? rng() % 64 : rng() % key_space;
            switch (rng() % 4) {
                case 0:
                case 1: {
                    const uint32_t v = uint32_t(rng());
                    m.set(key, v);
                    ref[key] = v;
                    break;
                }
                case 2: EXPECT_EQ(m.erase(key), ref.erase(key) == 1); break;
                default: {
                    const uint32_t* got = m.find(key);
                    auto it = ref.find(key);
                    ASSERT_EQ(got != nullptr, it != ref.end()) << "key " << key;
                    if (got) {
                        EXPECT_EQ(*got, it->second);
                    }
                }
            }
            ASSERT_EQ(m.size(), ref.size());
        }
        size_t visited = 0;
        m.for_each([&](uint64_t k, uint32_t v) {
            ++visited;
            EXPECT_EQ(ref.at(k), v);
        });
        EXPECT_EQ(visited, ref.size());
    }
}

TEST(RecordMap, KeepsOnly48BitKeys) {
    RecordMap<uint32_t> m;
    m.set(0xABCD'0000'0000'0007ull, 1);
    ASSERT_NE(m.find(7), nullptr);
    EXPECT_EQ(*m.find(7), 1u);
    EXPECT_NE(m.find(kRecordMask), m.find(7));
}

TEST(RefMap, RandomOperationsMatchReference) {
    const uint64_t seed = 4242;
    std::printf("seed %llu\n", (unsigned long long)seed);
    std::mt19937_64 rng(seed);
    RefMap m;
    std::map<uint64_t, std::vector<uint32_t>> ref;
    uint32_t next_entry = 0;
    for (int op = 0; op < 20000; ++op) {
        const uint64_t record = rng() % 500;
        const int kind = int(rng() % 10);
        if (kind < 6) {
            m.append(record, next_entry);
            ref[record].push_back(next_entry);
            ++next_entry;
        } else if (kind < 9) {
            auto got = m.take(record);
            auto it = ref.find(record);
            EXPECT_EQ(got, it == ref.end() ? std::vector<uint32_t>{} : it->second);
            if (it != ref.end()) ref.erase(it);
        } else {
            // Drop a random third of all entries and renumber the rest densely.
            std::vector<uint32_t> map(next_entry, RefMap::kGone);
            uint32_t kept = 0;
            for (uint32_t e = 0; e < next_entry; ++e)
                if (rng() % 3) map[e] = kept++;
            m.renumber(map);
            for (auto it = ref.begin(); it != ref.end();) {
                std::vector<uint32_t> now;
                for (uint32_t e : it->second)
                    if (map[e] != RefMap::kGone) now.push_back(map[e]);
                if (now.empty()) it = ref.erase(it);
                else (it++)->second = now;
            }
            next_entry = kept;
        }
        ASSERT_EQ(m.size(), ref.size()) << "op " << op;
    }
    for (const auto& [r, l] : ref) EXPECT_EQ(m.list(r), l) << "record " << r;
}

}  // namespace
}  // namespace nimbalo

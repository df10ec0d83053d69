#include "index/name_order.h"

#include <omp.h>

#include <algorithm>
#include <cstring>
// Parallel mode is used explicitly here and only here: defining _GLIBCXX_PARALLEL globally
// would change every std algorithm in the program (and its ABI).
#include <parallel/algorithm>

#include "platform/large_buffer.h"

namespace nimbalo {

namespace {

inline unsigned char fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

constexpr size_t kParallelSortMin = 65536;

// Sorting works on cached keys, 8 name bytes at a time (a most-significant-digit string sort):
// `chunk` holds the folded bytes [8*level, 8*level + 8) of the name, big-endian and zero-padded,
// and `rest` the bytes left from 8*level on, clipped to 9. Ordering by (chunk, rest) is the
// name order for every pair that differs within those 8 bytes or ends within them (a name
// that ends inside the chunk is a prefix of any longer name with the same padded chunk).
// Only groups that agree on the chunk and all go on (rest == 9) need the next 8 bytes, so
// each name is read once per level instead of once per comparison, and the comparisons
// themselves touch only the keys.
struct NameKey {
    uint64_t chunk;
    uint32_t entry;
    uint32_t rest;
};

inline bool key_less(const NameKey& a, const NameKey& b) {
    return a.chunk != b.chunk ? a.chunk < b.chunk : a.rest < b.rest;
}
inline bool key_same(const NameKey& a, const NameKey& b) { return a.chunk == b.chunk && a.rest == b.rest; }

struct NameSource {
    std::string_view names;
    const IndexEntry* entries;

    NameKey key(uint32_t entry, size_t level) const {
        const IndexEntry& e = entries[entry];
        const size_t from = size_t(level) * 8;
        const size_t len = e.name_len > from ? e.name_len - from : 0;
        const char* p = names.data() + (e.path_start + e.path_len - e.name_len) + from;
        const size_t n = len < 8 ? len : 8;
        uint64_t k = 0;
        for (size_t i = 0; i < n; ++i) k |= uint64_t(fold(static_cast<unsigned char>(p[i]))) << (56 - 8 * i);
        return {k, entry, uint32_t(len < 9 ? len : 9)};
    }
};

// Sorts keys[b, e), which agree on every level below `level` and all continue past it.
void refine(std::vector<NameKey>& keys, size_t b, size_t e, size_t level, const NameSource& src) {
    for (size_t i = b; i < e; ++i) keys[i] = src.key(keys[i].entry, level);
    std::sort(keys.begin() + b, keys.begin() + e, key_less);
    for (size_t i = b; i < e;) {
        size_t j = i + 1;
        while (j < e && key_same(keys[i], keys[j])) ++j;
        if (j - i > 1 && keys[i].rest == 9) refine(keys, i, j, level + 1, src);
        i = j;
    }
}

}  // namespace

int compare_name_order(std::string_view a, std::string_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = fold(static_cast<unsigned char>(a[i]));
        const unsigned char y = fold(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

std::vector<uint32_t> sort_by_name(const Index& index) {
    const size_t n = index.entries.size();
    const NameSource src{index.names, index.entries.data()};
    std::vector<NameKey> keys;
    platform::reserve_huge(keys, n);
    keys.resize(n);
    // Small indexes sort on the caller alone: waking the pool costs more than it saves.
    const bool parallel = n >= kParallelSortMin;
#pragma omp parallel for schedule(static) if (parallel)
    for (int64_t i = 0; i < int64_t(n); ++i) keys[size_t(i)] = src.key(uint32_t(i), 0);
    if (parallel)
        __gnu_parallel::sort(keys.begin(), keys.end(), key_less, __gnu_parallel::multiway_mergesort_tag(omp_get_max_threads()));
    else
        std::sort(keys.begin(), keys.end(), key_less);

    // Groups equal on the first 8 bytes that go on are refined independently, in parallel.
    std::vector<std::pair<size_t, size_t>> groups;
    for (size_t i = 0; i < n;) {
        size_t j = i + 1;
        while (j < n && key_same(keys[i], keys[j])) ++j;
        if (j - i > 1 && keys[i].rest == 9) groups.emplace_back(i, j);
        i = j;
    }
#pragma omp parallel for schedule(dynamic, 64) if (parallel)
    for (int64_t g = 0; g < int64_t(groups.size()); ++g) refine(keys, groups[size_t(g)].first, groups[size_t(g)].second, 1, src);

    std::vector<uint32_t> out;
    platform::reserve_huge(out, n);
    out.resize(n);
#pragma omp parallel for schedule(static) if (parallel)
    for (int64_t i = 0; i < int64_t(n); ++i) out[size_t(i)] = keys[size_t(i)].entry;
    return out;
}

}  // namespace nimbalo

#include "index/name_order.h"

#include <omp.h>

#include <cstring>
// Parallel mode is used explicitly here and only here: defining _GLIBCXX_PARALLEL globally
// would change every std algorithm in the program (and its ABI).
#include <parallel/algorithm>

namespace nimbalo {

namespace {

inline unsigned char fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

// Big-endian packing of the first 8 folded bytes, zero-padded: comparing two keys as integers
// orders the names by their first 8 bytes; equal keys need the full comparison.
inline uint64_t prefix_key(std::string_view s) {
    uint64_t k = 0;
    const size_t n = s.size() < 8 ? s.size() : 8;
    for (size_t i = 0; i < n; ++i) k |= uint64_t(fold(static_cast<unsigned char>(s[i]))) << (56 - 8 * i);
    return k;
}

constexpr size_t kParallelSortMin = 65536;

struct NameKey {
    uint64_t prefix;
    uint32_t entry;
};

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
    std::vector<NameKey> keys(n);
    const std::string_view names = index.names;
    const IndexEntry* entries = index.entries.data();
    // Small indexes sort on the caller alone: waking the pool costs more than it saves.
    const bool parallel = n >= kParallelSortMin;
#pragma omp parallel for schedule(static) if (parallel)
    for (int64_t i = 0; i < int64_t(n); ++i) {
        const IndexEntry& e = entries[i];
        keys[i] = {prefix_key(names.substr(e.path_start + e.path_len - e.name_len, e.name_len)), uint32_t(i)};
    }
    auto less = [&](const NameKey& a, const NameKey& b) {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        const IndexEntry& ea = entries[a.entry];
        const IndexEntry& eb = entries[b.entry];
        // The first 8 bytes are equal (or both names are shorter); compare the rest.
        if (ea.name_len <= 8 && eb.name_len <= 8) return ea.name_len < eb.name_len;
        const std::string_view na = names.substr(ea.path_start + ea.path_len - ea.name_len, ea.name_len);
        const std::string_view nb = names.substr(eb.path_start + eb.path_len - eb.name_len, eb.name_len);
        return compare_name_order(na, nb) < 0;
    };
    if (parallel)
        __gnu_parallel::sort(keys.begin(), keys.end(), less, __gnu_parallel::multiway_mergesort_tag(omp_get_max_threads()));
    else
        std::sort(keys.begin(), keys.end(), less);
    std::vector<uint32_t> out(n);
#pragma omp parallel for schedule(static) if (parallel)
    for (int64_t i = 0; i < int64_t(n); ++i) out[i] = keys[i].entry;
    return out;
}

}  // namespace nimbalo

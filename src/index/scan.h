// The chunked parallel scan every search rests on. Entries are cut into chunks of 262,144;
// chunks run on the OpenMP pool in any order, each examining its entries in ascending order and
// stopping once it holds `limit` accepted indices. The chunk lists are joined in chunk order
// and cut at `limit`, so the result is exactly the first `limit` accepted entries in index
// order, as a single-threaded pass would find them. Once the chunks before chunk c are all
// finished and already hold `limit` hits, chunk c is skipped (it could not contribute).
// `accept(i)` is called concurrently from worker threads and must be safe to call so.
// Blocks the caller until done. Cost: O(entries examined); memory O(hits).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

#include "index/index.h"

namespace nimbalo {

inline constexpr uint32_t kScanChunk = 262'144;

template <class Accept>
std::vector<uint32_t> scan_entries(uint32_t count, uint64_t limit, const Accept& accept) {
    if (count == 0 || limit == 0) return {};
    const int64_t chunks = (int64_t(count) + kScanChunk - 1) / kScanChunk;
    std::vector<std::vector<uint32_t>> parts(static_cast<size_t>(chunks));
    // Chunks from `skip_from` on cannot contribute: the finished prefix already holds `limit`.
    std::atomic<int64_t> skip_from{chunks};
    std::mutex frontier_mutex;
    std::vector<bool> finished(static_cast<size_t>(chunks), false);
    int64_t frontier = 0;
    uint64_t frontier_hits = 0;

    // One chunk runs on the caller alone: waking the pool costs more than it saves.
#pragma omp parallel for schedule(dynamic, 1) if (chunks > 1)
    for (int64_t c = 0; c < chunks; ++c) {
        if (c >= skip_from.load(std::memory_order_relaxed)) continue;
        std::vector<uint32_t>& out = parts[size_t(c)];
        const uint32_t first = uint32_t(c) * kScanChunk;
        const uint32_t last = (uint64_t(first) + kScanChunk < count) ? first + kScanChunk : count;
        for (uint32_t i = first; i < last; ++i) {
            if (accept(i)) {
                out.push_back(i);
                if (out.size() >= limit) break;
            }
        }
        std::lock_guard lock(frontier_mutex);
        finished[size_t(c)] = true;
        while (frontier < chunks && finished[size_t(frontier)]) {
            frontier_hits += parts[size_t(frontier)].size();
            ++frontier;
        }
        if (frontier_hits >= limit && frontier < skip_from.load(std::memory_order_relaxed))
            skip_from.store(frontier, std::memory_order_relaxed);
    }

    std::vector<uint32_t> result;
    for (const auto& part : parts) {
        for (uint32_t i : part) {
            if (result.size() >= limit) return result;
            result.push_back(i);
        }
    }
    return result;
}

template <class Accept>
std::vector<uint32_t> scan(const Index& index, uint64_t limit, const Accept& accept) {
    return scan_entries(uint32_t(index.entries.size()), limit, accept);
}

// Entries whose name (resp. full path) contains needle, ignoring case; needle is expected
// lower-cased already (the result is the same either way).
std::vector<uint32_t> scan_names(const Index& index, std::string_view needle, uint64_t limit);
std::vector<uint32_t> scan_paths(const Index& index, std::string_view needle, uint64_t limit);

}  // namespace nimbalo

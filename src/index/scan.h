// The chunked parallel scan every search rests on. Entries are cut into chunks of 262,144;
// chunks run on the process's task pool (the caller taking part) in any order, each examining its entries in ascending order and
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

#include "common/task_pool.h"
#include "index/contains.h"
#include "index/index.h"

namespace nimbalo {

inline constexpr uint32_t kScanChunk = 262'144;

// The chunk machinery: fn(first, last, out, limit) appends the accepted indices of
// [first, last) to out in ascending order, stopping once out holds limit.
template <class ChunkFn>
std::vector<uint32_t> scan_chunks(uint32_t count, uint64_t limit, const ChunkFn& fn) {
    if (count == 0 || limit == 0) return {};
    const int64_t chunks = (int64_t(count) + kScanChunk - 1) / kScanChunk;

    // The first chunk runs on the caller alone: a common word fills the limit there, and waking
    // the pool would cost more than the whole search.
    std::vector<uint32_t> first_part;
    fn(0, count < kScanChunk ? count : kScanChunk, first_part, limit);
    if (chunks == 1 || first_part.size() >= limit) return first_part;

    std::vector<std::vector<uint32_t>> parts(static_cast<size_t>(chunks));
    parts[0] = std::move(first_part);
    // Chunks from `skip_from` on cannot contribute: the finished prefix already holds `limit`.
    std::atomic<int64_t> skip_from{chunks};
    std::mutex frontier_mutex;
    std::vector<bool> finished(static_cast<size_t>(chunks), false);
    finished[0] = true;
    int64_t frontier = 1;
    uint64_t frontier_hits = parts[0].size();

    TaskPool::shared().parallel_for(chunks - 1, [&](int64_t item) {
        const int64_t c = item + 1;
        if (c >= skip_from.load(std::memory_order_relaxed)) return;
        const uint32_t first = uint32_t(c) * kScanChunk;
        const uint32_t last = (uint64_t(first) + kScanChunk < count) ? first + kScanChunk : count;
        fn(first, last, parts[size_t(c)], limit);
        std::lock_guard lock(frontier_mutex);
        finished[size_t(c)] = true;
        while (frontier < chunks && finished[size_t(frontier)]) {
            frontier_hits += parts[size_t(frontier)].size();
            ++frontier;
        }
        if (frontier_hits >= limit && frontier < skip_from.load(std::memory_order_relaxed))
            skip_from.store(frontier, std::memory_order_relaxed);
    });

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
std::vector<uint32_t> scan_entries(uint32_t count, uint64_t limit, const Accept& accept) {
    return scan_chunks(count, limit, [&](uint32_t first, uint32_t last, std::vector<uint32_t>& out, uint64_t lim) {
        for (uint32_t i = first; i < last; ++i) {
            if (accept(i)) {
                out.push_back(i);
                if (out.size() >= lim) break;
            }
        }
    });
}

enum class TextPart : uint8_t { Name, Path };

// Entries whose name (or full path) contains an ASCII needle (given with A-Z folded), with A-Z
// folded on the text side, and for which also(i) holds. Instead of testing entry by entry, each
// chunk's stretch of the arena is searched as one text and each occurrence is mapped to the
// entry whose name or path holds it whole; this runs near memory speed. Relies on the index
// invariant that entries lie in the arena in index order (see index.h); on an index that broke
// it, results may be missed but every read stays inside the arena.
template <class Also>
std::vector<uint32_t> scan_text(const Index& index, std::string_view folded_needle, TextPart part, uint64_t limit, const Also& also) {
    const std::string_view names = index.names;
    const IndexEntry* entries = index.entries.data();
    const size_t n = folded_needle.size();
    return scan_chunks(uint32_t(index.entries.size()), limit, [&](uint32_t first, uint32_t last, std::vector<uint32_t>& out, uint64_t lim) {
        uint32_t i = first;
        size_t pos = entries[first].path_start;
        const size_t last_end = size_t(entries[last - 1].path_start) + entries[last - 1].path_len;
        const size_t end = last_end < names.size() ? last_end : names.size();
        while (i < last && pos < end) {
            const size_t found = find_ascii_folded(names.substr(pos, end - pos), folded_needle);
            if (found == std::string_view::npos) break;
            const size_t occ = pos + found;
            while (i < last && size_t(entries[i].path_start) + entries[i].path_len <= occ) ++i;
            if (i == last) break;
            const IndexEntry& e = entries[i];
            const size_t region_end = size_t(e.path_start) + e.path_len;
            const size_t region_start = part == TextPart::Path ? e.path_start : region_end - e.name_len;
            if (occ < region_start) {
                pos = occ + 1 > region_start ? occ + 1 : region_start;
            } else if (occ + n <= region_end) {
                if (also(i)) {
                    out.push_back(i);
                    if (out.size() >= lim) break;
                }
                pos = region_end;
                ++i;
            } else {
                pos = occ + 1;
            }
        }
    });
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

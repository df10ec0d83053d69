// Index: every reachable path of one volume once, back to back in one UTF-8 arena;
// fixed-size entries point into it.
// Invariants: an entry's range lies inside `names` and starts and ends on character boundaries;
// its name is the range's last name_len bytes and the byte before the name is a backslash.
// `names` only grows and never exceeds 4 GiB (offsets are u32). Directory paths are followed in
// the arena by one extra backslash. Entries lie in the arena in index order (each path starts
// after the previous entry's path ends): builds, live updates and loads keep it, and the
// scans rely on it (entries_in_arena_order checks it, e.g. after loading from disk). `sorted` holds every entry index once, in name order.
// `dirs` and `by_ref` are flat tables (no heap node per key); an index loaded from disk has
// both empty.
// Memory: the arena plus 32 bytes per entry, 4 for `sorted`, about 18 for `by_ref` and about
// 24 per directory for `dirs`.
// Cost: build O(total path bytes) plus one parallel sort. Threads: read-only after publish,
// shared by reference; any change (live updates, rebuild_sorted) needs exclusive access.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "index/record_map.h"
#include "index/ref_map.h"

namespace nimbalo {

struct IndexEntry {
    uint32_t path_start = 0;  // byte offset of the full path in names
    uint32_t path_len = 0;    // bytes of the full path, no trailing backslash
    uint32_t name_len = 0;    // bytes of the entry's own name (the path's tail)
    bool is_dir = false;
    uint64_t size = 0;        // bytes
    uint64_t modified = 0;    // FILETIME, UTC
    bool operator==(const IndexEntry&) const = default;
};
static_assert(sizeof(IndexEntry) == 32);

// A read-only view of one entry; valid while its index is neither changed nor released.
struct SearchHit {
    std::string_view path;
    std::string_view name;
    uint64_t size = 0;
    uint64_t modified = 0;
    bool is_dir = false;
};

struct ArenaRange {
    uint32_t start = 0;
    uint32_t len = 0;
    bool operator==(const ArenaRange&) const = default;
};

// record -> byte range of the directory's path followed by one backslash.
using DirMap = RecordMap<ArenaRange>;

struct Index {
    char letter = 'C';
    std::string names;
    std::vector<IndexEntry> entries;
    std::vector<uint32_t> sorted;  // entry indices in name order
    DirMap dirs;                   // record -> path-with-backslash (find/set/erase)
    RefMap by_ref;                 // record -> entries made from it (append/take/renumber)

    std::string_view path_of(const IndexEntry& e) const { return std::string_view(names).substr(e.path_start, e.path_len); }
    std::string_view name_of(const IndexEntry& e) const {
        return std::string_view(names).substr(e.path_start + e.path_len - e.name_len, e.name_len);
    }
};

// True when every entry's path lies inside `names`, after the previous entry's path, with
// name_len <= path_len: what a loaded index must satisfy before it is searched. O(entries).
inline bool entries_in_arena_order(const Index& ix) {
    uint64_t last_end = 0;
    for (const IndexEntry& e : ix.entries) {
        const uint64_t end = uint64_t(e.path_start) + e.path_len;
        if (e.path_start < last_end || end > ix.names.size() || e.name_len > e.path_len) return false;
        last_end = end;
    }
    return true;
}

}  // namespace nimbalo

// build_index: links every MFT name to its parent directory, starting at the root (record 5),
// and lays the full paths out in one arena in build order (depth first, last directory first;
// the root's children first, in input order). Records whose parent is never reached (orphans,
// children of files or of missing directories) are dropped, and so are "." and "..".
// An entry whose path would push the arena past 4 GiB, or the entry count past RefMap::kMaxEntry,
// is dropped the same way (with everything below it) instead of wrapping a u32 offset.
// Never fails.
// Cost: O(records + total path bytes) on the calling thread, plus the parallel name sort.
// Memory: the arena and entry array are sized by a first (counting) pass, plus 1/64 of room
// for live additions.
#pragma once

#include <cstdint>
#include <vector>

#include "index/index.h"
#include "mft/records.h"

namespace nimbalo {

inline constexpr uint64_t kArenaLimit = 0xFFFF'FFFFull;  // largest arena size in bytes (u32 offsets)

// Consumes records (input order: ascending record number, as the MFT reader delivers them).
Index build_index(std::vector<MftRecord>&& records, char letter);

// build_index with a smaller arena limit, so tests can reach the overflow path without 4 GiB.
Index build_index_with_arena_limit_for_tests(std::vector<MftRecord>&& records, char letter, uint64_t arena_limit);

}  // namespace nimbalo

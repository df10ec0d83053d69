// Read-only lookups over a built Index shared by every consumer: result rows, the name-prefix
// search over `sorted`, the exact full-path lookup, and the rebuild of `sorted` after entries
// changed. (Containment and the chunked scans are in contains.h and scan.h.)
// Threads: all but rebuild_sorted only read and may run concurrently; rebuild_sorted writes
// `sorted` and needs exclusive access.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "index/index.h"

namespace nimbalo {

inline constexpr size_t kPrefixLimit = 100;

// A view of entry i (which must be an index into entries).
SearchHit hit(const Index& index, uint32_t i);

// At most 100 entries whose names begin with prefix (full Unicode lower-casing of the prefix,
// ASCII folding of names), in name order. The walk stops at the first non-matching name, so a
// name that matches only after non-ASCII lower-casing may lie elsewhere and is not found.
// Cost: a binary search plus the walk.
std::vector<SearchHit> prefix_search(const Index& index, std::string_view prefix);

// The first entry, in index order, whose full path equals path after full lower-casing of both.
// A single-threaded linear pass (used for one-off lookups, not in loops).
std::optional<SearchHit> find_path(const Index& index, std::string_view path);

// Replaces `sorted` by a fresh name-ordered permutation of all current entries (parallel).
void rebuild_sorted(Index& index);

}  // namespace nimbalo

// The name order of `Index::sorted`: names compared byte by byte as unsigned values after
// folding only ASCII A-Z to a-z (bytes of multi-byte characters compare unchanged); the first
// differing byte decides, and a name that is a prefix of another comes first. Names that are
// equal after folding have no defined order among themselves.
// sort_by_name sorts cached 8-byte key chunks (an MSD string sort) with libstdc++'s parallel mode
// (__gnu_parallel::sort, an unstable multiway mergesort) on the OpenMP pool, so most
// comparisons never touch the arena. It blocks the caller until done.
// Threads: pure over a read-only index.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "index/index.h"

namespace nimbalo {

// <0, 0 or >0 as a sorts before, with, or after b in the name order.
int compare_name_order(std::string_view a, std::string_view b);

// Every entry index 0 .. n-1 of index, in name order.
std::vector<uint32_t> sort_by_name(const Index& index);

}  // namespace nimbalo

// Run-list (mapping pairs) decoding: the bytes of a non-resident attribute's run list to the
// ordered extents they describe. Pure; never reads outside the given bytes; malformed input ends
// the list early (the extents decoded before the fault stay). Cost O(bytes); thread-safe.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "mft/records.h"

namespace nimbalo {

// Each extent's cluster is relative to the previous non-sparse extent (the first to cluster 0);
// an offset field of width 0 marks a sparse extent (lcn -1). A position of 0 or below gives lcn 0.
// Extents of length 0 are kept.
std::vector<DataRun> decode_runlist(std::span<const std::byte> bytes);

}  // namespace nimbalo

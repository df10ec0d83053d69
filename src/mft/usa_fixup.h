// Update-sequence fixup of one multi-sector record (FILE records, index blocks): puts back the
// two bytes at the end of every 512-byte stride that the array at the record's start saved.
// Pure, in place, O(record size / 512); never touches bytes outside the span; thread-safe.
#pragma once

#include <cstddef>
#include <span>

#include "common/result.h"

namespace nimbalo {

// Fails with "bad update-sequence array" (offset 0, or count outside 2..64) or
// "update-sequence array out of bounds" (array past the end of the span). The stride is always
// 512 bytes whatever the sector size, and the saved bytes are not compared with the sequence
// number first: a torn record is caught later by its attribute walk, not here.
Status apply_fixup(std::span<std::byte> record);

}  // namespace nimbalo

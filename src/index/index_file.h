// index.bin: the service's copy of its index on disk (letter, names arena, entries; the layout is
// in index_file_layout.h). The sorted order and the record-number maps are not stored: the loader
// rebuilds the order and leaves the maps empty.
//
// Loading trusts nothing: a file that is short, has a bad letter or a letter other than the expected
// one, invalid UTF-8 in the arena, an is_dir byte other than 0/1, or an entry whose range falls outside
// the arena (checked in 64-bit arithmetic), whose name is longer than its path, or whose path or name
// does not start and end on a character boundary is rejected as a whole. A corrupt count cannot force
// a large allocation: the header is checked against the file's size before anything is read.
// One pass over the file image, no per-entry allocation.
//
// Saving goes through a temporary file that is flushed and renamed over index.bin, so a crash leaves
// either the old or the new file. Pure functions apart from the file I/O; thread-safe.
#pragma once

#include <string>
#include <string_view>

#include "common/result.h"
#include "index/index.h"

namespace nimbalo {

// The exact bytes of the file for this index. Fails only if the index itself breaks the layout's
// limits (an arena or offset beyond 32 bits cannot occur in a valid index).
std::string serialize_index(const Index& index);

// Decode a file image. `sorted` stays empty and the maps stay empty.
Result<Index> parse_index_file(std::string_view bytes, char expected_letter);

// Write the index to path atomically (creating missing folders).
Status save_index(const Index& index, const std::string& path);

// The header check made before anything else is read or reserved: the letter, then the two
// counts, which must be plausible (an arena within the 4 GiB limit, fewer entries than arena
// bytes) and give exactly the file's size. Returns that size.
Result<uint64_t> check_index_file_header(const std::string& path, char expected_letter);

// Check the header, read and decode path, then rebuild the sorted name order. Running out of
// memory fails like a bad file.
Result<Index> load_index(const std::string& path, char expected_letter);

}  // namespace nimbalo

// The byte layout of index.bin, spelled out in one place. Little-endian throughout, no header,
// magic, version, checksum or padding, so a file written by one build loads in every other:
//
//   offset   size   content
//   0        L      drive letter, UTF-8 (L = 1..4; one byte for an ASCII letter)
//   L        8      u64 N: byte length of the names arena
//   L+8      N      names arena, UTF-8
//   L+8+N    8      u64 C: number of entries
//   L+16+N   29*C   entries (IndexEntryDisk), back to back
//
// A file whose size is not exactly L+16+N+29*C is rejected when loaded from disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace nimbalo::index_file {

// One entry as stored: 29 bytes, unaligned; fields are read and written byte-wise.
struct IndexEntryDisk {
    uint8_t path_start[4];  // 0: u32 byte offset of the full path in names
    uint8_t path_len[4];    // 4: u32 bytes of the full path
    uint8_t name_len[4];    // 8: u32 bytes of the name (the path's tail)
    uint8_t is_dir;         // 12: 0 or 1
    uint8_t size[8];        // 13: u64 bytes
    uint8_t modified[8];    // 21: u64 FILETIME ticks
};
static_assert(sizeof(IndexEntryDisk) == 29);
static_assert(offsetof(IndexEntryDisk, path_start) == 0);
static_assert(offsetof(IndexEntryDisk, path_len) == 4);
static_assert(offsetof(IndexEntryDisk, name_len) == 8);
static_assert(offsetof(IndexEntryDisk, is_dir) == 12);
static_assert(offsetof(IndexEntryDisk, size) == 13);
static_assert(offsetof(IndexEntryDisk, modified) == 21);

inline constexpr size_t kEntryBytes = sizeof(IndexEntryDisk);

inline uint64_t get_le(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}
inline void put_le(uint8_t* p, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i, v >>= 8) p[i] = uint8_t(v & 0xFF);
}

}  // namespace nimbalo::index_file

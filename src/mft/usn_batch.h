// Change-journal batches: the output of a journal read (an 8-byte next USN, then whole records)
// turned into UsnChanges, the reason names, and the walk over a raw $J stream that builds such a
// batch when the journal is read off the volume itself. Pure functions over byte buffers; they
// never read outside the buffer and always make progress (no loops on damaged records).
// Thread-safe.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "mft/usn.h"

namespace nimbalo {

struct UsnBatch {
    std::vector<UsnChange> changes;  // versions 2 and 3, close-bit records dropped, in journal order
    int64_t next = 0;                // where the next read starts
    size_t records = 0;              // version 2/3 records seen (kept or dropped)
};

// Walks the records from offset 8. The next position is the batch's own leading USN (a record
// boundary the system or the image reader chose), or start when the output is shorter than that.
UsnBatch parse_usn_batch(std::span<const std::byte> output, int64_t start);

// "create+data-extend", in the fixed order of the ten known bits; "0x{:08x}" when none is set.
std::string reason_names(uint32_t mask);

// Builds the control code's output layout from $J bytes: stream holds the stream's bytes from
// USN stream_base on, stream_end is the stream's data size. Copies whole records from start on
// while they fit in max_bytes (records cut by that limit wait for the next read), skips the zero
// padding at the end of each 4 KiB page, and skips to the next page over anything that is not a
// plausible record. The leading 8 bytes are the USN where the walk stopped.
std::vector<std::byte> usn_stream_batch(std::span<const std::byte> stream, int64_t stream_base, int64_t stream_end,
                                        int64_t start, size_t max_bytes);

}  // namespace nimbalo

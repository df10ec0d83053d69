// Exact live updates: a batch of journal changes together with what the MFT says now about the
// records they touch. Where the journal-only rules of live_update.h guess (a new name gets size 0,
// sizes and times go stale, a rename drops every hard link of the record, everything below a
// renamed folder keeps its old path), the record's FILE record decides:
//  - a record read in use gets exactly one entry per name of it whose parent folder is indexed,
//    with size and time taken as the build takes them (parse_file_record); entries whose paths
//    already match are kept in place and only their size and time change;
//  - a record read as not in use loses its entries;
//  - a record that could not be read falls back to the journal-only rules;
//  - a folder whose path changed takes everything below it along.
// Applying the same batch to two indexes with the same entries gives indexes with the same entries
// (their arenas may be laid out differently; the service keeps two copies in step this way). Cost: one apply_changes; O(entries) more per folder that moved.
// Threads: the caller owns the index exclusively.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "index/index.h"
#include "mft/records.h"
#include "mft/usn.h"

namespace nimbalo {

// Reasons whose record is read: data overwrite/extend/truncation, create, delete, rename old and
// new name, basic info change, hard link change.
inline constexpr uint32_t kReasonsToRead = 0x0000'0007u | 0x0000'0100u | 0x0000'0200u | 0x0000'1000u | 0x0000'2000u |
                                           0x0000'8000u | 0x0001'0000u;

// What the MFT says about one record at the time of reading.
struct RecordNow {
    uint64_t record = 0;
    bool in_use = false;
    std::vector<MftRecord> names;  // the record's names, as read_mft gives them (in use only)
};

struct LiveBatch {
    std::vector<UsnChange> changes;  // journal order
    std::vector<RecordNow> records;  // records read for the batch, each once; others fall back
};

// Returns true when the index changed.
bool apply_live_batch(Index& index, const LiveBatch& batch);

// Re-paths every entry below old_prefix (a folder path with its trailing backslash) to new_prefix;
// false when nothing was below it or the arena is full (then nothing changes).
bool move_subtree(Index& index, std::string_view old_prefix, std::string_view new_prefix);

// Bytes of `names` no entry uses any more (removed and re-pathed text).
uint64_t dead_arena_bytes(const Index& index);

// Rewrites the arena with only the text the entries use, in entry order, with 1/16 of room to
// grow; the maps follow, and the entry and order arrays give back their spare capacity.
void compact_arena(Index& index);

// compact_arena when the arena's waste passes a third of the text in use: removed text plus
// capacity beyond the text (a string that outgrew its room doubles it). Keeps a long-running
// index within about 1.33 times a fresh one. True when it compacted. Cost O(entries) to decide.
bool compact_if_wasteful(Index& index);

}  // namespace nimbalo

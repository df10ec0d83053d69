// Live updates: keeping a built Index current from change-journal records, without reading the
// MFT again. Only the name, parent and record number of a change are used; the parent's path
// comes from `dirs`.
//  - A change with a remove bit (delete 0x200, old name 0x1000) drops every entry of its record
//    (all hard links) and the record's `dirs` value; entries below a removed directory keep
//    their entries and old paths. Removed text stays in the arena.
//  - Otherwise a change with an add bit (create 0x100, new name 0x2000) adds the name below its
//    parent when the parent is in `dirs`, with size 0 and the change's time as `modified`;
//    a directory also gets a `dirs` value. Nothing is added when the record already has an
//    entry with exactly that path (a file is logged with the create bit again while its handle
//    stays open), for an empty, "." or ".." name, or when the arena or entry count is full.
//  - Every other reason changes nothing (sizes and times are not updated).
// apply_changes applies a batch with ONE compaction of `entries` and ONE rebuild of `sorted`,
// and gives the same index and the same per-change results as apply_change one by one.
// Threads: the caller owns the index exclusively; only the name sort fans out.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "common/result.h"
#include "index/index.h"
#include "mft/usn.h"

namespace nimbalo {

inline constexpr uint32_t kReasonRemove = 0x1200;  // delete, rename old name
inline constexpr uint32_t kReasonAdd = 0x2100;     // create, rename new name

// Applies one change; true when the index changed. Never fails. Cost: a removal compacts all
// entries and every change that alters the index re-sorts all of them (use apply_changes for
// more than one change).
bool apply_change(Index& index, const UsnChange& change);

// Applies changes in order; on_change(change, changed) is called for each, in order, with what
// apply_change would have returned for it. Returns how many changes altered the index.
// Cost: O(batch + entries) plus one parallel sort when anything changed.
size_t apply_changes(Index& index, std::span<const UsnChange> changes,
                     const std::function<void(const UsnChange&, bool)>& on_change = {});

// The journal as follow_journal sees it: read(position) returns the changes from position on
// and the position to continue from (always the reader's own next position, also after an
// empty batch, so reads stay on record boundaries), or an error text.
struct JournalBatch {
    std::vector<UsnChange> changes;
    uint64_t next = 0;
};
using JournalRead = std::function<Result<JournalBatch>(uint64_t position)>;

// The `watch` loop: read from `position`, print every change (in order) and apply the batch,
// continue at the returned position; after an empty batch, call pause() (500 ms in the
// console) first. Runs until a read fails and returns that error.
Error follow_journal(Index& index, uint64_t position, const JournalRead& read,
                     const std::function<void(const UsnChange&)>& print, const std::function<void()>& pause);

}  // namespace nimbalo

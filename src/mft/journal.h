// The volume's USN change journal: open it, move to its oldest record, read batches of changes,
// and the latest changes as the `recent` command lists them. Windows volumes answer through the
// system's control codes; other devices (images, Linux block devices, Wine) through the journal
// read off the volume itself (usn_image.h), in the same layouts, so one batch parser serves both.
// A Journal owns its volume (closed when it is destroyed); one thread at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "common/result.h"
#include "mft/usn.h"
#include "mft/usn_batch.h"
#include "mft/usn_image.h"
#include "mft/volume.h"

namespace nimbalo {

inline constexpr size_t kJournalBatchBytes = 0x4000000;  // 64 MiB per read

struct Journal {
    VolumeReader volume;
    uint64_t journal_id = 0;
    int64_t position = 0;               // where the next read starts
    std::optional<ImageJournal> image;  // set when read off the volume itself
};

// Positioned at the journal's end: only changes made after the open are read. Fails with the
// volume's texts or "FSCTL_QUERY_USN_JOURNAL failed on {letter}: {reason}".
Result<Journal> open_journal(char letter);
Result<Journal> open_journal_on(VolumeReader volume);

// The journal's id, its oldest record's USN and the next USN it will write
// ("FSCTL_QUERY_USN_JOURNAL failed: {}").
struct JournalExtent {
    uint64_t journal_id = 0;
    int64_t first = 0;
    int64_t next = 0;
};
Result<JournalExtent> query_journal(Journal& journal);

// Moves position to the oldest record still in the journal ("FSCTL_QUERY_USN_JOURNAL failed: {}").
Status rewind_journal(Journal& journal);

// One batch from start; never waits. The batch's next position is the read's own next USN, a
// record boundary, also after empty and close-only batches ("FSCTL_READ_USN_JOURNAL failed: {}").
Result<UsnBatch> read_journal(Journal& journal, int64_t start);

// The latest n changes in journal order: read from the oldest record until n changes are collected
// or the journal has no more records; the last min(n, collected).
Result<std::vector<UsnChange>> latest_changes(char letter, uint64_t n);
Result<std::vector<UsnChange>> latest_changes_on(VolumeReader volume, uint64_t n);

}  // namespace nimbalo

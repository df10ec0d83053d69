// ChangeFeed: what following a drive's changes reads: its change journal (where it stands, the
// changes from a position on) and, for exact sizes and times, the FILE records the changes name.
// The service's follower owns one; tests put their own behind the same interface. One thread at a
// time.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "common/result.h"
#include "mft/journal.h"
#include "mft/record_reader.h"
#include "mft/usn_batch.h"

namespace nimbalo {

class ChangeFeed {
public:
    virtual ~ChangeFeed() = default;
    virtual Result<JournalExtent> query() = 0;
    // The changes from start on (never waits); see read_journal.
    virtual Result<UsnBatch> read(int64_t start) = 0;
    // The records that could be read, in any order; see RecordReader::read.
    virtual std::vector<ReadRecord> records(std::span<const uint64_t> numbers) = 0;
};

// The journal of drive letter and the FILE records of the same volume. Fails with the journal's
// text when the volume has no journal that can be read (e.g. a volume written by ntfs-3g).
Result<std::unique_ptr<ChangeFeed>> open_change_feed(char letter);

}  // namespace nimbalo

// The change journal read off the volume itself, for devices whose system does not answer the
// journal control codes (images and block devices on Linux, Windows under Wine): finds
// $Extend\$UsnJrnl in the MFT, takes the journal id from its $Max stream and the records from its
// sparse $J stream, whose byte offsets are the records' USNs. Answers the same two questions as
// the control codes, in the same layouts. Reads a bounded number of bytes per call; one thread at
// a time (it reads the volume).
#pragma once

#include <cstdint>
#include <vector>

#include "common/result.h"
#include "mft/records.h"

namespace nimbalo {

struct VolumeReader;

struct ImageJournal {
    uint64_t record = 0;          // MFT record of $UsnJrnl
    uint64_t journal_id = 0;      // from $Max
    std::vector<DataRun> j_runs;  // $J's extents in VCN order (holes as sparse runs)
    int64_t first_usn = 0;        // first offset of $J that holds data
    int64_t next_usn = 0;         // $J's data size
};

// Fails with a reason ("the volume has no change journal ($Extend\$UsnJrnl not found)", ...);
// the caller wraps it in its "FSCTL_QUERY_USN_JOURNAL failed on {}: {}" text.
Result<ImageJournal> find_image_journal(VolumeReader& volume);

// The control code's output for a read from start: the next USN (8 bytes), then whole records of
// at most max_bytes in all.
Result<std::vector<std::byte>> read_image_journal(VolumeReader& volume, const ImageJournal& journal, int64_t start,
                                                  size_t max_bytes);

}  // namespace nimbalo

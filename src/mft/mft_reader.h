// read_mft: every file name of a volume's MFT, in ascending record order (for one record, in the
// order of its $FILE_NAME attributes).
// Record 0 is read and checked first (its failures fail the read); then a dedicated reader
// thread streams the MFT in pieces of at most 32 MiB through a queue of at most 3, while the
// calling thread parses each piece's record slots on the process-wide OpenMP pool. After the
// reader has started nothing fails: unreadable pieces and malformed records give no names.
// Memory: at most 5 piece buffers (recycled) plus the result list. Reports records read into progress,
// when given.
// Blocks the caller; does not close the volume; the volume must not be used meanwhile.
#pragma once

#include <cstdint>
#include <vector>

#include "common/result.h"
#include "mft/records.h"

namespace nimbalo {

struct BuildProgress;
struct VolumeReader;

Result<std::vector<MftRecord>> read_mft(VolumeReader& volume, BuildProgress* progress = nullptr);

// Test hook: the same with smaller pieces, to exercise piece and run boundaries on small images.
Result<std::vector<MftRecord>> read_mft_with_piece_size_for_tests(VolumeReader& volume, uint64_t piece_bytes,
                                                                BuildProgress* progress = nullptr);

}  // namespace nimbalo

// RecordReader: FILE records by number, read in place from the MFT of an open volume, for the
// live updates' sizes and times. Knows where the MFT lies (record 0 and its attribute list);
// finds out again when asked for a record past what it knew (the MFT grows). Reads records in
// ascending order, adjacent ones in one read. One thread at a time (it reads the volume).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/result.h"
#include "mft/records.h"

namespace nimbalo {

struct VolumeReader;

// One record as read: in use with its names (as read_mft gives them), or not in use.
struct ReadRecord {
    uint64_t number = 0;
    bool in_use = false;
    std::vector<MftRecord> names;
};

// Where the MFT lies: record 0's run list continued through its attribute list.
Result<std::vector<DataRun>> read_mft_runs(VolumeReader& volume);

class RecordReader {
public:
    static Result<RecordReader> open(VolumeReader& volume);

    // The records asked for that could be read (unreadable ones, whose slot does not hold a FILE
    // record or whose fixup fails, are left out). numbers may be in any order and repeat.
    std::vector<ReadRecord> read(VolumeReader& volume, std::span<const uint64_t> numbers);

private:
    std::vector<DataRun> runs_;
};

}  // namespace nimbalo

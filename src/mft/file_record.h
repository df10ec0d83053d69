// FILE records: the file names of one record, and the run list of the MFT's own $DATA in record 0.
// Pure functions over one record's bytes; they never read outside the span they are given.
// parse_file_record works in place (it applies the fixup to the caller's buffer) and allocates
// only for the names it keeps. Thread-safe on distinct buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/result.h"
#include "mft/records.h"

namespace nimbalo {

// Appends one MftRecord per $FILE_NAME of the record that is not a DOS (8.3) name, in attribute
// order. Skips (appends nothing) when the record is shorter than 24 bytes, not "FILE", not in use
// or its fixup fails; a malformed attribute ends the walk keeping the names before it.
//  - record: the base record's number (header 0x20) when this is an extension record, else number;
//  - size: the unnamed $DATA's size when this record holds it (resident value length, or the data
//    size of the extent starting at VCN 0), else the $FILE_NAME's (often stale) size;
//  - modified: $STANDARD_INFORMATION's modification time when this record holds it, else the
//    $FILE_NAME's; directories keep the $FILE_NAME values for both.
void parse_file_record(std::span<std::byte> record, uint64_t number, std::vector<MftRecord>& out);

inline std::vector<MftRecord> parse_file_record(std::span<std::byte> record, uint64_t number) {
    std::vector<MftRecord> out;
    parse_file_record(record, number, out);
    return out;
}

// The run list of the first non-resident $DATA attribute of (fixed-up) record 0, or
// "MFT $DATA runlist not found". Only record 0 is looked at; see mft_extents.h for the extents
// that an attribute list places in other records.
Result<std::vector<DataRun>> find_mft_data_runs(std::span<const std::byte> record0);

}  // namespace nimbalo

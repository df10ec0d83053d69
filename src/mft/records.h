// The hand-over types of the NTFS layer: one extent of a non-resident attribute and one
// file name found in the MFT. Plain values; no invariants beyond the field comments.
#pragma once

#include <cstdint>
#include <string>

namespace nimbalo {

// One extent of a non-resident attribute's contents.
struct DataRun {
    int64_t lcn = 0;        // first logical cluster; -1 for a sparse extent
    uint64_t clusters = 0;  // length in clusters
    bool operator==(const DataRun&) const = default;
};

// One file name found in the MFT: the unit handed from the MFT reader to the index build.
struct MftRecord {
    std::string name;       // UTF-8, unpaired surrogates as U+FFFD
    uint64_t parent = 0;    // record number of the parent directory (48 bits)
    uint64_t record = 0;    // base record number of the file (48 bits)
    uint64_t size = 0;      // bytes
    uint64_t modified = 0;  // FILETIME, UTC
    bool is_dir = false;
    bool operator==(const MftRecord&) const = default;
};

}  // namespace nimbalo

// The MFT's own $DATA extents. On a big, old volume the MFT is so fragmented that its run list
// does not fit in record 0: record 0 then holds an $ATTRIBUTE_LIST naming extension records that
// carry the later extents (each starting at some VCN). Reading record 0's runs alone would drop
// every file whose record lies in the missing extents.
// The parsing helpers are pure over one fixed-up record; collect_mft_runs reads the attribute list
// and the extension records through the volume (a few records; bounded, never fails the build).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "mft/records.h"

namespace nimbalo {

struct VolumeReader;

// One extent of a non-resident attribute: the VCNs it covers and where they lie.
struct DataExtent {
    uint64_t lowest_vcn = 0;
    uint64_t highest_vcn = 0;
    uint64_t data_size = 0;         // meaningful in the extent starting at VCN 0
    uint64_t initialized_size = 0;  // likewise
    std::vector<DataRun> runs;
};

// Non-resident $DATA extents of one record with the given stream name ("" = the unnamed
// stream), in attribute order.
std::vector<DataExtent> data_extents(std::span<const std::byte> record, std::u16string_view name);
inline std::vector<DataExtent> unnamed_data_extents(std::span<const std::byte> record) {
    return data_extents(record, u"");
}

// The value of a resident $DATA stream with the given name, if the record holds one.
bool resident_data(std::span<const std::byte> record, std::u16string_view name, std::vector<std::byte>& value);

// The record's $ATTRIBUTE_LIST: its resident value, or (non-resident) its runs and data size.
struct AttributeListPlace {
    bool found = false;
    bool resident = false;
    std::vector<std::byte> value;  // resident value
    std::vector<DataRun> runs;     // non-resident
    uint64_t size = 0;             // non-resident data size
};
AttributeListPlace find_attribute_list(std::span<const std::byte> record);

// (lowest VCN, record number) of every unnamed $DATA entry of an attribute list, in list order.
struct ListedExtent {
    uint64_t lowest_vcn = 0;
    uint64_t record = 0;
};
std::vector<ListedExtent> listed_data_extents(std::span<const std::byte> list, std::u16string_view name = u"");

// Extents in VCN order as one run list. A gap between extents becomes a sparse run so that byte
// positions (and record numbers) after it stay right; an extent overlapping an earlier one is dropped.
std::vector<DataRun> merge_extents(std::vector<DataExtent> extents);

// Byte offset on the volume of a position within an attribute's contents, or nullopt-like false
// when it falls in a sparse run or past the last run.
bool map_position(std::span<const DataRun> runs, uint32_t bytes_per_cluster, uint64_t position, uint64_t& offset);

// Reads out.size() bytes at position of an attribute's contents; sparse stretches read as zeros.
// False when a cluster cannot be read or the position lies past the last run.
bool read_attribute(VolumeReader& volume, std::span<const DataRun> runs, uint64_t position, std::span<std::byte> out);

// The bytes of an attribute list (resident value or non-resident contents), empty when absent or
// unreadable.
std::vector<std::byte> attribute_list_bytes(VolumeReader& volume, std::span<const std::byte> record);

// Record 0's run list continued through its attribute list. Unreadable extension records or list
// clusters are left out quietly (their records become absent, numbering stays right); the result
// is at least record 0's own runs. record0 is fixed up.
std::vector<DataRun> collect_mft_runs(VolumeReader& volume, std::span<const std::byte> record0,
                                      std::vector<DataRun> record0_runs);

}  // namespace nimbalo

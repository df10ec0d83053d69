// How the MFT reader walks the MFT's contents: the runs in order, each cut into reads of at most
// one piece, never crossing a run's end, stopping at the valid length. Sparse runs are planned as
// skips that still advance the position (so record numbers stay positions). Pure; O(runs + pieces).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "mft/records.h"

namespace nimbalo {

inline constexpr uint64_t kMftPieceBytes = 0x2000000;  // 32 MiB

struct PieceRead {
    uint64_t position = 0;  // byte position within the MFT's contents (VCN * cluster size)
    int64_t offset = 0;     // byte offset on the volume; -1 for a sparse stretch (nothing to read)
    uint64_t length = 0;
    bool operator==(const PieceRead&) const = default;
};

std::vector<PieceRead> plan_pieces(std::span<const DataRun> runs, uint32_t bytes_per_cluster,
                                   uint64_t valid_length, uint64_t piece_bytes = kMftPieceBytes);

}  // namespace nimbalo

#include "mft/record_reader.h"

#include <algorithm>
#include <cstring>

#include "mft/file_record.h"
#include "mft/mft_extents.h"
#include "mft/ntfs_layout.h"
#include "mft/usa_fixup.h"
#include "mft/volume.h"

namespace nimbalo {

namespace {

constexpr uint64_t kMaxGap = 8;  // records between two wanted ones still read in the same piece

}  // namespace

Result<std::vector<DataRun>> read_mft_runs(VolumeReader& v) {
    auto rec0 = read_at(v, v.mft_start_lcn * v.bytes_per_cluster, v.bytes_per_record);
    if (!rec0) return std::move(rec0).take_error();
    if (std::memcmp(rec0->data(), "FILE", 4) != 0) return fail("not a valid FILE record");
    if (auto s = apply_fixup(*rec0); !s) return std::move(s).take_error();
    auto own = find_mft_data_runs(*rec0);
    if (!own) return std::move(own).take_error();
    return collect_mft_runs(v, *rec0, std::move(*own));
}

namespace {

uint64_t runs_bytes(std::span<const DataRun> runs, uint32_t cluster) {
    uint64_t clusters = 0;
    for (const DataRun& r : runs) clusters += r.clusters;
    return clusters * cluster;
}

}  // namespace

Result<RecordReader> RecordReader::open(VolumeReader& volume) {
    auto runs = read_mft_runs(volume);
    if (!runs) return std::move(runs).take_error();
    RecordReader r;
    r.runs_ = std::move(*runs);
    return r;
}

std::vector<ReadRecord> RecordReader::read(VolumeReader& v, std::span<const uint64_t> numbers) {
    std::vector<uint64_t> wanted(numbers.begin(), numbers.end());
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    const uint32_t rs = v.bytes_per_record;
    std::vector<ReadRecord> out;
    if (rs == 0 || wanted.empty()) return out;
    if ((wanted.back() + 1) * rs > runs_bytes(runs_, v.bytes_per_cluster)) {
        if (auto runs = read_mft_runs(v)) runs_ = std::move(*runs);
    }
    std::vector<std::byte> piece;
    for (size_t i = 0; i < wanted.size();) {
        size_t j = i + 1;
        while (j < wanted.size() && wanted[j] - wanted[j - 1] <= kMaxGap) ++j;
        const uint64_t first = wanted[i], count = wanted[j - 1] - first + 1;
        piece.assign(size_t(count * rs), std::byte{0});
        if (read_attribute(v, runs_, first * rs, piece)) {
            for (size_t k = i; k < j; ++k) {
                const std::span<std::byte> rec(piece.data() + (wanted[k] - first) * rs, rs);
                if (std::memcmp(rec.data(), "FILE", 4) != 0) continue;
                ReadRecord r;
                r.number = wanted[k];
                uint16_t flags = 0;
                std::memcpy(&flags, rec.data() + offsetof(ntfs::FileRecordHeaderDisk, flags), 2);
                r.in_use = (flags & ntfs::kRecordInUse) != 0;
                if (r.in_use) {
                    // parse_file_record applies the fixup itself and skips a record it fails on.
                    std::vector<std::byte> copy(rec.begin(), rec.end());
                    if (!apply_fixup(copy)) continue;
                    // An extension record describes part of another file, not a file of its own.
                    uint64_t base = 0;
                    std::memcpy(&base, rec.data() + offsetof(ntfs::FileRecordHeaderDisk, base_record), 6);
                    if (base != 0) continue;
                    parse_file_record(rec, wanted[k], r.names);
                    // Names kept in extension records only: not read here, so not known.
                    if (r.names.empty()) continue;
                }
                out.push_back(std::move(r));
            }
        }
        i = j;
    }
    return out;
}

}  // namespace nimbalo

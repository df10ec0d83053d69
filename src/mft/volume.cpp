#include "mft/volume.h"

#include <algorithm>
#include <bit>
#include <string>

#include "mft/boot_sector.h"
#include "mft/mft_extents.h"
#include "mft/partition.h"
#include "mft/usa_fixup.h"

namespace nimbalo {
namespace {

Error geometry_error(char letter, const std::string& reason) {
    return fail("FSCTL_GET_NTFS_VOLUME_DATA failed on " + std::string(1, letter) + ": " + reason);
}

bool plausible(const platform::NtfsVolumeData& d) {
    return d.bytes_per_cluster != 0 && std::has_single_bit(d.bytes_per_cluster) && d.bytes_per_record >= 256 &&
           d.bytes_per_record <= 65536 && std::has_single_bit(d.bytes_per_record);
}

// Initialized size of record 0's unnamed $DATA; 0 when record 0 cannot tell (read_mft then
// reports the damage with its own texts).
uint64_t mft_initialized_size(VolumeReader& v) {
    auto rec = read_at(v, v.mft_start_lcn * v.bytes_per_cluster, v.bytes_per_record);
    if (!rec || !apply_fixup(*rec).ok()) return 0;
    for (const auto& x : unnamed_data_extents(*rec))
        if (x.lowest_vcn == 0) return x.initialized_size;
    return 0;
}

}  // namespace

Result<VolumeReader> open_volume(char letter) {
    auto dev = platform::open_raw_volume(letter);
    if (!dev) return std::move(dev).take_error();
    return open_volume_on(std::move(*dev), letter);
}

Result<VolumeReader> open_volume_on(std::unique_ptr<platform::RawDevice> device, char letter) {
    VolumeReader v;
    v.letter = letter;
    v.device = std::move(device);
    auto os = v.device->ntfs_volume_data();
    if (os && plausible(*os)) {
        v.mft_start_lcn = os->mft_start_lcn < 0 ? 0 : uint64_t(os->mft_start_lcn);
        v.mft_valid_data_length = os->mft_valid_data_length < 0 ? 0 : uint64_t(os->mft_valid_data_length);
        v.bytes_per_sector = os->bytes_per_sector;
        v.bytes_per_cluster = os->bytes_per_cluster;
        v.bytes_per_record = os->bytes_per_record;
        v.volume_size = v.device->size();
        v.system_ntfs = v.device->has_os_ntfs_support();
        return v;
    }
    // No volume data from the system: read the geometry off the disk. On a system that answers the
    // control code, its own error is the better explanation when the disk is not NTFS either.
    const bool os_said = v.device->has_os_ntfs_support() && !os;
    auto place = locate_ntfs_volume(*v.device);
    if (!place) return geometry_error(letter, os_said ? os.error() : place.error());
    std::vector<std::byte> sector(512);
    auto got = v.device->read_at(place->offset, sector);
    if (!got || *got != sector.size()) return geometry_error(letter, "boot sector is unreadable");
    auto g = read_boot_sector(sector);
    if (!g) return geometry_error(letter, os_said ? os.error() : g.error());

    v.partition_offset = place->offset;
    // The backup boot sector follows the volume's last sector; it is part of the partition.
    uint64_t size = g->volume_bytes() + g->bytes_per_sector;
    if (place->size) size = std::min(size, place->size);
    // Never plan reads beyond what the device holds: a damaged boot sector may claim any size.
    if (const uint64_t dev = v.device->size(); dev) size = std::min(size, dev > place->offset ? dev - place->offset : 0);
    v.volume_size = size;
    v.mft_start_lcn = g->mft_lcn;
    v.bytes_per_sector = g->bytes_per_sector;
    v.bytes_per_cluster = g->bytes_per_cluster;
    v.bytes_per_record = g->bytes_per_record;
    v.mft_valid_data_length = std::min(mft_initialized_size(v), v.volume_size);
    return v;
}

Result<size_t> read_some(VolumeReader& v, uint64_t offset, std::span<std::byte> buf) {
    size_t want = buf.size();
    if (v.volume_size) want = offset >= v.volume_size ? 0 : size_t(std::min<uint64_t>(want, v.volume_size - offset));
    if (want == 0) return size_t(0);
    if (offset > UINT64_MAX - v.partition_offset) return fail("offset out of range");
    return v.device->read_at(v.partition_offset + offset, buf.first(want));
}

Result<std::vector<std::byte>> read_at(VolumeReader& v, uint64_t offset, size_t length) {
    std::vector<std::byte> buf(length);
    auto got = read_some(v, offset, buf);
    if (!got) return fail("read at " + std::to_string(offset) + " failed: " + got.error());
    if (*got != length)
        return fail("short read at " + std::to_string(offset) + ": got " + std::to_string(*got) + "/" +
                    std::to_string(length) + " bytes");
    return buf;
}

std::vector<char> list_ntfs_volumes() {
    std::vector<char> letters;
    const uint32_t mask = platform::logical_drive_mask();
    for (int j = 0; j < 26; ++j) {
        if (!(mask & (uint32_t(1) << j))) continue;
        if (open_volume(char('A' + j))) letters.push_back(char('A' + j));
    }
    return letters;
}

}  // namespace nimbalo

// Small volumes and whole disks built in memory, shared by the volume tests.
#pragma once

#include <cstdint>

#include "mft/ntfs_builder.h"

namespace nimbalo::fixture {

// A small NTFS volume: 4 KiB clusters, 1 KiB records, MFT of 16 records at cluster 4.
inline Bytes small_volume() {
    fixture::VolumeLayout layout;
    layout.total_clusters = 64;
    layout.mft_runs = {{4, 4}};
    std::vector<Bytes> recs = {fixture::mft_record0(layout, 16 * 1024)};
    return fixture::build_volume(layout, recs);
}

// A whole disk: MBR with the volume as partition entry `slot` at lba (512-byte sectors).
inline Bytes mbr_disk(const Bytes& volume, uint32_t lba, int slot = 0, uint8_t type = 0x07) {
    Bytes disk(uint64_t(lba) * 512, std::byte{0});
    disk.insert(disk.end(), volume.begin(), volume.end());
    const size_t e = 0x1BE + 16 * size_t(slot);
    put(disk, e + 4, type, 1);
    put(disk, e + 8, lba, 4);
    put(disk, e + 12, volume.size() / 512, 4);
    put(disk, 0x1FE, 0xAA55, 2);
    return disk;
}

}  // namespace nimbalo::fixture

// VolumeReader: an open NTFS volume and its geometry; the opener owns the device and closes it by
// destroying (or resetting) the reader. Offsets are bytes from the start of the volume, which may
// lie inside a disk image (partition_offset). Move-only; one thread reads at a time.
// Geometry comes from the system's NTFS volume data when the device has it (Windows volumes), else
// from the boot sector, with the MFT's valid length taken from record 0's unnamed $DATA.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "common/result.h"
#include "platform/raw_device.h"

namespace nimbalo {

struct VolumeReader {
    std::unique_ptr<platform::RawDevice> device;
    uint64_t partition_offset = 0;  // where the volume starts on the device
    uint64_t volume_size = 0;       // bytes readable through this reader; 0 when unknown
    uint64_t mft_start_lcn = 0;
    uint64_t mft_valid_data_length = 0;
    uint32_t bytes_per_sector = 0;
    uint32_t bytes_per_cluster = 0;
    uint32_t bytes_per_record = 0;
    char letter = 0;
    // The file system driver answered for this volume (FSCTL_GET_NTFS_VOLUME_DATA): its change
    // journal control codes can be used. Otherwise everything is read off the disk.
    bool system_ntfs = false;
};

// Opens drive letter's device (platform::open_raw_volume) and reads its geometry. Fails with the
// device's "cannot open ..." text, or "FSCTL_GET_NTFS_VOLUME_DATA failed on {letter}: {reason}"
// when the device holds no usable NTFS volume.
Result<VolumeReader> open_volume(char letter);

// The same over a device already open (tests, tools, fuzzing).
Result<VolumeReader> open_volume_on(std::unique_ptr<platform::RawDevice> device, char letter);

// Exactly length bytes at offset, or "read at {} failed: {}" / "short read at {}: got {}/{} bytes".
// Never a partial buffer. Reads beyond the end of the volume count as short.
Result<std::vector<std::byte>> read_at(VolumeReader& volume, uint64_t offset, size_t length);

// Tolerant read for bulk readers: as many bytes as the volume gives (fewer at its end), or the
// device's error text.
Result<size_t> read_some(VolumeReader& volume, uint64_t offset, std::span<std::byte> buf);

// Letters, in order, whose volumes open_volume opens; each is closed at once. Never fails.
std::vector<char> list_ntfs_volumes();

}  // namespace nimbalo

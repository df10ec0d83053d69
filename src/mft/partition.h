// Where the NTFS volume starts on a device: at byte 0 (a volume or a volume image), or inside a
// whole-disk image or disk device, at the first NTFS partition of its MBR or GPT. All reads of the
// volume layer are then relative to that offset. Reads at most a few sectors plus one GPT entry
// array (bounded to 128 KiB); every table value is checked against the device before use.
// Not thread-safe (reads the device).
#pragma once

#include <cstdint>

#include "common/result.h"
#include "platform/raw_device.h"

namespace nimbalo {

struct VolumeLocation {
    uint64_t offset = 0;  // byte offset of the NTFS boot sector on the device
    uint64_t size = 0;    // bytes of the partition when a table gave it, else 0
};

// Fails with one line saying what sector 0 holds instead (FAT, exFAT, a table without an NTFS
// partition, unreadable, ...).
Result<VolumeLocation> locate_ntfs_volume(platform::RawDevice& device);

}  // namespace nimbalo

// NTFS boot sector: the volume geometry it declares, every value checked before use so that a
// damaged or hostile sector gives one line of text instead of a huge allocation or a wrong read.
// Pure; O(1); thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/result.h"

namespace nimbalo {

struct BootGeometry {
    uint32_t bytes_per_sector = 0;
    uint32_t bytes_per_cluster = 0;
    uint32_t bytes_per_record = 0;
    uint64_t total_sectors = 0;   // sectors of the volume (the backup boot sector lies just past them)
    uint64_t mft_lcn = 0;
    uint64_t volume_bytes() const { return total_sectors * bytes_per_sector; }
};

// True when the first bytes carry the NTFS OEM id "NTFS    " (offset 3): a quick test used by
// partition detection before the full checks.
bool has_ntfs_oem_id(std::span<const std::byte> sector0);

// Checks: OEM id; bytes per sector a power of two from 256 to 4096; sectors per cluster a power of
// two (values above 0x80 mean 2^(256 - value)); cluster size a power of two of at most 2 GiB and at
// least the sector size; clusters per FILE record positive or a negative power-of-two exponent;
// record size a power of two from 256 to 65536; the MFT's first record inside the volume.
Result<BootGeometry> read_boot_sector(std::span<const std::byte> sector0);

}  // namespace nimbalo

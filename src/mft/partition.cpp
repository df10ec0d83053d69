#include "mft/partition.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "mft/boot_sector.h"
#include "mft/ntfs_layout.h"

namespace nimbalo {
namespace {

using ntfs::load;

Result<std::vector<std::byte>> read_exact(platform::RawDevice& dev, uint64_t offset, size_t length) {
    std::vector<std::byte> buf(length);
    auto got = dev.read_at(offset, buf);
    if (!got) return fail("cannot read sector at " + std::to_string(offset) + ": " + got.error());
    if (*got != length) return fail("device ends at " + std::to_string(offset + *got) + " bytes");
    return buf;
}

bool is_ntfs_at(platform::RawDevice& dev, uint64_t offset) {
    auto s = read_exact(dev, offset, 512);
    return s && read_boot_sector(*s).ok();
}

bool is_fat_boot_sector(std::span<const std::byte> s) {
    return std::memcmp(s.data() + 0x36, "FAT", 3) == 0 || std::memcmp(s.data() + 0x52, "FAT32", 5) == 0;
}

bool has_boot_signature(std::span<const std::byte> s) {
    return uint8_t(s[ntfs::kMbrSignatureOffset]) == 0x55 && uint8_t(s[ntfs::kMbrSignatureOffset + 1]) == 0xAA;
}

// GPT: header at LBA 1 with the logical sector size ss; first partition whose boot sector is NTFS.
Result<VolumeLocation> from_gpt(platform::RawDevice& dev, uint32_t ss) {
    auto h = read_exact(dev, ss, ss);
    if (!h) return std::move(h).take_error();
    if (std::memcmp(h->data(), "EFI PART", 8) != 0) return fail("no GPT header");
    const auto g = load<ntfs::GptHeaderDisk>(*h, 0);
    if (g.entry_size < sizeof(ntfs::GptEntryDisk) || g.entry_size > 4096 || g.entry_count == 0 ||
        g.entries_lba == 0 || g.entries_lba > UINT64_MAX / ss)
        return fail("GPT header has an invalid partition entry array");
    const uint64_t count = std::min<uint64_t>(g.entry_count, (128 * 1024) / g.entry_size);
    auto table = read_exact(dev, g.entries_lba * ss, size_t(count * g.entry_size));
    if (!table) return std::move(table).take_error();
    for (uint64_t i = 0; i < count; ++i) {
        const auto e = load<ntfs::GptEntryDisk>(*table, size_t(i * g.entry_size));
        if (e.first_lba == 0 || e.last_lba < e.first_lba || e.last_lba > UINT64_MAX / ss - 1) continue;
        const uint64_t off = e.first_lba * ss;
        if (is_ntfs_at(dev, off)) return VolumeLocation{off, (e.last_lba - e.first_lba + 1) * ss};
    }
    return fail("the GPT partition table holds no NTFS partition");
}

}  // namespace

Result<VolumeLocation> locate_ntfs_volume(platform::RawDevice& dev) {
    auto s0 = read_exact(dev, 0, 512);
    if (!s0) return fail("sector 0 is unreadable: " + s0.error());
    const std::span<const std::byte> s(*s0);
    if (has_ntfs_oem_id(s)) return VolumeLocation{0, 0};
    if (std::memcmp(s.data() + 3, "EXFAT   ", 8) == 0) return fail("sector 0 is an exFAT boot sector, not NTFS");
    if (is_fat_boot_sector(s)) return fail("sector 0 is a FAT boot sector, not NTFS");
    if (!has_boot_signature(s)) return fail("sector 0 holds neither an NTFS boot sector nor a partition table");

    bool any = false, protective = false;
    for (int i = 0; i < 4; ++i) {
        const auto p = load<ntfs::MbrPartitionDisk>(s, ntfs::kMbrTableOffset + 16 * size_t(i));
        if (p.type == 0 || p.sector_count == 0) continue;
        if (p.status != 0 && p.status != 0x80) return fail("sector 0 holds neither an NTFS boot sector nor a partition table");
        any = true;
        if (p.type == 0xEE) protective = true;
    }
    if (protective) {
        for (uint32_t ss : {512u, 4096u}) {
            auto r = from_gpt(dev, ss);
            if (r) return r;
        }
        return fail("the GPT partition table holds no NTFS partition");
    }
    if (!any) return fail("sector 0 holds neither an NTFS boot sector nor a partition table");
    // MBR offsets are in 512-byte sectors; a 4 KiB-sector disk is tried as well.
    for (uint32_t ss : {512u, 4096u}) {
        for (int i = 0; i < 4; ++i) {
            const auto p = load<ntfs::MbrPartitionDisk>(s, ntfs::kMbrTableOffset + 16 * size_t(i));
            if (p.type == 0 || p.sector_count == 0 || p.type == 0x05 || p.type == 0x0F) continue;
            const uint64_t off = uint64_t(p.first_lba) * ss;
            if (is_ntfs_at(dev, off)) return VolumeLocation{off, uint64_t(p.sector_count) * ss};
        }
    }
    return fail("the MBR partition table holds no NTFS partition");
}

}  // namespace nimbalo

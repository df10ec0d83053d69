#include "mft/boot_sector.h"

#include <bit>
#include <cstring>
#include <string>

#include "common/text.h"
#include "mft/ntfs_layout.h"

namespace nimbalo {

bool has_ntfs_oem_id(std::span<const std::byte> s) {
    return s.size() >= 11 && std::memcmp(s.data() + 3, "NTFS    ", 8) == 0;
}

Result<BootGeometry> read_boot_sector(std::span<const std::byte> s) {
    if (s.size() < 512) return fail("boot sector is shorter than 512 bytes");
    if (!has_ntfs_oem_id(s)) {
        std::string oem;
        for (size_t i = 3; i < 11; ++i) {
            const auto c = char(s[i]);
            oem += (c >= 0x20 && c < 0x7F) ? c : '.';
        }
        return fail("sector 0 is not an NTFS boot sector (OEM id \"" + oem + "\")");
    }
    const auto b = ntfs::load<ntfs::BootSectorDisk>(s, 0);
    BootGeometry g;
    const uint32_t bps = b.bytes_per_sector;
    if (bps < 256 || bps > 4096 || !std::has_single_bit(bps))
        return fail("bytes per sector " + std::to_string(bps) + " is not a power of two from 256 to 4096");
    g.bytes_per_sector = bps;

    uint64_t spc = b.sectors_per_cluster;
    if (spc > 0x80) {
        const unsigned shift = 256 - unsigned(spc);
        if (shift > 31) return fail("sectors per cluster code 0x" + hex_lower(spc, 2) + " is out of range");
        spc = uint64_t(1) << shift;
    }
    if (spc == 0 || !std::has_single_bit(spc))
        return fail("sectors per cluster " + std::to_string(spc) + " is not a power of two");
    const uint64_t bpc = spc * bps;
    if (bpc > (uint64_t(1) << 31)) return fail("cluster size " + std::to_string(bpc) + " is too large");
    g.bytes_per_cluster = uint32_t(bpc);  // a power of two and >= the sector size by construction

    uint64_t rs;
    const int cpr = b.clusters_per_record;
    if (cpr > 0) {
        rs = uint64_t(cpr) * bpc;
    } else {
        const int shift = -cpr;
        if (shift > 31) return fail("clusters per FILE record code " + std::to_string(cpr) + " is out of range");
        rs = uint64_t(1) << shift;
    }
    if (rs < 256 || rs > 65536 || !std::has_single_bit(rs))
        return fail("bytes per FILE record " + std::to_string(rs) + " is not a power of two from 256 to 65536");
    g.bytes_per_record = uint32_t(rs);

    if (b.total_sectors == 0 || b.total_sectors > UINT64_MAX / bps)
        return fail("total sectors " + std::to_string(b.total_sectors) + " is out of range");
    g.total_sectors = b.total_sectors;
    const uint64_t clusters = g.volume_bytes() / bpc;
    if (g.volume_bytes() < rs || b.mft_lcn >= clusters || b.mft_lcn * bpc > g.volume_bytes() - rs)
        return fail("MFT start cluster " + std::to_string(b.mft_lcn) + " lies outside the volume (" +
                    std::to_string(clusters) + " clusters)");
    g.mft_lcn = b.mft_lcn;
    return g;
}

}  // namespace nimbalo

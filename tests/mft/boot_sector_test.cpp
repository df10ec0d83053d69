#include <gtest/gtest.h>

#include "mft/boot_sector.h"
#include "mft/ntfs_builder.h"

using namespace nimbalo;
using fixture::boot_sector;

TEST(BootSector, Geometry) {
    struct Case {
        uint16_t bps;
        uint8_t spc;
        int8_t cpr;
        uint32_t cluster, record;
    } cases[] = {
        {512, 8, -10, 4096, 1024},
        {512, 1, 2, 512, 1024},         // 512-byte clusters, record = 2 clusters
        {512, 0xF4, -10, 2 << 20, 1024},  // 2 MiB clusters: 2^(256-244) = 4096 sectors
        {4096, 1, -12, 4096, 4096},
        {512, 8, 1, 4096, 4096},
        {256, 1, -8, 256, 256},
        {512, 128, -16, 65536, 65536},
    };
    for (const auto& c : cases) {
        auto g = read_boot_sector(boot_sector(c.bps, c.spc, c.cpr, 1 << 20, 16));
        ASSERT_TRUE(g.ok()) << g.error();
        EXPECT_EQ(g->bytes_per_cluster, c.cluster);
        EXPECT_EQ(g->bytes_per_record, c.record);
        EXPECT_EQ(g->mft_lcn, 16u);
    }
}

TEST(BootSector, RejectsBadValues) {
    struct Case {
        fixture::Bytes sector;
        const char* error;
    } cases[] = {
        {boot_sector(512, 8, -10, 1 << 20, 16, "MSDOS5.0"), "sector 0 is not an NTFS boot sector (OEM id \"MSDOS5.0\")"},
        {boot_sector(512, 8, -10, 1 << 20, 16, "EXFAT   "), "sector 0 is not an NTFS boot sector (OEM id \"EXFAT   \")"},
        {boot_sector(1000, 8, -10, 1 << 20, 16), "bytes per sector 1000 is not a power of two from 256 to 4096"},
        {boot_sector(128, 8, -10, 1 << 20, 16), "bytes per sector 128 is not a power of two from 256 to 4096"},
        {boot_sector(8192, 8, -10, 1 << 20, 16), "bytes per sector 8192 is not a power of two from 256 to 4096"},
        {boot_sector(512, 3, -10, 1 << 20, 16), "sectors per cluster 3 is not a power of two"},
        {boot_sector(512, 0, -10, 1 << 20, 16), "sectors per cluster 0 is not a power of two"},
        {boot_sector(512, 0x81, -10, 1 << 20, 16), "sectors per cluster code 0x81 is out of range"},
        {boot_sector(512, 0xE1, -10, 1 << 20, 16), "cluster size 1099511627776 is too large"},
        {boot_sector(512, 0xE0, -10, 1 << 20, 16), "sectors per cluster code 0xe0 is out of range"},
        {boot_sector(512, 8, -7, 1 << 20, 16), "bytes per FILE record 128 is not a power of two from 256 to 65536"},
        {boot_sector(512, 8, -17, 1 << 20, 16), "bytes per FILE record 131072 is not a power of two from 256 to 65536"},
        {boot_sector(512, 8, 3, 1 << 20, 16), "bytes per FILE record 12288 is not a power of two from 256 to 65536"},
        {boot_sector(512, 8, 0, 1 << 20, 16), "bytes per FILE record 1 is not a power of two from 256 to 65536"},
        {boot_sector(512, 8, -128, 1 << 20, 16), "clusters per FILE record code -128 is out of range"},
        {boot_sector(512, 8, -10, 0, 16), "total sectors 0 is out of range"},
        {boot_sector(512, 8, -10, UINT64_MAX, 16), "total sectors 18446744073709551615 is out of range"},
        {boot_sector(512, 8, -10, 800, 100), "MFT start cluster 100 lies outside the volume (100 clusters)"},
        {boot_sector(512, 8, -10, 800, UINT64_MAX), "MFT start cluster 18446744073709551615 lies outside the volume (100 clusters)"},
        {fixture::Bytes(100, std::byte{0}), "boot sector is shorter than 512 bytes"},
    };
    for (const auto& c : cases) {
        auto g = read_boot_sector(c.sector);
        ASSERT_FALSE(g.ok()) << c.error;
        EXPECT_EQ(g.error(), c.error);
    }
}

#include <gtest/gtest.h>

#include <cstdlib>

#include "mft/ntfs_builder.h"
#include "mft/volume_fixtures.h"
#include "mft/partition.h"
#include "mft/volume.h"
#include "platform/memory_device.h"

using namespace nimbalo;
using fixture::Bytes;
using fixture::put;
using fixture::mbr_disk;
using fixture::small_volume;

namespace {

Bytes gpt_disk(const Bytes& volume, uint64_t lba) {
    Bytes disk(lba * 512, std::byte{0});
    disk.insert(disk.end(), volume.begin(), volume.end());
    put(disk, 0x1BE + 4, 0xEE, 1);
    put(disk, 0x1BE + 8, 1, 4);
    put(disk, 0x1BE + 12, 0xFFFFFFFF, 4);
    put(disk, 0x1FE, 0xAA55, 2);
    std::memcpy(disk.data() + 512, "EFI PART", 8);
    put(disk, 512 + 0x48, 2, 8);     // entries at LBA 2
    put(disk, 512 + 0x50, 128, 4);   // 128 entries
    put(disk, 512 + 0x54, 128, 4);   // of 128 bytes
    // Entry 0: some other partition (not NTFS) at LBA 40; entry 1: ours.
    put(disk, 1024 + 0x20, 40, 8);
    put(disk, 1024 + 0x28, 47, 8);
    put(disk, 1024 + 128 + 0x20, lba, 8);
    put(disk, 1024 + 128 + 0x28, lba + volume.size() / 512 - 1, 8);
    return disk;
}

Result<VolumeReader> open_bytes(Bytes b) {
    return open_volume_on(std::make_unique<platform::MemoryDevice>(std::move(b)), 'X');
}

}  // namespace

TEST(Volume, FindsTheVolumeBehindPartitionTables) {
    const Bytes vol = small_volume();
    struct Case {
        const char* what;
        Bytes disk;
        uint64_t offset;
    } cases[] = {
        {"bare volume", vol, 0},
        {"MBR at 64 KiB", mbr_disk(vol, 128), 65536},
        {"MBR at 1 MiB", mbr_disk(vol, 2048), 1 << 20},
        {"MBR, second slot", mbr_disk(vol, 2048, 1), 1 << 20},
        {"GPT, second entry", gpt_disk(vol, 64), 64 * 512},
    };
    for (auto& c : cases) {
        auto v = open_bytes(c.disk);
        ASSERT_TRUE(v.ok()) << c.what << ": " << v.error();
        EXPECT_EQ(v->partition_offset, c.offset) << c.what;
        EXPECT_EQ(v->bytes_per_cluster, 4096u);
        EXPECT_EQ(v->bytes_per_record, 1024u);
        EXPECT_EQ(v->mft_start_lcn, 4u);
        EXPECT_EQ(v->mft_valid_data_length, 16u * 1024);
        // Offsets are relative to the volume: sector 0 is the NTFS boot sector.
        auto s0 = read_at(*v, 0, 512);
        ASSERT_TRUE(s0.ok());
        EXPECT_EQ(std::memcmp(s0->data() + 3, "NTFS    ", 8), 0) << c.what;
    }
}

TEST(Volume, NotNtfsGivesTheVolumeDataError) {
    Bytes fat(4096, std::byte{0});
    std::memcpy(fat.data() + 3, "MSDOS5.0", 8);
    std::memcpy(fat.data() + 0x52, "FAT32   ", 8);
    put(fat, 0x1FE, 0xAA55, 2);
    Bytes exfat(4096, std::byte{0});
    std::memcpy(exfat.data() + 3, "EXFAT   ", 8);
    put(exfat, 0x1FE, 0xAA55, 2);
    Bytes vol = small_volume();
    Bytes bad_record_size = vol;
    put(bad_record_size, 0x40, uint8_t(-20), 1);
    Bytes mbr_no_ntfs = mbr_disk(exfat, 128);
    struct Case {
        Bytes disk;
        const char* error;
    } cases[] = {
        {fat, "FSCTL_GET_NTFS_VOLUME_DATA failed on X: sector 0 is a FAT boot sector, not NTFS"},
        {exfat, "FSCTL_GET_NTFS_VOLUME_DATA failed on X: sector 0 is an exFAT boot sector, not NTFS"},
        {Bytes(4096, std::byte{0x5A}), "FSCTL_GET_NTFS_VOLUME_DATA failed on X: sector 0 holds neither an NTFS boot sector nor a partition table"},
        {Bytes(100, std::byte{0}), "FSCTL_GET_NTFS_VOLUME_DATA failed on X: sector 0 is unreadable: device ends at 100 bytes"},
        {bad_record_size, "FSCTL_GET_NTFS_VOLUME_DATA failed on X: bytes per FILE record 1048576 is not a power of two from 256 to 65536"},
        {mbr_no_ntfs, "FSCTL_GET_NTFS_VOLUME_DATA failed on X: the MBR partition table holds no NTFS partition"},
    };
    for (auto& c : cases) {
        auto v = open_bytes(c.disk);
        ASSERT_FALSE(v.ok()) << c.error;
        EXPECT_EQ(v.error(), c.error);
    }
}

TEST(Volume, ReadAtIsExactOrAnError) {
    auto v = open_bytes(mbr_disk(small_volume(), 128));
    ASSERT_TRUE(v.ok());
    const uint64_t end = 64 * 4096;
    auto whole = read_at(*v, end - 512, 512);  // the backup boot sector's place
    EXPECT_TRUE(whole.ok());
    auto past = read_at(*v, end - 512, 1024);
    ASSERT_FALSE(past.ok());
    EXPECT_EQ(past.error(), "short read at " + std::to_string(end - 512) + ": got 512/1024 bytes");
    auto beyond = read_at(*v, 3221225472, 1024);
    ASSERT_FALSE(beyond.ok());
    EXPECT_EQ(beyond.error(), "short read at 3221225472: got 0/1024 bytes");

    auto dev = std::make_unique<platform::MemoryDevice>(small_volume());
    dev->fail_reads_for_tests(8192);
    auto* raw = dev.get();
    auto w = open_volume_on(std::move(dev), 'Y');
    ASSERT_TRUE(w.ok()) << w.error();
    (void)raw;
    auto failed = read_at(*w, 8192, 512);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error(), "read at 8192 failed: Input/output error");
}

namespace {

// A volume handle as Windows hands it out: the device claims the control codes, and answers the
// volume data request as the test says (Wine refuses it; a damaged driver may answer zeros).
class SystemVolume final : public platform::RawDevice {
public:
    SystemVolume(Bytes b, Result<platform::NtfsVolumeData> answer) : mem_(std::move(b)), answer_(std::move(answer)) {}
    Result<size_t> read_at(uint64_t offset, std::span<std::byte> buf) override { return mem_.read_at(offset, buf); }
    uint64_t size() const override { return mem_.size(); }
    Result<platform::NtfsVolumeData> ntfs_volume_data() override { return answer_; }
    bool has_os_ntfs_support() const override { return true; }

private:
    platform::MemoryDevice mem_;
    Result<platform::NtfsVolumeData> answer_;
};

}  // namespace

TEST(Volume, SystemWithoutVolumeDataFallsBackToTheBootSector) {
    const Bytes vol = small_volume();
    platform::NtfsVolumeData zeros;
    platform::NtfsVolumeData real;
    real.bytes_per_sector = 512;
    real.bytes_per_cluster = 4096;
    real.bytes_per_record = 1024;
    real.mft_start_lcn = 4;
    real.mft_valid_data_length = 16 * 1024;
    struct Case {
        const char* what;
        Bytes disk;
        Result<platform::NtfsVolumeData> answer;
        uint64_t offset;
    } cases[] = {
        {"refused (Wine)", vol, fail("The request is not supported. (0x80070032)"), 0},
        {"answered with zeros", vol, zeros, 0},
        {"refused, whole disk behind an MBR", mbr_disk(vol, 2048), fail("The request is not supported. (0x80070032)"), 1 << 20},
        {"answered", vol, real, 0},
    };
    for (auto& c : cases) {
        auto v = open_volume_on(std::make_unique<SystemVolume>(c.disk, c.answer), 'X');
        ASSERT_TRUE(v.ok()) << c.what << ": " << v.error();
        EXPECT_EQ(v->partition_offset, c.offset) << c.what;
        EXPECT_EQ(v->bytes_per_cluster, 4096u) << c.what;
        EXPECT_EQ(v->bytes_per_record, 1024u) << c.what;
        EXPECT_EQ(v->mft_start_lcn, 4u) << c.what;
        EXPECT_EQ(v->mft_valid_data_length, 16u * 1024) << c.what;
        auto s0 = read_at(*v, 0, 512);
        ASSERT_TRUE(s0.ok()) << c.what;
        EXPECT_EQ(std::memcmp(s0->data() + 3, "NTFS    ", 8), 0) << c.what;
        // Only a driver that answered can be asked for the change journal; otherwise it is read
        // off the disk as well.
        EXPECT_EQ(v->system_ntfs, c.answer.ok() && c.answer->bytes_per_cluster != 0) << c.what;
    }
    // Not NTFS at all: the system's own refusal is the better explanation.
    Bytes fat(4096, std::byte{0});
    std::memcpy(fat.data() + 3, "MSDOS5.0", 8);
    std::memcpy(fat.data() + 0x52, "FAT32   ", 8);
    put(fat, 0x1FE, 0xAA55, 2);
    auto v = open_volume_on(std::make_unique<SystemVolume>(fat, fail("The request is not supported. (0x80070032)")), 'C');
    ASSERT_FALSE(v.ok());
    EXPECT_EQ(v.error(), "FSCTL_GET_NTFS_VOLUME_DATA failed on C: The request is not supported. (0x80070032)");
}

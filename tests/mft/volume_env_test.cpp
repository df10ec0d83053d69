// The POSIX port's drive letters: X opens the device or image named by NIMBALO_VOLUME_X.
// Not built for Windows, where letters are the system's own volumes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mft/volume.h"
#include "mft/volume_fixtures.h"

using namespace nimbalo;
using fixture::Bytes;
using fixture::mbr_disk;
using fixture::small_volume;

TEST(Volume, LettersMapToEnvironmentVariables) {
    ::unsetenv("NIMBALO_VOLUME_Q");
    auto v = open_volume('Q');
    ASSERT_FALSE(v.ok());
    EXPECT_NE(v.error().find("NIMBALO_VOLUME_Q is not set"), std::string::npos) << v.error();

    ::setenv("NIMBALO_VOLUME_Q", "/nonexistent/nimbalo.img", 1);
    v = open_volume('Q');
    ASSERT_FALSE(v.ok());
    EXPECT_EQ(v.error(), "cannot open /nonexistent/nimbalo.img: No such file or directory");
    ::unsetenv("NIMBALO_VOLUME_Q");
}

TEST(Volume, ListsOnlyLettersThatOpenAsNtfs) {
    const std::string dir = ::testing::TempDir();
    const std::string ntfs = dir + "/nimbalo-list-ntfs.img", fat = dir + "/nimbalo-list-fat.img";
    auto write = [](const std::string& path, const Bytes& b) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(b.data(), 1, b.size(), f);
        std::fclose(f);
    };
    write(ntfs, mbr_disk(small_volume(), 128));
    Bytes fat_bytes(4096, std::byte{0});
    std::memcpy(fat_bytes.data() + 0x52, "FAT32   ", 8);
    write(fat, fat_bytes);
    for (char c = 'A'; c <= 'Z'; ++c) ::unsetenv(("NIMBALO_VOLUME_" + std::string(1, c)).c_str());
    ::setenv("NIMBALO_VOLUME_E", fat.c_str(), 1);
    ::setenv("NIMBALO_VOLUME_K", ntfs.c_str(), 1);
    ::setenv("NIMBALO_VOLUME_M", (ntfs + "@65536").c_str(), 1);  // the partition, explicitly
    ::setenv("NIMBALO_VOLUME_P", "/nonexistent/x.img", 1);
    EXPECT_EQ(list_ntfs_volumes(), (std::vector<char>{'K', 'M'}));
    for (const char* c : {"E", "K", "M", "P"}) ::unsetenv((std::string("NIMBALO_VOLUME_") + c).c_str());
    std::remove(ntfs.c_str());
    std::remove(fat.c_str());
}

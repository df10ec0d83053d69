// The reader against real volumes: Windows-made images (see the shared test data's SOURCES.md),
// Debian's forensics sample, and volumes we make with mkntfs + ntfs-3g; every name compared with
// what an independent reader (fsntfsinfo) reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>

#include "mft/file_record.h"
#include "mft/independent_reader.h"
#include "mft/mft_extents.h"
#include "mft/mft_reader.h"
#include "mft/usa_fixup.h"
#include "mft/volume.h"
#include "platform/memory_device.h"

using namespace nimbalo;

namespace {

Result<VolumeReader> open_image(const std::string& path) {
    auto dev = platform::open_raw_path(path);
    if (!dev) return std::move(dev).take_error();
    return open_volume_on(std::move(*dev), 'V');
}

#define IMAGE_OR_SKIP(var, name)                         \
    std::string var##_error;                             \
    const std::string var = fixture::test_image(name, var##_error); \
    if (var.empty()) GTEST_SKIP() << var##_error

}  // namespace

TEST(RealVolumes, WindowsImageGeometry) {
    struct Case {
        const char* image;
        uint64_t offset;
        uint32_t cluster, record;
        uint64_t mft_lcn, records;
    } cases[] = {
        {"ntfs.raw", 1048576, 4096, 1024, 786432, 256},
        {"ntfs-2m.raw", 65536, 2 << 20, 1024, 170, 2048},
        {"ntfs-lastaccess.raw", 65536, 4096, 1024, 0, 256},
        {"ntfs-ptrn.raw", 65536, 4096, 1024, 0, 256},
        {"ntfs-ramslack.raw", 65536, 4096, 1024, 0, 256},
        {"charlie.dd", 0, 4096, 1024, 3157, 256},
        {"vsstest.raw", 0, 4096, 1024, 87381, 256},
        {"forensics.ntfs", 1048576, 4096, 1024, 0, 0},
        {"clusters-512.img", 0, 512, 1024, 0, 0},
        {"records-4096.img", 0, 4096, 4096, 0, 0},
    };
    for (const auto& c : cases) {
        std::string error;
        const std::string path = fixture::test_image(c.image, error);
        ASSERT_FALSE(path.empty()) << error;
        auto v = open_image(path);
        ASSERT_TRUE(v.ok()) << c.image << ": " << v.error();
        EXPECT_EQ(v->partition_offset, c.offset) << c.image;
        EXPECT_EQ(v->bytes_per_cluster, c.cluster) << c.image;
        EXPECT_EQ(v->bytes_per_record, c.record) << c.image;
        if (c.mft_lcn) {
            EXPECT_EQ(v->mft_start_lcn, c.mft_lcn) << c.image;
        }
        if (c.records) {
            EXPECT_EQ(v->mft_valid_data_length / c.record, c.records) << c.image;
        }

        // The same volume through an explicit path@offset.
        auto w = open_image(path + "@" + std::to_string(c.offset));
        ASSERT_TRUE(w.ok()) << w.error();
        EXPECT_EQ(w->partition_offset, 0u);
        EXPECT_EQ(w->mft_start_lcn, v->mft_start_lcn);

        // Past the end of the volume: an error, never a partial buffer.
        const uint64_t end = v->volume_size;
        auto past = read_at(*v, end - 512, 1024);
        ASSERT_FALSE(past.ok()) << c.image;
        EXPECT_EQ(past.error(), "short read at " + std::to_string(end - 512) + ": got 512/1024 bytes");
    }
}

class SameAsIndependentReader : public ::testing::TestWithParam<const char*> {};

TEST_P(SameAsIndependentReader, NamesParentsSizesAndTimes) {
    IMAGE_OR_SKIP(path, GetParam());
    auto v = open_image(path);
    ASSERT_TRUE(v.ok()) << v.error();
    auto ours = read_mft(*v);
    ASSERT_TRUE(ours.ok()) << ours.error();
    std::string error;
    const auto theirs = fixture::fsntfsinfo_names(path, v->partition_offset, error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_FALSE(theirs.empty());

    // fsntfsinfo 20200921 decodes UTF-16 surrogate pairs wrongly (party U+1F389 comes out as
    // U+1EF8A), so characters beyond the BMP are compared as '?'; our decoding of pairs is checked
    // against hand-made records in file_record_test.cpp.
    auto bmp_only = [](const std::string& s) {
        std::string out;
        for (size_t i = 0; i < s.size(); ++i) {
            if ((static_cast<unsigned char>(s[i]) & 0xF8) == 0xF0 && i + 3 < s.size()) {
                out += '?';
                i += 3;
            } else {
                out += s[i];
            }
        }
        return out;
    };
    using Key = std::tuple<uint64_t, uint64_t, std::string, bool>;
    std::map<Key, const MftRecord*> mine;
    for (const auto& r : *ours) mine[Key{r.record, r.parent, bmp_only(r.name), r.is_dir}] = &r;
    std::map<Key, const fixture::ReferenceName*> ref;
    for (const auto& r : theirs) ref[Key{r.record, r.parent, bmp_only(r.name), r.is_dir}] = &r;

    int shown = 0;
    size_t missing = 0, extra = 0, size_diff = 0, time_diff = 0, sizes = 0, times = 0;
    for (const auto& [k, r] : ref) {
        auto it = mine.find(k);
        if (it == mine.end()) {
            ++missing;
            if (shown++ < 10) ADD_FAILURE() << "missing: record " << r->record << " parent " << r->parent << " " << r->name;
            continue;
        }
        if (r->size) {
            ++sizes;
            if (*r->size != it->second->size && ++size_diff && shown++ < 10)
                ADD_FAILURE() << "size of " << r->name << ": ours " << it->second->size << ", theirs " << *r->size;
        }
        if (r->modified) {
            ++times;
            if (*r->modified != it->second->modified && ++time_diff && shown++ < 10)
                ADD_FAILURE() << "time of " << r->name << ": ours " << it->second->modified << ", theirs " << *r->modified;
        }
    }
    for (const auto& [k, r] : mine) {
        if (!ref.count(k)) {
            ++extra;
            if (shown++ < 20) ADD_FAILURE() << "extra: record " << r->record << " parent " << r->parent << " " << r->name;
        }
    }
    EXPECT_EQ(missing + extra + size_diff + time_diff, 0u);
    std::printf("%s: %zu names (theirs %zu), %zu sizes and %zu times compared\n", GetParam(), ours->size(),
                theirs.size(), sizes, times);
}

INSTANTIATE_TEST_SUITE_P(Images, SameAsIndependentReader,
                         ::testing::Values("ntfs.raw", "ntfs-2m.raw", "ntfs-lastaccess.raw", "ntfs-ptrn.raw",
                                           "ntfs-ramslack.raw", "charlie.dd", "vsstest.raw", "forensics.ntfs",
                                           "clusters-512.img", "records-4096.img", "demo.img"),
                         [](const auto& info) {
                             std::string n = info.param;
                             std::replace_if(n.begin(), n.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
                             return n;
                         });

TEST(RealVolumes, Mend3_FragmentedMftExtentsFromTheAttributeList) {
    IMAGE_OR_SKIP(path, "fragments-mft.img");
    auto v = open_image(path);
    ASSERT_TRUE(v.ok()) << v.error();
    auto rec0 = read_at(*v, v->mft_start_lcn * v->bytes_per_cluster, v->bytes_per_record);
    ASSERT_TRUE(rec0.ok()) << rec0.error();
    ASSERT_TRUE(apply_fixup(*rec0).ok());
    auto own = find_mft_data_runs(*rec0);
    ASSERT_TRUE(own.ok());
    EXPECT_EQ(own->size(), 87u);
    const auto runs = collect_mft_runs(*v, *rec0, *own);

    // The Sleuth Kit's istat output lists every run of $MFT:$DATA, record 0's then record 15's.
    std::vector<DataRun> want;
    {
        std::string error;
        auto r = platform::run_process("sh", {"-c", "tar -xJOf '" + fixture::shared_testdata() +
                                                        "/go-ntfs/fragments.tar.xz' highly_fragmented_mft/istat.txt"}, true);
        ASSERT_TRUE(r.ok() && r->exit_code == 0);
        std::istringstream in(r->output);
        std::string line;
        bool in_data = false;
        while (std::getline(in, line)) {
            if (line.rfind("Type: ", 0) == 0) in_data = line.rfind("Type: $DATA", 0) == 0;
            unsigned long long lcn, len;
            if (in_data && std::sscanf(line.c_str(), "  Staring address: %llu, length: %llu", &lcn, &len) == 2)
                want.push_back({int64_t(lcn), len});
        }
    }
    ASSERT_EQ(want.size(), 171u);
    EXPECT_EQ(runs, want);
    uint64_t clusters = 0;
    for (const auto& r : runs) clusters += r.clusters;
    EXPECT_EQ(clusters * 4096, 7203717120u);
    EXPECT_EQ(v->mft_valid_data_length, 7203717120u);
}

TEST(RealVolumes, CorruptedImagesFailCleanly) {
    IMAGE_OR_SKIP(path, "charlie.dd");
    std::ifstream f(path, std::ios::binary);
    const std::string raw((std::istreambuf_iterator<char>(f)), {});
    std::vector<std::byte> good(raw.size());
    std::memcpy(good.data(), raw.data(), raw.size());
    const size_t mft = 3157 * 4096;
    auto read_with = [](std::vector<std::byte> image) -> Result<std::vector<MftRecord>> {
        auto v = open_volume_on(std::make_unique<platform::MemoryDevice>(std::move(image)), 'C');
        if (!v) return std::move(v).take_error();
        return read_mft(*v);
    };
    auto all = read_with(good);
    ASSERT_TRUE(all.ok()) << all.error();

    auto zeroed = good;
    std::fill(zeroed.begin() + mft, zeroed.begin() + mft + 4096, std::byte{0});
    auto r = read_with(zeroed);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error(), "not a valid FILE record");

    auto no_boot = good;
    std::fill(no_boot.begin(), no_boot.begin() + 512, std::byte{0});
    r = read_with(no_boot);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error(), "FSCTL_GET_NTFS_VOLUME_DATA failed on C: sector 0 holds neither an NTFS boot sector nor a partition table");

    // Garbage in every record after record 0 except the header: fewer names, no crash.
    auto garbage = good;
    uint32_t x = 12345;
    std::printf("garbage seed 12345\n");
    for (size_t i = mft + 1024; i < mft + 256 * 1024; ++i) {
        x = x * 1103515245 + 12345;
        if ((i % 1024) >= 0x38 && (x >> 28) == 0) garbage[i] = std::byte(x >> 16);
    }
    r = read_with(garbage);
    ASSERT_TRUE(r.ok()) << r.error();
    EXPECT_LE(r->size(), all->size());

    auto truncated = std::vector<std::byte>(good.begin(), good.begin() + mft + 20 * 1024);
    r = read_with(truncated);
    ASSERT_TRUE(r.ok()) << r.error();
    EXPECT_LT(r->size(), all->size());
    EXPECT_GT(r->size(), 10u);
}

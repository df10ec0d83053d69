#include <gtest/gtest.h>

#include "mft/mft_reader.h"
#include "mft/ntfs_builder.h"
#include "common/build_progress.h"
#include "mft/volume.h"
#include "platform/memory_device.h"

using namespace nimbalo;
using fixture::Bytes;
using fixture::RecordBuilder;
using fixture::VolumeLayout;

namespace {

std::u16string u16name(uint64_t i) {
    std::string s = "f" + std::to_string(i);
    return std::u16string(s.begin(), s.end());
}

// Records 0..n-1: record 0 describes the MFT; records 1..n-1 each hold one name "f<i>".
std::vector<Bytes> numbered_records(const VolumeLayout& layout, uint64_t n, uint64_t valid) {
    std::vector<Bytes> recs = {fixture::mft_record0(layout, valid)};
    for (uint64_t i = 1; i < n; ++i)
        recs.push_back(RecordBuilder(layout.bytes_per_record).file_name({5, u16name(i), 1, 0, i, i}).build());
    return recs;
}

std::vector<uint64_t> numbers(const std::vector<MftRecord>& got) {
    std::vector<uint64_t> out;
    for (const auto& r : got) {
        EXPECT_EQ(r.name, "f" + std::to_string(r.record)) << "record numbered wrong";
        if (r.name != "$MFT") out.push_back(r.record);
    }
    return out;
}

std::vector<uint64_t> range(uint64_t from, uint64_t to) {
    std::vector<uint64_t> v;
    for (uint64_t i = from; i < to; ++i) v.push_back(i);
    return v;
}

// The counters of the last read().
BuildProgress last_progress;

Result<std::vector<MftRecord>> read(Bytes image, uint64_t piece, uint64_t fail_from = UINT64_MAX,
                                    uint64_t fail_to = 0) {
    auto dev = std::make_unique<platform::MemoryDevice>(std::move(image));
    dev->fail_reads_for_tests(fail_from, fail_to);
    auto v = open_volume_on(std::move(dev), 'T');
    if (!v) return std::move(v).take_error();
    return read_mft_with_piece_size_for_tests(*v, piece, &last_progress);
}

// Drops record 0 ($MFT) so the numbered files remain.
std::vector<MftRecord> files(std::vector<MftRecord> got) {
    std::erase_if(got, [](const MftRecord& r) { return r.record == 0; });
    return got;
}

}  // namespace

TEST(MftReader, ReadsEveryRecordInOrderAcrossPiecesAndRuns) {
    struct Case {
        const char* what;
        uint32_t bpc, rs;
        std::vector<DataRun> runs;
        uint64_t records;
        uint64_t piece;
    } cases[] = {
        {"one run, one piece", 4096, 1024, {{10, 16}}, 64, 1 << 20},
        {"two runs, small pieces", 4096, 1024, {{10, 8}, {30, 8}}, 64, 8192},
        {"pieces not a multiple of the record size", 4096, 1024, {{10, 16}}, 64, 3000},
        {"4 KiB records", 4096, 4096, {{10, 6}, {40, 10}}, 16, 8192},
        {"mend 4: 512-byte clusters, runs ending inside records", 512, 1024, {{20, 5}, {100, 7}, {200, 21}}, 16, 1 << 20},
        {"mend 4: split records and small pieces", 512, 1024, {{20, 3}, {100, 3}, {200, 3}, {300, 55}}, 32, 1536},
        {"2 MiB clusters: many records per cluster", 2 << 20, 1024, {{1, 1}}, 2048, 1 << 20},
    };
    for (const auto& c : cases) {
        VolumeLayout layout;
        layout.bytes_per_cluster = c.bpc;
        layout.bytes_per_record = c.rs;
        layout.mft_runs = c.runs;
        uint64_t last_lcn = 0;
        for (auto& r : c.runs) last_lcn = std::max<uint64_t>(last_lcn, uint64_t(r.lcn) + r.clusters);
        layout.total_clusters = last_lcn + 2;
        const uint64_t valid = c.records * c.rs;
        auto got = read(fixture::build_volume(layout, numbered_records(layout, c.records, valid)), c.piece);
        ASSERT_TRUE(got.ok()) << c.what << ": " << got.error();
        EXPECT_EQ(numbers(files(*got)), range(1, c.records)) << c.what;
        EXPECT_EQ(last_progress.total.load(), c.records) << c.what;
        EXPECT_EQ(last_progress.state.load(), BuildProgress::kReadingMft);
    }
}

TEST(MftReader, Mend5_SparseRunsKeepNumbering) {
    VolumeLayout layout;
    layout.mft_runs = {{10, 4}, {-1, 4}, {30, 8}};  // records 16..31 have no clusters
    layout.total_clusters = 64;
    auto got = read(fixture::build_volume(layout, numbered_records(layout, 64, 64 * 1024)), 8192);
    ASSERT_TRUE(got.ok()) << got.error();
    auto want = range(1, 16);
    for (uint64_t i = 32; i < 64; ++i) want.push_back(i);
    EXPECT_EQ(numbers(files(*got)), want);
}

TEST(MftReader, Mend3_ExtentsContinuedThroughTheAttributeList) {
    VolumeLayout layout;
    layout.mft_runs = {{10, 4}, {50, 4}};  // where the records lie
    layout.total_clusters = 64;
    const uint64_t valid = 32 * 1024;
    auto recs = numbered_records(layout, 32, valid);
    // Record 0 holds only the first extent (VCN 0-3); record 3 holds VCN 4-7 and is named by the list.
    const auto list = RecordBuilder::attribute_list_value({{0x10, 0, 0}, {0x30, 0, 0}, {0x80, 0, 0}, {0x80, 4, 3}});
    recs[0] = RecordBuilder()
                  .standard_information(1)
                  .resident(0x20, list)
                  .file_name({5, u"$MFT", 3, 0, 0, 1})
                  .nonresident(0x80, 0, 3, valid, valid, {{10, 4}})
                  .build();
    recs[3] = RecordBuilder().base(uint64_t(1) << 48).nonresident(0x80, 4, 7, 0, 0, {{50, 4}}).build();
    auto got = read(fixture::build_volume(layout, recs), 1 << 20);
    ASSERT_TRUE(got.ok()) << got.error();
    auto want = range(1, 32);
    want.erase(want.begin() + 2);  // record 3 is the extension record: no name
    EXPECT_EQ(numbers(files(*got)), want);
}

TEST(MftReader, FailuresAndDamage) {
    VolumeLayout layout;
    layout.mft_runs = {{10, 16}};
    layout.total_clusters = 64;
    const auto good = fixture::build_volume(layout, numbered_records(layout, 64, 64 * 1024));

    Bytes zeroed = good;
    std::fill(zeroed.begin() + 40960, zeroed.begin() + 40960 + 1024, std::byte{0});
    auto r = read(zeroed, 1 << 20);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error(), "not a valid FILE record");

    Bytes no_data = good;
    const Bytes r0 = RecordBuilder().file_name({5, u"$MFT", 3, 0, 0, 1}).build();
    std::copy(r0.begin(), r0.end(), no_data.begin() + 40960);
    r = read(no_data, 1 << 20);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error(), "MFT $DATA runlist not found");

    Bytes bad_usa = good;
    fixture::put(bad_usa, 40960 + 6, 70, 2);
    r = read(bad_usa, 1 << 20);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error(), "bad update-sequence array");

    Bytes truncated(good.begin(), good.begin() + 40960 + 512);
    r = read(truncated, 1 << 20);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error(), "short read at 40960: got 512/1024 bytes");

    // Truncated inside the MFT: the records that are there (the torn one parsed as far as it
    // goes, like the short last record of a read), nothing else.
    Bytes cut(good.begin(), good.begin() + 40960 + 20 * 1024 + 300);
    r = read(cut, 8192);
    ASSERT_TRUE(r.ok()) << r.error();
    EXPECT_EQ(numbers(files(*r)), range(1, 21));

    // A failing piece loses its records only; the pieces after it keep their numbers.
    r = read(good, 8192, 40960 + 8 * 1024, 40960 + 16 * 1024);
    ASSERT_TRUE(r.ok()) << r.error();
    auto want = range(1, 8);
    for (uint64_t i = 16; i < 64; ++i) want.push_back(i);
    EXPECT_EQ(numbers(files(*r)), want);

    // Garbage run list: reads fail or find no FILE records; never a crash or a huge allocation.
    Bytes garbage_runs = good;
    const Bytes g0 = RecordBuilder().file_name({5, u"$MFT", 3, 0, 0, 1})
                         .nonresident(0x80, 0, 0, 64 * 1024, 64 * 1024, {{INT64_MAX / 2, UINT64_MAX / 2}, {-1, 77}, {3, 1}})
                         .build();
    std::copy(g0.begin(), g0.end(), garbage_runs.begin() + 40960);
    r = read(garbage_runs, 1 << 20);
    ASSERT_TRUE(r.ok()) << r.error();
    EXPECT_TRUE(files(*r).empty());
}

TEST(MftReader, TotalIsAtLeastOne) {
    VolumeLayout layout;
    layout.mft_runs = {{10, 1}};
    layout.total_clusters = 64;
    auto r = read(fixture::build_volume(layout, {fixture::mft_record0(layout, 100)}), 1 << 20);
    ASSERT_TRUE(r.ok()) << r.error();
    EXPECT_EQ(last_progress.total.load(), 1u);
}

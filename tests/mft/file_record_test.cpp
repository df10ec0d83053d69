#include <gtest/gtest.h>

#include "mft/file_record.h"
#include "mft/ntfs_builder.h"
#include "mft/usa_fixup.h"

using namespace nimbalo;
using fixture::Bytes;
using fixture::NameFields;
using fixture::RecordBuilder;

namespace {
constexpr uint32_t kDir = 0x10000000;
std::vector<MftRecord> parse(Bytes r, uint64_t number = 77) { return parse_file_record(r, number); }
}  // namespace

TEST(FileRecord, NamesFromFileNameAttributes) {
    struct Case {
        const char* what;
        Bytes record;
        std::vector<MftRecord> want;
    } cases[] = {
        {"Win32 name kept, DOS name skipped",
         RecordBuilder().file_name({5, u"Program Files", 1, kDir, 0, 100}).file_name({5, u"PROGRA~1", 2, kDir, 0, 100}).build(),
         {{"Program Files", 5, 77, 0, 100, true}}},
        {"only a DOS name: nothing", RecordBuilder().file_name({5, u"PROGRA~1", 2, 0, 9, 1}).build(), {}},
        {"POSIX and Win32+DOS namespaces",
         RecordBuilder().file_name({5, u"a", 0, 0, 3, 7}).file_name({6, u"B", 3, 0, 3, 7}).build(),
         {{"a", 5, 77, 3, 7, false}, {"B", 6, 77, 3, 7, false}}},
        {"hard links: one record per link with its own parent",
         RecordBuilder().file_name({40, u"x.txt", 1, 0, 5, 9}).file_name({41, u"x.txt", 1, 0, 5, 9}).build(),
         {{"x.txt", 40, 77, 5, 9, false}, {"x.txt", 41, 77, 5, 9, false}}},
        {"unpaired surrogate becomes U+FFFD",
         RecordBuilder().file_name({5, std::u16string(u"a") + char16_t(0xD800) + u"b", 1, 0, 0, 0}).build(),
         {{"a\xEF\xBF\xBD" "b", 5, 77, 0, 0, false}}},
        {"non-ASCII and a surrogate pair",
         RecordBuilder().file_name({5, u"R\u00c9SUM\u00c9 \u03b1\u6f22\U0001F600", 1, 0, 0, 0}).build(),
         {{"R\xC3\x89SUM\xC3\x89 \xCE\xB1\xE6\xBC\xA2\xF0\x9F\x98\x80", 5, 77, 0, 0, false}}},
        {"free record with old attributes: nothing",
         RecordBuilder().in_use(false).file_name({5, u"gone", 1, 0, 0, 0}).build(), {}},
        {"parent keeps only the low 48 bits",
         RecordBuilder().file_name({0x0000123456789ABCull, u"p", 1, 0, 0, 0}).build(),
         {{"p", 0x123456789ABCull, 77, 0, 0, false}}},
    };
    for (auto& c : cases) EXPECT_EQ(parse(c.record), c.want) << c.what;
}

TEST(FileRecord, Mend_SizeFromDataAndTimeFromStandardInformation) {
    struct Case {
        const char* what;
        Bytes record;
        uint64_t size, modified;
    } cases[] = {
        {"resident unnamed $DATA gives the size, $SI the time",
         RecordBuilder().standard_information(5000).file_name({5, u"f", 1, 0, 0, 1}).resident_data(123).build(), 123, 5000},
        {"non-resident: data size of the VCN 0 extent",
         RecordBuilder().standard_information(6000).file_name({5, u"f", 1, 0, 0, 1})
             .nonresident(0x80, 0, 9, 40000, 30000, {{100, 10}}).build(), 40000, 6000},
        {"a later extent (VCN > 0) says nothing about the size",
         RecordBuilder().file_name({5, u"f", 1, 0, 11, 1}).nonresident(0x80, 10, 19, 99, 99, {{100, 10}}).build(), 11, 1},
        {"a named stream is not the file's size",
         RecordBuilder().file_name({5, u"f", 1, 0, 11, 1}).resident_data(500, u"ads").build(), 11, 1},
        {"no $DATA, no $SI: the $FILE_NAME values", RecordBuilder().file_name({5, u"f", 1, 0, 11, 2}).build(), 11, 2},
    };
    for (auto& c : cases) {
        auto got = parse(c.record);
        ASSERT_EQ(got.size(), 1u) << c.what;
        EXPECT_EQ(got[0].size, c.size) << c.what;
        EXPECT_EQ(got[0].modified, c.modified) << c.what;
    }
    // Directories keep the $FILE_NAME values.
    auto dir = parse(RecordBuilder().standard_information(9).file_name({5, u"d", 1, kDir, 0, 3}).build());
    ASSERT_EQ(dir.size(), 1u);
    EXPECT_EQ(dir[0].modified, 3u);
}

TEST(FileRecord, Mend_NamesInExtensionRecordsBelongToTheBaseRecord) {
    auto got = parse(RecordBuilder().base(42 | (uint64_t(3) << 48)).file_name({5, u"moved", 1, kDir, 0, 0}).build(), 900);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].record, 42u);
}

TEST(FileRecord, DamagedRecordsNeverReadOutside) {
    const Bytes good = RecordBuilder().file_name({5, u"one", 1, 0, 0, 0}).file_name({5, u"two", 1, 0, 0, 0}).build();
    // Offsets of the two $FILE_NAME attributes in the built record (first at 0x38).
    const size_t a1 = 0x38;
    const size_t a2 = a1 + uint8_t(good[a1 + 4]);
    auto with = [&](size_t at, uint64_t v, int n) { Bytes r = good; fixture::put(r, at, v, n); return r; };
    struct Case {
        const char* what;
        Bytes record;
        size_t names;
    } cases[] = {
        {"intact", good, 2},
        {"attribute length 0 stops", with(a2 + 4, 0, 4), 1},
        {"attribute length past the end stops", with(a2 + 4, 5000, 4), 1},
        {"no end marker, length runs to the end", with(a2 + uint8_t(good[a2 + 4]), 0x30, 4), 2},
        {"name length 200 in a 100-byte value is skipped", with(a1 + 0x18 + 0x40, 200, 1), 1},
        {"value offset past the buffer is skipped", with(a1 + 0x14, 0xFFF0, 2), 1},
        {"value too short for a $FILE_NAME is skipped", with(a1 + 0x10, 65, 4), 1},
        {"empty name is skipped", with(a1 + 0x18 + 0x40, 0, 1), 1},
        {"first attribute offset past the end", with(0x14, 1020, 2), 0},
        {"not FILE", with(0, 0x44414142, 4), 0},
        {"bad fixup", with(6, 1, 2), 0},
    };
    for (auto& c : cases) {
        // Parse in a buffer of exactly the record's size so ASan sees any stray read.
        auto r = std::make_unique<std::byte[]>(c.record.size());
        std::memcpy(r.get(), c.record.data(), c.record.size());
        EXPECT_EQ(parse_file_record(std::span(r.get(), c.record.size()), 1).size(), c.names) << c.what;
    }
    // A header cut short by the buffer's end: an 8-byte $DATA attribute in the buffer's last 8 bytes.
    {
        Bytes r = with(a2, 0x80, 4);
        fixture::put(r, a2 + 4, 8, 4);
        auto cut = std::make_unique<std::byte[]>(a2 + 8);
        std::memcpy(cut.get(), r.data(), a2 + 8);
        EXPECT_EQ(parse_file_record(std::span(cut.get(), a2 + 8), 1).size(), 1u);
    }
    // Every truncation of the record parses without reading outside it.
    for (size_t len = 0; len <= good.size(); ++len) {
        auto r = std::make_unique<std::byte[]>(len ? len : 1);
        std::memcpy(r.get(), good.data(), len);
        (void)parse_file_record(std::span(r.get(), len), 1);
    }
}

TEST(FileRecord, FindsTheMftRunList) {
    const std::vector<DataRun> runs = {{786432, 64}, {782336, 16}};
    Bytes r0 = RecordBuilder().standard_information(1).file_name({5, u"$MFT", 3, 0, 0, 0})
                   .nonresident(0x80, 0, 79, 81920, 81920, runs).build();
    ASSERT_TRUE(apply_fixup(r0).ok());
    auto got = find_mft_data_runs(r0);
    ASSERT_TRUE(got.ok());
    EXPECT_EQ(*got, runs);

    struct Case {
        const char* what;
        Bytes record;
    } bad[] = {
        {"resident $DATA only", RecordBuilder().resident_data(10).build()},
        {"no $DATA", RecordBuilder().file_name({5, u"x", 1, 0, 0, 0}).build()},
        {"$DATA header shorter than a non-resident header",
         RecordBuilder().raw(Bytes{std::byte{0x80}, {}, {}, {}, {}, {}, {}, {}, std::byte{1}, {}, {}, {}, {}, {}, {}, {}}).build()},
    };
    for (auto& c : bad) {
        ASSERT_TRUE(apply_fixup(c.record).ok());
        auto e = find_mft_data_runs(c.record);
        ASSERT_FALSE(e.ok()) << c.what;
        EXPECT_EQ(e.error(), "MFT $DATA runlist not found");
    }
}

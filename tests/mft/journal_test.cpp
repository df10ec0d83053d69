// Change-journal batches, the $J stream walk, and journals read through whole volumes.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "mft/independent_reader.h"
#include "mft/journal.h"
#include "mft/ntfs_builder.h"
#include "mft/usn_batch.h"

using namespace nimbalo;
using fixture::Bytes;
using fixture::put;

namespace {

// One change record of version 2, 3 or 4 (4: just a range-tracking header of 64 bytes).
Bytes usn_record(int version, int64_t usn, uint32_t reason, const std::u16string& name, uint64_t file = 0x0005000000000123,
                 uint64_t parent = 0x0001000000000005, uint32_t attributes = 0x20) {
    const size_t fixed = version == 3 ? 76 : 60;
    Bytes r(version == 4 ? 64 : (fixed + 2 * name.size() + 7) & ~size_t(7), std::byte{0});
    put(r, 0, r.size(), 4);
    put(r, 4, version, 2);
    if (version == 2) {
        put(r, 8, file, 8), put(r, 16, parent, 8), put(r, 24, uint64_t(usn), 8), put(r, 32, 132400000000000000 + uint64_t(usn), 8);
        put(r, 40, reason, 4), put(r, 52, attributes, 4), put(r, 56, 2 * name.size(), 2), put(r, 58, 60, 2);
    } else if (version == 3) {
        put(r, 8, file, 8), put(r, 16, 0xFFFF, 8), put(r, 24, parent, 8), put(r, 32, 0xFFFF, 8);
        put(r, 40, uint64_t(usn), 8), put(r, 48, 132400000000000000 + uint64_t(usn), 8), put(r, 56, reason, 4);
        put(r, 68, attributes, 4), put(r, 72, 2 * name.size(), 2), put(r, 74, 76, 2);
    }
    for (size_t i = 0; version != 4 && i < name.size(); ++i) put(r, fixed + 2 * i, name[i], 2);
    return r;
}

Bytes batch(int64_t next, std::initializer_list<Bytes> records) {
    Bytes out(8);
    put(out, 0, uint64_t(next), 8);
    for (const auto& r : records) out.insert(out.end(), r.begin(), r.end());
    return out;
}

Bytes read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    const std::string s((std::istreambuf_iterator<char>(f)), {});
    Bytes b(s.size());
    std::memcpy(b.data(), s.data(), s.size());
    return b;
}

}  // namespace

TEST(Journal, ReasonNames) {
    struct Case {
        uint32_t mask;
        const char* want;
    } cases[] = {
        {0x100, "create"}, {0x102, "create+data-extend"}, {0x80000200, "delete"}, {0x00400000, "0x00400000"},
        {0, "0x00000000"}, {0x3000, "rename(old)+rename(new)"},
        {0x0001FFFF, "create+delete+rename(old)+rename(new)+data-extend+data-overwrite+data-truncation+info-change+security-change+hardlink-change"},
    };
    for (const auto& c : cases) EXPECT_EQ(reason_names(c.mask), c.want) << std::hex << c.mask;
}

TEST(Journal, ParsesVersion2And3Records) {
    const auto out = batch(4096, {usn_record(2, 100, 0x100, u"new.txt"),
                                  usn_record(3, 200, 0x2000, u"v3 \u00e9.txt", 0xFFFF000000000777, 0xABCD000000000010, 0x10),
                                  usn_record(4, 300, 0x2, u""),
                                  usn_record(2, 400, 0x80000002, u"closed.txt"),
                                  usn_record(2, 500, 0x200, u""),
                                  usn_record(2, 600, 0x1, std::u16string(u"a") + char16_t(0xDC00))});
    const auto b = parse_usn_batch(out, 50);
    ASSERT_EQ(b.changes.size(), 4u);
    EXPECT_EQ(b.next, 4096);  // the batch's own next USN, not highest + 1
    EXPECT_EQ(b.records, 5u);  // v2/v3 seen, the close record included, v4 not
    EXPECT_EQ(b.changes[0], (UsnChange{"new.txt", 0x123, 5, 132400000000000100, 0x100, false}));
    EXPECT_EQ(b.changes[1], (UsnChange{"v3 \xC3\xA9.txt", 0x777, 0x10, 132400000000000200, 0x2000, true}));
    EXPECT_EQ(b.changes[2].name, "");
    EXPECT_EQ(b.changes[3].name, "a\xEF\xBF\xBD");
}

TEST(Journal, DamagedBatchesEndQuietly) {
    auto name_past_end = usn_record(2, 100, 0x100, u"abc");
    put(name_past_end, 58, 200, 2);
    auto zero_len = usn_record(2, 200, 0x100, u"z");
    put(zero_len, 0, 0, 4);
    auto too_long = usn_record(2, 300, 0x100, u"long");
    put(too_long, 0, 5000, 4);
    auto short_v3 = usn_record(2, 400, 0x100, u"x");
    put(short_v3, 4, 3, 2);  // claims version 3 but is shorter than its fixed fields
    struct Case {
        const char* what;
        Bytes out;
        size_t changes;
        int64_t next;
    } cases[] = {
        {"name past the record: empty name", batch(9, {name_past_end}), 1, 9},
        {"length 0 stops", batch(9, {usn_record(2, 1, 1, u"a"), zero_len, usn_record(2, 2, 1, u"b")}), 1, 9},
        {"length past the batch stops", batch(9, {usn_record(2, 1, 1, u"a"), too_long}), 1, 9},
        {"fixed fields past the record: passed over", batch(9, {short_v3, usn_record(2, 2, 1, u"b")}), 1, 9},
        {"no leading USN: start", Bytes(4), 0, 77},
        {"close-only batch: empty, but moves on", batch(500, {usn_record(2, 1, 0x80000000, u"c")}), 0, 500},
    };
    for (const auto& c : cases) {
        const auto b = parse_usn_batch(c.out, 77);
        EXPECT_EQ(b.changes.size(), c.changes) << c.what;
        EXPECT_EQ(b.next, c.next) << c.what;
    }
}

TEST(Journal, StreamWalkSkipsPaddingAndJunkAndKeepsRecordsWhole) {
    // A $J of three pages starting at USN 8192: records, zero padding, junk, a v4 record.
    const int64_t base = 8192;
    Bytes j(3 * 4096, std::byte{0});
    std::vector<int64_t> want;
    auto place = [&](int64_t usn, const Bytes& r) {
        std::memcpy(j.data() + (usn - base), r.data(), r.size());
        want.push_back(usn);
    };
    const Bytes one = usn_record(2, 8192, 0x100, u"one");                 // 72 bytes
    const int64_t two_at = 8192 + int64_t(one.size());
    const Bytes two = usn_record(3, two_at, 0x100, u"two");               // 88 bytes
    place(8192, one);
    place(two_at, two);
    // the rest of page 1 is padding
    const Bytes three = usn_record(2, 12288, 0x100, u"three");
    place(12288, three);
    put(j, 12288 + three.size() - base, 0xDEADBEEF, 4);  // junk: the walk moves to the next page
    put(j, 12288 + three.size() + 4 - base, 0x1234, 4);
    place(16384, usn_record(4, 16384, 0, u""));
    const Bytes four = usn_record(2, 16384 + 64, 0x200, u"four");
    place(16384 + 64, four);
    const int64_t end = 16384 + 64 + int64_t(four.size());

    auto usns = [](const Bytes& out) {
        std::vector<int64_t> v;
        for (size_t s = 8; s + 8 <= out.size();) {
            uint32_t len;
            std::memcpy(&len, out.data() + s, 4);
            uint16_t major;
            std::memcpy(&major, out.data() + s + 4, 2);
            int64_t usn;
            std::memcpy(&usn, out.data() + s + (major == 3 ? 40 : 24), 8);
            v.push_back(major == 4 ? 16384 : usn);
            s += len;
        }
        return v;
    };
    auto next_of = [](const Bytes& out) {
        int64_t n;
        std::memcpy(&n, out.data(), 8);
        return n;
    };
    auto all = usn_stream_batch(std::span(j).first(size_t(end - base)), base, end, 0, 1 << 20);
    EXPECT_EQ(usns(all), want);
    EXPECT_EQ(next_of(all), end);

    // A limit that cuts the third record: it waits for the next read, which continues there.
    auto first = usn_stream_batch(std::span(j).first(size_t(end - base)), base, end, base, one.size() + two.size() + 8);
    EXPECT_EQ(usns(first), (std::vector<int64_t>{8192, two_at}));
    EXPECT_EQ(next_of(first), 12288);  // past the padding, at the record that did not fit
    auto second = usn_stream_batch(std::span(j).first(size_t(end - base)), base, end, next_of(first), 1 << 20);
    EXPECT_EQ(usns(second), (std::vector<int64_t>{12288, 16384, 16384 + 64}));

    // Reading at the end gives nothing and stays at the end; a record cut by the stream's end
    // never completes and is skipped.
    auto at_end = usn_stream_batch(std::span(j).first(size_t(end - base)), base, end, end, 1 << 20);
    EXPECT_EQ(at_end.size(), 8u);
    EXPECT_EQ(next_of(at_end), end);
    auto cut = usn_stream_batch(std::span(j).first(size_t(end - 10 - base)), base, end - 10, 16384 + 64, 1 << 20);
    EXPECT_EQ(cut.size(), 8u);
    EXPECT_EQ(next_of(cut), end - 10);
}

TEST(Journal, WindowsJournalExcerpts) {
    // Real $J excerpts: every record's USN equals its offset in the stream, which the walk must find
    // across zero fill and junk. usn_sample.bin starts at USN 312568880.
    struct Case {
        const char* file;
        int64_t base;
        size_t records;
    } cases[] = {
        {"/go-ntfs/usn_sample.bin", 312568880, 208},
        {"/plaso/UsnJrnl.raw", 0, 19},
    };
    for (const auto& c : cases) {
        const Bytes j = read_file(fixture::shared_testdata() + c.file);
        ASSERT_FALSE(j.empty()) << c.file;
        const auto out = usn_stream_batch(j, c.base, c.base + int64_t(j.size()), c.base, 64 << 20);
        size_t n = 0;
        for (size_t s = 8; s + 8 <= out.size(); ++n) {
            uint32_t len;
            int64_t usn;
            std::memcpy(&len, out.data() + s, 4);
            std::memcpy(&usn, out.data() + s + 24, 8);
            EXPECT_EQ(usn, c.base + int64_t(out.size() > 0 ? 0 : 0) + (usn - c.base)) << c.file;
            s += len;
        }
        EXPECT_EQ(n, c.records) << c.file;
        const auto b = parse_usn_batch(out, c.base);
        EXPECT_EQ(b.records, c.records) << c.file;
    }
}

TEST(Journal, NoJournalIsAClearError) {
    std::string error;
    const std::string path = fixture::test_image("charlie.dd", error);
    ASSERT_FALSE(path.empty()) << error;
    auto dev = platform::open_raw_path(path);
    auto v = open_volume_on(std::move(*dev), 'C');
    ASSERT_TRUE(v.ok());
    auto j = open_journal_on(std::move(*v));
    ASSERT_FALSE(j.ok());
    EXPECT_EQ(j.error(), "FSCTL_QUERY_USN_JOURNAL failed on C: the volume has no change journal ($Extend\\$UsnJrnl not found)");
}

TEST(Journal, SyntheticVersion2And3And4JournalThroughTheVolume) {
    // tools/make_synthetic_mft.py writes $J (versions 2, 3 and 4, page padding, a leading hole) and,
    // beside the image, the changes a reader must report.
    std::string error;
    const std::string path = fixture::test_image("synthetic-journal.img", error);
    ASSERT_FALSE(path.empty()) << error;
    std::ifstream f(path + ".changes");
    std::vector<UsnChange> want;
    std::string line;
    while (std::getline(f, line)) {
        std::istringstream in(line);
        UsnChange c;
        int64_t usn;
        int dir;
        in >> usn >> c.reason >> c.record >> c.parent >> dir;
        c.is_dir = dir != 0;
        in.get();
        std::getline(in, c.name);
        want.push_back(c);
    }
    ASSERT_GT(want.size(), 1000u);
    auto dev = platform::open_raw_path(path);
    ASSERT_TRUE(dev.ok());
    auto v = open_volume_on(std::move(*dev), 'S');
    ASSERT_TRUE(v.ok()) << v.error();
    auto got = latest_changes_on(std::move(*v), 1000000);
    ASSERT_TRUE(got.ok()) << got.error();
    ASSERT_EQ(got->size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ((*got)[i].name, want[i].name) << i;
        EXPECT_EQ((*got)[i].reason, want[i].reason) << i;
        EXPECT_EQ((*got)[i].record, want[i].record) << i;
        EXPECT_EQ((*got)[i].parent, want[i].parent) << i;
        EXPECT_EQ((*got)[i].is_dir, want[i].is_dir) << i;
    }
}

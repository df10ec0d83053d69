#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "index/index_file.h"
#include "support/temp_dir.h"

using namespace nimbalo;
namespace fs = std::filesystem;

namespace {

std::string u32(uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
std::string u64(uint64_t v) { return u32(uint32_t(v)) + u32(uint32_t(v >> 32)); }
std::string entry(uint32_t start, uint32_t len, uint32_t name, uint8_t dir, uint64_t size, uint64_t mod) {
    return u32(start) + u32(len) + u32(name) + std::string(1, char(dir)) + u64(size) + u64(mod);
}
std::string file_of(std::string_view letter, std::string_view names, const std::vector<std::string>& entries) {
    std::string out(letter);
    out += u64(names.size());
    out += names;
    out += u64(entries.size());
    for (auto& e : entries) out += e;
    return out;
}

// The one-file index of the format's documentation: C:\ then C:\a.txt.
Index one_file_index() {
    Index ix;
    ix.letter = 'C';
    ix.names = "C:\\C:\\a.txt";
    ix.entries.push_back({3, 8, 5, false, 0x0102030405060708ull, 0x1112131415161718ull});
    return ix;
}

}  // namespace

TEST(IndexFile, OneFileExampleIsExactly57Bytes) {
    const std::string bytes = serialize_index(one_file_index());
    std::string want = "C" + u64(11) + "C:\\C:\\a.txt" + u64(1);
    want += std::string("\x03\x00\x00\x00\x08\x00\x00\x00\x05\x00\x00\x00\x00", 13);
    want += "\x08\x07\x06\x05\x04\x03\x02\x01";
    want += "\x18\x17\x16\x15\x14\x13\x12\x11";
    ASSERT_EQ(bytes.size(), 57u);
    EXPECT_EQ(bytes, want);

    auto back = parse_index_file(want, 'C');
    ASSERT_TRUE(back.ok()) << back.error();
    EXPECT_EQ(back->letter, 'C');
    EXPECT_EQ(back->names, "C:\\C:\\a.txt");
    EXPECT_EQ(back->entries, one_file_index().entries);
}

TEST(IndexFile, RoundTripKeepsEveryField) {
    Index ix;
    ix.names = "C:\\";
    auto add = [&](std::string path, uint32_t name_len, bool dir, uint64_t size, uint64_t mod) {
        ix.entries.push_back({uint32_t(ix.names.size()), uint32_t(path.size()), name_len, dir, size, mod});
        ix.names += path;
        if (dir) ix.names += "\\";
    };
    // Sizes and times at the extremes of their widths; multibyte names.
    add("C:\\Users", 5, true, 0, 0);
    add("C:\\Users\\Zo\xC3\xAB", 4, true, 1, UINT64_MAX);
    add("C:\\Users\\Zo\xC3\xAB\\\xE6\x97\xA5\xE6\x9C\xAC.txt", 10, false, UINT64_MAX, 132000000000000000ull);
    auto back = parse_index_file(serialize_index(ix), 'C');
    ASSERT_TRUE(back.ok()) << back.error();
    EXPECT_EQ(back->names, ix.names);
    EXPECT_EQ(back->entries, ix.entries);
    EXPECT_TRUE(back->sorted.empty());
}

TEST(IndexFile, RejectsEveryBadFile) {
    const std::string names = "C:\\C:\\a.txt";
    const std::string ok_entry = entry(3, 8, 5, 0, 1, 2);
    std::string twenty;  // 19 whole entries and part of the 20th
    for (int i = 0; i < 19; ++i) twenty += ok_entry;
    twenty += ok_entry.substr(0, 20);
    const std::string multi = "C:\\C:\\é.txt";  // é is 2 bytes at offset 6..7
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty file", ""},
        {"letter byte 0xFF", file_of("\xFF", names, {ok_entry})},
        {"letter a continuation byte", file_of("\x80", names, {ok_entry})},
        {"letter sequence cut short", std::string("\xC3")},
        {"letter of another drive", file_of("D", names, {ok_entry})},
        {"lower-case letter", file_of("c", names, {ok_entry})},
        {"non-ASCII letter", file_of("\xC3\x89", names, {ok_entry})},
        {"names length short", "C" + u64(11).substr(0, 5)},
        {"names length beyond the file", "C" + u64(1000) + names},
        {"names length near 2^64", "C" + u64(UINT64_MAX) + names},
        {"names not UTF-8", file_of("C", "C:\\\xFF", {})},
        {"count missing", "C" + u64(names.size()) + names + "\x01"},
        {"ends in the 20th entry", file_of("C", names, {}).substr(0, 1 + 8 + names.size()) + u64(20) + twenty},
        {"is_dir 2", file_of("C", names, {entry(3, 8, 5, 2, 0, 0)})},
        {"range past names", file_of("C", names, {entry(3, 9, 5, 0, 0, 0)})},
        {"start past names", file_of("C", names, {entry(12, 0, 0, 0, 0, 0)})},
        {"range wraps in 32 bits", file_of("C", names, {entry(0xFFFFFFF0u, 0x20, 1, 0, 0, 0)})},
        {"name longer than path", file_of("C", names, {entry(3, 8, 9, 0, 0, 0)})},
        {"path starts inside a character", file_of("C", multi, {entry(7, 5, 4, 0, 0, 0)})},
        {"path ends inside a character", file_of("C", multi, {entry(3, 4, 1, 0, 0, 0)})},
        {"name starts inside a character", file_of("C", multi, {entry(3, 9, 5, 0, 0, 0)})},
        {"entries overlap", file_of("C", names, {ok_entry, ok_entry})},
        {"entries run backwards", file_of("C", "C:\\C:\\a.txtC:\\b.txt", {entry(11, 8, 5, 0, 0, 0), entry(3, 8, 5, 0, 0, 0)})},
    };
    for (const auto& c : cases) {
        auto r = parse_index_file(c.bytes, 'C');
        EXPECT_FALSE(r.ok()) << c.what;
        if (!r.ok()) {
            EXPECT_FALSE(r.error().empty()) << c.what;
        }
    }
    // Sanity of the fixtures: the multibyte arena with boundary-true ranges loads.
    EXPECT_TRUE(parse_index_file(file_of("C", multi, {entry(3, 9, 6, 0, 0, 0)}), 'C').ok());
}

TEST(IndexFile, ExtraBytesAfterTheLastEntryAreIgnored) {
    std::string bytes = serialize_index(one_file_index()) + "trailing garbage";
    auto r = parse_index_file(bytes, 'C');
    ASSERT_TRUE(r.ok()) << r.error();
    EXPECT_EQ(r->entries.size(), 1u);
}

TEST(IndexFile, HugeCountDoesNotReserveForIt) {
    // A count of 2^40 over an empty rest must fail quickly on the missing bytes, not on memory.
    const std::string bytes = "C" + u64(0) + u64(uint64_t(1) << 40);
    EXPECT_FALSE(parse_index_file(bytes, 'C').ok());
}

TEST(IndexFile, EveryTruncationOfAValidFileIsRejected) {
    const std::string bytes = serialize_index(one_file_index());
    for (size_t n = 0; n < bytes.size(); ++n) EXPECT_FALSE(parse_index_file(bytes.substr(0, n), 'C').ok()) << n;
}

TEST(IndexFile, SaveReplacesAtomicallyAndLeavesNoTemporaryFile) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_index_file_save");
    const fs::path dir = tmp.path();
    const std::string path = (dir / "sub" / "index.bin").string();
    ASSERT_TRUE(save_index(one_file_index(), path).ok());
    Index bigger = one_file_index();
    IndexEntry second = bigger.entries[0];
    second.path_start = uint32_t(bigger.names.size());
    bigger.names += "C:\\b.txt";
    bigger.entries.push_back(second);
    ASSERT_TRUE(save_index(bigger, path).ok());
    auto back = load_index(path, 'C');
    ASSERT_TRUE(back.ok()) << back.error();
    EXPECT_EQ(back->entries.size(), 2u);
    EXPECT_EQ(back->sorted.size(), 2u);  // the name order is rebuilt on load
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "sub"), fs::directory_iterator()), 1);
    EXPECT_FALSE(load_index((dir / "missing.bin").string(), 'C').ok());
    fs::remove_all(dir);
}

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "index/build.h"
#include "index/index_file.h"
#include "index/index_store.h"
#include "platform/os.h"
#include "platform/system.h"
#include "support/index_fixtures.h"
#include "support/temp_dir.h"

using namespace nimbalo;
using namespace nimbalo::testing;
namespace fs = std::filesystem;

namespace {

std::string read_all(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
void write_all(const fs::path& p, std::string_view bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

Index sample(int files = 6) {
    std::vector<MftRecord> recs{dir(40, 5, "docs"), dir(41, 40, "deep")};
    for (int i = 0; i < files; ++i) recs.push_back(file(100 + i, i % 2 ? 40 : 41, "f" + std::to_string(i) + ".txt", 10 * i, 1000 + i));
    return build_index(std::move(recs), 'C');
}

const JournalPosition kAt{0x1d5a, 4096};

}  // namespace

TEST(IndexStore, RoundTripKeepsMapsAndPosition) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_store_rt");
    const fs::path dir = tmp.path();
    const Index ix = sample();
    ASSERT_TRUE(save_index_set(ix, dir.string(), kAt).ok());
    auto back = load_index_set(dir.string(), 'C');
    ASSERT_TRUE(back.ok()) << back.error();
    EXPECT_EQ(back->index.names, ix.names);
    EXPECT_EQ(back->index.entries, ix.entries);
    ASSERT_TRUE(back->has_maps);
    EXPECT_EQ(back->position, kAt);
    EXPECT_EQ(back->index.dirs.size(), ix.dirs.size());
    EXPECT_EQ(back->index.by_ref.size(), ix.by_ref.size());
    ix.dirs.for_each([&](uint64_t r, const ArenaRange& v) {
        const ArenaRange* got = back->index.dirs.find(r);
        ASSERT_NE(got, nullptr) << r;
        EXPECT_EQ(*got, v) << r;
    });
    ix.by_ref.for_each([&](uint64_t r, uint32_t e) {
        bool found = false;
        back->index.by_ref.visit(r, [&](uint32_t got) { found |= got == e; });
        EXPECT_TRUE(found) << r;
    });
    fs::remove_all(dir);
}

// Every single flipped bit of index.bin is caught (before the checksum, 14 of 20 loaded).
TEST(IndexStore, FlippedBitsAreRejected) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_store_flip");
    const fs::path dir = tmp.path();
    ASSERT_TRUE(save_index_set(sample(), dir.string(), kAt).ok());
    const std::string good = read_all(dir / "index.bin");
    std::mt19937 rng(7);
    for (int i = 0; i < 40; ++i) {
        std::string bad = good;
        const size_t bit = rng() % (bad.size() * 8);
        bad[bit / 8] = char(bad[bit / 8] ^ (1 << (bit % 8)));
        write_all(dir / "index.bin", bad);
        EXPECT_FALSE(load_index_set(dir.string(), 'C').ok()) << "bit " << bit;
    }
    write_all(dir / "index.bin", good);
    EXPECT_TRUE(load_index_set(dir.string(), 'C').ok());
    fs::remove(dir / "index.bin.state");
    EXPECT_FALSE(load_index_set(dir.string(), 'C').ok()) << "no companion, no trust";
    fs::remove_all(dir);
}

// The header decides before anything is read or reserved: a 64 GiB sparse file and counts that do
// not give the file's size fail at once (before, the first aborted with bad_alloc).
TEST(IndexStore, HeaderIsCheckedAgainstTheFileSize) {
    if (platform::kWindows) GTEST_SKIP() << "Wine's host files cannot be resized to a 64 GiB sparse file";
    const nimbalo::fixtures::TempDir tmp("nimbalo_store_header");
    const fs::path dir = tmp.path();
    const fs::path p = dir / "index.bin";
    const std::string good = serialize_index(sample());
    auto u64 = [](uint64_t v) {
        std::string s(8, '\0');
        for (int i = 0; i < 8; ++i) s[size_t(i)] = char(v >> (8 * i));
        return s;
    };
    struct Case {
        const char* what;
        std::string bytes;
        uint64_t sparse_size;
    };
    uint64_t names_len = 0;
    for (int i = 7; i >= 0; --i) names_len = (names_len << 8) | uint8_t(good[size_t(1 + i)]);
    const std::string count_beyond_arena = good.substr(0, size_t(9 + names_len)) + u64(names_len + 1);
    const std::vector<Case> cases = {
        {"64 GiB sparse, huge names length", "C" + u64(uint64_t(60) << 30), uint64_t(64) << 30},
        {"64 GiB sparse, zeros", "C", uint64_t(64) << 30},
        {"2 GiB of zeros", std::string(), uint64_t(2) << 30},
        {"trailing bytes", good + "x", 0},
        {"one byte short", good.substr(0, good.size() - 1), 0},
        {"more entries than arena bytes", count_beyond_arena, 17 + names_len + 29 * (names_len + 1)},
        {"other letter", "D" + good.substr(1), 0},
    };
    for (const Case& c : cases) {
        write_all(p, c.bytes);
        if (c.sparse_size) fs::resize_file(p, c.sparse_size);
        EXPECT_FALSE(check_index_file_header(p.string(), 'C').ok()) << c.what;
        EXPECT_FALSE(load_index(p.string(), 'C').ok()) << c.what;
    }
    write_all(p, good);
    auto size = check_index_file_header(p.string(), 'C');
    ASSERT_TRUE(size.ok()) << size.error();
    EXPECT_EQ(*size, good.size());
    fs::remove_all(dir);
}

// A kill at any point of a save leaves an index.bin that loads, and a position only beside the
// index it describes: replay each intermediate state of the files.
TEST(IndexStore, InterruptedSaveNeverPairsAPositionWithANewerIndex) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_store_kill");
    const fs::path dir = tmp.path();
    const Index old_ix = sample(4), new_ix = sample(9);
    const JournalPosition old_at{7, 100}, new_at{7, 900};
    ASSERT_TRUE(save_index_set(new_ix, dir.string(), new_at).ok());
    const std::string new_bin = read_all(dir / "index.bin"), new_rec = read_all(dir / "index.bin.records"),
                      new_state = read_all(dir / "index.bin.state");
    ASSERT_TRUE(save_index_set(old_ix, dir.string(), old_at).ok());
    const std::string old_bin = read_all(dir / "index.bin"), old_rec = read_all(dir / "index.bin.records"),
                      old_state = read_all(dir / "index.bin.state");
    // The announcement written first when saving new over old.
    auto lines = parse_index_state(old_state);
    ASSERT_TRUE(lines.ok());
    auto next = parse_index_state(new_state);
    ASSERT_TRUE(next.ok());
    std::vector<IndexStateLine> announced = *lines;
    announced.push_back({(*next)[0].index_sha256, (*next)[0].records_sha256, std::nullopt});
    const std::string announce = format_index_state(announced);

    struct Step {
        const char* what;
        const std::string *state, *records, *bin;
        size_t entries;
        std::optional<JournalPosition> position;
    };
    const std::vector<Step> steps = {
        {"before the announcement", &old_state, &old_rec, &old_bin, old_ix.entries.size(), old_at},
        {"announced", &announce, &old_rec, &old_bin, old_ix.entries.size(), old_at},
        {"records renamed in", &announce, &new_rec, &old_bin, old_ix.entries.size(), std::nullopt},
        {"index.bin renamed in", &announce, &new_rec, &new_bin, new_ix.entries.size(), std::nullopt},
        {"done", &new_state, &new_rec, &new_bin, new_ix.entries.size(), new_at},
    };
    for (const Step& s : steps) {
        write_all(dir / "index.bin.state", *s.state);
        write_all(dir / "index.bin.records", *s.records);
        write_all(dir / "index.bin", *s.bin);
        auto got = load_index_set(dir.string(), 'C');
        ASSERT_TRUE(got.ok()) << s.what << ": " << got.error();
        EXPECT_EQ(got->index.entries.size(), s.entries) << s.what;
        EXPECT_EQ(got->position, s.position) << s.what;
    }
    fs::remove_all(dir);
}

TEST(IndexStore, StateTextIsStrict) {
    const std::string h = std::string(64, 'a');
    const std::vector<std::pair<std::string, bool>> cases = {
        {"nimbalo index state 1\nindex " + h + " records - journal -\n", true},
        {"nimbalo index state 1\nindex " + h + " records " + h + " journal 5 77\n", true},
        {"nimbalo index state 1\nindex " + h + " records - journal -", false},
        {"nimbalo index state 2\nindex " + h + " records - journal -\n", false},
        {"nimbalo index state 1\n", false},
        {"nimbalo index state 1\nindex " + h.substr(1) + " records - journal -\n", false},
        {"nimbalo index state 1\nindex " + h + " records - journal 5\n", false},
        {"nimbalo index state 1\nindex " + h + " records - journal 5 99999999999999999999999\n", false},
        {"nimbalo index state 1\nindex " + h + " records - journal x 1\n", false},
    };
    for (const auto& [text, ok] : cases) EXPECT_EQ(parse_index_state(text).ok(), ok) << text;
}

// Our own leftovers of interrupted saves go at start; another process's files of other names stay.
TEST(IndexStore, StaleTemporaryFilesAreRemoved) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_store_stale");
    const fs::path dir = tmp.path();
    const std::string own = "index.bin.tmp." + std::to_string(platform::process_id()) + ".3";
    for (const char* name : {"index.bin.tmp.123", "index.bin.tmp.99.4", "index.bin.state.tmp.77.0", "index.bin.records.tmp.5.1"})
        write_all(dir / name, "x");
    write_all(dir / own, "x");
    write_all(dir / "index.bin", "keep");
    write_all(dir / "notes.tmp.1", "keep");
    EXPECT_EQ(remove_stale_temp_files(dir.string()), 4u);
    EXPECT_TRUE(fs::exists(dir / own));
    EXPECT_TRUE(fs::exists(dir / "index.bin"));
    EXPECT_TRUE(fs::exists(dir / "notes.tmp.1"));
    fs::remove_all(dir);
}

// Temporary files are created exclusively and never through a link: with every name of the next
// saves taken by links to an unrelated file, the save fails (and says so) and the file is untouched.
TEST(IndexStore, PlantedLinksAreNeverFollowed) {
    if (platform::kWindows) GTEST_SKIP() << "Wine makes no symbolic links";
    const nimbalo::fixtures::TempDir tmp("nimbalo_store_links");
    const fs::path dir = tmp.path();
    write_all(dir / "victim", "precious");
    const std::string target = (dir / "index.bin").string();
    for (int serial = 0; serial < 400; ++serial)
        fs::create_symlink(dir / "victim", target + ".tmp." + std::to_string(platform::process_id()) + "." + std::to_string(serial));
    // Some names are used up by the earlier tests of this process; the rest are links.
    EXPECT_FALSE(platform::write_file_atomic(target, "index bytes").ok());
    for (int i = 0; i < 20; ++i) (void)platform::write_file_atomic(target, "index bytes");
    EXPECT_EQ(read_all(dir / "victim"), "precious");
    fs::remove_all(dir);
}

// Live updates: the rules of each reason, the duplicate-create mend, batch/per-change
// equivalence and the follower loop.
#include <gtest/gtest.h>

#include "index/live_update.h"
#include "index/lookups.h"
#include "support/index_fixtures.h"

namespace nimbalo {
namespace {

using namespace nimbalo::testing;

constexpr uint32_t kCreate = 0x100, kDelete = 0x200, kOldName = 0x1000, kNewName = 0x2000, kExtend = 0x2, kClose = 0x80000000;

UsnChange change(uint32_t reason, uint64_t record, uint64_t parent, std::string name, bool is_dir = false, uint64_t ts = 777) {
    return UsnChange{std::move(name), record, parent, ts, reason, is_dir};
}

// C:\a (30) holding x (31); C:\docs (32) holding two hard links of record 40 (l1, l2 in docs and a).
Index base() {
    return build_index({dir(30, 5, "a"), file(31, 30, "x", 10), dir(32, 5, "docs"), file(40, 30, "l1", 5), file(40, 32, "l2", 5)}, 'C');
}

std::multiset<std::string> path_set(const Index& ix) {
    const auto p = paths_of(ix);
    return {p.begin(), p.end()};
}

TEST(LiveUpdate, Rules) {
    using S = std::multiset<std::string>;
    struct Case {
        const char* what;
        std::vector<UsnChange> changes;
        std::vector<bool> changed;
        S paths;
    };
    const S start{"C:\\a", "C:\\a\\x", "C:\\docs", "C:\\a\\l1", "C:\\docs\\l2"};
    const Case cases[] = {
        {"create+delete in one record removes and adds nothing", {change(kCreate | kDelete, 50, 30, "tmp")}, {false}, start},
        {"deleting a file with two hard links removes both", {change(kDelete | kClose, 40, 32, "l2")}, {true},
         S{"C:\\a", "C:\\a\\x", "C:\\docs"}},
        {"delete of an unknown record", {change(kDelete, 99, 30, "zz")}, {false}, start},
        {"create below a known directory", {change(kCreate, 50, 32, "new.txt")}, {true},
         S{"C:\\a", "C:\\a\\x", "C:\\docs", "C:\\a\\l1", "C:\\docs\\l2", "C:\\docs\\new.txt"}},
        {"create below a directory created live",
         {change(kCreate, 50, 5, "fresh", true), change(kCreate, 51, 50, "inside")},
         {true, true},
         S{"C:\\a", "C:\\a\\x", "C:\\docs", "C:\\a\\l1", "C:\\docs\\l2", "C:\\fresh", "C:\\fresh\\inside"}},
        {"create below an unknown directory adds nothing", {change(kCreate, 51, 60, "inside")}, {false}, start},
        {"data, attribute and close reasons change nothing", {change(kExtend | kClose, 31, 30, "x"), change(0x8000, 40, 30, "l1")},
         {false, false}, start},
        {"rename of a directory keeps the old paths below it",
         {change(kOldName, 30, 5, "a", true), change(kNewName, 30, 5, "b", true), change(kCreate, 52, 30, "later")},
         {true, true, true},
         S{"C:\\b", "C:\\a\\x", "C:\\docs", "C:\\a\\l1", "C:\\docs\\l2", "C:\\b\\later"}},
        {"Issue5: a create logged again while the handle is open adds one entry",
         {change(kCreate, 50, 32, "n.txt"), change(kCreate | kExtend, 50, 32, "n.txt"), change(kCreate | kExtend | kClose, 50, 32, "n.txt")},
         {true, false, false},
         S{"C:\\a", "C:\\a\\x", "C:\\docs", "C:\\a\\l1", "C:\\docs\\l2", "C:\\docs\\n.txt"}},
        {"a new hard link of a listed record is still added", {change(kCreate, 31, 32, "x-link")}, {true},
         S{"C:\\a", "C:\\a\\x", "C:\\docs", "C:\\a\\l1", "C:\\docs\\l2", "C:\\docs\\x-link"}},
        {"empty and dot names are not added", {change(kCreate, 50, 32, ""), change(kCreate, 51, 32, "."), change(kCreate, 52, 32, "..")},
         {false, false, false}, start},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool batched : {false, true}) {
            Index ix = base();
            std::vector<bool> changed;
            if (batched) {
                apply_changes(ix, c.changes, [&](const UsnChange&, bool ch) { changed.push_back(ch); });
            } else {
                for (const auto& ch : c.changes) changed.push_back(apply_change(ix, ch));
            }
            EXPECT_EQ(changed, c.changed) << "batched " << batched;
            EXPECT_EQ(path_set(ix), c.paths) << "batched " << batched;
            expect_invariants(ix);
        }
    }
}

TEST(LiveUpdate, NewEntryFields) {
    Index ix = base();
    ASSERT_TRUE(apply_change(ix, change(kCreate, 50, 32, "n.txt", false, 123456)));
    ASSERT_FALSE(apply_change(ix, change(kExtend, 50, 32, "n.txt", false, 999)));
    auto hit = find_path(ix, "C:\\docs\\n.txt");
    ASSERT_TRUE(hit.has_value());
    EXPECT_EQ(hit->size, 0u);
    EXPECT_EQ(hit->modified, 123456u);
    EXPECT_EQ(ix.by_ref.list(50), (std::vector<uint32_t>{uint32_t(ix.entries.size() - 1)}));
    // A removal renumbers what follows and keeps by_ref pointing at the right entries.
    ASSERT_TRUE(apply_change(ix, change(kDelete, 31, 30, "x")));
    ASSERT_EQ(ix.by_ref.list(50).size(), 1u);
    EXPECT_EQ(ix.path_of(ix.entries[ix.by_ref.list(50)[0]]), "C:\\docs\\n.txt");
    for (uint32_t e : ix.by_ref.list(40)) EXPECT_EQ(ix.name_of(ix.entries[e]).substr(0, 1), "l");
    expect_invariants(ix);
}

TEST(LiveUpdate, IndexWithoutDirsIgnoresAdds) {
    Index ix = base();
    ix.dirs.clear();  // as loaded from the persisted file
    EXPECT_FALSE(apply_change(ix, change(kCreate, 50, 5, "n")));
    EXPECT_TRUE(apply_change(ix, change(kDelete, 31, 30, "x")));
}

// Issue 5: a batch is applied with one compaction and one sort, and must leave exactly the
// index and per-change results that applying the changes one by one gives.
TEST(LiveUpdate, Issue5_BatchEqualsPerChange) {
    const uint64_t seed = 271828;
    std::printf("seed %llu\n", (unsigned long long)seed);
    std::mt19937_64 rng(seed);
    const std::vector<std::string> words{"a", "B", "report", "x.txt", "\xC3\xA9t\xC3\xA9", "same"};
    for (int round = 0; round < 25; ++round) {
        const Index start = build_index(random_records(rng, 200 + rng() % 2000, words), 'C');
        std::vector<uint64_t> dir_records, records;
        start.dirs.for_each([&](uint64_t r, const ArenaRange&) { dir_records.push_back(r); });
        start.by_ref.for_each([&](uint64_t r, uint32_t) { records.push_back(r); });
        std::vector<UsnChange> changes;
        uint64_t next_record = 5'000'000;
        const uint32_t reasons[] = {kCreate, kDelete, kOldName, kNewName, kCreate | kDelete, kCreate | kExtend, kExtend, kClose | kDelete, 0x10};
        for (int k = 0; k < 400; ++k) {
            UsnChange c;
            c.reason = reasons[rng() % std::size(reasons)];
            c.is_dir = rng() % 4 == 0;
            c.record = (rng() % 2 && !records.empty()) ? records[rng() % records.size()] : next_record++;
            c.parent = (rng() % 10 && !dir_records.empty()) ? dir_records[rng() % dir_records.size()] : 9'000'000 + rng() % 5;
            c.name = words[rng() % words.size()] + (rng() % 2 ? std::to_string(rng() % 4) : "");
            c.timestamp = rng();
            if (c.is_dir && (c.reason & kReasonAdd)) dir_records.push_back(c.record);
            records.push_back(c.record);
            changes.push_back(c);
            if (rng() % 5 == 0) changes.push_back(c);  // logged again
        }
        Index one = start, batch = start;
        std::vector<bool> one_changed, batch_changed;
        for (const auto& c : changes) one_changed.push_back(apply_change(one, c));
        const size_t count = apply_changes(batch, changes, [&](const UsnChange&, bool ch) { batch_changed.push_back(ch); });
        ASSERT_EQ(one_changed, batch_changed) << "round " << round;
        EXPECT_EQ(count, size_t(std::count(one_changed.begin(), one_changed.end(), true)));
        ASSERT_EQ(one.names, batch.names);
        ASSERT_EQ(one.entries, batch.entries) << "round " << round;
        ASSERT_EQ(one.sorted.size(), batch.sorted.size());
        for (size_t k = 0; k < one.sorted.size(); ++k)  // equal names have no defined order
            ASSERT_EQ(fold_ascii(one.name_of(one.entries[one.sorted[k]])), fold_ascii(batch.name_of(batch.entries[batch.sorted[k]])));
        std::map<uint64_t, std::vector<uint32_t>> refs_one, refs_batch;
        one.by_ref.for_each([&](uint64_t r, uint32_t e) { refs_one[r].push_back(e); });
        batch.by_ref.for_each([&](uint64_t r, uint32_t e) { refs_batch[r].push_back(e); });
        ASSERT_EQ(refs_one, refs_batch);
        std::map<uint64_t, std::pair<uint32_t, uint32_t>> dirs_one, dirs_batch;
        one.dirs.for_each([&](uint64_t r, const ArenaRange& d) { dirs_one[r] = {d.start, d.len}; });
        batch.dirs.for_each([&](uint64_t r, const ArenaRange& d) { dirs_batch[r] = {d.start, d.len}; });
        ASSERT_EQ(dirs_one, dirs_batch);
        expect_invariants(batch);
    }
}

TEST(FollowJournal, ContinuesFromTheReturnedPositionAndStopsOnError) {
    Index ix = base();
    std::vector<uint64_t> positions;
    int pauses = 0;
    std::vector<std::string> printed;
    const std::vector<JournalBatch> script{
        {{change(kCreate, 50, 32, "one"), change(kCreate | kExtend, 50, 32, "one")}, 4096},
        {{}, 4096},      // empty: pause, then read from the same returned position
        {{}, 8192},      // a close-only batch may still move the position
        {{change(kDelete, 50, 32, "one")}, 9000},
    };
    const Error e = follow_journal(
        ix, 100,
        [&](uint64_t pos) -> Result<JournalBatch> {
            positions.push_back(pos);
            if (positions.size() > script.size()) return fail("FSCTL_READ_USN_JOURNAL failed on C: gone");
            return script[positions.size() - 1];
        },
        [&](const UsnChange& c) { printed.push_back(c.name + "/" + std::to_string(c.reason)); }, [&] { ++pauses; });
    EXPECT_EQ(e.text, "FSCTL_READ_USN_JOURNAL failed on C: gone");
    EXPECT_EQ(positions, (std::vector<uint64_t>{100, 4096, 4096, 8192, 9000}));
    EXPECT_EQ(pauses, 2);
    EXPECT_EQ(printed, (std::vector<std::string>{"one/256", "one/258", "one/512"}));
    EXPECT_EQ(path_set(ix), (std::multiset<std::string>{"C:\\a", "C:\\a\\x", "C:\\docs", "C:\\a\\l1", "C:\\docs\\l2"}));
}

}  // namespace
}  // namespace nimbalo

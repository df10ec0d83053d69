// Exact live updates: a long random history of a volume, applied batch by batch with the records
// read at the end of each batch, equals a full build of the final state (names, parents, sizes,
// times), and two copies fed the same batches stay equal.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <tuple>

#include "index/build.h"
#include "index/live_batch.h"
#include "support/index_fixtures.h"

namespace nimbalo {
namespace {

using namespace nimbalo::testing;

constexpr uint32_t kOverwrite = 0x1, kExtend = 0x2, kCreate = 0x100, kDelete = 0x200, kOldName = 0x1000,
                   kNewName = 0x2000, kBasicInfo = 0x8000, kHardLink = 0x10000;

struct Name {
    uint64_t parent;
    std::string name;
    bool operator<(const Name& o) const { return std::tie(parent, name) < std::tie(o.parent, o.name); }
};
struct File {
    std::vector<Name> names;
    bool is_dir = false;
    uint64_t size = 0, modified = 0;
};

// A volume as the MFT holds it, changed as NTFS changes it, logging what the journal would.
class Volume {
public:
    explicit Volume(uint64_t seed) : rng_(seed) { files_[5] = File{{{5, "."}}, true, 0, 0}; }

    std::vector<MftRecord> records() const {
        std::vector<MftRecord> out;
        for (const auto& [r, f] : files_)
            for (const Name& n : f.names) out.push_back(MftRecord{n.name, n.parent, r, f.size, f.modified, f.is_dir});
        return out;
    }
    RecordNow now(uint64_t r) const {
        RecordNow out{r, false, {}};
        const auto it = files_.find(r);
        if (it == files_.end()) return out;
        out.in_use = true;
        for (const Name& n : it->second.names)
            out.names.push_back(MftRecord{n.name, n.parent, r, it->second.size, it->second.modified, it->second.is_dir});
        return out;
    }

    // One random operation; its journal records go to log.
    void step(std::vector<UsnChange>& log) {
        const uint64_t t = ++clock_;
        const int op = int(rng_() % 100);
        std::vector<uint64_t> dirs, files;
        for (const auto& [r, f] : files_) (f.is_dir ? dirs : files).push_back(r);
        const uint64_t in = dirs[rng_() % dirs.size()];
        if (op < 30 || files.empty()) {  // create a file or a folder
            const uint64_t r = next_record_++;
            const bool is_dir = rng_() % 4 == 0;
            const std::string name = fresh_name(in);
            files_[r] = File{{{in, name}}, is_dir, 0, t};
            log.push_back(UsnChange{name, r, in, t, kCreate, is_dir});
            if (!is_dir && rng_() % 2) {
                files_[r].size = rng_() % 100000;
                log.push_back(UsnChange{name, r, in, t, kCreate | kExtend, false});
            }
            return;
        }
        const uint64_t r = op < 75 ? files[rng_() % files.size()] : pick_dir(dirs);
        if (r == 0) return;
        File& f = files_[r];
        const Name first = f.names.front();
        if (op < 45) {  // write
            f.size = rng_() % 1000000;
            f.modified = t;
            log.push_back(UsnChange{first.name, r, first.parent, t, uint32_t(rng_() % 2 ? kExtend : kOverwrite), false});
        } else if (op < 52) {  // touch
            f.modified = t;
            log.push_back(UsnChange{first.name, r, first.parent, t, kBasicInfo, f.is_dir});
        } else if (op < 56 && !f.is_dir) {  // one more hard link
            const Name link{in, fresh_name(in)};
            f.names.push_back(link);
            log.push_back(UsnChange{link.name, r, link.parent, t, kHardLink, false});
        } else if (op < 70 || op >= 75) {  // rename or move (a folder never into itself)
            uint64_t to = rng_() % 2 ? in : first.parent;
            if (f.is_dir && below(to, r)) to = first.parent;
            const std::string name = rng_() % 3 || taken(to, first.name) ? fresh_name(to) : first.name;
            log.push_back(UsnChange{first.name, r, first.parent, t, kOldName, f.is_dir});
            f.names.front() = Name{to, name};
            log.push_back(UsnChange{name, r, to, t, kNewName, f.is_dir});
        } else if (!f.is_dir || !has_children(r)) {  // delete
            for (const Name& n : f.names) log.push_back(UsnChange{n.name, r, n.parent, t, kDelete, f.is_dir});
            files_.erase(r);
        }
    }

private:
    // A name not yet in folder `in` (names in a folder are unique, ignoring case).
    std::string fresh_name(uint64_t in) {
        static const char* words[] = {"report", "Notes", "data", "img", "zeta", "ALPHA", "x"};
        for (;;) {
            std::string s = words[rng_() % 7];
            if (rng_() % 2) s += std::to_string(rng_() % 50);
            if (rng_() % 2) s += ".txt";
            if (!taken(in, s)) return s;
        }
    }
    bool taken(uint64_t in, const std::string& name) const {
        for (const auto& [r, f] : files_)
            for (const Name& n : f.names)
                if (n.parent == in && fold_ascii(n.name) == fold_ascii(name)) return true;
        return false;
    }
    uint64_t pick_dir(const std::vector<uint64_t>& dirs) {
        for (int i = 0; i < 4; ++i)
            if (const uint64_t d = dirs[rng_() % dirs.size()]; d != 5) return d;
        return 0;
    }
    bool below(uint64_t d, uint64_t ancestor) const {
        for (int depth = 0; depth < 1000 && d != 5; ++depth) {
            if (d == ancestor) return true;
            d = files_.at(d).names.front().parent;
        }
        return d == ancestor;
    }
    bool has_children(uint64_t d) const {
        for (const auto& [r, f] : files_)
            for (const Name& n : f.names)
                if (n.parent == d && r != d) return true;
        return false;
    }

    std::mt19937_64 rng_;
    std::map<uint64_t, File> files_;
    uint64_t next_record_ = 64;
    uint64_t clock_ = 1000;
};

using Row = std::tuple<std::string, bool, uint64_t, uint64_t>;
std::multiset<Row> rows(const Index& ix) {
    std::multiset<Row> out;
    for (const IndexEntry& e : ix.entries) out.emplace(std::string(ix.path_of(e)), e.is_dir, e.size, e.modified);
    return out;
}

TEST(LiveBatch, RandomHistoryEqualsAFullBuildOfTheFinalState) {
    for (uint64_t seed = 1; seed <= 6; ++seed) {
        Volume vol(seed);
        std::vector<UsnChange> warmup;
        for (int i = 0; i < 150; ++i) vol.step(warmup);
        Index live = build_index(vol.records(), 'C');
        Index twin = live;
        std::mt19937_64 rng(seed * 77);
        for (int b = 0; b < 120; ++b) {
            LiveBatch batch;
            const int ops = 1 + int(rng() % 12);
            for (int i = 0; i < ops; ++i) vol.step(batch.changes);
            std::set<uint64_t> touched;
            for (const UsnChange& c : batch.changes) touched.insert(c.record);
            for (uint64_t r : touched) batch.records.push_back(vol.now(r));
            apply_live_batch(live, batch);
            apply_live_batch(twin, batch);
            compact_if_wasteful(live);
            compact_if_wasteful(twin);
        }
        const Index fresh = build_index(vol.records(), 'C');
        const auto got = rows(live), want = rows(fresh);
        std::vector<Row> extra, missing;
        std::set_difference(got.begin(), got.end(), want.begin(), want.end(), std::back_inserter(extra));
        std::set_difference(want.begin(), want.end(), got.begin(), got.end(), std::back_inserter(missing));
        EXPECT_TRUE(extra.empty() && missing.empty()) << "seed " << seed << ": " << extra.size() << " extra, first "
                                                      << (extra.empty() ? "" : std::get<0>(extra[0])) << "; " << missing.size()
                                                      << " missing, first " << (missing.empty() ? "" : std::get<0>(missing[0]));
        expect_invariants(live);
        EXPECT_EQ(rows(twin), got) << "seed " << seed;
        expect_invariants(twin);
        EXPECT_EQ(dead_arena_bytes(fresh), 0u);
    }
}

// Folder renames and moves carry everything below along, also nested in one batch; an unreadable
// record falls back to the journal rule (size 0, the change's time).
TEST(LiveBatch, FoldersCarryTheirContentsAndUnreadableRecordsFallBack) {
    Index ix = build_index({dir(30, 5, "a"), dir(31, 30, "b"), file(32, 31, "f.txt", 7, 1), dir(33, 5, "z")}, 'C');
    LiveBatch batch;
    batch.changes = {UsnChange{"a", 30, 5, 9, kOldName, true}, UsnChange{"A2", 30, 33, 9, kNewName, true},
                     UsnChange{"b", 31, 30, 9, kOldName, true}, UsnChange{"B2", 31, 30, 9, kNewName, true},
                     UsnChange{"new.bin", 40, 31, 9, kCreate, false}};
    batch.records = {RecordNow{30, true, {MftRecord{"A2", 33, 30, 0, 9, true}}},
                     RecordNow{31, true, {MftRecord{"B2", 30, 31, 0, 9, true}}}};
    EXPECT_TRUE(apply_live_batch(ix, batch));
    std::multiset<std::string> paths;
    for (const IndexEntry& e : ix.entries) paths.emplace(ix.path_of(e));
    EXPECT_EQ(paths, (std::multiset<std::string>{"C:\\z", "C:\\z\\A2", "C:\\z\\A2\\B2", "C:\\z\\A2\\B2\\f.txt",
                                                  "C:\\z\\A2\\B2\\new.bin"}));
    for (const IndexEntry& e : ix.entries) {
        if (ix.name_of(e) != "new.bin") continue;
        EXPECT_EQ(std::make_pair(e.size, e.modified), std::make_pair(uint64_t(0), uint64_t(9)));
    }
    expect_invariants(ix);
    compact_arena(ix);
    EXPECT_EQ(dead_arena_bytes(ix), 0u);
    expect_invariants(ix);
    EXPECT_EQ(ix.names.substr(ix.dirs.find(31)->start, ix.dirs.find(31)->len), "C:\\z\\A2\\B2\\");
}

}  // namespace
}  // namespace nimbalo

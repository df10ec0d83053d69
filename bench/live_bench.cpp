// Live updates on a 1,000,000-entry index, as the service's follower does them: one batch of N
// changes (creates, writes, renames, deletes, with the FILE records' facts) applied to the copy no
// search holds and then replayed on the other copy (two applications; the publish itself is a
// pointer exchange). Then 1,000,000 random changes in batches of 1,000 with the arena compaction
// the follower does, and the memory and search time of the result against a fresh build of the
// same final state. Seeded.
#include <benchmark/benchmark.h>

#include <chrono>
#include <random>
#include <string>
#include <unordered_map>
#include <algorithm>
#include <vector>

#include "index/build.h"
#include "index/live_batch.h"
#include "query/search.h"

using namespace nimbalo;

namespace {

constexpr uint32_t kSeed = 20261210;
constexpr uint32_t kCreate = 0x100, kDelete = 0x200, kOldName = 0x1000, kNewName = 0x2000, kExtend = 0x2;

// A volume of folders ~30 files each, with the changes a busy system makes to it.
class Volume {
public:
    explicit Volume(size_t entries) : rng_(kSeed) {
        recs_.push_back(MftRecord{".", 5, 5, 0, 0, true});
        uint64_t r = 64;
        while (recs_.size() < entries) {
            const uint64_t parent = dirs_.empty() || rng_() % 8 == 0 ? 5 : dirs_[rng_() % dirs_.size()];
            if (recs_.size() % 30 == 0) {
                recs_.push_back(MftRecord{word() + "_" + std::to_string(r), parent, r, 0, 1, true});
                dirs_.push_back(r++);
                continue;
            }
            files_.push_back(recs_.size());
            place_[r] = recs_.size();
            recs_.push_back(MftRecord{name(), dirs_.empty() ? 5 : dirs_.back(), r++, rng_() % 100000, 132000000000000000ull, false});
        }
        next_record_ = r;
    }

    Index build() const { return build_index(std::vector<MftRecord>(recs_), 'C'); }

    // n changes as the journal gives them, with each touched record as read afterwards.
    LiveBatch batch(size_t n) {
        LiveBatch b;
        for (size_t i = 0; i < n; ++i) {
            const int op = int(rng_() % 10);
            const uint64_t t = ++clock_;
            if (op < 4 || files_.size() < 100) {  // create
                const uint64_t parent = dirs_[rng_() % dirs_.size()];
                files_.push_back(recs_.size());
                place_[next_record_] = recs_.size();
                recs_.push_back(MftRecord{name(), parent, next_record_++, rng_() % 100000, t, false});
                const MftRecord& m = recs_.back();
                b.changes.push_back(UsnChange{m.name, m.record, m.parent, t, kCreate, false});
                b.records.push_back(RecordNow{m.record, true, {m}});
                continue;
            }
            const size_t k = rng_() % files_.size();
            MftRecord& m = recs_[files_[k]];
            if (op < 7) {  // write
                m.size = rng_() % 10000000;
                m.modified = t;
                b.changes.push_back(UsnChange{m.name, m.record, m.parent, t, kExtend, false});
                b.records.push_back(RecordNow{m.record, true, {m}});
            } else if (op < 9) {  // rename
                b.changes.push_back(UsnChange{m.name, m.record, m.parent, t, kOldName, false});
                m.name = name();
                m.parent = dirs_[rng_() % dirs_.size()];
                b.changes.push_back(UsnChange{m.name, m.record, m.parent, t, kNewName, false});
                b.records.push_back(RecordNow{m.record, true, {m}});
            } else {  // delete
                b.changes.push_back(UsnChange{m.name, m.record, m.parent, t, kDelete, false});
                b.records.push_back(RecordNow{m.record, false, {}});
                m.name.clear();  // gone: dropped from the final state below
                files_[k] = files_.back();
                files_.pop_back();
            }
        }
        // One read per record: the last state wins.
        std::vector<RecordNow> last;
        std::sort(b.records.begin(), b.records.end(), [](const RecordNow& x, const RecordNow& y) { return x.record < y.record; });
        for (auto& r : b.records) {
            if (!last.empty() && last.back().record == r.record) last.back() = std::move(r);
            else last.push_back(std::move(r));
        }
        b.records = std::move(last);
        for (RecordNow& r : b.records)
            if (r.in_use) r.names = {current(r.record)};
        return b;
    }

    // The final state as the MFT would list it.
    Index fresh() {
        std::vector<MftRecord> live;
        for (const MftRecord& m : recs_)
            if (!m.name.empty()) live.push_back(m);
        std::sort(live.begin(), live.end(), [](const MftRecord& a, const MftRecord& b) { return a.record < b.record; });
        return build_index(std::move(live), 'C');
    }

private:
    MftRecord current(uint64_t record) const { return recs_[place_.at(record)]; }
    std::string word() {
        static const char* words[] = {"Windows", "System32", "Users", "AppData", "Microsoft", "report", "driver",
                                      "config", "cache", "update", "resources", "fonts", "assets", "src", "Documents"};
        return words[rng_() % std::size(words)];
    }
    std::string name() {
        static const char* exts[] = {".dll", ".exe", ".txt", ".json", ".png", ".h", ".cpp", ".xml"};
        return word() + std::to_string(rng_() % 100000) + exts[rng_() % std::size(exts)];
    }

    std::mt19937_64 rng_;
    std::vector<MftRecord> recs_;
    std::vector<uint64_t> dirs_;
    std::vector<size_t> files_;  // places in recs_ of live files
    std::unordered_map<uint64_t, size_t> place_;  // record -> place in recs_
    uint64_t next_record_ = 0;
    uint64_t clock_ = 132100000000000000ull;
};

size_t memory_of(const Index& ix) {
    return ix.names.capacity() + ix.entries.capacity() * sizeof(IndexEntry) + ix.sorted.capacity() * 4 +
           ix.dirs.memory_bytes() + ix.by_ref.memory_bytes();
}

// One batch applied and replayed on the second copy, as the follower publishes it.
void BM_ApplyAndPublishBatch(benchmark::State& state) {
    Volume vol(1'000'000);
    Index a = vol.build(), b = a;
    for (auto _ : state) {
        state.PauseTiming();
        const LiveBatch batch = vol.batch(size_t(state.range(0)));
        state.ResumeTiming();
        apply_live_batch(a, batch);
        compact_if_wasteful(a);
        apply_live_batch(b, batch);
        compact_if_wasteful(b);
    }
    state.counters["entries"] = double(a.entries.size());
}
BENCHMARK(BM_ApplyAndPublishBatch)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(20);

// 1,000,000 random changes in batches of 1,000; then memory and search time against a fresh
// build of the same final state.
void BM_MillionChangesMemoryAndSearch(benchmark::State& state) {
    for (auto _ : state) {
        Volume vol(1'000'000);
        Index live = vol.build();
        const size_t fresh_start = memory_of(live);
        for (int i = 0; i < 1000; ++i) {
            apply_live_batch(live, vol.batch(1000));
            compact_if_wasteful(live);
        }
        Index fresh = vol.fresh();
        auto time_search = [](const Index& ix) {
            double best = 1e9;
            for (int i = 0; i < 15; ++i) {
                const auto t0 = std::chrono::steady_clock::now();
                auto hits = search(ix, "qqzzqq", 100, false);  // no hit: a full scan
                auto hits2 = search(ix, "report77", 100, false);
                benchmark::DoNotOptimize(hits);
                benchmark::DoNotOptimize(hits2);
                best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
            }
            return best;
        };
        state.counters["entries"] = double(live.entries.size());
        state.counters["fresh_entries"] = double(fresh.entries.size());
        state.counters["mem_start_MB"] = double(fresh_start) / 1e6;
        state.counters["mem_live_MB"] = double(memory_of(live)) / 1e6;
        state.counters["mem_fresh_MB"] = double(memory_of(fresh)) / 1e6;
        state.counters["mem_ratio"] = double(memory_of(live)) / double(memory_of(fresh));
        state.counters["dead_arena_MB"] = double(dead_arena_bytes(live)) / 1e6;
        state.counters["search_live_ms"] = time_search(live);
        state.counters["search_fresh_ms"] = time_search(fresh);
    }
}
BENCHMARK(BM_MillionChangesMemoryAndSearch)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();

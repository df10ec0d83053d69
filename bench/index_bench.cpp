// Index build and the containment hot loop. Sizes 1M and 10M records of a realistic tree
// (see bench_volume.h). Reports ns per record, memory per entry against the budget of
// path bytes + 64 bytes per entry, and contains_ci throughput next to memchr and memmem.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <map>

#include "bench_volume.h"
#include "index/build.h"
#include "index/contains.h"
#include "index/live_update.h"
#include "index/lookups.h"
#include "index/name_order.h"

namespace nimbalo::bench {
namespace {

const std::vector<MftRecord>& records_of(size_t n) {
    static std::map<size_t, std::vector<MftRecord>> cache;
    auto it = cache.find(n);
    if (it == cache.end()) it = cache.emplace(n, make_records(n)).first;
    return it->second;
}

void BM_BuildIndex(benchmark::State& state) {
    const size_t n = size_t(state.range(0));
    const auto& recs = records_of(n);
    size_t entries = 0, bytes = 0, budget = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<MftRecord> copy = recs;
        state.ResumeTiming();
        Index ix = build_index(std::move(copy), 'C');
        state.PauseTiming();
        entries = ix.entries.size();
        bytes = index_bytes(ix);
        budget = index_budget(ix);
        if (entries + 64 < n) state.SkipWithError("build dropped records it should have kept");
        { Index gone = std::move(ix); }
        state.ResumeTiming();
    }
    state.counters["entries"] = double(entries);
    state.counters["ns_per_record"] = benchmark::Counter(double(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["bytes_per_entry"] = double(bytes) / double(entries);
    state.counters["budget_per_entry"] = double(budget) / double(entries);
    state.counters["within_budget"] = bytes <= budget ? 1 : 0;
}
BENCHMARK(BM_BuildIndex)->Arg(1'000'000)->Arg(10'000'000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The name sort alone, with 1 thread and with all: shows that the parallel mode really fans out.
void BM_SortByName(benchmark::State& state) {
    static Index ix = build_index(std::vector<MftRecord>(records_of(1'000'000)), 'C');
    const int threads = int(state.range(0));
    const int before = omp_get_max_threads();
    omp_set_num_threads(threads);
    for (auto _ : state) benchmark::DoNotOptimize(sort_by_name(ix));
    omp_set_num_threads(before);
    state.counters["threads"] = threads;
}
BENCHMARK(BM_SortByName)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// Throughput over the whole arena of a 1M-entry index for a needle that never occurs.
const std::string& arena() {
    static const std::string a = build_index(std::vector<MftRecord>(records_of(1'000'000)), 'C').names;
    return a;
}

void BM_ContainsCiArena(benchmark::State& state) {
    const std::string& a = arena();
    for (auto _ : state) benchmark::DoNotOptimize(find_ascii_folded(a, "zqxj"));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(a.size()));
}
BENCHMARK(BM_ContainsCiArena)->Unit(benchmark::kMillisecond);

void BM_MemchrArena(benchmark::State& state) {
    const std::string& a = arena();
    for (auto _ : state) benchmark::DoNotOptimize(std::memchr(a.data(), 0x01, a.size()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(a.size()));
}
BENCHMARK(BM_MemchrArena)->Unit(benchmark::kMillisecond);

void BM_StringFindArena(benchmark::State& state) {
    const std::string& a = arena();
    for (auto _ : state) benchmark::DoNotOptimize(a.find("zqxj"));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(a.size()));
}
BENCHMARK(BM_StringFindArena)->Unit(benchmark::kMillisecond);

// Per-name calls as the scan makes them: short haystacks, one call each.
void BM_ContainsCiPerName(benchmark::State& state) {
    static const Index ix = build_index(std::vector<MftRecord>(records_of(1'000'000)), 'C');
    const CiNeedle needle("zqxj");
    for (auto _ : state) {
        size_t hits = 0;
        for (const auto& e : ix.entries) hits += needle.contained_in(ix.name_of(e));
        benchmark::DoNotOptimize(hits);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(ix.entries.size()));
}
BENCHMARK(BM_ContainsCiPerName)->Unit(benchmark::kMillisecond);

// A burst of journal changes on a 1M-entry index: 5,000 creates below known directories and
// 5,000 deletes of indexed files, applied as one batch (one compaction, one sort); and, for
// comparison, a few changes applied one by one (each a full compaction and sort).
struct Burst {
    Index start;
    std::vector<UsnChange> changes;
};
const Burst& burst() {
    static const Burst b = [] {
        Burst out{build_index(std::vector<MftRecord>(records_of(1'000'000)), 'C'), {}};
        std::mt19937_64 rng(12345);
        std::vector<uint64_t> dirs, files;
        out.start.dirs.for_each([&](uint64_t r, const ArenaRange&) { dirs.push_back(r); });
        out.start.by_ref.for_each([&](uint64_t r, uint32_t e) {
            if (!out.start.entries[e].is_dir) files.push_back(r);
        });
        for (int k = 0; k < 5000; ++k) {
            out.changes.push_back({"created" + std::to_string(k) + ".tmp", 50'000'000ull + k, dirs[rng() % dirs.size()], 1, 0x100, false});
            out.changes.push_back({"gone", files[rng() % files.size()], 0, 2, 0x200, false});
        }
        std::shuffle(out.changes.begin(), out.changes.end(), rng);
        return out;
    }();
    return b;
}

void BM_ApplyBatch(benchmark::State& state) {
    const Burst& b = burst();
    size_t changed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // A freshly built index (a copy would lose the arena's spare capacity).
        Index ix = build_index(std::vector<MftRecord>(records_of(1'000'000)), 'C');
        state.ResumeTiming();
        changed = apply_changes(ix, b.changes);
        state.PauseTiming();
        { Index gone = std::move(ix); }
        state.ResumeTiming();
    }
    if (changed < 9000) state.SkipWithError("too few changes applied");
    state.counters["changes"] = double(b.changes.size());
    state.counters["changed"] = double(changed);
}
BENCHMARK(BM_ApplyBatch)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_ApplyOneByOne(benchmark::State& state) {
    const Burst& b = burst();
    const size_t n = size_t(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        Index ix = build_index(std::vector<MftRecord>(records_of(1'000'000)), 'C');
        state.ResumeTiming();
        for (size_t k = 0; k < n; ++k) apply_change(ix, b.changes[k]);
        state.PauseTiming();
        { Index gone = std::move(ix); }
        state.ResumeTiming();
    }
    state.counters["changes"] = double(n);
}
BENCHMARK(BM_ApplyOneByOne)->Arg(10)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
}  // namespace nimbalo::bench

BENCHMARK_MAIN();

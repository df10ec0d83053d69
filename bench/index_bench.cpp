// Index build and the containment hot loop. Sizes 1M and 10M records of a realistic tree
// (see bench_volume.h). Reports ns per record, memory per entry against the budget of
// path bytes + 64 bytes per entry, and contains_ci throughput next to memchr and memmem.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <cstring>
#include <map>

#include "bench_volume.h"
#include "index/build.h"
#include "index/contains.h"
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

}  // namespace
}  // namespace nimbalo::bench

BENCHMARK_MAIN();

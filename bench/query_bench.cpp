// search() over 1M- and 10M-entry indexes built from a realistic tree (bench_volume.h), limit
// 100, warm. Each query's hit count is checked so a fast wrong answer cannot pass.
// With NIMBALO_BENCH_DUMP=file, the 10M index's paths are written there ('/' separators) for
// the plocate and grep comparison of bench/compare_plocate.sh.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <map>

#include "bench_volume.h"
#include "index/build.h"
#include "query/search.h"

namespace nimbalo::bench {
namespace {

const Index& index_of(size_t n) {
    static std::map<size_t, Index> cache;
    auto it = cache.find(n);
    if (it == cache.end()) {
        it = cache.emplace(n, build_index(make_records(n), 'C')).first;
        if (const char* dump = std::getenv("NIMBALO_BENCH_DUMP"); dump && n == 10'000'000) {
            std::ofstream out(dump, std::ios::binary);
            for (const auto& e : it->second.entries) {
                std::string p(it->second.path_of(e).substr(2));
                for (char& c : p)
                    if (c == '\\') c = '/';
                out << p << '\n';
            }
        }
    }
    return it->second;
}

struct QueryCase {
    const char* label;
    const char* text;
    bool path_mode;
    int expect;  // hits expected with limit 100: 100, 0, or -1 for "some"
};

const QueryCase kQueries[] = {
    {"common_word", "lib", false, 100},
    {"no_match", "zqxjv", false, 0},
    {"no_match_path", "zqxjv", true, 0},
    {"glob", "*.so.*", false, 100},
    {"ext", "ext:h", false, 100},
    {"size", "size:>4mb", false, 100},
    {"regex", "regex:^lib.*\\.so$", false, 100},
    {"regex_no_match", "regex:^zqx\\d+q", false, 0},
    {"path_mode", "share\\doc", true, 100},
    {"two_words_rare", "zqxjv lib", false, 0},
    {"excluded_only", "-a", false, 100},
};

void BM_Search(benchmark::State& state) {
    const size_t n = size_t(state.range(0));
    const QueryCase& q = kQueries[state.range(1)];
    const Index& ix = index_of(n);
    state.SetLabel(q.label);
    size_t hits = 0;
    for (auto _ : state) {
        auto r = search(ix, q.text, 100, q.path_mode);
        if (!r) {
            state.SkipWithError(r.error().c_str());
            return;
        }
        hits = r->size();
    }
    if ((q.expect >= 0 && hits != size_t(q.expect)) || (q.expect < 0 && hits == 0))
        state.SkipWithError(("unexpected number of hits: " + std::to_string(hits)).c_str());
    state.counters["hits"] = double(hits);
    state.counters["ns_per_entry"] = benchmark::Counter(double(ix.entries.size()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void Args(benchmark::internal::Benchmark* b) {
    for (int64_t n : {1'000'000, 10'000'000})
        for (int64_t q = 0; q < int64_t(std::size(kQueries)); ++q) b->Args({n, q});
}
BENCHMARK(BM_Search)->Apply(Args)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A pattern too large for RE2's DFA cache, matched against the paths of 1M entries: how long it
// takes unbounded, and how soon the search's time bound stops it (range 0: unbounded, 1: the
// default bound).
void BM_SlowRegex(benchmark::State& state) {
    const Index& ix = index_of(1'000'000);
    const bool bounded = state.range(0) == 1;
    state.SetLabel(bounded ? "bounded" : "unbounded");
    for (auto _ : state) {
        auto r = search_within(ix, "re:\\pL{50}", 100, true, bounded ? kRegexSearchTime : std::chrono::hours(1));
        if (r.ok() == bounded) state.SkipWithError(r.ok() ? "not stopped" : r.error().c_str());
    }
}
BENCHMARK(BM_SlowRegex)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace nimbalo::bench

BENCHMARK_MAIN();

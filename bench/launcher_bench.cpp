// The launcher window thread's own work per 33 ms tick, apart from drawing: the tick's decisions
// and the merging of the jobs queued for the worker while a search runs. Both must stay far below
// a frame; the figures show how far. Deterministic.
//
//   cmake -B build/bench -DCMAKE_BUILD_TYPE=Release -DNIMBALO_BENCH=ON && cmake --build build/bench --target launcher_bench
#include <benchmark/benchmark.h>

#include "gui/launcher/launcher_state.h"
#include "gui/worker/job_batch.h"

using namespace nimbalo::gui;

namespace {

// A shown panel ticking through half an hour: status polls, caret, update checks.
void BM_Tick(benchmark::State& st) {
    LauncherState s(0);
    s.show(10'000'000);
    uint64_t now = 10'000'000, polls = 0;
    for (auto _ : st) {
        now += 33;
        const auto t = s.tick(now);
        polls += t.refresh_status;
        benchmark::DoNotOptimize(t);
    }
    if (polls == 0) st.SkipWithError("the tick never asked for a status poll");
}
BENCHMARK(BM_Tick);

// Typing while the worker is busy: range(0) searches queued, merged into one batch.
void BM_MergeQueuedSearches(benchmark::State& st) {
    const int queued = int(st.range(0));
    for (auto _ : st) {
        JobBatch b;
        for (int i = 0; i < queued; ++i) b.add(job::Search{uint64_t(i), "report"});
        b.add(job::RefreshStatus{});
        if (!b.search || b.search->id != uint64_t(queued - 1)) st.SkipWithError("not the newest search");
        benchmark::DoNotOptimize(b);
    }
    st.SetItemsProcessed(st.iterations() * queued);
}
BENCHMARK(BM_MergeQueuedSearches)->Arg(1)->Arg(8)->Arg(64);

}  // namespace

BENCHMARK_MAIN();

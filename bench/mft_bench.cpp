// MFT reading speed on the synthetic image (tools/make_synthetic_mft.py): parse_file_record on
// one core (records per second), and read_mft end to end from the page cache (wall time), with
// the process's peak resident memory beside the size of the result list.
//
//   NIMBALO_BENCH_IMAGE=build/volumes/synthetic-1m.img build/bench/mft_bench
//
// Every run checks its output (names found, record order) so a fast wrong answer cannot win.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <fstream>
#include <string>

#include "mft/file_record.h"
#include "mft/mft_reader.h"
#include "mft/piece_plan.h"
#include "mft/volume.h"

using namespace nimbalo;

namespace {

std::string image_path() {
    const char* p = std::getenv("NIMBALO_BENCH_IMAGE");
    return p ? p : "build/volumes/synthetic-1m.img";
}

Result<VolumeReader> open_image() {
    auto dev = platform::open_raw_path(image_path());
    if (!dev) return std::move(dev).take_error();
    return open_volume_on(std::move(*dev), 'B');
}

// Peak resident set of this process (VmHWM), in bytes.
uint64_t peak_rss() {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stoull(line.substr(6)) * 1024;
    return 0;
}

void BM_ParseFileRecord(benchmark::State& state) {
    auto v = open_image();
    if (!v) return state.SkipWithError(v.error().c_str());
    // 64 MiB of records from the start of the MFT's first extent (worst case for the cache: more
    // than any L2/L3). The fixup is idempotent, so the same buffer is parsed again and again.
    const size_t bytes = 64u << 20;
    auto buf = read_at(*v, v->mft_start_lcn * v->bytes_per_cluster, bytes);
    if (!buf) return state.SkipWithError(buf.error().c_str());
    const uint32_t rs = v->bytes_per_record;
    const size_t slots = bytes / rs;
    std::vector<MftRecord> out;
    out.reserve(slots * 2);
    size_t names = 0;
    for (auto _ : state) {
        out.clear();
        for (size_t i = 0; i < slots; ++i) parse_file_record(std::span(buf->data() + i * rs, rs), i, out);
        names = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    if (names < slots / 2) state.SkipWithError("too few names: the image or the parser is broken");
    state.SetItemsProcessed(int64_t(state.iterations() * slots));
    state.counters["names"] = double(names);
}
BENCHMARK(BM_ParseFileRecord)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ReadMft(benchmark::State& state) {
    auto v = open_image();
    if (!v) return state.SkipWithError(v.error().c_str());
    size_t names = 0, result_bytes = 0;
    const uint64_t records = v->mft_valid_data_length / v->bytes_per_record;
    {
        auto warm = read_mft(*v);  // brings the image into the page cache
        if (!warm) return state.SkipWithError(warm.error().c_str());
    }
    const std::clock_t cpu0 = std::clock();
    for (auto _ : state) {
        auto r = read_mft(*v);
        if (!r) return state.SkipWithError(r.error().c_str());
        names = r->size();
        for (size_t i = 1; i < r->size(); ++i)
            if ((*r)[i].record < (*r)[i - 1].record) return state.SkipWithError("records out of order");
        result_bytes = r->capacity() * sizeof(MftRecord);
        for (const auto& m : *r)
            if (m.name.size() > 15) result_bytes += m.name.capacity() + 1;
    }
    // Process CPU seconds per read (all threads): on a busy shared machine the wall time says more
    // about the neighbours than about us; this is what two idle cores would have to spend.
    state.counters["cpu_s"] = double(std::clock() - cpu0) / CLOCKS_PER_SEC / double(state.iterations());
    state.SetItemsProcessed(int64_t(state.iterations() * records));
    state.counters["records"] = double(records);
    state.counters["names"] = double(names);
    state.counters["peak_rss_MiB"] = double(peak_rss()) / 1048576.0;
    state.counters["result_MiB"] = double(result_bytes) / 1048576.0;
    state.counters["piece_buffers_MiB"] = 5.0 * double(kMftPieceBytes) / 1048576.0;
}
BENCHMARK(BM_ReadMft)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();

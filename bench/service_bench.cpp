// index.bin save and load at several sizes (load includes the rebuild of the name order), on a
// synthetic tree with realistic path lengths. Seeded; every load is checked against the saved index.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>

#include "index/lookups.h"
#include "index/index_file.h"

using namespace nimbalo;

namespace {

constexpr uint32_t kSeed = 20261209;

// Folders three levels deep with ~30 files each; names drawn from a small vocabulary so lengths
// and shared prefixes resemble a system drive.
Index synthetic(size_t entries) {
    static const char* words[] = {"Windows", "System32", "Program Files", "Users", "AppData", "Local", "Microsoft",
                                  "notepad", "report", "driver", "config", "cache", "setup", "update", "resources",
                                  "fonts", "assets", "build", "node_modules", "src", "include", "Documents"};
    static const char* exts[] = {".dll", ".exe", ".txt", ".json", ".png", ".h", ".cpp", ".xml", ".mui", ".js"};
    std::mt19937 rng(kSeed);
    auto word = [&] { return std::string(words[rng() % std::size(words)]); };
    Index ix;
    ix.names = "C:\\";
    ix.names.reserve(entries * 80);
    std::string dir;
    auto add = [&](const std::string& path, size_t name_len, bool is_dir) {
        ix.entries.push_back({uint32_t(ix.names.size()), uint32_t(path.size()), uint32_t(name_len), is_dir, rng() % 100000, 132000000000000000ull + rng()});
        ix.names += path;
        if (is_dir) ix.names += '\\';
    };
    while (ix.entries.size() < entries) {
        if (ix.entries.size() % 30 == 0) {
            const std::string leaf = word() + "_" + std::to_string(ix.entries.size());
            dir = "C:\\" + word() + "\\" + word() + "\\" + leaf;
            add(dir, leaf.size(), true);
            continue;
        }
        const std::string name = word() + std::to_string(rng() % 1000) + exts[rng() % std::size(exts)];
        add(dir + "\\" + name, name.size(), false);
    }
    return ix;
}

std::string bench_path(size_t n) {
    return (std::filesystem::temp_directory_path() / ("nimbalo_bench_index_" + std::to_string(n) + ".bin")).string();
}

void BM_SaveIndex(benchmark::State& state) {
    const Index ix = synthetic(size_t(state.range(0)));
    const std::string path = bench_path(ix.entries.size());
    for (auto _ : state) {
        if (!save_index(ix, path)) state.SkipWithError("save failed");
    }
    state.counters["ns_per_entry"] = benchmark::Counter(double(ix.entries.size()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["MB"] = double(std::filesystem::file_size(path)) / 1e6;
}

void BM_LoadIndex(benchmark::State& state) {
    const Index ix = synthetic(size_t(state.range(0)));
    const std::string path = bench_path(ix.entries.size());
    if (!save_index(ix, path)) state.SkipWithError("save failed");
    for (auto _ : state) {
        auto loaded = load_index(path, 'C');
        if (!loaded || loaded->entries != ix.entries || loaded->names != ix.names ||
            loaded->sorted.size() != ix.entries.size()) {
            state.SkipWithError("loaded index differs");
            break;
        }
        benchmark::DoNotOptimize(loaded->sorted.data());
    }
    state.counters["ns_per_entry"] = benchmark::Counter(double(ix.entries.size()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    std::remove(path.c_str());
}

// The pieces of a load: decoding the image, and the rebuild of the name order.
void BM_ParseIndex(benchmark::State& state) {
    const Index ix = synthetic(size_t(state.range(0)));
    const std::string bytes = serialize_index(ix);
    for (auto _ : state) {
        auto parsed = parse_index_file(bytes, 'C');
        if (!parsed || parsed->entries.size() != ix.entries.size()) state.SkipWithError("parse failed");
    }
    state.counters["MB_per_s"] = benchmark::Counter(double(bytes.size()) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_RebuildSorted(benchmark::State& state) {
    Index ix = synthetic(size_t(state.range(0)));
    for (auto _ : state) rebuild_sorted(ix);
}

}  // namespace

BENCHMARK(BM_ParseIndex)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_RebuildSorted)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SaveIndex)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadIndex)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv) {
    std::printf("service_bench: seed %u\n", kSeed);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

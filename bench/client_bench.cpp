// The cost of the loopback client's check that the service port is held by the service: one
// query of the system's listening sockets per request (netlink; procfs where it is missing). Measured on this machine's tables, on a
// table made busy with extra listeners of our own, and as the parse alone of a large synthetic table.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "client/listener_owner.h"
#include "platform/net.h"
#include "platform/system.h"
#include "platform/tcp_listeners.h"

using namespace nimbalo;

namespace {

std::vector<platform::Socket> listeners_on_free_ports(size_t count, uint16_t& first_port) {
    platform::net_startup();
    std::vector<platform::Socket> out;
    std::mt19937 rng(20261216);
    while (out.size() < count) {
        const uint16_t p = uint16_t(20000 + rng() % 40000);
        if (auto l = platform::listen_tcp("127.0.0.1", p, 4)) {
            if (out.empty()) first_port = p;
            out.push_back(std::move(*l));
        }
    }
    return out;
}

// The check as a request makes it, with 1 (this machine's table) or more listeners of our own.
void BM_ServiceListenerTrusted(benchmark::State& state) {
    uint16_t port = 0;
    auto held = listeners_on_free_ports(size_t(state.range(0)), port);
    for (auto _ : state) {
        auto s = client::service_listener_trusted(port);
        if (!s) state.SkipWithError(s.error().c_str());
        benchmark::DoNotOptimize(s);
    }
    state.counters["listeners"] = double(held.size());
}
BENCHMARK(BM_ServiceListenerTrusted)->Arg(1)->Arg(200)->Arg(800)->Unit(benchmark::kMicrosecond);

// The parser alone on a table of n rows, half of them listeners.
void BM_ParseProcNetTcp(benchmark::State& state) {
    std::string text = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";
    char line[256];
    for (int i = 0; i < state.range(0); ++i) {
        std::snprintf(line, sizeof line,
                      "%4d: 0100007F:%04X 00000000:0000 %s 00000000:00000000 00:00000000 00000000  1000        0 %d 1 "
                      "0000000000000000 100 0 0 10 0\n",
                      i, 1024 + i, i % 2 ? "01" : "0A", 40000 + i);
        text += line;
    }
    for (auto _ : state) benchmark::DoNotOptimize(platform::parse_proc_net_tcp(text, false));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_ParseProcNetTcp)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

#include "service/host.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "service/service_command.h"
#include "common/text.h"
#include "indexing/change_feed.h"
#include "indexing/index_volume.h"
#include "indexing/progress.h"
#include "platform/data_folder.h"
#include "platform/net.h"
#include "platform/system.h"
#include "query/search.h"
#include "service/lifecycle.h"
#include "service/routes.h"
#include "service/server.h"
#include "service/service_log.h"

namespace nimbalo {

namespace {

// Test-only: lets the integration tests run a service beside one that may already own 8123.
uint16_t service_port() {
    uint64_t port = 0;
    if (auto v = platform::get_env("NIMBALO_TEST_ONLY_SERVICE_PORT"); v && parse_u64_plus(*v, port) && port > 0 && port < 65536)
        return uint16_t(port);
    return kServicePort;
}

// While the first index is prepared, keep telling the service manager that work advances, with a
// checkpoint that grows whenever the build counters move, so a long first build is not taken for
// a hung start.
class StartReporter {
public:
    explicit StartReporter(platform::ServiceContext& ctx) : thread_([this, &ctx] { run(ctx); }) {}
    ~StartReporter() {
        {
            std::lock_guard lock(m_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

private:
    void run(platform::ServiceContext& ctx) {
        uint32_t checkpoint = 1;
        uint64_t last = 0;
        std::unique_lock lock(m_);
        for (;;) {
            ctx.report_starting(checkpoint, 30000);
            if (cv_.wait_for(lock, std::chrono::milliseconds(500), [this] { return done_; })) return;
            const uint64_t now = uint64_t(build_progress.state.load()) << 56 ^ build_progress.done.load();
            if (now != last) {
                last = now;
                ++checkpoint;
            }
        }
    }
    std::mutex m_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;  // last: starts after the members it uses
};

platform::ServiceExit serve(platform::ServiceContext& ctx) {
    const std::string folder = platform::service_data_folder();
    // Shared with the connection threads, which may outlive this routine by one request.
    IndexSource source{[] { return index_volume('C'); }, folder, 'C'};
    source.log = [folder](std::string_view text) { service_log(folder, text); };
    source.open_feed = [] { return open_change_feed('C'); };
    auto service = std::make_shared<IndexService>(std::move(source));
    {
        StartReporter reporter(ctx);
        if (auto st = service->start(); !st) return {kExitNoIndex, "no index: " + st.error()};
    }
    const uint16_t port = service_port();
    platform::net_startup();
    auto listener = platform::listen_tcp("127.0.0.1", port, 128);
    if (!listener) {
        std::string text = "cannot listen on 127.0.0.1:";
        text += std::to_string(port) + ": " + listener.error();
        service->stop();  // the refresh started at load ends before the process does
        return {kExitNoListener, text};
    }
    ctx.report_running();

    auto handler = std::make_shared<const RequestHandler>(
        [service, routes = Routes{*service, search, port}](std::string_view received) { return routes.answer(received); });
    run_accept_loop(std::move(*listener), ctx.stop_flag(), handler);
    service->stop();  // saves what changed since the last save
    return {};
}

}  // namespace

platform::ServiceExit service_main(platform::ServiceContext& ctx) {
    // The service's entry: running out of memory ends it with an error, never an abort.
    try {
        return serve(ctx);
    } catch (const std::bad_alloc&) {
        return {kExitNoIndex, "not enough memory"};
    }
}

Status cmd_service_run() { return platform::run_service_host("Nimbalo", service_main); }

}  // namespace nimbalo

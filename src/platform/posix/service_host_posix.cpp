#include <signal.h>

#include "platform/service_host.h"

namespace nimbalo::platform {

namespace {

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler stores to it");

extern "C" void on_stop_signal(int) { g_stop.store(true); }

class ForegroundContext final : public ServiceContext {
public:
    void report_starting(uint32_t, uint32_t) override {}
    void report_running() override {}
    const std::atomic<bool>& stop_flag() const override { return g_stop; }
};

}  // namespace

Status run_service_host(const std::string&, ServiceMain main) {
    struct sigaction sa {};
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    ForegroundContext ctx;
    const ServiceExit out = main(ctx);
    if (out.code != 0) return fail(out.error);
    return {};
}

}  // namespace nimbalo::platform

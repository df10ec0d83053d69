#include <signal.h>
#include <sys/resource.h>

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
    // One descriptor per open connection: the usual soft limit of 1024 would stall accepting
    // well below the connection cap.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
        const rlim_t want = files.rlim_max < 65536 ? files.rlim_max : 65536;
        if (files.rlim_cur < want) {
            files.rlim_cur = want;
            setrlimit(RLIMIT_NOFILE, &files);
        }
    }
    ForegroundContext ctx;
    const ServiceExit out = main(ctx);
    if (out.code != 0) return fail(out.error);
    return {};
}

}  // namespace nimbalo::platform

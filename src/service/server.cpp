#include "service/server.h"

#include <array>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/system.h"
#include "service/http_request.h"

namespace nimbalo {

void serve_connection(platform::Socket connection, const RequestHandler& handler, const ServerLimits& limits) {
    // Errors of these two leave the socket as accepted (blocking, no time-out would be worse, but
    // accept already returns a blocking socket); the read below still ends at the size cap.
    (void)connection.set_blocking(true);
    (void)connection.set_timeouts(limits.receive_timeout_ms, limits.send_timeout_ms);

    std::string received;
    std::array<char, http::kMaxRequestBytes> buf;
    while (received.size() < http::kMaxRequestBytes && !http::head_complete(received)) {
        auto n = connection.receive(std::span<char>(buf.data(), http::kMaxRequestBytes - received.size()));
        if (!n || *n == 0) break;  // time-out, error or the client's end of sending
        received.append(buf.data(), *n);
    }
    (void)connection.send_all(handler(received));

    // Closing with unread bytes makes the system reset the connection, which can destroy the
    // answer before the client reads it: end our side, then read what is left for a short while.
    connection.shutdown_send();
    (void)connection.set_timeouts(limits.drain_ms, limits.send_timeout_ms);
    for (int i = 0; i < 16; ++i) {
        auto n = connection.receive(buf);
        if (!n || *n == 0) break;
    }
}

namespace {

// One connection's thread: a request of at most 8 KiB, a search and an answer need little stack.
// Threads start and end with every request, and a small stack is what keeps that cheap (with
// Linux's default of 8 MiB, starting threads cost the service half its throughput).
constexpr size_t kConnectionStackBytes = 1 << 20;

struct Job {
    platform::Socket connection;
    std::shared_ptr<const RequestHandler> handler;
    std::shared_ptr<std::atomic<int>> active;
    ServerLimits limits;
};

}  // namespace

void run_accept_loop(platform::Socket listener, const std::atomic<bool>& stop,
                     std::shared_ptr<const RequestHandler> handler, ServerLimits limits) {
    auto active = std::make_shared<std::atomic<int>>(0);
    while (!stop.load()) {
        if (!platform::wait_readable(listener, 100)) continue;
        auto conn = platform::accept_connection(listener);
        if (!conn) {  // e.g. out of descriptors: do not spin on a listener that stays readable
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (active->fetch_add(1) >= limits.max_handlers) {
            active->fetch_sub(1);
            continue;  // over the cap: the socket closes here
        }
        auto job = std::make_unique<Job>(Job{std::move(*conn), handler, active, limits});
        const auto run = [](void* p) {
            const std::unique_ptr<Job> j(static_cast<Job*>(p));
            serve_connection(std::move(j->connection), *j->handler, j->limits);
            j->active->fetch_sub(1);
        };
        if (platform::start_detached_thread(run, job.get(), kConnectionStackBytes)) job.release();
        else active->fetch_sub(1);  // no thread: the connection is closed unanswered
    }
    listener.close();
}

}  // namespace nimbalo

#include "service/server.h"

#include <array>
#include <chrono>
#include <thread>

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
        try {
            std::thread([c = std::move(*conn), handler, active, limits]() mutable {
                serve_connection(std::move(c), *handler, limits);
                active->fetch_sub(1);
            }).detach();
        } catch (const std::system_error&) {
            active->fetch_sub(1);  // no thread: the connection is closed unanswered
        }
    }
    listener.close();
}

}  // namespace nimbalo

// The accept loop and the per-connection handler of the loopback interface.
// The loop waits on the listener for at most 100 ms at a time, so a connection is taken at once and
// the stop flag is seen within 100 ms. Each connection gets a thread of its own, at most
// max_handlers at once; beyond that a new connection is closed at once rather than queued.
// A connection thread makes its socket blocking with a receive time-out, reads until the request
// head is complete (8,192 bytes at most; a client that stalls is cut off by the time-out), answers,
// shuts down its sending side and drains briefly so the client reads the answer instead of a reset.
// Connection threads are detached; they keep the handler alive through a shared reference.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/net.h"

namespace nimbalo {

// Received bytes in, response bytes out; called concurrently from connection threads.
using RequestHandler = std::function<std::string(std::string_view received)>;

struct ServerLimits {
    uint32_t receive_timeout_ms = 2000;
    uint32_t send_timeout_ms = 5000;
    uint32_t drain_ms = 200;
    int max_handlers = 1024;
};

// Runs until stop is set, then closes the listener. Returns after at most ~100 ms past the stop.
void run_accept_loop(platform::Socket listener, const std::atomic<bool>& stop,
                     std::shared_ptr<const RequestHandler> handler, ServerLimits limits = {});

// Read one request head from a connected socket and answer it (what a connection thread does).
void serve_connection(platform::Socket connection, const RequestHandler& handler, const ServerLimits& limits);

}  // namespace nimbalo

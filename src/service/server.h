// The connection loop of the loopback interface.
// One thread (the caller's) owns every connection until its request is complete: it accepts, and
// reads whatever has arrived on any connection as a readiness poller reports it, so a client that
// sends slowly or not at all costs a socket and a buffer, never a thread. Each request must be
// complete (its head, 8,192 bytes at most) within request_timeout_ms of being accepted, however
// the bytes trickle in. A complete request goes to the process's task pool, whose fixed set of
// workers run the handler (the same workers run the searches' parallel scans) and send the answer;
// one that is out of time or whose client ended its sending incomplete is answered by the loop
// itself (the handler refuses an incomplete request without running anything). The socket then comes back to the loop, which
// reads and discards what the client still sends for drain_ms so the client reads the answer
// instead of a reset, and closes it. At most max_connections are open at once; beyond that a new
// connection is closed at once. The stop flag is seen within ~20 ms.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/net.h"

namespace nimbalo {

// Received bytes in, response bytes out; called concurrently from the pool's workers.
using RequestHandler = std::function<std::string(std::string_view received)>;

struct ServerLimits {
    uint32_t request_timeout_ms = 2000;  // from accept to a complete request head
    uint32_t send_timeout_ms = 5000;
    uint32_t drain_ms = 200;
    size_t max_connections = 60000;
};

// Runs until stop is set, then closes the listener and every connection it still holds.
void run_accept_loop(platform::Socket listener, const std::atomic<bool>& stop,
                     std::shared_ptr<const RequestHandler> handler, ServerLimits limits = {});

}  // namespace nimbalo

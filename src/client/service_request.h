// The loopback client of the search service: one "GET {path}" per connection to 127.0.0.1 and the
// reply's body. Shared by the launcher's worker and the MCP tools.
// A service that is down, slow, or answering rubbish yields nothing, never an error: callers treat
// that as "unreachable". So does a port held by another process than the service's
// (client/listener_owner.h): nothing is sent to it. Each call opens and closes its own socket;
// thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/net.h"

namespace nimbalo::client {

inline constexpr uint16_t kServicePort = 8123;

// 8123, or for tests NIMBALO_TEST_ONLY_SERVICE_PORT (the variable the service itself reads), so a
// test can talk to a service beside one that may already own the real port.
uint16_t service_port();

struct RequestLimits {
    uint32_t connect_ms = 180;
    // Receive and send time-out of the socket, and a bound on the whole exchange, so a peer that
    // trickles bytes cannot hold the caller for ever. 0: none.
    uint32_t timeout_ms = 0;
    // A reply larger than this is not the service's: nothing.
    size_t max_reply_bytes = size_t(16) << 20;
    uint16_t port = kServicePort;
    // Told the reason when the port's listener is not trusted (the diagnostic log always is).
    std::function<void(const std::string&)> on_untrusted;
};

// A connection to 127.0.0.1:port within connect_ms whose listener is the service's; nothing when
// the connection is refused or the listener is not trusted (the reason goes to the diagnostic log
// and to on_untrusted). The trust check runs after the connection is made, so it sees the table
// as it was when this connection was accepted, and before a byte is sent.
std::optional<platform::Socket> connect_service(uint16_t port, uint32_t connect_ms,
                                                const std::function<void(const std::string&)>& on_untrusted = {});

// Sends "GET {path} HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n" and reads until the
// peer closes. The body (all after the first "\r\n\r\n") when it is valid UTF-8; else nothing.
std::optional<std::string> service_request(std::string_view path, const RequestLimits& limits);

// The body of a raw HTTP reply: everything after the first "\r\n\r\n", when it is valid UTF-8.
std::optional<std::string> http_body(std::string_view reply);

}  // namespace nimbalo::client

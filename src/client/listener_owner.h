// Is the listener on the service's loopback port the service? Any local process that binds
// 127.0.0.1:8123 first would otherwise answer the launcher and the MCP tools with results of its
// own. Before a request is sent, the system's listener table is asked who holds the port:
//   - POSIX: the socket's user (/proc/net/tcp) must be root or the user running this process;
//   - Windows: the owning process (GetExtendedTcpTable) must be the process the Service Control
//     Manager reports for the "Nimbalo" service.
// Every listener that takes connections to 127.0.0.1 on the port counts (127.0.0.1, 0.0.0.0 and
// the IPv6 wildcard); at least one must be seen, and all must be trusted. A listener that is not
// trusted is treated like a refused connection: the caller sees no service.
// Test-only opt-out: NIMBALO_TEST_ONLY_TRUST_ANY_LISTENER=1 trusts any listener (the Wine suites
// serve Windows clients from a native Linux service, which no Windows service manager owns).
// Cost: one read of the listener tables per call, no cache, so a verdict is never older than the
// connection it judges (bench/client_bench.cpp: about 9 ms on Linux, all of it the kernel walking
// its connection hash to print /proc/net/tcp).
// Thread-safe; keeps no state.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/result.h"
#include "platform/tcp_listeners.h"

namespace nimbalo::client {

inline constexpr const char* kTrustAnyListenerVariable = "NIMBALO_TEST_ONLY_TRUST_ANY_LISTENER";

// Who may hold the port.
struct ListenerRule {
    enum class Kind { user, process };
    Kind kind = Kind::user;
    std::vector<uint32_t> trusted;  // user ids, or the service's process id; empty: nobody
    // Process rule without a service process: why ("the Nimbalo service is not running").
    std::string no_service;
};

// The verdict on the listeners of one port (pure): success, or the reason in one line, e.g.
// "service port 8123 is held by another user's process (uid 65534)".
Status judge_listeners(std::span<const platform::TcpListener> listeners, uint16_t port, const ListenerRule& rule);

// The rule of this system: root and the current user (POSIX), or the Nimbalo service's process.
ListenerRule system_listener_rule();

// The check itself, against the system's tables (or success under the test-only opt-out).
Status service_listener_trusted(uint16_t port);

}  // namespace nimbalo::client

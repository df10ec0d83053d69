// Listening TCP sockets as the system reports them, with the owner of each: the facts behind the
// check that the search service's loopback port is held by the service and not by an impostor.
// POSIX asks the kernel's socket diagnostics (netlink) for the listening sockets of the caller's
// network namespace, and reads /proc/net/tcp where that is missing; Windows asks
// GetExtendedTcpTable for its listener tables. The text parser is pure and tested with sample lines.
// Cost: POSIX, one netlink dump of the listening sockets (tens of microseconds); the procfs
// fallback makes the kernel walk its whole connection hash (about 9 ms on a 2-core test machine
// with 262,144 buckets, whatever the number of sockets); Windows, two table copies. Thread-safe; holds no state.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace nimbalo::platform {

// An IPv6 address in network byte order; an IPv4 address is stored mapped (::ffff:a.b.c.d).
using Ipv6Address = std::array<uint8_t, 16>;

Ipv6Address ipv4_mapped(uint8_t a, uint8_t b, uint8_t c, uint8_t d);

struct TcpListener {
    Ipv6Address address{};
    uint16_t port = 0;
    // POSIX: the user id of the socket; Windows: the id of the owning process (0 when the system
    // cannot tell, as under Wine for a process that is not Wine's).
    uint32_t owner = 0;
};

// True when a listener bound to this address takes connections made to 127.0.0.1: 127.0.0.1 and
// 0.0.0.0 (plain or mapped) and the IPv6 wildcard "::" (dual-stack unless V6ONLY, which the
// tables do not show; counted, to be safe).
bool takes_loopback_v4(const Ipv6Address& address);

// The listening rows (state 0A) of /proc/net/tcp (ipv6 false) or /proc/net/tcp6 (ipv6 true):
// "sl local_address rem_address st ... uid ...", addresses as the kernel prints them (each 32-bit
// word in hexadecimal in the machine's byte order), ports in big-endian hexadecimal. The header
// line (starting with "sl") and blank lines are skipped. A row that does not have this shape is
// an error naming its line: a table we cannot read is never taken as "no impostor".
Result<std::vector<TcpListener>> parse_proc_net_tcp(std::string_view text, bool ipv6);

// The user id of this process as the POSIX tables write it (the real user id); Windows: none,
// its rows carry process ids.
std::optional<uint32_t> current_user_id();

// The listening sockets on the port. Windows: IPv4 and IPv6; POSIX: IPv4 (see the .cpp for why
// that is enough to judge a 127.0.0.1 connection).
Result<std::vector<TcpListener>> tcp_listeners(uint16_t port);

}  // namespace nimbalo::platform

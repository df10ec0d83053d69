// The listener tables of the caller's network namespace, from procfs.
#include <unistd.h>

#include "platform/system.h"
#include "platform/tcp_listeners.h"

namespace nimbalo::platform {

namespace {

// A table of a few thousand sockets is some hundred kilobytes; far beyond that is not a table.
constexpr uint64_t kMaxTableBytes = uint64_t(64) << 20;

Status add_table(const char* path, bool ipv6, uint16_t port, std::vector<TcpListener>& out) {
    auto text = read_file(path, kMaxTableBytes);
    if (!text) return fail(std::string("cannot read ") + path + ": " + text.error());
    auto rows = parse_proc_net_tcp(*text, ipv6);
    if (!rows) return fail(std::string(path) + ": " + rows.error());
    for (const TcpListener& l : *rows)
        if (l.port == port) out.push_back(l);
    return {};
}

}  // namespace

std::optional<uint32_t> current_user_id() { return uint32_t(::getuid()); }

Result<std::vector<TcpListener>> tcp_listeners(uint16_t port) {
    // Only the IPv4 table: reading a table costs the kernel a walk of its whole connection hash
    // (about 9 ms on a machine with 262,144 buckets), and the IPv6 one cannot change the verdict.
    // A dual-stack listener on [::]:port keeps anyone else from binding 127.0.0.1:port (and the
    // other way round), so when it holds the port the IPv4 table shows no listener on 127.0.0.1
    // or 0.0.0.0 at all, which is never trusted.
    std::vector<TcpListener> out;
    if (auto s = add_table("/proc/net/tcp", false, port, out); !s) return std::move(s).take_error();
    return out;
}

}  // namespace nimbalo::platform

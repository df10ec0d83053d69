// The listener tables of the caller's network namespace, from procfs.
#include <sys/stat.h>
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
    std::vector<TcpListener> out;
    if (auto s = add_table("/proc/net/tcp", false, port, out); !s) return std::move(s).take_error();
    // A kernel without IPv6 has no tcp6 table; then nothing listens there.
    struct stat st {};
    if (::stat("/proc/net/tcp6", &st) == 0)
        if (auto s = add_table("/proc/net/tcp6", true, port, out); !s) return std::move(s).take_error();
    return out;
}

}  // namespace nimbalo::platform

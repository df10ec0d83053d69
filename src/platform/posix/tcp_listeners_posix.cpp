// The listener tables of the caller's network namespace: asked of the kernel's socket
// diagnostics over netlink (listening sockets only, microseconds), or read from procfs where
// that interface is missing (a kernel without inet_diag).
#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

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

// The IPv4 TCP sockets in LISTEN state on the port, from NETLINK_SOCK_DIAG. With only the LISTEN
// state asked for, the kernel walks its listening hash alone. None when the interface is not
// there or answers in a way we do not follow: the caller falls back to procfs.
std::optional<std::vector<TcpListener>> diag_listeners(uint16_t port) {
    const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0) return std::nullopt;
    struct Request {
        nlmsghdr header;
        inet_diag_req_v2 body;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.body.sdiag_family = AF_INET;
    request.body.sdiag_protocol = IPPROTO_TCP;
    request.body.idiag_states = 1u << TCP_LISTEN;
    request.body.id.idiag_sport = htons(port);
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd, &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) !=
        ssize_t(sizeof request)) {
        ::close(fd);
        return std::nullopt;
    }
    std::vector<TcpListener> out;
    alignas(nlmsghdr) char buffer[32768];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        int left = int(n);
        for (auto* h = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(h, left); h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_type == NLMSG_DONE) {
                ::close(fd);
                return out;
            }
            if (h->nlmsg_type != SOCK_DIAG_BY_FAMILY || h->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) {
                ::close(fd);
                return std::nullopt;  // NLMSG_ERROR (no inet_diag here) or a shape we do not know
            }
            const auto* m = static_cast<const inet_diag_msg*>(NLMSG_DATA(h));
            if (m->idiag_state != TCP_LISTEN || ntohs(m->id.idiag_sport) != port) continue;
            const auto* a = reinterpret_cast<const uint8_t*>(&m->id.idiag_src[0]);
            out.push_back({ipv4_mapped(a[0], a[1], a[2], a[3]), port, m->idiag_uid});
        }
    }
    ::close(fd);
    return std::nullopt;  // the dump ended without its DONE message
}

}  // namespace

std::optional<uint32_t> current_user_id() { return uint32_t(::getuid()); }

Result<std::vector<TcpListener>> tcp_listeners(uint16_t port) {
    // Only IPv4, and procfs only as the fallback: reading a table costs the kernel a walk of its whole connection hash
    // (about 9 ms on a machine with 262,144 buckets), and the IPv6 one cannot change the verdict.
    // A dual-stack listener on [::]:port keeps anyone else from binding 127.0.0.1:port (and the
    // other way round), so when it holds the port the IPv4 table shows no listener on 127.0.0.1
    // or 0.0.0.0 at all, which is never trusted.
    if (auto listeners = diag_listeners(port)) return std::move(*listeners);
    std::vector<TcpListener> out;
    if (auto s = add_table("/proc/net/tcp", false, port, out); !s) return std::move(s).take_error();
    return out;
}

}  // namespace nimbalo::platform

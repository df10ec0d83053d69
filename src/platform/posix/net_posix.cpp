#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/net.h"
#include "platform/system.h"

namespace nimbalo::platform {

namespace {
int fd_of(const Socket& s) { return static_cast<int>(s.handle()); }

Status set_nonblocking(int fd, bool on) {
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0) return fail(system_error_text(errno));
    if (fcntl(fd, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) < 0) return fail(system_error_text(errno));
    return {};
}

Result<sockaddr_in> make_addr(const char* ipv4, uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (inet_pton(AF_INET, ipv4, &addr.sin_addr) != 1) return fail(std::string("bad address: ") + ipv4);
    return addr;
}
}  // namespace

void SocketHandleTraits::close(intptr_t v) { ::close(static_cast<int>(v)); }

Status Socket::set_blocking(bool blocking) { return set_nonblocking(fd_of(*this), !blocking); }

Status Socket::set_timeouts(uint32_t receive_ms, uint32_t send_ms) {
    timeval rt{static_cast<time_t>(receive_ms / 1000), static_cast<suseconds_t>((receive_ms % 1000) * 1000)};
    timeval st{static_cast<time_t>(send_ms / 1000), static_cast<suseconds_t>((send_ms % 1000) * 1000)};
    if (setsockopt(fd_of(*this), SOL_SOCKET, SO_RCVTIMEO, &rt, sizeof rt) != 0 ||
        setsockopt(fd_of(*this), SOL_SOCKET, SO_SNDTIMEO, &st, sizeof st) != 0)
        return fail(system_error_text(errno));
    return {};
}

Result<size_t> Socket::receive(std::span<char> buf) {
    for (;;) {
        const ssize_t n = ::recv(fd_of(*this), buf.data(), buf.size(), 0);
        if (n >= 0) return size_t(n);
        if (errno == EINTR) continue;
        return fail(system_error_text(errno));
    }
}

Status Socket::send_all(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd_of(*this), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(system_error_text(errno));
        }
        bytes.remove_prefix(size_t(n));
    }
    return {};
}

void Socket::shutdown_send() {
    if (valid()) ::shutdown(fd_of(*this), SHUT_WR);
}

void net_startup() {}

Result<Socket> listen_tcp(const char* ipv4, uint16_t port, int backlog) {
    auto addr = make_addr(ipv4, port);
    if (!addr) return std::move(addr).take_error();
    Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!s.valid()) return fail(system_error_text(errno));
    const int one = 1;
    setsockopt(fd_of(s), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd_of(s), reinterpret_cast<const sockaddr*>(&*addr), sizeof *addr) != 0) return fail(system_error_text(errno));
    if (::listen(fd_of(s), backlog) != 0) return fail(system_error_text(errno));
    if (auto st = s.set_blocking(false); !st) return std::move(st).take_error();
    return s;
}

bool wait_readable(const Socket& socket, uint32_t timeout_ms) {
    pollfd p{fd_of(socket), POLLIN, 0};
    for (;;) {
        const int r = ::poll(&p, 1, int(timeout_ms));
        if (r < 0 && errno == EINTR) continue;
        return r > 0;
    }
}

Result<Socket> accept_connection(const Socket& listener) {
    for (;;) {
        const int fd = ::accept4(fd_of(listener), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) return Socket(fd);  // accept4 without SOCK_NONBLOCK: the new socket blocks
        if (errno == EINTR) continue;
        return fail(system_error_text(errno));
    }
}

Result<Socket> connect_tcp(const char* ipv4, uint16_t port, uint32_t timeout_ms) {
    auto addr = make_addr(ipv4, port);
    if (!addr) return std::move(addr).take_error();
    Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!s.valid()) return fail(system_error_text(errno));
    if (::connect(fd_of(s), reinterpret_cast<const sockaddr*>(&*addr), sizeof *addr) != 0) {
        if (errno != EINPROGRESS) return fail(system_error_text(errno));
        pollfd p{fd_of(s), POLLOUT, 0};
        int r;
        while ((r = ::poll(&p, 1, int(timeout_ms))) < 0 && errno == EINTR) {
        }
        if (r == 0) return fail("connection timed out");
        int err = 0;
        socklen_t len = sizeof err;
        if (r < 0 || getsockopt(fd_of(s), SOL_SOCKET, SO_ERROR, &err, &len) != 0) return fail(system_error_text(errno));
        if (err != 0) return fail(system_error_text(err));
    }
    if (auto st = s.set_blocking(true); !st) return std::move(st).take_error();
    return s;
}

}  // namespace nimbalo::platform

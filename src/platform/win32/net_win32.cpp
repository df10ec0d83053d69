// Winsock implementation of platform/net.h.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <mutex>

#include "platform/net.h"
#include "platform/system.h"

namespace nimbalo::platform {

namespace {

SOCKET sock_of(const Socket& s) { return static_cast<SOCKET>(s.handle()); }

std::string wsa_error_text() { return system_error_text(WSAGetLastError()); }

Status set_nonblocking(SOCKET s, bool on) {
    u_long mode = on ? 1 : 0;
    if (ioctlsocket(s, FIONBIO, &mode) != 0) return fail(wsa_error_text());
    return {};
}

Result<sockaddr_in> make_addr(const char* ipv4, uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (inet_pton(AF_INET, ipv4, &addr.sin_addr) != 1) return fail(std::string("bad address: ") + ipv4);
    return addr;
}

// Sockets are never inherited by child processes (sc.exe, the MCP self-test, updates).
Socket new_tcp_socket() {
    return Socket(static_cast<intptr_t>(WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT)));
}

}  // namespace

void SocketHandleTraits::close(intptr_t v) { ::closesocket(static_cast<SOCKET>(v)); }

Status Socket::set_blocking(bool blocking) { return set_nonblocking(sock_of(*this), !blocking); }

Status Socket::set_timeouts(uint32_t receive_ms, uint32_t send_ms) {
    const DWORD rt = receive_ms, st = send_ms;
    if (setsockopt(sock_of(*this), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&rt), sizeof rt) != 0 ||
        setsockopt(sock_of(*this), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&st), sizeof st) != 0)
        return fail(wsa_error_text());
    return {};
}

Result<size_t> Socket::receive(std::span<char> buf) {
    const int want = buf.size() > 0x7FFFFFFF ? 0x7FFFFFFF : int(buf.size());
    const int n = ::recv(sock_of(*this), buf.data(), want, 0);
    if (n == SOCKET_ERROR) return fail(wsa_error_text());
    return size_t(n);
}

Status Socket::send_all(std::string_view bytes) {
    while (!bytes.empty()) {
        const int chunk = bytes.size() > 0x40000000 ? 0x40000000 : int(bytes.size());
        const int n = ::send(sock_of(*this), bytes.data(), chunk, 0);
        if (n == SOCKET_ERROR) return fail(wsa_error_text());
        bytes.remove_prefix(size_t(n));
    }
    return {};
}

void Socket::shutdown_send() {
    if (valid()) ::shutdown(sock_of(*this), SD_SEND);
}

void net_startup() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        (void)WSAStartup(MAKEWORD(2, 2), &data);  // a failure shows in the first socket call
    });
}

Result<Socket> listen_tcp(const char* ipv4, uint16_t port, int backlog) {
    net_startup();
    auto addr = make_addr(ipv4, port);
    if (!addr) return std::move(addr).take_error();
    Socket s = new_tcp_socket();
    if (!s.valid()) return fail(wsa_error_text());
    // Nobody else may bind the same port while we hold it (SO_REUSEADDR would allow a hijack here).
    const BOOL one = TRUE;
    setsockopt(sock_of(s), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one), sizeof one);
    if (::bind(sock_of(s), reinterpret_cast<const sockaddr*>(&*addr), sizeof *addr) != 0) return fail(wsa_error_text());
    if (::listen(sock_of(s), backlog) != 0) return fail(wsa_error_text());
    if (auto st = s.set_blocking(false); !st) return std::move(st).take_error();
    return s;
}

bool wait_readable(const Socket& socket, uint32_t timeout_ms) {
    WSAPOLLFD p{};
    p.fd = sock_of(socket);
    p.events = POLLRDNORM;
    const int r = WSAPoll(&p, 1, int(timeout_ms));
    return r > 0 && (p.revents & (POLLRDNORM | POLLERR | POLLHUP)) != 0;
}

Result<Socket> accept_connection(const Socket& listener) {
    Socket s(static_cast<intptr_t>(::accept(sock_of(listener), nullptr, nullptr)));
    if (!s.valid()) return fail(wsa_error_text());
    // An accepted socket inherits the listener's non-blocking mode on Windows.
    if (auto st = s.set_blocking(true); !st) return std::move(st).take_error();
    SetHandleInformation(reinterpret_cast<HANDLE>(sock_of(s)), HANDLE_FLAG_INHERIT, 0);
    return s;
}

Result<Socket> connect_tcp(const char* ipv4, uint16_t port, uint32_t timeout_ms) {
    net_startup();
    auto addr = make_addr(ipv4, port);
    if (!addr) return std::move(addr).take_error();
    Socket s = new_tcp_socket();
    if (!s.valid()) return fail(wsa_error_text());
    if (auto st = s.set_blocking(false); !st) return std::move(st).take_error();
    if (::connect(sock_of(s), reinterpret_cast<const sockaddr*>(&*addr), sizeof *addr) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK) return fail(wsa_error_text());
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(sock_of(s), &writable);
        FD_SET(sock_of(s), &failed);
        timeval tv{long(timeout_ms / 1000), long((timeout_ms % 1000) * 1000)};
        const int r = ::select(0, nullptr, &writable, &failed, &tv);
        if (r == 0) return fail("connection timed out");
        if (r == SOCKET_ERROR) return fail(wsa_error_text());
        if (FD_ISSET(sock_of(s), &failed)) {
            int err = 0;
            int len = sizeof err;
            getsockopt(sock_of(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len);
            return fail(system_error_text(err ? err : WSAECONNREFUSED));
        }
    }
    if (auto st = s.set_blocking(true); !st) return std::move(st).take_error();
    return s;
}

}  // namespace nimbalo::platform

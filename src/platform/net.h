// TCP sockets behind one narrow interface: the service's loopback listener and the loopback
// clients of the MCP tools. IPv4 only. A Socket is the sole owner of its OS socket (closed
// exactly once); it is move-only. One thread uses a socket at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/result.h"
#include "platform/unique_handle.h"

namespace nimbalo::platform {

// How a Socket's OS handle is closed (a descriptor on POSIX, a SOCKET on Windows).
struct SocketHandleTraits {
    using Value = intptr_t;
    static constexpr Value none() { return -1; }
    static bool valid(Value v) { return v != -1; }
    static void close(Value v);
};

class Socket {
public:
    Socket() = default;
    explicit Socket(intptr_t handle) : handle_(handle) {}
    Socket(Socket&&) noexcept = default;
    Socket& operator=(Socket&&) noexcept = default;
    Socket(const Socket&) = delete;  // owns the OS socket: never copied
    Socket& operator=(const Socket&) = delete;

    bool valid() const { return handle_.valid(); }
    intptr_t handle() const { return handle_.get(); }

    Status set_blocking(bool blocking);
    // Receive and send time-outs in milliseconds (0 = none).
    Status set_timeouts(uint32_t receive_ms, uint32_t send_ms);
    // Bytes received (0 when the peer closed), or an error (a time-out is an error).
    Result<size_t> receive(std::span<char> buf);
    // Send every byte, retrying partial sends.
    Status send_all(std::string_view bytes);
    void shutdown_send();
    void close() { handle_.reset(); }

private:
    UniqueHandle<SocketHandleTraits> handle_;
};

// Start the socket library once per process (WSAStartup on Windows; nothing elsewhere).
void net_startup();

// A listening socket bound to ipv4:port with the given backlog, non-blocking.
Result<Socket> listen_tcp(const char* ipv4, uint16_t port, int backlog);

// Wait up to timeout_ms for a socket to become readable (for a listener: a connection pending).
// True when readable; false on time-out or error.
bool wait_readable(const Socket& socket, uint32_t timeout_ms);

// Accept one pending connection (an error when none is pending). The accepted socket is blocking.
Result<Socket> accept_connection(const Socket& listener);

// Connect to ipv4:port, giving up after timeout_ms. The returned socket is blocking.
Result<Socket> connect_tcp(const char* ipv4, uint16_t port, uint32_t timeout_ms);

}  // namespace nimbalo::platform

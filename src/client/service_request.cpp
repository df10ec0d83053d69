#include "client/service_request.h"

#include <chrono>

#include "client/listener_owner.h"
#include "common/text.h"
#include "platform/debug_log.h"
#include "platform/net.h"
#include "platform/system.h"

namespace nimbalo::client {

uint16_t service_port() {
    uint64_t port = 0;
    if (auto v = platform::get_env("NIMBALO_TEST_ONLY_SERVICE_PORT"); v && parse_u64_plus(*v, port) && port > 0 && port < 65536)
        return uint16_t(port);
    return kServicePort;
}

std::optional<std::string> http_body(std::string_view reply) {
    const size_t cut = reply.find("\r\n\r\n");
    if (cut == std::string_view::npos) return std::nullopt;
    const std::string_view body = reply.substr(cut + 4);
    if (!is_valid_utf8(body)) return std::nullopt;
    return std::string(body);
}

std::optional<platform::Socket> connect_service(uint16_t port, uint32_t connect_ms,
                                                const std::function<void(const std::string&)>& on_untrusted) {
    platform::net_startup();
    auto sock = platform::connect_tcp("127.0.0.1", port, connect_ms);
    if (!sock) return std::nullopt;
    if (auto trusted = service_listener_trusted(port); !trusted) {
        platform::debug_log(trusted.error() + "; treating the service as unreachable");
        if (on_untrusted) on_untrusted(trusted.error());
        return std::nullopt;
    }
    return std::move(*sock);
}

std::optional<std::string> service_request(std::string_view path, const RequestLimits& limits) {
    using Clock = std::chrono::steady_clock;
    auto sock = connect_service(limits.port, limits.connect_ms, limits.on_untrusted);
    if (!sock) return std::nullopt;
    if (limits.timeout_ms != 0) (void)sock->set_timeouts(limits.timeout_ms, limits.timeout_ms);
    const std::string request = "GET " + std::string(path) + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    if (!sock->send_all(request)) return std::nullopt;
    const auto deadline = Clock::now() + std::chrono::milliseconds(limits.timeout_ms);
    std::string reply;
    char buf[64 * 1024];
    for (;;) {
        auto got = sock->receive(std::span<char>(buf, sizeof buf));
        if (!got) return std::nullopt;
        if (*got == 0) break;
        if (reply.size() + *got > limits.max_reply_bytes) return std::nullopt;
        reply.append(buf, *got);
        if (limits.timeout_ms != 0 && Clock::now() > deadline) return std::nullopt;
    }
    return http_body(reply);
}

}  // namespace nimbalo::client

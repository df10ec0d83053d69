#include "mcp/service_link.h"

#include <chrono>

#include "common/text.h"
#include "platform/net.h"

namespace nimbalo::mcp {

std::optional<std::string> http_body(std::string_view reply) {
    const size_t cut = reply.find("\r\n\r\n");
    if (cut == std::string_view::npos) return std::nullopt;
    const std::string_view body = reply.substr(cut + 4);
    if (!is_valid_utf8(body)) return std::nullopt;
    return std::string(body);
}

std::optional<std::string> LoopbackService::get(std::string_view target, uint32_t timeout_ms) {
    using Clock = std::chrono::steady_clock;
    platform::net_startup();
    auto sock = platform::connect_tcp("127.0.0.1", kServicePort, kServiceConnectMs);
    if (!sock) return std::nullopt;
    if (!sock->set_timeouts(timeout_ms, timeout_ms)) return std::nullopt;
    const std::string request =
        "GET " + std::string(target) + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    if (!sock->send_all(request)) return std::nullopt;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    std::string reply;
    char buf[64 * 1024];
    for (;;) {
        auto got = sock->receive(std::span<char>(buf, sizeof buf));
        if (!got) return std::nullopt;
        if (*got == 0) break;
        if (reply.size() + *got > kMaxServiceReplyBytes) return std::nullopt;
        reply.append(buf, *got);
        if (Clock::now() > deadline) return std::nullopt;
    }
    return http_body(reply);
}

bool LoopbackService::up() {
    platform::net_startup();
    return platform::connect_tcp("127.0.0.1", kServicePort, kServiceProbeMs).ok();
}

}  // namespace nimbalo::mcp

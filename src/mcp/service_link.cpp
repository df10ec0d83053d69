#include "mcp/service_link.h"

#include "client/service_request.h"
#include "platform/net.h"

namespace nimbalo::mcp {

std::optional<std::string> LoopbackService::get(std::string_view target, uint32_t timeout_ms) {
    client::RequestLimits limits;
    limits.connect_ms = kServiceConnectMs;
    limits.timeout_ms = timeout_ms;
    limits.max_reply_bytes = kMaxServiceReplyBytes;
    limits.port = kServicePort;
    return client::service_request(target, limits);
}

bool LoopbackService::up() {
    platform::net_startup();
    return platform::connect_tcp("127.0.0.1", kServicePort, kServiceProbeMs).ok();
}

}  // namespace nimbalo::mcp

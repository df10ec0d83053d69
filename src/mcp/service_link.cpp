#include "mcp/service_link.h"

#include "client/service_request.h"

namespace nimbalo::mcp {

std::optional<std::string> LoopbackService::get(std::string_view target, uint32_t timeout_ms) {
    client::RequestLimits limits;
    limits.connect_ms = kServiceConnectMs;
    limits.timeout_ms = timeout_ms;
    limits.max_reply_bytes = kMaxServiceReplyBytes;
    limits.port = client::service_port();
    limits.on_untrusted = [this](const std::string& reason) { untrusted(reason); };
    return client::service_request(target, limits);
}

bool LoopbackService::up() {
    return client::connect_service(client::service_port(), kServiceProbeMs, [this](const std::string& r) { untrusted(r); }).has_value();
}

void LoopbackService::untrusted(const std::string& reason) {
    if (reason == last_reason_) return;
    last_reason_ = reason;
    if (log_) log_("service  not used: " + reason);
}

}  // namespace nimbalo::mcp

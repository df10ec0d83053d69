// The MCP tools' line to the search service on 127.0.0.1:8123 (client::service_port(): tests may
// move it, as they move the service): one GET per connection and a bare reachability probe. An
// interface so the tools can be tested with a scripted service.
// A service that is down, slow or answering rubbish yields nothing, never an error: the tools
// then fall back to their own index. Not thread-safe; the server uses it from one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace nimbalo::mcp {

inline constexpr uint32_t kServiceConnectMs = 200;
inline constexpr uint32_t kServiceProbeMs = 150;
// A search answer holds at most 1,000 paths; anything far beyond that is not the service.
inline constexpr size_t kMaxServiceReplyBytes = size_t(64) << 20;

class ServiceLink {
public:
    virtual ~ServiceLink() = default;
    // The body of the reply to "GET {target}", or nullopt (refused, timed out, too large, no
    // blank line after the headers, body not UTF-8). timeout_ms bounds each receive and send and
    // also the whole exchange, so a peer that trickles bytes cannot hold the tool forever.
    virtual std::optional<std::string> get(std::string_view target, uint32_t timeout_ms) = 0;
    // True when the port accepts a connection within 150 ms.
    virtual bool up() = 0;
};

// The real link over loopback TCP. A port held by another process than the service's counts as
// a service that does not answer (client/listener_owner.h); the reason goes to the activity log,
// once for each new reason so a session of many calls does not repeat it.
class LoopbackService final : public ServiceLink {
public:
    explicit LoopbackService(std::function<void(std::string_view)> log = {}) : log_(std::move(log)) {}
    std::optional<std::string> get(std::string_view target, uint32_t timeout_ms) override;
    bool up() override;

private:
    void untrusted(const std::string& reason);
    std::function<void(std::string_view)> log_;
    std::string last_reason_;
};

}  // namespace nimbalo::mcp

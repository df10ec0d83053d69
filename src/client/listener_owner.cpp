#include "client/listener_owner.h"

#include <algorithm>

#include "platform/service_manager.h"
#include "platform/system.h"

namespace nimbalo::client {

namespace {

constexpr const char* kServiceName = "Nimbalo";

std::string port_text(uint16_t port) { return "service port " + std::to_string(port); }

}  // namespace

Status judge_listeners(std::span<const platform::TcpListener> listeners, uint16_t port, const ListenerRule& rule) {
    bool seen = false;
    for (const platform::TcpListener& l : listeners) {
        if (l.port != port || !platform::takes_loopback_v4(l.address)) continue;
        seen = true;
        if (std::find(rule.trusted.begin(), rule.trusted.end(), l.owner) != rule.trusted.end()) continue;
        if (rule.kind == ListenerRule::Kind::user)
            return fail(port_text(port) + " is held by another user's process (uid " + std::to_string(l.owner) + ")");
        const std::string holder = l.owner == 0 ? "a process the system does not name" : "process " + std::to_string(l.owner);
        if (rule.trusted.empty())
            return fail(port_text(port) + " is held by " + holder + ", and " +
                        (rule.no_service.empty() ? std::string("the Nimbalo service is not running") : rule.no_service));
        return fail(port_text(port) + " is held by " + holder + ", not by the Nimbalo service (process " +
                    std::to_string(rule.trusted.front()) + ")");
    }
    if (!seen) return fail(port_text(port) + " has no listener on 127.0.0.1 in the system's table");
    return {};
}

ListenerRule system_listener_rule() {
    ListenerRule rule;
    if (auto uid = platform::current_user_id()) {
        rule.kind = ListenerRule::Kind::user;
        rule.trusted = {0};
        if (*uid != 0) rule.trusted.push_back(*uid);
        return rule;
    }
    rule.kind = ListenerRule::Kind::process;
    if (auto pid = platform::service_process_id(kServiceName)) rule.trusted = {*pid};
    else rule.no_service = pid.error();
    return rule;
}

Status service_listener_trusted(uint16_t port) {
    if (platform::get_env(kTrustAnyListenerVariable) == "1") return {};
    auto listeners = platform::tcp_listeners(port);
    if (!listeners) return fail(port_text(port) + ": cannot tell who holds it: " + listeners.error());
    return judge_listeners(*listeners, port, system_listener_rule());
}

}  // namespace nimbalo::client

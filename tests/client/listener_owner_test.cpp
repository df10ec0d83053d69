// Whether the loopback client trusts the listener on the service's port: the verdict on given
// listener rows, and the whole path against real listeners - one of this process (our user: trusted
// natively; on Windows not the service's process) and one of the user "nobody" (never trusted).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "client/listener_owner.h"
#include "client/service_request.h"
#include "platform/child_process.h"
#include "platform/file_io.h"
#include "platform/net.h"
#include "platform/os.h"
#include "platform/service_manager.h"
#include "platform/system.h"
#include "platform/tcp_listeners.h"

using namespace nimbalo;
using platform::ipv4_mapped;
using platform::TcpListener;
using Kind = client::ListenerRule::Kind;

namespace {

const client::ListenerRule kUserRule{Kind::user, {0, 1000}, ""};

std::pair<platform::Socket, uint16_t> free_listener() {
    platform::net_startup();
    std::mt19937 rng(20261215);
    for (int tries = 0; tries < 50; ++tries) {
        const uint16_t p = uint16_t(20000 + rng() % 30000);
        if (auto l = platform::listen_tcp("127.0.0.1", p, 16)) return {std::move(*l), p};
    }
    ADD_FAILURE() << "no free port";
    return {};
}

// Sets or clears an environment variable for one test.
struct ScopedEnv {
    const char* name;
    ScopedEnv(const char* n, const char* value) : name(n) { (void)platform::set_env(n, std::string(value)); }
    ~ScopedEnv() { (void)platform::set_env(name, std::nullopt); }
};

}  // namespace

TEST(JudgeListeners, UserRule) {
    const std::vector<TcpListener> root_local{{ipv4_mapped(127, 0, 0, 1), 8123, 0}};
    EXPECT_TRUE(client::judge_listeners(root_local, 8123, kUserRule));
    const std::vector<TcpListener> mine_wildcard{{ipv4_mapped(0, 0, 0, 0), 8123, 1000}, {{}, 8123, 0}};
    EXPECT_TRUE(client::judge_listeners(mine_wildcard, 8123, kUserRule));

    const std::vector<TcpListener> other{{ipv4_mapped(127, 0, 0, 1), 8123, 65534}};
    auto s = client::judge_listeners(other, 8123, kUserRule);
    ASSERT_FALSE(s);
    EXPECT_EQ(s.error(), "service port 8123 is held by another user's process (uid 65534)");

    // Beside the service's own listener, another user's wildcard or dual-stack listener could take
    // the connection: not trusted either.
    const std::vector<TcpListener> beside{{ipv4_mapped(127, 0, 0, 1), 8123, 0}, {{}, 8123, 33}};
    EXPECT_EQ(client::judge_listeners(beside, 8123, kUserRule).error(),
              "service port 8123 is held by another user's process (uid 33)");

    // Listeners that cannot take a connection to 127.0.0.1:8123 do not count, for or against.
    platform::Ipv6Address v6_loopback{};
    v6_loopback[15] = 1;
    const std::vector<TcpListener> elsewhere{{ipv4_mapped(127, 0, 0, 1), 8124, 1000},
                                             {ipv4_mapped(192, 168, 1, 5), 8123, 65534},
                                             {v6_loopback, 8123, 65534},
                                             {ipv4_mapped(127, 0, 0, 1), 8123, 1000}};
    EXPECT_TRUE(client::judge_listeners(elsewhere, 8123, kUserRule));
    // Nothing seen at all (the connection went somewhere the table does not show): not trusted.
    EXPECT_EQ(client::judge_listeners(std::span(elsewhere).first(3), 8123, kUserRule).error(),
              "service port 8123 has no listener on 127.0.0.1 in the system's table");
    EXPECT_FALSE(client::judge_listeners({}, 8123, kUserRule));
}

TEST(JudgeListeners, ServiceProcessRule) {
    const client::ListenerRule service{Kind::process, {4242}, ""};
    const std::vector<TcpListener> by_service{{ipv4_mapped(127, 0, 0, 1), 8123, 4242}};
    EXPECT_TRUE(client::judge_listeners(by_service, 8123, service));

    const std::vector<TcpListener> by_other{{ipv4_mapped(0, 0, 0, 0), 8123, 77}};
    EXPECT_EQ(client::judge_listeners(by_other, 8123, service).error(),
              "service port 8123 is held by process 77, not by the Nimbalo service (process 4242)");
    const std::vector<TcpListener> unnamed{{ipv4_mapped(127, 0, 0, 1), 8123, 0}};
    EXPECT_EQ(client::judge_listeners(unnamed, 8123, service).error(),
              "service port 8123 is held by a process the system does not name, not by the Nimbalo service (process 4242)");

    const client::ListenerRule stopped{Kind::process, {}, "the Nimbalo service is not running"};
    EXPECT_EQ(client::judge_listeners(by_service, 8123, stopped).error(),
              "service port 8123 is held by process 4242, and the Nimbalo service is not running");
}

TEST(ServiceListener, RuleOfThisSystem) {
    const client::ListenerRule rule = client::system_listener_rule();
    if (platform::kWindows) {
        EXPECT_EQ(rule.kind, Kind::process);
        // No "Nimbalo" service in a test prefix: nobody is trusted, and the reason says why.
        if (!platform::service_process_id("Nimbalo")) {
            EXPECT_TRUE(rule.trusted.empty());
            EXPECT_FALSE(rule.no_service.empty());
        }
    } else {
        EXPECT_EQ(rule.kind, Kind::user);
        EXPECT_EQ(rule.trusted.front(), 0u);
        EXPECT_NE(std::find(rule.trusted.begin(), rule.trusted.end(), *platform::current_user_id()), rule.trusted.end());
    }
}

// A listener of this process: ours natively, so trusted and asked; on Windows not the service's
// process, so refused like a closed port and never sent a byte - unless the test-only opt-out is set.
TEST(ServiceListener, OwnListener) {
    auto [listener, port] = free_listener();
    std::atomic<int> requests{0};
    std::thread server([&, l = std::move(listener)] {
        for (int served = 0; served < 2 && platform::wait_readable(l, 3000);) {
            auto c = platform::accept_connection(l);
            if (!c) continue;
            ++served;
            char buf[1024];
            (void)c->set_timeouts(2000, 2000);
            if (auto n = c->receive(buf); n && *n > 0) {
                ++requests;
                (void)c->send_all("HTTP/1.1 200 OK\r\n\r\n{\"state\":3}");
            }
        }
    });
    client::RequestLimits limits;
    limits.port = port;
    limits.timeout_ms = 3000;
    std::string reason;
    limits.on_untrusted = [&](const std::string& r) { reason = r; };
    const auto body = client::service_request("/progress", limits);
    if (platform::kWindows) {
        EXPECT_FALSE(body);
        EXPECT_NE(reason.find("service port " + std::to_string(port) + " is held by "), std::string::npos) << reason;
        ScopedEnv trust_any(client::kTrustAnyListenerVariable, "1");
        EXPECT_TRUE(client::service_listener_trusted(port));
        EXPECT_EQ(client::service_request("/progress", limits), "{\"state\":3}");
    } else {
        EXPECT_TRUE(client::service_listener_trusted(port));
        EXPECT_EQ(body, "{\"state\":3}");
        EXPECT_EQ(reason, "");
        EXPECT_EQ(client::service_request("/progress", limits), "{\"state\":3}");
    }
    server.join();
    EXPECT_EQ(requests.load(), platform::kWindows ? 1 : 2);
}

// A listener of the user "nobody" is another user's: refused, and sent nothing. Needs root (to
// start it as nobody), setpriv and python3.
TEST(ServiceListener, OtherUsersListenerIsNotTrusted) {
    if (platform::kWindows || !platform::running_elevated() || !platform::path_exists("/usr/bin/setpriv") ||
        !platform::path_exists("/usr/bin/python3"))
        GTEST_SKIP() << "needs root, /usr/bin/setpriv and /usr/bin/python3 to listen as user nobody";
    // Listens on a port of the system's choosing and prints it (a port picked here and freed could
    // be taken meanwhile by a test running beside this one), then reports on stdout whether
    // anything arrived on the one connection it accepts.
    const std::string script =
        "import socket,sys\n"
        "s=socket.socket()\n"
        "s.bind(('127.0.0.1',0)); s.listen(4); s.settimeout(10)\n"
        "sys.stdout.write('%d\\n' % s.getsockname()[1]); sys.stdout.flush()\n"
        "c,_=s.accept(); c.settimeout(1)\n"
        "try: d=c.recv(100)\n"
        "except Exception: d=b''\n"
        "c.sendall(b'HTTP/1.1 200 OK\\r\\n\\r\\n{\"state\":3}'); c.close()\n"
        "sys.stdout.write('got %d bytes' % len(d)); sys.stdout.flush()\n";
    auto child = platform::ChildProcess::start("/usr/bin/setpriv",
                                               {"--reuid=nobody", "--regid=nogroup", "--clear-groups", "/usr/bin/python3", "-c", script});
    ASSERT_TRUE(child) << child.error();
    std::string out;
    char buf[256];
    while (out.find('\n') == std::string::npos) {
        auto n = child->read_output(buf);
        if (!n || *n == 0) break;
        out.append(buf, *n);
    }
    ASSERT_NE(out.find('\n'), std::string::npos) << "the listener as nobody did not start: " << out;
    const uint16_t port = static_cast<uint16_t>(std::stoi(out.substr(0, out.find('\n'))));
    out.erase(0, out.find('\n') + 1);
    auto verdict = client::service_listener_trusted(port);
    ASSERT_FALSE(verdict);
    EXPECT_EQ(verdict.error().rfind("service port " + std::to_string(port) + " is held by another user's process (uid ", 0), 0u)
        << verdict.error();

    client::RequestLimits limits;
    limits.port = port;
    limits.timeout_ms = 3000;
    EXPECT_FALSE(client::service_request("/search?q=secret", limits));
    while (auto n = child->read_output(buf)) {
        if (*n == 0) break;
        out.append(buf, *n);
    }
    child->wait();
    EXPECT_EQ(out, "got 0 bytes");  // the query never reached it
}

TEST(ServiceListener, NobodyListening) {
    // A port just freed may be taken at once by a test running beside this one: a few tries.
    std::string last;
    for (int attempt = 0; attempt < 5; ++attempt) {
        uint16_t port = 0;
        {
            auto [l, p] = free_listener();
            port = p;
        }
        const Status verdict = client::service_listener_trusted(port);
        last = verdict.ok() ? "trusted" : verdict.error();
        if (last == "service port " + std::to_string(port) + " has no listener on 127.0.0.1 in the system's table") return;
    }
    FAIL() << "every freed port had a listener again; last verdict: " << last;
}

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "platform/net.h"
#include "service/http_response.h"
#include "service/lifecycle.h"
#include "service/routes.h"
#include "service/server.h"

using namespace nimbalo;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

Index two_files() {
    Index ix;
    ix.names = "C:\\C:\\note.txt";
    ix.entries.push_back({3, 11, 8, false, 0, 0});
    return ix;
}

// Fake engine: every entry whose path contains the text, up to limit.
Result<std::vector<SearchHit>> fake_search(const Index& ix, std::string_view q, uint64_t limit, bool) {
    if (q.empty()) return fail("empty query");
    std::vector<SearchHit> hits;
    for (const auto& e : ix.entries)
        if (ix.path_of(e).find(q) != std::string_view::npos && hits.size() < limit)
            hits.push_back({ix.path_of(e), ix.name_of(e), e.size, e.modified, e.is_dir});
    return hits;
}

// A served IndexService on a free loopback port, stopped and joined on destruction.
struct Served {
    IndexService service{IndexSource{[] { return Result<Index>(two_files()); }, "", 'C'}};
    std::atomic<bool> stop{false};
    uint16_t port = 0;
    std::thread loop;

    explicit Served(ServerLimits limits = {}) {
        EXPECT_TRUE(service.start().ok());
        platform::net_startup();
        std::mt19937 rng(20261209);  // fixed seed; the port only needs to be free
        for (int tries = 0; tries < 50 && port == 0; ++tries) {
            const uint16_t p = uint16_t(20000 + rng() % 30000);
            auto l = platform::listen_tcp("127.0.0.1", p, 128);
            if (!l) continue;
            port = p;
            auto handler = std::make_shared<const RequestHandler>(
                [this, routes = Routes{service, fake_search, p}](std::string_view r) { return routes.answer(r); });
            loop = std::thread([this, l = std::move(*l), handler, limits]() mutable {
                run_accept_loop(std::move(l), stop, handler, limits);
            });
        }
        EXPECT_NE(port, 0);
    }
    ~Served() {
        stop = true;
        loop.join();
    }
    platform::Socket connect() {
        auto s = platform::connect_tcp("127.0.0.1", port, 2000);
        EXPECT_TRUE(s.ok());
        (void)s->set_timeouts(5000, 5000);
        return std::move(*s);
    }
};

std::string read_all(platform::Socket& s) {
    std::string out;
    char buf[4096];
    for (;;) {
        auto n = s.receive(buf);
        if (!n || *n == 0) return out;
        out.append(buf, *n);
    }
}

std::string body_of(const std::string& response) {
    const size_t p = response.find("\r\n\r\n");
    return p == std::string::npos ? "<no head>" : response.substr(p + 4);
}

std::string ask(Served& srv, std::string_view request) {
    auto s = srv.connect();
    EXPECT_TRUE(s.send_all(request).ok());
    return read_all(s);
}

}  // namespace

TEST(Server, AnswersEveryRoute) {
    Served srv;
    const std::string host = " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    EXPECT_EQ(ask(srv, "GET /health" + host), http::response("ok"));
    EXPECT_EQ(body_of(ask(srv, "GET /status" + host)), "{\"entries\": 1}");
    EXPECT_EQ(body_of(ask(srv, "GET /search?q=note&limit=5" + host)),
              R"({"by_path":false,"count":1,"error":null,"query":"note","results":["C:\\note.txt"]})");
    EXPECT_EQ(body_of(ask(srv, "GET /search?q=" + host)),
              R"({"by_path":false,"count":0,"error":"empty query","query":"","results":[]})");
    EXPECT_EQ(body_of(ask(srv, "GET /nothing" + host)), "Nimbalo service");
    EXPECT_EQ(body_of(ask(srv, "GET /search?q=note HTTP/1.1\r\nHost: 127.0.0.1\r\nOrigin: http://x\r\n\r\n")),
              "Nimbalo service");
}

TEST(Server, RequestSplitAcrossSendsIsReadWhole) {
    Served srv;
    auto s = srv.connect();
    ASSERT_TRUE(s.send_all("GET /sta").ok());
    std::this_thread::sleep_for(150ms);
    ASSERT_TRUE(s.send_all("tus HTTP/1.1\r\nHost: 127.0.0.1\r\n").ok());
    std::this_thread::sleep_for(150ms);
    ASSERT_TRUE(s.send_all("\r\n").ok());
    EXPECT_EQ(body_of(read_all(s)), "{\"entries\": 1}");
}

TEST(Server, NoLineFeedWithinTheCapGetsTheFallback) {
    Served srv;
    auto s = srv.connect();
    ASSERT_TRUE(s.send_all("GET /status" + std::string(8192, 'x')).ok());
    EXPECT_EQ(body_of(read_all(s)), "Nimbalo service");
}

TEST(Server, LargeBodyAfterTheHeadStillGetsItsAnswerNotAReset) {
    Served srv;
    auto s = srv.connect();
    ASSERT_TRUE(s.send_all("GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 30000\r\n\r\n" + std::string(30000, 'b')).ok());
    EXPECT_EQ(body_of(read_all(s)), "{\"entries\": 1}");
}

TEST(Server, SilentClientsAreCutOffAndDoNotBlockOthers) {
    ServerLimits limits;
    limits.request_timeout_ms = 400;
    Served srv(limits);
    auto idle = srv.connect();  // says nothing
    const auto t0 = Clock::now();
    EXPECT_EQ(body_of(ask(srv, "GET /health HTTP/1.1\n\n")), "ok");
    EXPECT_LT(Clock::now() - t0, 300ms);
    EXPECT_EQ(body_of(read_all(idle)), "Nimbalo service");  // after its time-out
}

TEST(Server, AnsweredConnectionsOutliveTheirDeadlineHarmlessly) {
    ServerLimits limits;
    limits.request_timeout_ms = 300;
    Served srv(limits);
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(body_of(ask(srv, "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")), "ok") << round;
        std::this_thread::sleep_for(500ms);  // past the deadline of the answered connection
    }
}

TEST(Server, TheDeadlineRunsFromAcceptNotFromTheLastByte) {
    ServerLimits limits;
    limits.request_timeout_ms = 500;
    Served srv(limits);
    auto slow = srv.connect();
    const std::string request = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    // One byte every 100 ms would take 4 s; each byte used to restart the time-out.
    std::thread trickle([&] {
        for (const char c : request) {
            if (!slow.send_all(std::string_view(&c, 1)).ok()) return;
            std::this_thread::sleep_for(100ms);
        }
    });
    EXPECT_EQ(body_of(read_all(slow)), "Nimbalo service");
    trickle.join();
}

TEST(Server, ManyIdleConnectionsDoNotHoldOffAClient) {
    Served srv;
    std::vector<platform::Socket> idle;
    for (int i = 0; i < 300; ++i) idle.push_back(srv.connect());
    for (int i = 0; i < 20; ++i) ASSERT_EQ(body_of(ask(srv, "GET /health HTTP/1.1\n\n")), "ok");
}

TEST(Server, ConnectionsBeyondTheCapAreClosedAtOnce) {
    ServerLimits limits;
    limits.request_timeout_ms = 600;
    limits.max_connections = 2;
    Served srv(limits);
    auto a = srv.connect();
    auto b = srv.connect();
    std::this_thread::sleep_for(100ms);  // both held by the loop
    auto c = srv.connect();
    (void)c.send_all("GET /health HTTP/1.1\n\n");
    EXPECT_EQ(read_all(c), "");  // closed unanswered
    EXPECT_EQ(body_of(read_all(a)), "Nimbalo service");
    EXPECT_EQ(body_of(read_all(b)), "Nimbalo service");
    a.close();  // ends the drain
    b.close();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(body_of(ask(srv, "GET /health HTTP/1.1\n\n")), "ok");  // room again
}

TEST(Server, ConnectionsAreTakenWithoutPollingDelay) {
    Served srv;
    ask(srv, "GET /health HTTP/1.1\n\n");
    // With a sleep-when-idle accept loop each of these would wait up to 100 ms.
    const auto t0 = Clock::now();
    for (int i = 0; i < 20; ++i) {
        std::this_thread::sleep_for(5ms);
        ASSERT_EQ(body_of(ask(srv, "GET /health HTTP/1.1\n\n")), "ok");
    }
    EXPECT_LT(Clock::now() - t0, 800ms);
}

TEST(Server, StopFlagEndsTheLoopPromptly) {
    auto srv = std::make_unique<Served>();
    const auto t0 = Clock::now();
    srv.reset();  // sets the flag and joins
    EXPECT_LT(Clock::now() - t0, 400ms);
}

// The worker against real peers: a loopback server that answers too much or nothing, a real
// `nimbalo service run` over the demo volume, and a real `nimbalo mcp` child for the self-test.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <thread>

#include "client/listener_owner.h"
#include "client/service_request.h"
#include "gui/worker/self_test.h"
#include "gui/worker/worker.h"
#include "platform/child_process.h"
#include "platform/net.h"
#include "platform/os.h"
#include "platform/system.h"
#include "support/temp_dir.h"

using namespace nimbalo;
using namespace nimbalo::gui;
namespace fs = std::filesystem;

namespace {

// A listener on a free loopback port.
std::pair<platform::Socket, uint16_t> free_listener() {
    platform::net_startup();
    std::mt19937 rng(20261210);  // fixed seed; the port only needs to be free
    for (int tries = 0; tries < 50; ++tries) {
        const uint16_t p = uint16_t(20000 + rng() % 30000);
        if (auto l = platform::listen_tcp("127.0.0.1", p, 16)) return {std::move(*l), p};
    }
    ADD_FAILURE() << "no free port";
    return {};
}

// Answers one connection with a header and `bytes` bytes of body, then closes.
std::optional<std::string> ask_server_sending(size_t bytes) {
    auto [listener, port] = free_listener();
    std::thread server([&, l = std::move(listener)] {
        if (!platform::wait_readable(l, 5000)) return;
        auto c = platform::accept_connection(l);
        if (!c) return;
        char buf[1024];
        (void)c->receive(buf);
        (void)c->send_all("HTTP/1.1 200 OK\r\n\r\n");
        const std::string chunk(64 * 1024, 'a');
        for (size_t sent = 0; sent < bytes; sent += chunk.size())
            if (!c->send_all(std::string_view(chunk).substr(0, std::min(chunk.size(), bytes - sent)))) break;
    });
    client::RequestLimits limits;
    limits.port = port;
    limits.timeout_ms = 5000;
    // On Windows a listener of this test is not the Nimbalo service's: trust it for this test only.
    if (platform::kWindows) (void)platform::set_env(client::kTrustAnyListenerVariable, std::string("1"));
    auto body = client::service_request("/search?q=x", limits);
    if (platform::kWindows) (void)platform::set_env(client::kTrustAnyListenerVariable, std::nullopt);
    server.join();
    return body;
}

std::string nimbalo_binary() {
    return platform::join_path(NIMBALO_BINARY_DIR, platform::executable_file_name());
}

SelfTestDeps deps_for(std::string program, std::vector<std::string> args, std::vector<std::string>* log) {
    SelfTestDeps d;
    d.mcp_enabled = [] { return true; };
    d.command = [=] { return std::make_pair(program, args); };
    d.log_line = [log](std::string_view l) { log->emplace_back(l); };
    d.now_ms = [] { return platform::tick_count_ms(); };
    return d;
}

}  // namespace

// Issue 13, mend 5: a process squatting the port cannot feed the launcher without end.
TEST(ServiceRequest, GivesUpPastSixteenMebibytes) {
    const auto small = ask_server_sending(size_t(1) << 20);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->size(), size_t(1) << 20);
    EXPECT_FALSE(ask_server_sending(size_t(17) << 20));
}

TEST(ServiceRequest, HttpBody) {
    EXPECT_EQ(client::http_body("HTTP/1.1 200 OK\r\nA: b\r\n\r\n{\"x\":1}\r\n\r\nmore"), "{\"x\":1}\r\n\r\nmore");
    EXPECT_EQ(client::http_body("HTTP/1.1 200 OK\r\n\r\n"), "");
    EXPECT_FALSE(client::http_body("HTTP/1.1 200 OK\r\n"));
    EXPECT_FALSE(client::http_body("HTTP/1.1 200 OK\r\n\r\n\xc3"));
}

TEST(ServiceRequest, NothingWhenNobodyListens) {
    uint16_t port = 0;
    {
        auto [listener, p] = free_listener();
        port = p;
    }  // closed again: nobody listens there now
    client::RequestLimits limits;
    limits.port = port;
    EXPECT_FALSE(client::service_request("/progress", limits));
}

TEST(WorkerPeers, SearchesAndPollsARealService) {
    const std::string volume = std::string(NIMBALO_BINARY_DIR) + "/../volumes/demo.img";
    if (platform::kWindows || !fs::exists(nimbalo_binary()) || !fs::exists(volume))
        GTEST_SKIP() << "needs the native build and the demo volume";
    const fixtures::TempDir data("nimbalo_worker_service");
    uint16_t port = 0;
    {
        auto [listener, p] = free_listener();
        port = p;
    }
    ASSERT_TRUE(platform::set_env("NIMBALO_VOLUME_C", volume).ok());
    ASSERT_TRUE(platform::set_env("ProgramData", data.str()).ok());
    ASSERT_TRUE(platform::set_env("NIMBALO_TEST_ONLY_SERVICE_PORT", std::to_string(port)).ok());
    auto service = platform::ChildProcess::start(nimbalo_binary(), {"service", "run"});
    ASSERT_TRUE(service.ok()) << service.error();

    WorkerDeps deps = system_worker_deps();  // reads the test port like the service does
    Channel<WorkerJob> jobs;
    Channel<WorkerEvent> events;
    std::thread worker([&] { run_worker(jobs, events, deps); });
    struct Stop {  // on every way out, an assertion's too
        Channel<WorkerJob>& jobs;
        std::thread& worker;
        platform::ChildProcess& service;
        ~Stop() {
            jobs.close();
            worker.join();
            service.terminate();
            service.wait();
            for (const char* v : {"NIMBALO_VOLUME_C", "ProgramData", "NIMBALO_TEST_ONLY_SERVICE_PORT"})
                (void)platform::set_env(v, std::nullopt);
        }
    } stop{jobs, worker, *service};
    // The service binds its port once its first index is published.
    std::optional<event::ServiceStatus> status;
    for (int i = 0; i < 600 && !(status && status->state == 3); ++i) {
        jobs.send(job::RefreshStatus{});
        auto e = events.receive_for(std::chrono::seconds(10));
        ASSERT_TRUE(e) << "no status event";
        status = std::get<event::ServiceStatus>(*e);
        if (status->state != 3) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(status && status->state == 3);
    EXPECT_GT(status->entries.value_or(0), 30000u);

    jobs.send(job::Search{41, "résumé"});
    auto found = events.receive_for(std::chrono::seconds(10));
    ASSERT_TRUE(found);
    const auto& results = std::get<event::SearchResults>(*found);
    EXPECT_EQ(results.id, 41u);
    ASSERT_TRUE(results.hits);
    EXPECT_NE(std::find(results.hits->begin(), results.hits->end(), "C:\\international\\RÉSUMÉ.doc"), results.hits->end());
    auto after = events.receive_for(std::chrono::seconds(10));  // every batch ends with a poll
    ASSERT_TRUE(after && std::holds_alternative<event::ServiceStatus>(*after));

    // Stopped: every answer is "unreachable".
    service->terminate();
    service->wait();
    jobs.send(job::Search{42, "résumé"});
    auto gone = events.receive_for(std::chrono::seconds(10));
    ASSERT_TRUE(gone);
    EXPECT_FALSE(std::get<event::SearchResults>(*gone).hits);
    auto poll = events.receive_for(std::chrono::seconds(10));
    ASSERT_TRUE(poll);
    EXPECT_EQ(std::get<event::ServiceStatus>(*poll).state, event::ServiceStatus::kUnreachable);
}

TEST(SelfTest, HandshakeWithARealMcpServer) {
    if (!fs::exists(nimbalo_binary())) GTEST_SKIP() << "no " << nimbalo_binary();
    const fixtures::TempDir data("nimbalo_self_test");
    const auto saved = platform::get_env("LOCALAPPDATA");
    ASSERT_TRUE(platform::set_env("LOCALAPPDATA", data.str()).ok());  // the child's activity log goes there
    std::vector<std::string> log;
    const auto r = run_self_test(deps_for(nimbalo_binary(), {"mcp"}, &log));
    (void)platform::set_env("LOCALAPPDATA", saved);
    EXPECT_TRUE(r.ok);
    const std::string want = "handshake ok \xC2\xB7 nimbalo-mcp 0.1.0 \xC2\xB7 5 tools: search, get_file_info, list_drives, "
                             "reindex, recent_changes";
    EXPECT_EQ(r.message, want);
    EXPECT_EQ(log, std::vector<std::string>{"selftest  " + want});
}

TEST(SelfTest, DisabledOrUnstartable) {
    std::vector<std::string> log;
    auto d = deps_for("/nonexistent/nimbalo", {"mcp"}, &log);
    const auto cannot = run_self_test(d);
    EXPECT_FALSE(cannot.ok);
    EXPECT_EQ(cannot.message.rfind("cannot start /nonexistent/nimbalo: ", 0), 0u) << cannot.message;
    d.mcp_enabled = [] { return false; };
    const auto off = run_self_test(d);
    EXPECT_FALSE(off.ok);
    EXPECT_EQ(off.message, "MCP is disabled \xE2\x80\x94 switch it on first");
    EXPECT_TRUE(log.empty()) << "neither is logged";
}

// A child that answers initialize but never the tool list: ok after the 2,500 ms deadline, with
// its label and no tools; one whose answer has no serverInfo is labelled nimbalo-mcp.
TEST(SelfTest, ChildThatNeverListsItsTools) {
    if (platform::kWindows || !fs::exists("/bin/sh")) GTEST_SKIP() << "needs a POSIX shell";
    const std::string with_info = R"({"id":1,"jsonrpc":"2.0","result":{"serverInfo":{"name":"fake","version":"9"}}})";
    const std::string without = R"({"id":1,"jsonrpc":"2.0","result":{}})";
    for (const auto& [reply, want] : {std::pair{with_info, "handshake ok \xC2\xB7 fake 9 \xC2\xB7 0 tools"},
                                      std::pair{without, "handshake ok \xC2\xB7 nimbalo-mcp \xC2\xB7 0 tools"}}) {
        const std::string script = "printf 'Content-Length: " + std::to_string(reply.size()) + "\\r\\n\\r\\n%s' '" + reply +
                                   "'; exec sleep 30";
        std::vector<std::string> log;
        const uint64_t t0 = platform::tick_count_ms();
        const auto r = run_self_test(deps_for("/bin/sh", {"-c", script}, &log));
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.message, want);
        EXPECT_LT(platform::tick_count_ms() - t0, 10000u) << "the hanging child is terminated at the deadline";
    }
}

TEST(SelfTest, ReplyReaderFraming) {
    const std::string a = R"({"id":1})", b = R"({"id":2})";
    struct Case {
        const char* what;
        std::string stream;
        size_t messages;
    } cases[] = {
        {"two frames", "Content-Length: 8\r\n\r\n" + a + "Content-Length:+8\r\nX-Other: 1\r\n\r\n" + b, 2},
        {"bare line feeds", "Content-Length: 8\n\n" + a, 1},
        {"a bad length ends the reader", "Content-Length: 8\r\n\r\n" + a + "Content-Length: eight\r\n\r\n" + b, 1},
        {"a body that is not JSON ends it", "Content-Length: 3\r\n\r\nabcContent-Length: 8\r\n\r\n" + b, 0},
        {"a cut body ends it", "Content-Length: 80\r\n\r\n" + a, 0},
        {"no length: an empty body is not JSON", "\r\n" + a, 0},
    };
    for (const auto& c : cases) {
        size_t pos = 0;
        const ByteSource source = [&](std::span<char> buf) -> Result<size_t> {
            const size_t n = std::min<size_t>({buf.size(), c.stream.size() - pos, 5});  // small reads
            std::copy_n(c.stream.data() + pos, n, buf.data());
            pos += n;
            return n;
        };
        Channel<nlohmann::json> out;
        read_mcp_replies(source, out);
        size_t got = 0;
        while (out.try_receive()) ++got;
        EXPECT_EQ(got, c.messages) << c.what;
        EXPECT_TRUE(out.finished()) << c.what;
    }
}

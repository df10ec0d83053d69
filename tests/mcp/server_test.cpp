#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "mcp/fakes.h"
#include "mcp/server.h"
#include "userdata/status.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace nimbalo;
using namespace nimbalo::mcp;
using nimbalo::mcp::testing::FakeCore;
using nimbalo::mcp::testing::ScriptedService;
using nimbalo::mcp::testing::StringSource;

namespace {

std::string frame(const std::string& body) { return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body; }

struct SessionRun {
    std::string out;
    std::vector<std::string> log;
    std::optional<StatusSnapshot> status;
};

SessionRun run(const std::string& input) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_server_test");
    const fs::path dir = tmp.path() / "data";
    SessionRun r;
    StringSource src(input, 5);
    FrameReader reader(src);
    SessionIo io{reader, [&](std::string_view f) { r.out += f; }, [&](std::string_view l) { r.log.emplace_back(l); }};
    FakeCore core;
    ScriptedService service;
    Tools tools(core.backend(), service, [](std::string_view) { return std::nullopt; });
    StatusRecord status(dir.string());
    run_session(io, tools, status);
    r.status = read_status_in(dir.string());
    return r;
}

}  // namespace

TEST(Server, RepliesByteForByte) {
    struct Row {
        const char* what;
        std::string request;
        std::string reply;  // the whole output, "" for none
    };
    const std::vector<Row> rows = {
        {"initialize", frame(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-06-18"}})"),
         frame(R"({"id":1,"jsonrpc":"2.0","result":{"capabilities":{"tools":{}},"protocolVersion":"2024-11-05","serverInfo":{"name":"nimbalo-mcp","version":"0.1.0"}}})")},
        {"ping", frame(R"({"jsonrpc":"2.0","id":7,"method":"ping"})"), frame(R"({"id":7,"jsonrpc":"2.0","result":{}})")},
        {"string id", frame(R"({"id":"a\"b","method":"ping"})"), frame(R"({"id":"a\"b","jsonrpc":"2.0","result":{}})")},
        {"fraction id", frame(R"({"id":2.5,"method":"ping"})"), frame(R"({"id":2.5,"jsonrpc":"2.0","result":{}})")},
        {"object id", frame(R"({"id":{"z":1,"a":[null]},"method":"ping"})"),
         frame(R"({"id":{"a":[null],"z":1},"jsonrpc":"2.0","result":{}})")},
        {"null id is still an id", frame(R"({"id":null})"),
         frame(R"({"error":{"code":-32601,"message":"method not found: "},"id":null,"jsonrpc":"2.0"})")},
        {"unknown method", frame(R"({"id":3,"method":"resources/list"})"),
         frame(R"({"error":{"code":-32601,"message":"method not found: resources/list"},"id":3,"jsonrpc":"2.0"})")},
        {"no id: no reply", frame("{}"), ""},
        {"notification: no reply", frame(R"({"method":"ping"})"), ""},
        {"not an object: no reply", frame("[1,2]"), ""},
        {"cancelled: no reply", frame(R"({"id":4,"method":"notifications/cancelled"})"), ""},
        {"initialized: no reply", frame(R"({"id":5,"method":"notifications/initialized"})"), ""},
        {"json line answered as a line", R"({"jsonrpc":"2.0","id":8,"method":"ping"})" "\r\n",
         R"({"id":8,"jsonrpc":"2.0","result":{}})" "\n"},
        {"tool error", frame(R"({"id":9,"method":"tools/call","params":{"name":"nope"}})"),
         frame(R"({"id":9,"jsonrpc":"2.0","result":{"content":[{"text":"error: unknown tool: nope","type":"text"}],"isError":true}})")},
    };
    for (const auto& row : rows) EXPECT_EQ(run(row.request).out, row.reply) << row.what;
}

TEST(Server, ToolSuccessIsPrettyText) {
    const SessionRun r = run(frame(R"({"id":1,"method":"tools/call","params":{"name":"list_drives","arguments":[]}})"));
    EXPECT_EQ(r.out, frame(R"({"id":1,"jsonrpc":"2.0","result":{"content":[{"text":"{\n  \"drives\": [\n    \"C\",\n    \"E\"\n  ]\n}","type":"text"}],"isError":false}})"));
}

TEST(Server, LogLinesAndCounting) {
    const std::string input = frame(R"({"id":1,"method":"initialize"})") +
                              R"({"method":"notifications/initialized"})" "\n" +
                              frame(R"({"id":2,"method":"tools/list"})") +
                              frame(R"({"id":3,"method":"tools/call","params":{"name":"list_drives"}})") +
                              frame(R"({"id":4,"method":"tools/call","params":{"name":"search"}})") +
                              frame(R"({"method":"bogus"})") + frame(R"({"id":5,"method":"notifications/cancelled"})");
    const SessionRun r = run(input);
    ASSERT_EQ(r.log.size(), 7u);
    EXPECT_TRUE(r.log[0].starts_with("start  pid=") && r.log[0].ends_with("  version=0.5.5")) << r.log[0];
    EXPECT_EQ(r.log[1], "initialize  ok");
    EXPECT_EQ(r.log[2], "tools/list  ok (5 tools)");
    EXPECT_TRUE(r.log[3].starts_with("tools/call list_drives  ok  ") && r.log[3].ends_with(" ms")) << r.log[3];
    const std::string ms = r.log[3].substr(28, r.log[3].size() - 31);
    EXPECT_EQ(ms.find('.'), ms.size() - 2) << "exactly one decimal: " << ms;
    EXPECT_EQ(r.log[4], "tools/call search  error: missing 'query'");
    EXPECT_EQ(r.log[5], "unknown method: bogus");
    EXPECT_TRUE(r.log[6].starts_with("stop   pid=") && r.log[6].ends_with("  stdin closed")) << r.log[6];
    ASSERT_TRUE(r.status);
    EXPECT_EQ(r.status->requests, 6u);  // initialized is not counted, cancelled is
    EXPECT_EQ(r.status->last_method, "notifications/cancelled");
    EXPECT_EQ(r.status->last_tool, "search");
    EXPECT_EQ(r.status->last_error, "");  // cleared by the later requests
    EXPECT_EQ(r.status->session_started.size(), 19u);
}

TEST(Server, ClientTextsCannotForgeLogLines) {
    const SessionRun r = run(frame(R"({"id":1,"method":"x\n2026-01-01 00:00:00  start  pid=1"})") +
                             frame(R"({"id":2,"method":"tools/call","params":{"name":"a\r\nb"}})"));
    ASSERT_EQ(r.log.size(), 4u);
    EXPECT_EQ(r.log[1], "unknown method: x 2026-01-01 00:00:00  start  pid=1");
    EXPECT_EQ(r.log[2], "tools/call a  b  error: unknown tool: a  b");
    // The reply still carries the text unchanged.
    EXPECT_NE(r.out.find(R"("message":"method not found: x\n2026)"), std::string::npos);
}

TEST(Server, MalformedInputEndsTheSession) {
    const std::vector<std::pair<const char*, std::string>> rows = {
        {"zero length", frame("")},
        {"not JSON", frame("{x")},
        {"bad JSON line", "{x\n"},
        {"lone surrogate escape", frame(R"({"id":1,"method":"\udc80"})")},
        {"nested too deep", frame(std::string(100000, '[') + std::string(100000, ']'))},
        {"nested too deep in a line", "{\"id\":" + std::string(5000, '[') + std::string(5000, ']') + "}\n"},
    };
    for (const auto& [what, bad] : rows) {
        const SessionRun r = run(bad + frame(R"({"id":1,"method":"ping"})"));
        EXPECT_EQ(r.out, "") << what;
        ASSERT_FALSE(r.log.empty());
        EXPECT_TRUE(r.log.back().ends_with("stdin closed")) << what;
        ASSERT_TRUE(r.status);
        EXPECT_EQ(r.status->requests, 0u) << what;
    }
}

TEST(Server, NestingWithinTheLimitIsAnswered) {
    const std::string id = std::string(200, '[') + std::string(200, ']');
    EXPECT_EQ(run(frame("{\"id\":" + id + ",\"method\":\"ping\"}")).out,
              frame("{\"id\":" + id + ",\"jsonrpc\":\"2.0\",\"result\":{}}"));
    // Brackets inside strings do not count.
    const std::string text = "\"" + std::string(1000, '[') + "\\\"\"";
    EXPECT_EQ(run(frame("{\"id\":" + text + ",\"method\":\"ping\"}")).out,
              frame("{\"id\":" + text + ",\"jsonrpc\":\"2.0\",\"result\":{}}"));
}

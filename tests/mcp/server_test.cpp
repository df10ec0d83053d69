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
    Status ended;
};

SessionRun run(const std::string& input, size_t piece = 5) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_server_test");
    const fs::path dir = tmp.path() / "data";
    SessionRun r;
    StringSource src(input, piece);
    FrameReader reader(src);
    SessionIo io{reader, [&](std::string_view f) { r.out += f; }, [&](std::string_view l) { r.log.emplace_back(l); }};
    FakeCore core;
    ScriptedService service;
    Tools tools(core.backend(), service, [](std::string_view) { return std::nullopt; });
    StatusRecord status(dir.string());
    r.ended = run_session(io, tools, status);
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
        {"null id is still an id", frame(R"({"id":null,"method":"x"})"),
         frame(R"({"error":{"code":-32601,"message":"method not found: x"},"id":null,"jsonrpc":"2.0"})")},
        {"id without a method", frame(R"({"id":6})"),
         frame(R"({"error":{"code":-32600,"message":"Invalid Request"},"id":6,"jsonrpc":"2.0"})")},
        {"method not a string", frame(R"({"id":6,"method":7})"),
         frame(R"({"error":{"code":-32600,"message":"Invalid Request"},"id":6,"jsonrpc":"2.0"})")},
        {"unknown method", frame(R"({"id":3,"method":"resources/list"})"),
         frame(R"({"error":{"code":-32601,"message":"method not found: resources/list"},"id":3,"jsonrpc":"2.0"})")},
        {"no id: no reply", frame("{}"), ""},
        {"notification: no reply", frame(R"({"method":"ping"})"), ""},
        {"batch", frame("[1,2]"), frame(R"({"error":{"code":-32600,"message":"Invalid Request"},"id":null,"jsonrpc":"2.0"})")},
        {"not an object", frame("7"), frame(R"({"error":{"code":-32600,"message":"Invalid Request"},"id":null,"jsonrpc":"2.0"})")},
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

TEST(Server, MalformedMessagesAreAnsweredAndTheSessionGoesOn) {
    const std::string parse_error = R"({"error":{"code":-32700,"message":"Parse error"},"id":null,"jsonrpc":"2.0"})";
    const std::string invalid = R"({"error":{"code":-32600,"message":"Invalid Request"},"id":null,"jsonrpc":"2.0"})";
    const std::string pong = R"({"id":1,"jsonrpc":"2.0","result":{}})";
    const std::string ping_line = R"({"jsonrpc":"2.0","id":1,"method":"ping"})" "\n";
    const std::vector<std::tuple<const char*, std::string, std::string>> rows = {
        {"bad JSON line", "{x\n", parse_error + "\n"},
        {"garbage line", "hello there\n", parse_error + "\n"},
        {"invalid UTF-8 line", "{\"id\":\"\xff\"}\n", parse_error + "\n"},
        {"nested too deep in a line", "{\"id\":" + std::string(5000, '[') + std::string(5000, ']') + "}\n", parse_error + "\n"},
        {"100,000 brackets", std::string(100000, '[') + "\n", parse_error + "\n"},
        {"20 MiB line", "{\"id\":\"" + std::string(20 << 20, 'x') + "\"}\n", parse_error + "\n"},
        {"batch line", R"([{"jsonrpc":"2.0","id":9,"method":"ping"}])" "\n", invalid + "\n"},
        {"zero length frame", frame(""), frame(parse_error)},
        {"not JSON frame", frame("{x"), frame(parse_error)},
        {"lone surrogate escape", frame(R"({"id":1,"method":"\udc80"})"), frame(parse_error)},
        {"nested too deep", frame(std::string(100000, '[') + std::string(100000, ']')), frame(parse_error)},
        {"blank lines", "\n\r\n", ""},
    };
    for (const auto& [what, bad, answer] : rows) {
        const SessionRun r = run(bad + ping_line, 1 << 16);
        EXPECT_EQ(r.out, answer + pong + "\n") << what;
        EXPECT_TRUE(r.ended.ok()) << what;
        ASSERT_TRUE(r.status);
        EXPECT_EQ(r.status->requests, 1u) << what;  // only the ping
    }
}

TEST(Server, BrokenFramingEndsTheSessionSayingWhy) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"Content-Length: 99999999999\r\n\r\n{}", "a Content-Length above 16777216 bytes"},
        {"Content-Length: x\r\n\r\n{}", "a header block without a valid Content-Length"},
        {"Content-Length: 50\r\n\r\n{}", "input ended inside a body"},
        {"X-A: \xff\r\n\r\n", "a header line that is not UTF-8"},
    };
    for (const auto& [bad, why] : rows) {
        const SessionRun r = run(bad);
        EXPECT_EQ(r.out, "") << why;
        ASSERT_FALSE(r.log.empty());
        EXPECT_TRUE(r.log.back().ends_with("  " + why)) << r.log.back();
        EXPECT_FALSE(r.ended.ok()) << why;
    }
    EXPECT_TRUE(run("").ended.ok());
}

TEST(Server, LongClientNamesAreCutInTheStatusAndTheLog) {
    const std::string name(1 << 20, 'm');
    const SessionRun r = run(frame(R"({"id":1,"method":")" + name + R"("})") +
                             frame(R"({"id":2,"method":"tools/call","params":{"name":")" + name + R"("}})"), 1 << 16);
    ASSERT_TRUE(r.status);
    EXPECT_EQ(r.status->last_method, "tools/call");
    EXPECT_EQ(r.status->last_tool, std::string(kLastErrorChars, 'm'));
    EXPECT_LE(r.status->last_error.size(), kLastErrorChars);
    for (const auto& line : r.log) EXPECT_LT(line.size(), 1000u);
    const SessionRun m = run(frame(R"({"id":1,"method":")" + name + R"("})"));
    ASSERT_TRUE(m.status);
    EXPECT_EQ(m.status->last_method, std::string(kLastErrorChars, 'm'));
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

#include <gtest/gtest.h>

#include <regex>

#include "mcp/fakes.h"
#include "mcp/tools.h"

using namespace nimbalo;
using namespace nimbalo::mcp;
using nimbalo::mcp::testing::FakeCore;
using nimbalo::mcp::testing::make_index;
using nimbalo::mcp::testing::ScriptedService;

namespace {

constexpr uint64_t k2000 = 125963012960000000ull;  // 2000-02-29T12:34:56Z
constexpr uint64_t k1969 = 116444735990000000ull;  // 1969-12-31T23:59:59Z

struct World {
    FakeCore core;
    ScriptedService service;
    std::map<std::string, platform::FileInfo> disk;
    std::vector<std::string> probed;
    std::unique_ptr<Tools> tools;

    World() {
        core.volumes.emplace('C', make_index('C', {{"C:\\docs", true, 0, k2000}, {"C:\\docs\\note.txt", false, 12, 0}}));
        core.volumes.emplace('D', make_index('D', {{"D:\\note.md", false, 3, k1969}, {"D:\\x", true, 0, 0}}));
        tools = std::make_unique<Tools>(core.backend(), service, [this](std::string_view p) -> std::optional<platform::FileInfo> {
            probed.emplace_back(p);
            auto it = disk.find(std::string(p));
            if (it == disk.end()) return std::nullopt;
            return it->second;
        });
    }
    Json call(const std::string& name, const std::string& args) {
        auto r = tools->call(name, Json::parse(args));
        if (!r) return Json{{"ERROR", r.error()}};
        return Json::parse(*r);
    }
};

}  // namespace

TEST(Tools, SearchThroughTheService) {
    World w;
    w.service.running = true;
    w.service.replies["/search?"] =
        R"({"by_path":false,"count":5,"error":null,"query":"x","results":["C:\\docs",7,"\\\\host\\share\\x","C:\\gone.txt","C:\\old"]})";
    w.disk["C:\\docs"] = {true, 0, k2000};
    w.disk["C:\\old"] = {false, 9, k1969};
    const Json out = w.call("search", R"({"query":"a b/é","limit":3})");
    EXPECT_EQ(w.service.asked.at(0), "/search?q=a%20b%2F%C3%A9&limit=3&path=false");
    EXPECT_EQ(out["source"], "service");
    EXPECT_TRUE(out["query_ms"].is_number_float());
    // The UNC path is dropped unprobed; the number is skipped; limit counts kept rows.
    EXPECT_EQ(out["results"], Json::parse(R"([
        {"exists":true,"is_dir":true,"modified":"2000-02-29T12:34:56Z","name":"docs","path":"C:\\docs","size":0},
        {"exists":false,"is_dir":false,"modified":"","name":"gone.txt","path":"C:\\gone.txt","size":0},
        {"exists":true,"is_dir":false,"modified":"","name":"old","path":"C:\\old","size":9}])"));
    EXPECT_EQ(out["count"], 3);
    EXPECT_EQ(w.probed, (std::vector<std::string>{"C:\\docs", "C:\\gone.txt", "C:\\old"}));
    EXPECT_TRUE(w.core.builds.empty());
}

TEST(Tools, ServiceRepliesThatAreNotUsed) {
    struct Row {
        const char* what;
        const char* body;
        const char* expect;  // "process", "service" or an error text
    };
    const std::vector<Row> rows = {
        {"query error", R"({"count":0,"error":"empty query","results":[]})", "query rejected: empty query"},
        {"objects instead of paths", R"({"error":null,"results":[{"p":1}]})", "service"},
        {"no results array", R"({"error":"x","results":{}})", "process"},
        {"not JSON", "Nimbalo service", "process"},
        {"not an object", "[1]", "process"},
    };
    for (const auto& row : rows) {
        World w;
        w.service.running = true;
        w.service.replies["/search?"] = row.body;
        const Json out = w.call("search", R"({"query":"note"})");
        if (out.contains("ERROR")) EXPECT_EQ(out["ERROR"], row.expect) << row.what;
        else EXPECT_EQ(out["source"], row.expect) << row.what;
    }
}

TEST(Tools, SearchFallsBackToItsOwnIndex) {
    World w;  // service down
    const Json out = w.call("search", R"({"query":"note"})");
    EXPECT_EQ(out["source"], "process");
    EXPECT_EQ(out["results"], Json::parse(R"([{"is_dir":false,"modified":"","name":"note.txt","path":"C:\\docs\\note.txt","size":12}])"));
    EXPECT_EQ(w.core.builds, std::vector<char>{'C'});
    w.call("search", R"({"query":"docs"})");
    EXPECT_EQ(w.core.builds, std::vector<char>{'C'}) << "the cache is kept";
    EXPECT_EQ(w.call("search", R"({"query":"bad("})")["ERROR"], "unbalanced parenthesis");
}

TEST(Tools, SearchLimits) {
    struct Row {
        const char* args;
        const char* sent;        // limit in the service request
        uint64_t engine_limit;   // limit passed to the in-process engine
    };
    const std::vector<Row> rows = {
        {R"({"query":"n","limit":-1})", "100", 100}, {R"({"query":"n","limit":2.5})", "100", 100},
        {R"({"query":"n","limit":"10"})", "100", 100}, {R"({"query":"n","limit":0})", "0", 0},
        {R"({"query":"n","limit":7})", "7", 7}, {R"({"query":"n","limit":5000})", "5000", 1000},
        {R"({"query":"n","limit":18446744073709551615})", "18446744073709551615", 1000},
    };
    for (const auto& row : rows) {
        World w;
        w.call("search", row.args);
        EXPECT_EQ(w.service.asked.at(0), std::string("/search?q=n&limit=") + row.sent + "&path=false") << row.args;
        ASSERT_EQ(w.core.searches.size(), 1u);
        EXPECT_EQ(w.core.searches[0].second, row.engine_limit) << row.args;
    }
    World w;
    EXPECT_EQ(w.call("search", R"({"query":"note","limit":0})")["count"], 0);
    w.call("search", R"({"query":"n","path":true})");
    w.call("search", R"({"query":"n","path":1})");
    EXPECT_EQ(w.service.asked.at(1), "/search?q=n&limit=100&path=true");
    EXPECT_EQ(w.service.asked.at(2), "/search?q=n&limit=100&path=false");
}

TEST(Tools, OtherDrivesNeverAskTheService) {
    World w;
    w.service.running = true;
    w.service.replies["/"] = R"({"error":null,"results":["C:\\docs"]})";
    Json out = w.call("search", R"({"query":"note","drive":"d"})");
    EXPECT_EQ(out["source"], "process");
    EXPECT_EQ(out["results"][0]["path"], "D:\\note.md");
    EXPECT_EQ(out["results"][0]["modified"], "1969-12-31T23:59:59Z") << "index rows keep pre-1970 times";
    EXPECT_TRUE(w.service.asked.empty());
    // D is now the default drive, also for an empty drive text.
    EXPECT_EQ(w.call("search", R"({"query":"note","drive":""})")["source"], "process");
    EXPECT_EQ(w.call("reindex", "{}")["source"], "process");
    EXPECT_TRUE(w.service.asked.empty());
    EXPECT_EQ(w.core.builds, (std::vector<char>{'D', 'D'})) << "reindex always rebuilds";
    EXPECT_EQ(w.tools->cache_drive(), 'D');
    EXPECT_EQ(w.call("search", R"({"query":"docs","drive":"C"})")["source"], "service");
}

TEST(Tools, FailedBuildKeepsTheCache) {
    World w;
    w.call("search", R"({"query":"note","drive":"D"})");
    EXPECT_EQ(w.call("search", R"({"query":"x","drive":"Q"})")["ERROR"], "cannot open \\\\.\\Q:: Access is denied.");
    EXPECT_EQ(w.tools->cache_drive(), 'D');
    EXPECT_EQ(w.call("reindex", R"({"drive":"q"})")["ERROR"], "cannot open \\\\.\\Q:: Access is denied.");
    EXPECT_EQ(w.call("search", R"({"query":"note"})")["results"][0]["path"], "D:\\note.md");
    EXPECT_EQ(w.core.builds, (std::vector<char>{'D', 'Q', 'Q'}));
}

TEST(Tools, GetFileInfo) {
    World w;
    w.disk["C:\\docs"] = {true, 0, k2000};
    w.disk["C:\\old.txt"] = {false, 5, k1969};
    const Json missing_c = Json::parse(R"({"found":false,"path":"C:\\nope"})");
    EXPECT_EQ(w.call("get_file_info", R"({"path":"C:\\docs"})"),
              Json::parse(R"({"exists":true,"is_dir":true,"modified":"2000-02-29T12:34:56Z","name":"docs","path":"C:\\docs","size":0})"));
    EXPECT_EQ(w.call("get_file_info", R"({"path":"C:\\old.txt"})")["modified"], "") << "before 1970";
    EXPECT_EQ(w.call("get_file_info", R"({"path":"C:\\nope"})"), missing_c);
    EXPECT_TRUE(w.core.builds.empty()) << "service down: no build";
    EXPECT_EQ(w.call("get_file_info", R"({"path":"\\\\host\\share\\x"})"),
              Json::parse(R"({"found":false,"path":"\\\\host\\share\\x"})"));
    EXPECT_EQ(w.call("get_file_info", R"({"path":5})")["ERROR"], "missing 'path'");
    EXPECT_EQ(w.call("get_file_info", R"(["C:\\docs"])")["ERROR"], "missing 'path'");
    EXPECT_EQ(std::count(w.probed.begin(), w.probed.end(), "\\\\host\\share\\x"), 0);

    w.service.running = true;
    EXPECT_EQ(w.call("get_file_info", R"({"path":"c:\\docs\\note.txt"})"), Json::parse(R"({"found":false,"path":"c:\\docs\\note.txt"})"))
        << "the fake lookup is case-sensitive";
    EXPECT_EQ(w.call("get_file_info", R"({"path":"C:\\docs\\note.txt"})"),
              Json::parse(R"({"is_dir":false,"modified":"","name":"note.txt","path":"C:\\docs\\note.txt","size":12})"));
    EXPECT_EQ(w.core.builds, std::vector<char>{'C'});
    // A drive this user cannot open: not found, not a volume error.
    EXPECT_EQ(w.call("get_file_info", R"({"path":"Q:\\a"})"), Json::parse(R"({"found":false,"path":"Q:\\a"})"));
}

TEST(Tools, ListReindexRecent) {
    World w;
    EXPECT_EQ(w.call("list_drives", "\"any\""), Json::parse(R"({"drives":["C","E"]})"));
    const Json built = w.call("reindex", "{}");
    EXPECT_EQ(built["source"], "process");
    EXPECT_TRUE(std::regex_match(built["status"].get<std::string>(),
                                 std::regex(R"(indexed C: 2 entries \(1 dirs, 1 files\) in \d+\.\d\ds)")))
        << built["status"];
    w.service.running = true;
    w.service.replies["/reindex"] = R"({"status":"reindexing"})";
    EXPECT_EQ(w.call("reindex", R"({"drive":"c"})"),
              Json::parse(R"({"source":"service","status":"the Nimbalo service is rebuilding its index for C:"})"));

    EXPECT_EQ(w.call("recent_changes", R"({"count":0})"), Json::parse(R"({"count":0,"events":[]})"));
    EXPECT_EQ(w.call("recent_changes", "{}"), Json::parse(R"J({"count":2,"events":[
        {"is_dir":false,"name":"a.txt","reason":"create","timestamp":""},
        {"is_dir":true,"name":"dir","reason":"rename(old)+rename(new)","timestamp":"2000-02-29T12:34:56Z"}]})J"));
    EXPECT_EQ(w.core.journal_reads, (std::vector<std::pair<char, uint64_t>>{{'C', 0}, {'C', 50}}));
    EXPECT_EQ(w.call("recent_changes", R"({"drive":"e","count":1})")["ERROR"], "FSCTL_QUERY_USN_JOURNAL failed on E: no journal");
    EXPECT_EQ(w.call("search", "[1]")["ERROR"], "missing 'query'");
    EXPECT_EQ(w.call("frobnicate", "{}")["ERROR"], "unknown tool: frobnicate");
}

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "userdata/status.h"
#include "platform/system.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace nimbalo;

namespace {
std::string read_all(const fs::path& p) { return nimbalo::fixtures::read_text(p.string()); }
}  // namespace

TEST(Status, FileIsCompactAndSorted) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_status_format");
    const fs::path dir = tmp.path() / "data";  // made by the code under test
    uint64_t now = 5000;
    StatusRecord s(dir.string(), [&] { return now; });
    s.set_session_started("2026-01-02 03:04:05");
    s.note_request("tools/call", std::string("se\"arch"));
    s.note_error("boom");
    const std::string pid = std::to_string(platform::process_id());
    EXPECT_EQ(read_all(dir / "mcp-status.json"),
              "{\"last_error\":\"boom\",\"last_method\":\"tools/call\",\"last_ms\":5000,\"last_tool\":\"se\\\"arch\",\"pid\":" +
                  pid + ",\"requests\":1,\"session_started\":\"2026-01-02 03:04:05\"}");
}

TEST(Status, RequestsWriteAtMostEvery400Ms) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_status_rate");
    const fs::path dir = tmp.path() / "data";  // made by the code under test
    uint64_t now = 10000;
    StatusRecord s(dir.string(), [&] { return now; });
    auto requests_on_disk = [&] { return read_status_in(dir.string()).value_or(StatusSnapshot{}).requests; };
    s.note_request("ping", std::nullopt);  // first one writes: nothing written before
    EXPECT_EQ(requests_on_disk(), 1u);
    const std::vector<std::pair<uint64_t, uint64_t>> steps = {
        {10100, 1},  // 100 ms later: counted in memory only
        {10400, 1},  // exactly 400 ms after the last rate-limited write: still not written
        {10401, 4},  // 401 ms: written
        {10500, 4},
        {9000, 4},   // the clock went backwards: the difference counts as 0
    };
    for (const auto& [tick, on_disk] : steps) {
        now = tick;
        s.note_request("ping", std::nullopt);
        EXPECT_EQ(requests_on_disk(), on_disk) << tick;
    }
    EXPECT_EQ(s.requests(), 6u);
    s.write_status();
    EXPECT_EQ(requests_on_disk(), 6u);
}

TEST(Status, LastErrorKeepsTwoHundredCharacters) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_status_cut");
    const fs::path dir = tmp.path() / "data";  // made by the code under test
    StatusRecord s(dir.string(), [] { return uint64_t(1); });
    std::string long_text;
    for (int i = 0; i < 300; ++i) long_text += "\xc3\xa9";  // 300 x U+00E9, 600 bytes
    s.note_error(long_text);
    const auto snap = read_status_in(dir.string());
    ASSERT_TRUE(snap);
    EXPECT_EQ(snap->last_error, long_text.substr(0, 400));
    s.note_request("ping", std::nullopt);
    s.write_status();
    EXPECT_EQ(read_status_in(dir.string())->last_error, "");

    const std::vector<std::tuple<std::string, size_t, std::string>> rows = {
        {"abc", 2, "ab"},
        {"abc", 5, "abc"},
        {"\xf0\x9f\x98\x80x", 1, "\xf0\x9f\x98\x80"},    // a 4-byte character is one
        {"a\xff" "bc", 2, "a\xef\xbf\xbd"},              // a bad byte is one U+FFFD
        {"\xe2\x82", 1, "\xef\xbf\xbd"},                 // a cut-off sequence too
    };
    for (const auto& [text, n, want] : rows) EXPECT_EQ(first_chars(text, n), want) << text;
}

TEST(Status, ReadBack) {
    const nimbalo::fixtures::TempDir tmp("nimbalo_status_read");
    const fs::path dir = tmp.path() / "data";  // made by the code under test
    fs::create_directories(dir);
    auto put = [&](const std::string& text) { std::ofstream(dir / "mcp-status.json", std::ios::binary) << text; };
    EXPECT_FALSE(read_status_in(dir.string())) << "missing file";
    put("{\"pid\":");
    EXPECT_FALSE(read_status_in(dir.string())) << "torn write";
    put("[]");
    EXPECT_FALSE(read_status_in(dir.string()));
    put(R"({"pid":-4,"requests":"9","last_ms":12,"last_tool":3,"last_method":"ping"})");
    const auto s = read_status_in(dir.string());
    ASSERT_TRUE(s);
    EXPECT_EQ(s->pid, 0u);
    EXPECT_EQ(s->requests, 0u);
    EXPECT_EQ(s->last_tool, "");
    EXPECT_EQ(s->last_method, "ping");
    EXPECT_EQ(activity_age_of(s, 20), 8u);
    EXPECT_EQ(activity_age_of(s, 5), 0u);
    EXPECT_EQ(s->last_ms, 12u);
    StatusSnapshot zero;
    EXPECT_FALSE(activity_age_of(zero, 20));
    EXPECT_FALSE(activity_age_of(std::nullopt, 20));
}

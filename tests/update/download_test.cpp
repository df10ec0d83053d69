#include <gtest/gtest.h>

#include <filesystem>

#include "fake_https.h"
#include "platform/sha256.h"
#include "support/temp_dir.h"
#include "update/download.h"

using namespace nimbalo;
using namespace nimbalo::update;
using nimbalo::fixtures::FakeServer;
using nimbalo::fixtures::TempDir;

namespace {

constexpr const char* kUrl = "https://up.example/download/nimbalo.exe";

struct Report {
    int stage;
    float fraction;
    std::string text;
    bool operator==(const Report&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Report& r) {
    return os << "{" << r.stage << ", " << r.fraction << ", \"" << r.text << "\"}";
}

std::string body_of(size_t n) {
    std::string s(n, '\0');
    uint32_t x = 12345;  // fixed seed: the content only has to be non-trivial
    for (auto& c : s) {
        x = x * 1103515245 + 12345;
        c = char(x >> 24);
    }
    return s;
}

std::string sha_of(const std::string& s) {
    platform::Sha256 h;
    h.update(s);
    return platform::digest_hex(h.finish());
}

struct Outcome {
    Result<std::string> result = fail("not run");
    std::vector<Report> reports;
};

Outcome run(FakeServer& server, const std::string& folder, const std::string& sha = "", uint64_t cap = kMaxDownloadBytes,
        const char* url = kUrl) {
    Outcome r;
    DownloadOptions options{folder, server.opener(), cap};
    r.result = download_update(url, sha, [&](int stage, float f, const std::string& t) { r.reports.push_back({stage, f, t}); },
                               options);
    return r;
}

}  // namespace

// Expected reports computed by hand from the rules: every 49,152 bytes or at the total,
// kilobytes as 32-bit floats shown rounded half to even.
TEST(Download, ProgressTable) {
    struct Case {
        size_t size;
        bool with_length;
        size_t piece;
        std::vector<Report> want;
    };
    const Report verifying{2, 1.0f, "verifying the checksum"};
    const Case cases[] = {
        {100000, true, 65536, {{1, 65536.0f / 100000.0f, "64 KB of 98 KB"}, {1, 1.0f, "98 KB of 98 KB"}, verifying}},
        {100000, true, 10000, {{1, 0.5f, "49 KB of 98 KB"}, {1, 1.0f, "98 KB of 98 KB"}, verifying}},
        {100000, false, 10000, {{1, 0.0f, "49 KB"}, {1, 0.0f, "98 KB"}, verifying}},
        {60000, false, 10000, {{1, 0.0f, "49 KB"}, verifying}},
        {49152, false, 49152, {{1, 0.0f, "48 KB"}, verifying}},
        {49151, false, 49151, {verifying}},
        {2560, true, 2560, {{1, 1.0f, "2 KB of 2 KB"}, verifying}},    // 2.5 rounds to even
        {3584, true, 1000, {{1, 1.0f, "4 KB of 4 KB"}, verifying}},    // 3.5 rounds to even
        {0, true, 1, {verifying}},
    };
    for (const auto& c : cases) {
        TempDir dir("nimbalo_dl_progress");
        const std::string body = body_of(c.size);
        auto server = FakeServer::serving(body, c.with_length, c.piece);
        const Outcome r = run(server, dir.str(), sha_of(body));
        ASSERT_TRUE(r.result.ok()) << r.result.error();
        EXPECT_EQ(*r.result, dir / "nimbalo.new.exe");
        EXPECT_EQ(fixtures::read_text(*r.result), body);
        EXPECT_EQ(r.reports, c.want) << "size " << c.size << " piece " << c.piece;
    }
}

TEST(Download, FailuresDeleteTheFileTable) {
    const std::string body = body_of(200000);
    struct Case {
        const char* name;
        std::function<void(FakeServer&)> setup;
        std::string sha;
        uint64_t cap;
        std::string error;
    };
    const std::string wrong(64, '0');
    const Case cases[] = {
        {"short body, quiet end", [](FakeServer& s) { s.content_length = 300000; }, "", kMaxDownloadBytes,
         "incomplete download (200000 of 300000 bytes)"},
        {"broken transfer", [](FakeServer& s) { s.break_after_pieces = true; }, "", kMaxDownloadBytes,
         "download interrupted"},
        {"wrong digest", [](FakeServer&) {}, wrong, kMaxDownloadBytes, "checksum mismatch (got " + sha_of(body) + ")"},
        {"digest text that is no digest", [](FakeServer&) {}, "X", kMaxDownloadBytes,
         "checksum mismatch (got " + sha_of(body) + ")"},
        {"length over the cap", [](FakeServer&) {}, "", 199999,
         "the download is larger than 199999 bytes; refusing it"},
        {"no length, body over the cap", [](FakeServer& s) { s.content_length.reset(); }, "", 199999,
         "the download is larger than 199999 bytes; refusing it"},
    };
    for (const auto& c : cases) {
        TempDir dir("nimbalo_dl_fail");
        auto server = FakeServer::serving(body, true, 65536);
        c.setup(server);
        const Outcome r = run(server, dir.str(), c.sha, c.cap);
        ASSERT_FALSE(r.result.ok()) << c.name;
        EXPECT_EQ(r.result.error(), c.error) << c.name;
        EXPECT_FALSE(std::filesystem::exists(dir / "nimbalo.new.exe")) << c.name;
    }
}

TEST(Download, CapStopsReadingWithoutALength) {
    TempDir dir("nimbalo_dl_cap");
    auto server = FakeServer::serving(body_of(1 << 20), false, 65536);
    const Outcome r = run(server, dir.str(), "", 100000);
    ASSERT_FALSE(r.result.ok());
    EXPECT_LE(server.bytes_pulled, 100000u + 65536u) << "reading must stop at the cap, not at the end";
}

TEST(Download, NothingWrittenForRefusedRequests) {
    TempDir dir("nimbalo_dl_refused");
    const std::string body = body_of(1000);
    auto server = FakeServer::serving(body);
    fixtures::write_text(dir / "nimbalo.new.exe", "previous");

    Outcome r = run(server, dir.str(), "", kMaxDownloadBytes, "http://up.example/download/nimbalo.exe");
    EXPECT_EQ(r.result.error(), "only https is supported: http://up.example/download/nimbalo.exe");
    server.status = 404;
    r = run(server, dir.str());
    EXPECT_EQ(r.result.error(), "HTTP 404 for /download/nimbalo.exe");
    EXPECT_TRUE(r.reports.empty());
    EXPECT_EQ(fixtures::read_text(dir / "nimbalo.new.exe"), "previous");

    // A good download replaces an older one; an empty digest skips the check.
    server.status = 200;
    r = run(server, dir.str());
    ASSERT_TRUE(r.result.ok()) << r.result.error();
    EXPECT_EQ(fixtures::read_text(*r.result), body);
}

TEST(Download, FolderThatCannotBeCreated) {
    TempDir dir("nimbalo_dl_folder");
    fixtures::write_text(dir / "file", "x");
    auto server = FakeServer::serving("x");
    const Outcome r = run(server, dir / "file/update");
    ASSERT_FALSE(r.result.ok());
    EXPECT_TRUE(r.result.error().starts_with("cannot create " + (dir / "file/update") + ": ")) << r.result.error();
    EXPECT_TRUE(server.requests.empty());
}

#include <gtest/gtest.h>

#include "fake_https.h"
#include "update/manifest.h"

using namespace nimbalo;
using namespace nimbalo::update;

namespace {
constexpr const char* kUrl = "https://up.example:8443/download/version.txt";
constexpr const char* kDefaultExe = "https://up.example:8443/download/nimbalo.exe";
const std::string kHexUpper = "ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789";
const std::string kHexLower = "abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789";
}  // namespace

TEST(Manifest, LineRulesTable) {
    struct Case {
        std::string body;
        const char* error;  // nullptr: parsed
        UpdateManifest want;
    };
    const Case cases[] = {
        {"v0.6.0\n", nullptr, {"v0.6.0", kDefaultExe, "", "", 0}},
        {"v0.6.0", nullptr, {"v0.6.0", kDefaultExe, "", "", 0}},
        {"url=/download/nimbalo.exe\n0.7.0\n", "unexpected version.txt: url=/download/nimbalo.exe 0.7.0 ", {}},
        {"SHA256 = " + kHexUpper + "\r\nversion=1.0.0\r\n", nullptr, {"1.0.0", kDefaultExe, kHexLower, "", 0}},
        {"# comment\n\n  0.5.6  \r\n0.9.9\n", nullptr, {"0.5.6", kDefaultExe, "", "", 0}},
        {"0.5.6\nversion=0.5.7\n", nullptr, {"0.5.7", kDefaultExe, "", "", 0}},
        {"version=1\nversion=2\nnote=a\nnotes=b = c\n", nullptr, {"2", kDefaultExe, "", "b = c", 0}},
        {"version=1\nurl=https://cdn.example/n.exe\nsize=+123\n", nullptr, {"1", "https://cdn.example/n.exe", "", "", 123}},
        {"version=1\nurl=/d/x.exe\n", nullptr, {"1", "https://up.example:8443/d/x.exe", "", "", 0}},
        {"version=1\nurl=http://plain.example/x\n", nullptr, {"1", "http://plain.example/x", "", "", 0}},
        {"version=1\nsize=-5\n", nullptr, {"1", kDefaultExe, "", "", 0}},
        {"version=1\nsize=+\n", nullptr, {"1", kDefaultExe, "", "", 0}},
        {"version=1\nsize=18446744073709551616\n", nullptr, {"1", kDefaultExe, "", "", 0}},
        {"version=1\nsize=18446744073709551615\n", nullptr, {"1", kDefaultExe, "", "", 18446744073709551615ull}},
        {"version=1\nbogus=2\n=3\n", nullptr, {"1", kDefaultExe, "", "", 0}},
        {"foo=bar\n0.6.0\n", "unexpected version.txt: foo=bar 0.6.0 ", {}},
        {"version=\n", "unexpected version.txt: version= ", {}},
        {"", "unexpected version.txt: ", {}},
        {"#only a comment", "unexpected version.txt: #only a comment", {}},
        {"<html>" + std::string(200, 'x'), nullptr, {"<html>" + std::string(200, 'x'), kDefaultExe, "", "", 0}},
    };
    for (const auto& c : cases) {
        const auto got = parse_manifest(c.body, kUrl);
        if (c.error) {
            ASSERT_FALSE(got.ok()) << c.body;
            EXPECT_EQ(got.error(), c.error);
            continue;
        }
        ASSERT_TRUE(got.ok()) << c.body << ": " << got.error();
        EXPECT_EQ(got->version, c.want.version) << c.body;
        EXPECT_EQ(got->url, c.want.url) << c.body;
        EXPECT_EQ(got->sha256, c.want.sha256) << c.body;
        EXPECT_EQ(got->notes, c.want.notes) << c.body;
        EXPECT_EQ(got->size, c.want.size) << c.body;
    }
}

TEST(Manifest, RejectionQuotesEightyCharactersNotBytes) {
    // 100 two-byte characters: the message must hold 80 of them, never half a character.
    std::string body;
    for (int i = 0; i < 100; ++i) body += "\xC3\xA9";
    body = "a=b\n" + body;
    const auto got = parse_manifest(body, kUrl);
    ASSERT_FALSE(got.ok());
    EXPECT_EQ(got.error(), "unexpected version.txt: a=b " + body.substr(4, 76 * 2));
    // Issue 8, mend 5: server text in a message stays on one line without terminal controls.
    EXPECT_EQ(parse_manifest("x=1\r\n\x1b[2J\t\x7f", kUrl).error(), "unexpected version.txt: x=1   [2J  ");
}

TEST(Manifest, FetchReadsAtMostOnePiecePastTheBound) {
    // version=1 early, version=2 just past 65,536 bytes, version=3 near the end of a 100 KB body:
    // reading stops after the 8,192-byte piece that passes 65,537 bytes.
    std::string body = "version=1\n";
    auto pad_to = [&](size_t n) {
        while (body.size() + 1 < n) body += "#" + std::string(std::min<size_t>(60, n - body.size() - 2), '.') + "\n";
        body.resize(n - 1, '#');
        body += "\n";
    };
    pad_to(65536);
    body += "version=2\n";
    pad_to(100000);
    body += "version=3\n";
    auto server = fixtures::FakeServer::serving(body, true, 8192);
    const auto got = fetch_manifest(kUrl, server.opener());
    ASSERT_TRUE(got.ok()) << got.error();
    EXPECT_EQ(got->version, "2");
    EXPECT_EQ(server.bytes_pulled, 9u * 8192u);
}

TEST(Manifest, FetchFailures) {
    auto missing = fixtures::FakeServer::serving("0.6.0\n");
    missing.status = 404;
    EXPECT_EQ(fetch_manifest(kUrl, missing.opener()).error(), "HTTP 404 for /download/version.txt");

    auto broken = fixtures::FakeServer::serving("0.6.0\n");
    broken.break_after_pieces = true;
    EXPECT_EQ(fetch_manifest(kUrl, broken.opener()).error(), "read failed");

    auto fine = fixtures::FakeServer::serving("v0.6.0\n");
    EXPECT_EQ(fetch_manifest("http://up.example/download/version.txt", fine.opener()).error(),
              "only https is supported: http://up.example/download/version.txt");
    EXPECT_TRUE(fine.requests.empty());

    // Invalid UTF-8 is replaced, not rejected.
    auto latin1 = fixtures::FakeServer::serving("version=0.6.0\nnotes=caf\xE9\n");
    const auto got = fetch_manifest(kUrl, latin1.opener());
    ASSERT_TRUE(got.ok()) << got.error();
    EXPECT_EQ(got->notes, "caf\xEF\xBF\xBD");
}

TEST(Manifest, UrlFromTheEnvironment) {
    setenv("NIMBALO_UPDATE_URL", "https://127.0.0.1:8443/v.txt", 1);
    EXPECT_EQ(manifest_url(), "https://127.0.0.1:8443/v.txt");
    EXPECT_EQ(default_download_url(manifest_url()), "https://127.0.0.1:8443/download/nimbalo.exe");
    setenv("NIMBALO_UPDATE_URL", "", 1);
    EXPECT_EQ(manifest_url(), std::string("https://") + NIMBALO_UPDATE_HOST + "/download/version.txt");
    unsetenv("NIMBALO_UPDATE_URL");
    EXPECT_EQ(manifest_url(), std::string("https://") + NIMBALO_UPDATE_HOST + "/download/version.txt");
}

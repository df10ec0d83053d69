// The updater against a real HTTPS server on 127.0.0.1 with a certificate authority made for
// the run (scripts/stages/60-update.sh starts tests/update/https_test_server.py and sets
// NIMBALO_TEST_HTTPS to its base URL; the authority is trusted through SSL_CERT_FILE with libcurl
// and through the Root store under Wine). Skipped without the server. Runs unchanged as the
// Windows test program, so both transports meet the same server and the same expectations.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/system.h"
#include "support/temp_dir.h"
#include "update/download.h"
#include "update/manifest.h"

using namespace nimbalo;
using namespace nimbalo::update;
using nimbalo::fixtures::TempDir;

namespace {

std::string base() {
    auto b = platform::get_env("NIMBALO_TEST_HTTPS");
    return b ? *b : "";
}

#define NEED_SERVER() \
    if (base().empty()) GTEST_SKIP() << "NIMBALO_TEST_HTTPS is not set (see scripts/stages/60-update.sh)"

// The server's build: 300,000 bytes, byte i = i*7 mod 251.
std::string expected_build() {
    std::string s(300000, '\0');
    for (size_t i = 0; i < s.size(); ++i) s[i] = char((i * 7) % 251);
    return s;
}

}  // namespace

TEST(LiveServer, ManifestTable) {
    NEED_SERVER();
    const std::string host = base().substr(8);  // after "https://"
    struct Case {
        const char* path;
        std::string want;  // "version|url|sha256|size" or "error:..."
    };
    const std::string exe = base() + "/download/nimbalo.exe";
    const Case cases[] = {
        {"/bare/version.txt", "v0.6.0|" + exe + "||0"},
        {"/keyfirst/version.txt", "error:unexpected version.txt: url=/download/nimbalo.exe 0.7.0 "},
        {"/big/version.txt", "2|" + exe + "||0"},
        {"/ua/version.txt", "Nimbalo-Updater/1.0|" + exe + "||0"},
        {"/redirect/version.txt", "v0.6.0|" + exe + "||0"},
        {"/missing/version.txt", "error:HTTP 404 for /missing/version.txt"},
    };
    for (const auto& c : cases) {
        const auto m = fetch_manifest(base() + c.path, platform::https_open);
        const std::string got =
            m ? m->version + "|" + m->url + "|" + m->sha256 + "|" + std::to_string(m->size) : "error:" + m.error();
        EXPECT_EQ(got, c.want) << c.path;
    }
    // Upper-case key and digits, CR LF line ends.
    const auto upper = fetch_manifest(base() + "/upper/version.txt", platform::https_open);
    const auto good = fetch_manifest(base() + "/good/version.txt", platform::https_open);
    ASSERT_TRUE(upper.ok() && good.ok());
    EXPECT_EQ(upper->version, "0.6.1");
    EXPECT_EQ(upper->sha256, good->sha256);
    EXPECT_EQ(good->size, 300000u);

    EXPECT_EQ(fetch_manifest("http://" + host + "/bare/version.txt", platform::https_open).error(),
              "only https is supported: http://" + host + "/bare/version.txt");
}

TEST(LiveServer, DownloadTable) {
    NEED_SERVER();
    const auto good = fetch_manifest(base() + "/good/version.txt", platform::https_open);
    ASSERT_TRUE(good.ok()) << good.error();
    const std::string build = expected_build();
    struct Case {
        const char* path;
        bool use_digest;
        std::string error;  // empty: success; else the expected texts, separated by "|"
        const char* last_text;
    };
    const Case cases[] = {
        {"/download/nimbalo.exe", true, "", "293 KB of 293 KB"},
        {"/nolength/nimbalo.exe", true, "", nullptr},
        {"/download/nimbalo.exe", false, "", "293 KB of 293 KB"},
        // libcurl reports the cut as a broken transfer; WinHTTP ends the body quietly and the
        // completeness check catches it. Either way nothing is left behind.
        {"/truncated/nimbalo.exe", false, "download interrupted|incomplete download (150000 of 300000 bytes)", nullptr},
        {"/missing/nimbalo.exe", false, "HTTP 404 for /missing/nimbalo.exe", nullptr},
    };
    for (const auto& c : cases) {
        TempDir dir("nimbalo_live_dl");
        std::string last_text;
        int reports = 0;
        bool any_total = false;
        DownloadOptions options{dir.str(), platform::https_open};
        const auto got = download_update(
            base() + c.path, c.use_digest ? good->sha256 : "",
            [&](int stage, float, const std::string& text) {
                if (stage != 1) return;
                last_text = text;
                ++reports;
                any_total |= text.find(" of ") != std::string::npos;
            },
            options);
        const bool file_left = std::filesystem::exists(dir / "nimbalo.new.exe");
        if (!c.error.empty()) {
            const std::string error = got.ok() ? "(success)" : got.error();
            EXPECT_NE(("|" + c.error + "|").find("|" + error + "|"), std::string::npos) << c.path << ": " << error;
            EXPECT_FALSE(file_left) << c.path;
            continue;
        }
        ASSERT_TRUE(got.ok()) << c.path << ": " << got.error();
        EXPECT_EQ(fixtures::read_text(*got), build) << c.path;
        if (c.last_text) {
            EXPECT_EQ(last_text, c.last_text) << c.path;
        } else {
            EXPECT_FALSE(any_total) << c.path << ": without a length no total can be shown";
        }
        EXPECT_GE(reports, 2) << c.path;
    }

    TempDir dir("nimbalo_live_wrong");
    const auto wrong = download_update(base() + "/download/nimbalo.exe", std::string(64, 'f'), nullptr,
                                       DownloadOptions{dir.str(), platform::https_open});
    EXPECT_EQ(wrong.ok() ? "" : wrong.error(), "checksum mismatch (got " + good->sha256 + ")");
    EXPECT_FALSE(std::filesystem::exists(dir / "nimbalo.new.exe"));
}

#include <gtest/gtest.h>

#include "fake_https.h"
#include "update/https_get.h"

using namespace nimbalo;
using namespace nimbalo::update;

TEST(HttpsUrl, SplitTable) {
    struct Case {
        const char* url;
        const char* error;  // nullptr: expect success
        const char* name;
        uint16_t port;
        const char* path;
    };
    const Case cases[] = {
        {"https://example.org/download/version.txt", nullptr, "example.org", 443, "/download/version.txt"},
        {"https://example.org", nullptr, "example.org", 443, "/"},
        {"https://example.org/a/b?c=/d", nullptr, "example.org", 443, "/a/b?c=/d"},
        {"https://127.0.0.1:8443/x", nullptr, "127.0.0.1", 8443, "/x"},
        {"https://[::1]:8443/x", nullptr, "::1", 8443, "/x"},
        {"https://[::1]/x", nullptr, "::1", 443, "/x"},
        {"http://example.org/x", "only https is supported: http://example.org/x", "", 0, ""},
        {"HTTPS://example.org/x", "only https is supported: HTTPS://example.org/x", "", 0, ""},
        {"example.org/x", "only https is supported: example.org/x", "", 0, ""},
        {"https:///x", "bad url: https:///x", "", 0, ""},
        {"https://", "bad url: https://", "", 0, ""},
        {"https://host:0/x", "bad url: https://host:0/x", "", 0, ""},
        {"https://host:65536/x", "bad url: https://host:65536/x", "", 0, ""},
        {"https://host:/x", "bad url: https://host:/x", "", 0, ""},
        {"https://host:12a/x", "bad url: https://host:12a/x", "", 0, ""},
        {"https://:443/x", "bad url: https://:443/x", "", 0, ""},
        {"https://user@host/x", "bad url: https://user@host/x", "", 0, ""},
        {"https://ho st/x", "bad url: https://ho st/x", "", 0, ""},
        {"https://[::1/x", "bad url: https://[::1/x", "", 0, ""},
    };
    for (const auto& c : cases) {
        const auto got = split_https_url(c.url);
        if (c.error) {
            ASSERT_FALSE(got.ok()) << c.url;
            EXPECT_EQ(got.error(), c.error);
            continue;
        }
        ASSERT_TRUE(got.ok()) << c.url << ": " << got.error();
        EXPECT_EQ(got->name, c.name) << c.url;
        EXPECT_EQ(got->port, c.port) << c.url;
        EXPECT_EQ(got->path, c.path) << c.url;
    }
}

TEST(HttpsGet, SendsTheUserAgentAndChecksTheStatus) {
    auto server = fixtures::FakeServer::serving("hello");
    auto ok = https_get("https://h.example:9443/download/version.txt", server.opener());
    ASSERT_TRUE(ok.ok()) << ok.error();
    ASSERT_EQ(server.requests.size(), 1u);
    EXPECT_EQ(server.requests[0].user_agent, "Nimbalo-Updater/1.0");
    EXPECT_EQ(server.requests[0].host, "h.example");
    EXPECT_EQ(server.requests[0].port, 9443);
    EXPECT_EQ(server.requests[0].timeouts.receive_ms, 15000u);

    server.status = 404;
    auto missing = https_get("https://h.example/download/version.txt", server.opener());
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error(), "HTTP 404 for /download/version.txt");

    // The transport names the bare host; the message shows the host as the user wrote it.
    server.open_error = "request failed: h.example";
    auto down = https_get("https://h.example:9443/x", server.opener());
    EXPECT_EQ(down.error(), "request failed: h.example:9443");
    auto down443 = https_get("https://h.example/x", server.opener());
    EXPECT_EQ(down443.error(), "request failed: h.example");

    const size_t opened = server.requests.size();
    EXPECT_EQ(https_get("http://h.example/x", server.opener()).error(), "only https is supported: http://h.example/x");
    EXPECT_EQ(server.requests.size(), opened) << "a refused URL must not reach the network";
}

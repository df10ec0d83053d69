#include <gtest/gtest.h>

#include "service/http_request.h"
#include "service/http_response.h"

using namespace nimbalo;
using namespace nimbalo::http;

namespace {
std::string get(std::string_view target, std::string_view headers = "Host: 127.0.0.1\r\n") {
    return "GET " + std::string(target) + " HTTP/1.1\r\n" + std::string(headers) + "\r\n";
}
}  // namespace

TEST(HttpRequest, RoutesByExactTarget) {
    struct Case {
        std::string request;
        Route route;
    } cases[] = {
        {get("/status"), Route::Status},
        {get("/Status"), Route::Fallback},
        {get("/status?x=1"), Route::Fallback},
        {get("/progress"), Route::Progress},
        {get("/reindex"), Route::Reindex},
        {get("/reindex?"), Route::Fallback},
        {get("/health"), Route::Health},
        {get("/search"), Route::Fallback},
        {get("/search?"), Route::Search},
        {get("/search?q=a"), Route::Search},
        {get("/"), Route::Fallback},
        {"GET\r\n\r\n", Route::Fallback},
        {"", Route::Fallback},
        {"GET /health HTTP/1.1", Route::Fallback},             // no line feed yet
        {"GET /health", Route::Fallback},
        {"GET /health HTTP/1.0\n\n", Route::Health},
        {"GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n", Route::Fallback},  // head not finished
        {"GET /health HTTP/1.1\n\nGET /status HTTP/1.1\n\n", Route::Health},  // first line only
    };
    for (const auto& c : cases) EXPECT_EQ(parse_request(c.request, 8123).route, c.route) << c.request;
}

TEST(HttpRequest, OnlyAWellFormedGetRequestLineIsAnswered) {
    const char* refused[] = {
        "GET /health\r\n\r\n",                  // no version: would skip every header check
        "GET /health\n",
        "POST /health HTTP/1.1\r\n\r\n",
        "HEAD /health HTTP/1.1\r\n\r\n",
        "get /health HTTP/1.1\r\n\r\n",
        "X /health HTTP/1.1\r\n\r\n",
        "GET /health HTTP/2.0\r\n\r\n",
        "GET /health HTTP/1.1 extra\r\n\r\n",
        "GET  /health HTTP/1.1\r\n\r\n",
        "GET\t/health HTTP/1.1\r\n\r\n",
        "GET /health\tHTTP/1.1\r\n\r\n",
        "GET /health HTTP/1.1 \r\n\r\n",
        " GET /health HTTP/1.1\r\n\r\n",
        "GET health HTTP/1.1\r\n\r\n",
        "GET /he\x01lth HTTP/1.1\r\n\r\n",
    };
    for (const char* r : refused) EXPECT_EQ(parse_request(r, 8123).route, Route::Fallback) << r;
    EXPECT_EQ(parse_request("GET /health HTTP/1.0\r\n\r\n", 8123).route, Route::Health);
}

TEST(HttpRequest, MalformedRequestLineIsCompleteAtOnce) {
    // A refused line is answered without waiting for headers that would not be read.
    EXPECT_TRUE(head_complete("POST /status HTTP/1.1\r\n"));
    EXPECT_TRUE(head_complete("GET /status\r\n"));
    EXPECT_FALSE(head_complete("GET /status HTTP/1.1\r\n"));
}

TEST(HttpRequest, HeadIsCompleteOnlyWithItsBlankLine) {
    struct Case {
        const char* bytes;
        bool complete;
    } cases[] = {
        {"", false},
        {"GET /status HTTP/1.1", false},
        {"GET /status HTTP/1.1\r\n", false},
        {"GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n", false},
        {"GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", true},
        {"GET /status HTTP/1.1\n\n", true},
        {"GET /status\r\n", true},
        {"\n", true},
    };
    for (const auto& c : cases) EXPECT_EQ(head_complete(c.bytes), c.complete) << c.bytes;
}

TEST(HttpRequest, BrowserMarksAndForeignHostsAreRefused) {
    struct Case {
        const char* headers;
        bool answered;
    } cases[] = {
        {"", true},
        {"Host: 127.0.0.1\r\n", true},
        {"Host: 127.0.0.1:8123\r\n", true},
        {"host:localhost\r\n", true},
        {"HOST: LocalHost:8123\r\n", true},
        {"Host: [::1]:8123\r\n", true},
        {"Host: 127.0.0.1\r\nSec-Fetch-Site: none\r\n", true},
        {"Host: 127.0.0.1\r\nConnection: close\r\nUser-Agent: x\r\n", true},
        {"Host: 127.0.0.1:8124\r\n", false},
        {"Host: 127.0.0.2\r\n", false},
        {"Host: evil.example\r\n", false},
        {"Host: evil.example:8123\r\n", false},
        {"Host: localhost.evil.example\r\n", false},
        {"Host: 127.0.0.1\r\nHost: evil.example\r\n", false},
        {"Host:\r\n", false},
        {"Host: 127.0.0.1\r\nOrigin: http://127.0.0.1:9000\r\n", false},
        {"Host: 127.0.0.1\r\norigin: null\r\n", false},
        {"Host: 127.0.0.1\r\nReferer: http://127.0.0.1:9000/\r\n", false},
        {"Host: 127.0.0.1\r\nSec-Fetch-Site: cross-site\r\n", false},
        {"Host: 127.0.0.1\r\nSec-Fetch-Site: same-site\r\n", false},
        {"Host: 127.0.0.1\r\nno colon here\r\n", false},
        {"Host: 127.0.0.1\r\n folded: line\r\n", false},
        {"Host : evil.example\r\n", false},  // white space before the colon
        {"Host: 127.0.0.1\r\nOrigin : http://x\r\n", false},
        {"Host: 127.0.0.1\r\nOrigin\t: http://x\r\n", false},
        {"Host: 127.0.0.1\r\nSec-Fetch-Site : cross-site\r\n", false},
        {"Host: 127.0.0.1\r\nX(y): z\r\n", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_request(get("/reindex", c.headers), 8123).route == Route::Reindex, c.answered) << c.headers;
        EXPECT_EQ(parse_request(get("/search?q=x", c.headers), 8123).route == Route::Search, c.answered) << c.headers;
    }
    EXPECT_EQ(parse_request(get("/health", "Host: 127.0.0.1:9999\r\n"), 9999).route, Route::Health);
}

TEST(HttpRequest, SearchParameters) {
    struct Case {
        const char* query;
        SearchParams want;
    } cases[] = {
        {"q=note+pad&limit=5", {"note pad", 5, false}},
        {"q=note%20pad&limit=5", {"note pad", 5, false}},
        {"", {"", 100, false}},
        {"q=", {"", 100, false}},
        {"q", {"", 100, false}},
        {"limit=0", {"", 1, false}},
        {"limit=1", {"", 1, false}},
        {"limit=1000", {"", 1000, false}},
        {"limit=5000", {"", 1000, false}},
        {"limit=-3", {"", 100, false}},
        {"limit=abc", {"", 100, false}},
        {"limit=", {"", 100, false}},
        {"limit=+", {"", 100, false}},
        {"limit=-", {"", 100, false}},
        {"limit=+7", {"", 7, false}},
        {"limit=%2B7", {"", 7, false}},
        {"limit=%35", {"", 5, false}},
        {"limit=7x", {"", 100, false}},
        {"limit=18446744073709551615", {"", 1000, false}},
        {"limit=18446744073709551616", {"", 100, false}},
        {"limit=5&limit=9", {"", 9, false}},
        {"limit=5&limit=bad", {"", 100, false}},
        {"path=1", {"", 100, true}},
        {"path=yes", {"", 100, true}},
        {"path=true", {"", 100, true}},
        {"path=False", {"", 100, true}},
        {"path=0", {"", 100, false}},
        {"path=false", {"", 100, false}},
        {"path=", {"", 100, false}},
        {"path", {"", 100, false}},
        {"q=%ZZ", {"%ZZ", 100, false}},
        {"q=100%", {"100%", 100, false}},
        {"q=100%2", {"100%2", 100, false}},
        {"q=%41%62", {"Ab", 100, false}},
        {"q=a=b", {"a=b", 100, false}},
        {"q=a&q=b", {"b", 100, false}},
        {"Q=a&LIMIT=5", {"", 100, false}},
        {"%71=a", {"", 100, false}},  // keys are compared before decoding
        {"q=%C3%A9", {"\xC3\xA9", 100, false}},
        {"q=%FF", {"\xEF\xBF\xBD", 100, false}},
        {"q=a%00b", {std::string("a\0b", 3), 100, false}},
        {"&&q=x&", {"x", 100, false}},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_search_params(c.query), c.want) << c.query;
}

TEST(HttpRequest, InvalidUtf8InTheTargetBecomesReplacementCharacters) {
    const Request r = parse_request("GET /search?q=a\xFF" "b HTTP/1.1\r\n\r\n", 8123);
    ASSERT_EQ(r.route, Route::Search);
    EXPECT_EQ(r.params.q, "a\xEF\xBF\xBD" "b");
}

TEST(HttpResponse, ExactBytes) {
    EXPECT_EQ(response("ok"), "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
    EXPECT_EQ(response(""), "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(status_body(1534212), "{\"entries\": 1534212}");
    EXPECT_EQ(progress_body(1, 120000, 480000), R"({"done":120000,"state":1,"total":480000})");
    EXPECT_NE(response("\xC3\xA9").find("Content-Length: 2\r\n"), std::string::npos);  // bytes, not characters
}

TEST(HttpResponse, SearchBodies) {
    std::vector<SearchHit> hits{{"C:\\Windows\\notepad.exe", "notepad.exe", 1, 2, false}};
    EXPECT_EQ(search_body({"notepad", 100, false}, hits),
              R"({"by_path":false,"count":1,"error":null,"query":"notepad","results":["C:\\Windows\\notepad.exe"]})");
    EXPECT_EQ(search_body({"", 100, true}, Result<std::vector<SearchHit>>(fail("empty query"))),
              R"({"by_path":true,"count":0,"error":"empty query","query":"","results":[]})");
    EXPECT_EQ(search_body({"a\"b\\c\x01\xC3\xA9", 100, false}, std::vector<SearchHit>{}),
              "{\"by_path\":false,\"count\":0,\"error\":null,\"query\":\"a\\\"b\\\\c\\u0001\xC3\xA9\",\"results\":[]}");
}

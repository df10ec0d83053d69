// The updater's HTTPS GET: URL rules, the fixed user agent and time-outs, and the status check,
// over any transport with the shape of platform::https_open (tests pass fakes).
// A URL is "https://" (exact, lower case), then a host up to the first "/", then the path
// ("/" when absent). The host may carry ":port" (1-65535), which the update server at 443
// never needs but a server on a test port does; "[v6addr]:port" works the same way.
// Pure apart from the transport; thread-safe.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "common/result.h"
#include "platform/https.h"

namespace nimbalo::update {

inline constexpr const char* kUserAgent = "Nimbalo-Updater/1.0";

using HttpsOpener =
    std::function<Result<std::unique_ptr<platform::HttpsResponse>>(const platform::HttpsRequest&)>;

struct HttpsUrl {
    std::string host;  // as written in the URL, port included (used in messages)
    std::string name;  // host without port or brackets (handed to the transport)
    uint16_t port = 443;
    std::string path;
};

// "only https is supported: {url}" or "bad url: {url}".
Result<HttpsUrl> split_https_url(std::string_view url);

// The scheme and host of url, up to the first "/" after "://" (the whole url without one).
std::string url_origin(std::string_view url);

// Open a GET for url; a status other than 200 fails with "HTTP {status} for {path}".
Result<std::unique_ptr<platform::HttpsResponse>> https_get(std::string_view url, const HttpsOpener& open);
Result<std::unique_ptr<platform::HttpsResponse>> https_get(std::string_view url);

}  // namespace nimbalo::update

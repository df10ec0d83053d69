#include "update/https_get.h"

#include "common/text.h"

namespace nimbalo::update {

namespace {

bool parse_port(std::string_view digits, uint16_t& port) {
    uint64_t v = 0;
    if (digits.empty() || digits.size() > 5) return false;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + uint64_t(c - '0');
    }
    if (v == 0 || v > 65535) return false;
    port = uint16_t(v);
    return true;
}

}  // namespace

Result<HttpsUrl> split_https_url(std::string_view url) {
    constexpr std::string_view kScheme = "https://";
    if (!starts_with(url, kScheme)) return fail("only https is supported: " + std::string(url));
    const std::string_view rest = url.substr(kScheme.size());
    const size_t slash = rest.find('/');
    HttpsUrl out;
    out.host = std::string(rest.substr(0, slash));
    out.path = slash == std::string_view::npos ? "/" : std::string(rest.substr(slash));
    const Error bad = fail("bad url: " + std::string(url));
    std::string_view host = out.host;
    if (host.empty()) return bad;
    if (host.front() == '[') {
        const size_t close = host.find(']');
        if (close == std::string_view::npos || close == 1) return bad;
        out.name = std::string(host.substr(1, close - 1));
        const std::string_view after = host.substr(close + 1);
        if (!after.empty() && (after.front() != ':' || !parse_port(after.substr(1), out.port))) return bad;
    } else if (const size_t colon = host.find(':'); colon != std::string_view::npos) {
        out.name = std::string(host.substr(0, colon));
        if (out.name.empty() || !parse_port(host.substr(colon + 1), out.port)) return bad;
    } else {
        out.name = std::string(host);
    }
    // Control characters, blanks and user info have no business in a host name.
    for (char c : out.name)
        if (static_cast<unsigned char>(c) <= ' ' || c == '@' || c == '\\' || c == 0x7f) return bad;
    return out;
}

std::string url_origin(std::string_view url) {
    const size_t scheme_end = url.find("://");
    const size_t from = scheme_end == std::string_view::npos ? 0 : scheme_end + 3;
    const size_t slash = url.find('/', from);
    return std::string(url.substr(0, slash));
}

Result<std::unique_ptr<platform::HttpsResponse>> https_get(std::string_view url, const HttpsOpener& open) {
    auto parts = split_https_url(url);
    if (!parts) return std::move(parts).take_error();
    platform::HttpsRequest req;
    req.host = parts->name;
    req.port = parts->port;
    req.path = parts->path;
    req.user_agent = kUserAgent;
    auto response = open(req);
    if (!response) {
        // The transport names the bare host; the user wrote host:port, so show that.
        std::string text = response.error();
        if (parts->host != parts->name && ends_with(text, ": " + parts->name))
            text = text.substr(0, text.size() - parts->name.size()) + parts->host;
        return fail(std::move(text));
    }
    const uint32_t status = (*response)->status();
    if (status != 200) return fail("HTTP " + std::to_string(status) + " for " + parts->path);
    return response;
}

Result<std::unique_ptr<platform::HttpsResponse>> https_get(std::string_view url) {
    return https_get(url, platform::https_open);
}

}  // namespace nimbalo::update

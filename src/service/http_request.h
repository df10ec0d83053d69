// Reading one request of the loopback HTTP interface: when enough bytes have arrived, which route
// the request line asks for, the search parameters, and the checks that keep web pages out.
//
// A request is answered only when its Host header is absent or names the loopback address
// (127.0.0.1, localhost, [::1], optionally with the service's port) and it carries no browser marks
// (no Origin, no Referer, no Sec-Fetch-Site other than "none"). A page in a browser can reach
// 127.0.0.1 but cannot drop those headers, and a DNS-rebinding page sends its own host name; such
// requests get the fallback body and run nothing. Our own clients send "Host: 127.0.0.1".
//
// Only a well-formed "GET <target> HTTP/1.0" or "HTTP/1.1" request line (single spaces) is
// answered, and only with header lines whose name is a token directly followed by its colon:
// anything else would let a request pass the checks above under a spelling they do not read.
//
// Pure functions over the received bytes; invalid UTF-8 becomes U+FFFD. Thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nimbalo::http {

inline constexpr size_t kMaxRequestBytes = 8192;

enum class Route { Search, Status, Progress, Reindex, Health, Fallback };

struct SearchParams {
    std::string q;
    uint64_t limit = 100;
    bool path = false;
    bool operator==(const SearchParams&) const = default;
};

struct Request {
    Route route = Route::Fallback;
    SearchParams params;  // for Route::Search
};

// True when the received bytes hold a whole request head: the request line and, when that line is
// well-formed, the header block up to its blank line. A malformed line is refused at once.
bool head_complete(std::string_view received);

// The route and parameters of a request, Fallback for anything incomplete, malformed or refused.
// port: the service's own port, accepted after a loopback host name.
Request parse_request(std::string_view received, uint16_t port);

// "+" is a space (unless plus_is_space is false), "%XY" with two hex digits that byte, any other "%"
// itself. The result is raw bytes (not yet checked as UTF-8).
std::string percent_decode(std::string_view value, bool plus_is_space = true);

// The text after "/search?".
SearchParams parse_search_params(std::string_view query);

}  // namespace nimbalo::http

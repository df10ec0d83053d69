// Fuzz target: raw request bytes as a connection delivers them. Checks, beyond crashes: only a
// well-formed GET request line is answered, and never once an Origin header is added; search parameters stay in
// range and valid UTF-8; the search body is valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/text.h"
#include "service/http_request.h"
#include "service/http_response.h"

using namespace nimbalo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > http::kMaxRequestBytes) return 0;  // the reader never hands over more
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)http::head_complete(bytes);
    const http::Request req = http::parse_request(bytes, 8123);
    if (req.params.limit < 1 || req.params.limit > 1000) std::abort();
    if (!is_valid_utf8(req.params.q)) std::abort();

    // Insert an Origin header right after the request line: it must never be answered.
    const size_t lf = bytes.find('\n');
    if (lf != std::string_view::npos && req.route != http::Route::Fallback) {
        std::string marked(bytes.substr(0, lf + 1));
        marked += "Origin: http://example.test\r\n";
        marked += bytes.substr(lf + 1);
        const http::Request refused = http::parse_request(marked, 8123);
        if (refused.route != http::Route::Fallback) std::abort();
        // Only a well-formed GET request line is ever answered.
        const std::string_view line = bytes.substr(0, lf);
        if (!line.starts_with("GET /")) std::abort();
        if (!line.ends_with(" HTTP/1.1") && !line.ends_with(" HTTP/1.0") && !line.ends_with(" HTTP/1.1\r") &&
            !line.ends_with(" HTTP/1.0\r"))
            std::abort();
    }
    if (req.route == http::Route::Search) {
        const std::string body = http::search_body(req.params, std::vector<SearchHit>{});
        if (!is_valid_utf8(body)) std::abort();
    }
    return 0;
}

#include "service/http_request.h"

#include <optional>

#include "common/text.h"

namespace nimbalo::http {

namespace {

// A character of an HTTP token (a method or a header name).
bool is_token_char(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

// The target of a well-formed request line "GET <target> HTTP/1.x", single spaces, or nullopt.
std::optional<std::string_view> request_target(std::string_view line) {
    if (!starts_with(line, "GET /")) return std::nullopt;
    line.remove_prefix(4);
    const size_t sp = line.find(' ');
    if (sp == std::string_view::npos) return std::nullopt;
    const std::string_view target = line.substr(0, sp), version = line.substr(sp + 1);
    if (version != "HTTP/1.1" && version != "HTTP/1.0") return std::nullopt;
    for (const char c : target)
        if (static_cast<unsigned char>(c) < 0x21 || c == 0x7F) return std::nullopt;
    return target;
}

std::string_view strip_cr(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// The header block after the request line up to (not including) its blank line, or nullopt when
// the blank line has not arrived.
std::optional<std::string_view> header_block(std::string_view rest) {
    size_t pos = 0;
    while (pos <= rest.size()) {
        const size_t lf = rest.find('\n', pos);
        if (lf == std::string_view::npos) return std::nullopt;
        if (strip_cr(rest.substr(pos, lf - pos)).empty()) return rest.substr(0, pos);
        pos = lf + 1;
    }
    return std::nullopt;
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    return true;
}

bool loopback_host(std::string_view host, uint16_t port) {
    std::string port_suffix(1, ':');  // built by appending: gcc 12 misreads ":" + std::string&& (-Wrestrict)
    port_suffix += std::to_string(port);
    if (ends_with(host, port_suffix)) host.remove_suffix(port_suffix.size());
    return host == "127.0.0.1" || iequals(host, "localhost") || host == "[::1]";
}

// Every header line must be "name: value"; a folded or nameless line refuses the request.
bool headers_acceptable(std::string_view block, uint16_t port) {
    int hosts = 0;
    while (!block.empty()) {
        const size_t lf = block.find('\n');
        const std::string_view line = strip_cr(block.substr(0, lf));
        block = lf == std::string_view::npos ? std::string_view() : block.substr(lf + 1);
        const size_t colon = line.find(':');
        if (colon == 0 || colon == std::string_view::npos) return false;
        const std::string_view name = line.substr(0, colon);
        for (const char c : name)
            if (!is_token_char(c)) return false;  // "Origin : x" must not pass as some other header
        const std::string_view value = trim_ascii(line.substr(colon + 1));
        if (iequals(name, "Host")) {
            if (++hosts > 1 || !loopback_host(value, port)) return false;
        } else if (iequals(name, "Origin") || iequals(name, "Referer")) {
            return false;
        } else if (iequals(name, "Sec-Fetch-Site")) {
            if (!iequals(value, "none")) return false;
        }
    }
    return true;
}

Route route_of(std::string_view target) {
    if (starts_with(target, "/search?")) return Route::Search;
    if (target == "/status") return Route::Status;
    if (target == "/progress") return Route::Progress;
    if (target == "/reindex") return Route::Reindex;
    if (target == "/health") return Route::Health;
    return Route::Fallback;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool head_complete(std::string_view received) {
    const size_t lf = received.find('\n');
    if (lf == std::string_view::npos) return false;
    // A line that is not a request line is refused as soon as it is there.
    if (!request_target(strip_cr(received.substr(0, lf)))) return true;
    return header_block(received.substr(lf + 1)).has_value();
}

Request parse_request(std::string_view received, uint16_t port) {
    const std::string text = sanitize_utf8(received);
    const size_t lf = text.find('\n');
    if (lf == std::string::npos) return {};
    const std::string_view all(text);
    const auto target = request_target(strip_cr(all.substr(0, lf)));
    if (!target) return {};
    const auto block = header_block(all.substr(lf + 1));
    if (!block || !headers_acceptable(*block, port)) return {};
    Request req;
    req.route = route_of(*target);
    if (req.route == Route::Search) req.params = parse_search_params(target->substr(8));
    return req;
}

std::string percent_decode(std::string_view value, bool plus_is_space) {
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '+' && plus_is_space) {
            out += ' ';
        } else if (c == '%' && i + 2 < value.size() && hex_value(value[i + 1]) >= 0 && hex_value(value[i + 2]) >= 0) {
            out += char(hex_value(value[i + 1]) * 16 + hex_value(value[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

SearchParams parse_search_params(std::string_view query) {
    SearchParams p;
    std::optional<std::string_view> q, limit, path;
    while (true) {
        const size_t amp = query.find('&');
        const std::string_view piece = query.substr(0, amp);
        const size_t eq = piece.find('=');
        const std::string_view key = piece.substr(0, eq);
        const std::string_view value = eq == std::string_view::npos ? std::string_view() : piece.substr(eq + 1);
        if (key == "q") q = value;
        else if (key == "limit") limit = value;
        else if (key == "path") path = value;
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    if (q) p.q = sanitize_utf8(percent_decode(*q));
    if (limit) {
        // In a limit "+" is the number's sign, not an encoded blank: limit=+7 is 7.
        uint64_t n = 0;
        if (parse_u64_plus(percent_decode(*limit, false), n)) p.limit = n == 0 ? 1 : (n > 1000 ? 1000 : n);
    }
    if (path) {
        const std::string v = sanitize_utf8(percent_decode(*path));
        p.path = !(v.empty() || v == "0" || v == "false");
    }
    return p;
}

}  // namespace nimbalo::http

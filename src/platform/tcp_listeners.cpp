// The pure half of platform/tcp_listeners.h: addresses and the /proc/net/tcp text.
#include "platform/tcp_listeners.h"

#include <bit>
#include <string>

namespace nimbalo::platform {

namespace {

bool hex_value(std::string_view text, uint64_t& out) {
    if (text.empty() || text.size() > 16) return false;
    uint64_t v = 0;
    for (const char c : text) {
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        if (d < 0) return false;
        v = v << 4 | uint64_t(d);
    }
    out = v;
    return true;
}

bool dec_value(std::string_view text, uint64_t& out) {
    if (text.empty() || text.size() > 19) return false;
    uint64_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + uint64_t(c - '0');
    }
    out = v;
    return true;
}

// The kernel prints each 32-bit word of an address as the number it holds in memory, so on a
// little-endian machine the bytes of a word come out reversed.
void put_word(uint8_t* dst, uint32_t word) {
    const bool little = std::endian::native == std::endian::little;
    for (int i = 0; i < 4; ++i) dst[i] = uint8_t(word >> (little ? 8 * i : 24 - 8 * i));
}

// "0100007F:1FBB" (IPv4) or 32 hex digits, a colon and the port (IPv6).
bool parse_endpoint(std::string_view text, bool ipv6, Ipv6Address& address, uint16_t& port) {
    const size_t digits = ipv6 ? 32 : 8;
    if (text.size() != digits + 5 || text[digits] != ':') return false;
    uint64_t p = 0;
    if (!hex_value(text.substr(digits + 1), p) || p > 0xffff) return false;
    address = ipv6 ? Ipv6Address{} : ipv4_mapped(0, 0, 0, 0);
    for (size_t w = 0; w < digits / 8; ++w) {
        uint64_t word = 0;
        if (!hex_value(text.substr(w * 8, 8), word)) return false;
        put_word(address.data() + (ipv6 ? w * 4 : 12), uint32_t(word));
    }
    port = uint16_t(p);
    return true;
}

std::vector<std::string_view> fields_of(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

}  // namespace

Ipv6Address ipv4_mapped(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    Ipv6Address out{};
    out[10] = out[11] = 0xff;
    out[12] = a, out[13] = b, out[14] = c, out[15] = d;
    return out;
}

bool takes_loopback_v4(const Ipv6Address& address) {
    return address == ipv4_mapped(127, 0, 0, 1) || address == ipv4_mapped(0, 0, 0, 0) || address == Ipv6Address{};
}

Result<std::vector<TcpListener>> parse_proc_net_tcp(std::string_view text, bool ipv6) {
    std::vector<TcpListener> out;
    size_t line_no = 0;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        const std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
        ++line_no;
        const auto f = fields_of(line);
        if (f.empty() || f[0] == "sl") continue;
        // sl, local, remote, st, tx:rx queue, tr:when, retransmits, uid, ...
        const auto bad = [&] { return fail("line " + std::to_string(line_no) + " of the TCP table is not understood"); };
        if (f.size() < 8 || f[0].back() != ':') return bad();
        TcpListener l;
        Ipv6Address remote{};
        uint16_t remote_port = 0;
        uint64_t state = 0, uid = 0;
        if (!parse_endpoint(f[1], ipv6, l.address, l.port) || !parse_endpoint(f[2], ipv6, remote, remote_port) ||
            f[3].size() != 2 || !hex_value(f[3], state) || !dec_value(f[7], uid) || uid > UINT32_MAX)
            return bad();
        if (state != 0x0A) continue;  // TCP_LISTEN
        l.owner = uint32_t(uid);
        out.push_back(l);
    }
    return out;
}

}  // namespace nimbalo::platform

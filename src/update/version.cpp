#include "update/version.h"

#include "common/text.h"

namespace nimbalo::update {

namespace {

uint32_t leading_number(std::string_view piece) {
    uint64_t v = 0;
    size_t i = 0;
    for (; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i) {
        v = v * 10 + uint64_t(piece[i] - '0');
        if (v > UINT32_MAX) return 0;
    }
    return uint32_t(v);
}

}  // namespace

VersionTriple parse_version(std::string_view text) {
    text = trim_ascii(text);
    while (!text.empty() && text.front() == 'v') text.remove_prefix(1);
    uint32_t parts[3] = {0, 0, 0};
    for (int i = 0; i < 3 && !text.empty(); ++i) {
        const size_t dot = text.find('.');
        parts[i] = leading_number(text.substr(0, dot));
        if (dot == std::string_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    return {parts[0], parts[1], parts[2]};
}

bool is_newer(std::string_view remote, std::string_view current) {
    return parse_version(remote) > parse_version(current);
}

}  // namespace nimbalo::update

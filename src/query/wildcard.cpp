#include "query/wildcard.h"

namespace nimbalo {

namespace {
inline unsigned char fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }
}  // namespace

bool wildcard_match(std::string_view p, std::string_view s, bool fold_ascii) {
    size_t pi = 0, si = 0;
    size_t star = std::string_view::npos, mark = 0;
    while (si < s.size()) {
        if (pi < p.size() && p[pi] == '?') {
            ++pi;
            ++si;
            continue;
        }
        if (pi < p.size()) {
            const auto a = static_cast<unsigned char>(p[pi]);
            const auto b = static_cast<unsigned char>(s[si]);
            if (fold_ascii ? fold(a) == fold(b) : a == b) {
                ++pi;
                ++si;
                continue;
            }
        }
        if (pi < p.size() && p[pi] == '*') {
            star = pi;
            mark = si;
            ++pi;
            continue;
        }
        if (star != std::string_view::npos) {
            pi = star + 1;
            ++mark;
            si = mark;
            continue;
        }
        return false;
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

}  // namespace nimbalo

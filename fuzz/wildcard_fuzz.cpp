// Fuzz target: the glob matcher against a quadratic dynamic-programming reference.
// Input: byte 0 picks ASCII folding; the rest is "pattern\0text" (each at most 256 bytes,
// enough to reach every branch; longer inputs only slow the reference down).
// The matcher tries a literal byte before '*', so a '*' in the text can be eaten as a literal;
// the reference is therefore consulted only for texts without '*' (no Windows name has one).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "query/wildcard.h"

namespace {

unsigned char fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

bool reference(std::string_view p, std::string_view s, bool f) {
    // m[j]: pattern prefix of length i matches text prefix of length j.
    std::vector<char> m(s.size() + 1, 0), next(s.size() + 1, 0);
    m[0] = 1;
    for (size_t i = 0; i < p.size(); ++i) {
        std::fill(next.begin(), next.end(), 0);
        for (size_t j = 0; j <= s.size(); ++j) {
            if (p[i] == '*') {
                next[j] = m[j] || (j > 0 && next[j - 1]);
            } else if (j > 0 && m[j - 1]) {
                const auto a = static_cast<unsigned char>(p[i]), b = static_cast<unsigned char>(s[j - 1]);
                next[j] = p[i] == '?' || (f ? fold(a) == fold(b) : a == b);
            }
        }
        m.swap(next);
    }
    return m[s.size()];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool f = data[0] & 1;
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t zero = rest.find('\0');
    const std::string_view pattern = rest.substr(0, zero);
    const std::string_view text = zero == std::string_view::npos ? std::string_view{} : rest.substr(zero + 1);
    if (pattern.size() > 256 || text.size() > 256) return 0;
    const bool got = nimbalo::wildcard_match(pattern, text, f);
    if (text.find('*') == std::string_view::npos && got != reference(pattern, text, f)) std::abort();
    return 0;
}

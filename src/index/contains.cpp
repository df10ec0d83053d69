#include "index/contains.h"

#include <cstring>

#include "common/unicode.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace nimbalo {

namespace {

inline unsigned char fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

// First index in [from, to) whose byte is a or b, or `to`. Reads only bytes below limit
// (limit >= to), so it never touches memory past the haystack.
inline size_t find_either(const unsigned char* p, size_t from, size_t to, size_t limit, unsigned char a, unsigned char b) {
    size_t i = from;
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(char(a));
    const __m128i vb = _mm_set1_epi8(char(b));
    while (i < to && i + 16 <= limit) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const unsigned mask = unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb))));
        if (mask) {
            const size_t hit = i + size_t(__builtin_ctz(mask));
            return hit < to ? hit : to;
        }
        i += 16;
    }
#else
    (void)limit;
#endif
    for (; i < to; ++i)
        if (p[i] == a || p[i] == b) return i;
    return to;
}

thread_local std::string t_lowered;

}  // namespace

bool is_ascii(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    uint64_t acc = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        acc |= w;
    }
    for (; i < n; ++i) acc |= p[i];
    return (acc & 0x8080'8080'8080'8080ull) == 0;
}

size_t find_ascii_folded(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return 0;
    if (needle.size() > haystack.size()) return std::string_view::npos;
    const auto* h = reinterpret_cast<const unsigned char*>(haystack.data());
    const auto* nd = reinterpret_cast<const unsigned char*>(needle.data());
    const size_t n = needle.size();
    const size_t end = haystack.size() - n + 1;  // candidate starts are [0, end)
    auto matches_at = [&](size_t i) {
        for (size_t k = 1; k < n; ++k)
            if (fold(h[i + k]) != nd[k]) return false;
        return true;
    };
    size_t i = 0;
#if defined(__SSE2__)
    // Compare the needle's first and last byte at 16 starts at once; only starts where both
    // agree are verified. A letter is compared after OR-ing 0x20, which folds exactly its
    // upper-case form onto it and nothing else.
    if (n >= 2) {
        const unsigned char f = nd[0], l = nd[n - 1];
        const bool f_letter = f >= 'a' && f <= 'z', l_letter = l >= 'a' && l <= 'z';
        const __m128i vf = _mm_set1_epi8(char(f)), vl = _mm_set1_epi8(char(l));
        const __m128i of = _mm_set1_epi8(f_letter ? 0x20 : 0), ol = _mm_set1_epi8(l_letter ? 0x20 : 0);
        for (; i + (n - 1) + 16 <= haystack.size(); i += 16) {
            const __m128i a = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i)), of);
            const __m128i b = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + n - 1)), ol);
            unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, vf), _mm_cmpeq_epi8(b, vl))));
            while (mask) {
                const size_t j = i + size_t(__builtin_ctz(mask));
                if (matches_at(j)) return j;
                mask &= mask - 1;
            }
        }
    }
#endif
    const unsigned char lo = nd[0];
    const unsigned char up = (lo >= 'a' && lo <= 'z') ? lo - 32 : lo;
    for (;; ++i) {
        i = find_either(h, i, end, haystack.size(), lo, up);
        if (i == end) return std::string_view::npos;
        if (matches_at(i)) return i;
    }
}

bool contains_ci(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return true;
    if (needle.size() > haystack.size()) return false;
    const bool needle_ascii = is_ascii(needle);
    if (needle_ascii || is_ascii(haystack)) {
        if (!needle_ascii) return false;  // non-ASCII bytes cannot occur in an ASCII haystack
        // Fold the needle on the fly: no allocation on this path.
        const auto* h = reinterpret_cast<const unsigned char*>(haystack.data());
        const auto* nd = reinterpret_cast<const unsigned char*>(needle.data());
        const size_t end = haystack.size() - needle.size() + 1;
        const unsigned char lo = fold(nd[0]);
        const unsigned char up = (lo >= 'a' && lo <= 'z') ? lo - 32 : lo;
        for (size_t i = 0;; ++i) {
            i = find_either(h, i, end, haystack.size(), lo, up);
            if (i == end) return false;
            size_t k = 1;
            while (k < needle.size() && fold(h[i + k]) == fold(nd[k])) ++k;
            if (k == needle.size()) return true;
        }
    }
    const std::string lowered_needle = to_lower_full(needle);
    t_lowered.clear();
    append_lower_full(t_lowered, haystack);
    return t_lowered.find(lowered_needle) != std::string::npos;
}

CiNeedle::CiNeedle(std::string_view text) : text_(text), ascii_(is_ascii(text)) {
    if (ascii_) {
        folded_.resize(text.size());
        for (size_t i = 0; i < text.size(); ++i) folded_[i] = char(fold(static_cast<unsigned char>(text[i])));
    } else {
        lowered_ = to_lower_full(text);
    }
}

bool CiNeedle::contained_in(std::string_view haystack) const {
    if (text_.empty()) return true;
    if (text_.size() > haystack.size()) return false;
    if (ascii_) return find_ascii_folded(haystack, folded_) != std::string_view::npos;
    if (is_ascii(haystack)) return false;
    t_lowered.clear();
    append_lower_full(t_lowered, haystack);
    return t_lowered.find(lowered_) != std::string::npos;
}

}  // namespace nimbalo

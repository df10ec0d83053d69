#include "common/unicode.h"

#include <algorithm>

#include "common/unicode_tables.h"

namespace nimbalo {

namespace ut = unicode_tables;

namespace {

bool in_ranges(const ut::CodeRange* ranges, size_t count, char32_t cp) {
    const auto* end = ranges + count;
    const auto* it = std::upper_bound(ranges, end, cp, [](char32_t c, const ut::CodeRange& r) { return c < r.first; });
    return it != ranges && cp <= (it - 1)->last;
}

}  // namespace

Utf8Step utf8_decode_step(std::string_view text, size_t pos) {
    const auto b0 = static_cast<unsigned char>(text[pos]);
    if (b0 < 0x80) return {b0, 1, true};
    size_t len = 0;
    char32_t cp = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2; cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3; cp = b0 & 0x0F;
        if (b0 == 0xE0) lo = 0xA0;  // no overlong forms (C0 and C1 are refused above)
        if (b0 == 0xED) hi = 0x9F;  // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4; cp = b0 & 0x07;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        return {U'\uFFFD', 1, false};
    }
    // An invalid or truncated sequence is replaced as a whole "maximal subpart": the lead byte
    // with the continuation bytes that were still allowed after it, as the Unicode Standard
    // recommends and the system's own converters do. One U+FFFD, never one per byte.
    for (size_t k = 1; k < len; ++k) {
        if (pos + k >= text.size()) return {U'\uFFFD', k, false};
        const auto b = static_cast<unsigned char>(text[pos + k]);
        if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) return {U'\uFFFD', k, false};
        cp = (cp << 6) | (b & 0x3F);
    }
    return {cp, len, true};
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

char32_t to_lower_simple(char32_t cp) {
    if (cp < 0x80) return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
    const auto* end = ut::kSimpleLower + ut::kSimpleLowerCount;
    const auto* it = std::lower_bound(ut::kSimpleLower, end, cp, [](const ut::LowerPair& p, char32_t c) { return p.from < c; });
    return (it != end && it->from == cp) ? it->to : cp;
}

void append_lower_full(std::string& out, std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            out += (b >= 'A' && b <= 'Z') ? char(b + 32) : char(b);
            ++i;
            continue;
        }
        const Utf8Step s = utf8_decode_step(text, i);
        if (!s.valid) {
            out += text[i];
            ++i;
            continue;
        }
        i += s.len;
        const auto* send = ut::kSpecialLower + ut::kSpecialLowerCount;
        const auto* sp = std::lower_bound(ut::kSpecialLower, send, s.cp,
                                          [](const ut::SpecialLower& p, char32_t c) { return p.from < c; });
        if (sp != send && sp->from == s.cp) {
            for (size_t k = 0; k < sp->count; ++k) append_utf8(out, sp->to[k]);
        } else {
            append_utf8(out, to_lower_simple(s.cp));
        }
    }
}

std::string to_lower_full(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 4);
    append_lower_full(out, text);
    return out;
}

bool is_white_space(char32_t cp) { return in_ranges(ut::kWhiteSpace, ut::kWhiteSpaceCount, cp); }

bool is_alphanumeric(char32_t cp) {
    if (cp < 0x80) return (cp >= '0' && cp <= '9') || ((cp | 32) >= 'a' && (cp | 32) <= 'z');
    return in_ranges(ut::kAlphanumeric, ut::kAlphanumericCount, cp);
}

}  // namespace nimbalo

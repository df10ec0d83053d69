#include "common/text.h"

#include "common/unicode.h"

#include <cstdio>
#include <cstring>

namespace nimbalo {

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

}  // namespace

std::string utf16_to_utf8(std::u16string_view units) {
    std::string out;
    out.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (uint32_t(units[i + 1]) - 0xDC00);
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            u = kReplacement;
        }
        append_utf8(out, char32_t(u));
    }
    return out;
}

std::string utf16le_to_utf8(std::span<const std::byte> bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = char16_t(uint16_t(bytes[2 * i]) | (uint16_t(bytes[2 * i + 1]) << 8));
    return utf16_to_utf8(units);
}

std::u16string utf8_to_utf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const Utf8Step step = utf8_decode_step(text, i);
        i += step.len;
        uint32_t cp = step.cp;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out += char16_t(cp);
        }
    }
    return out;
}

bool is_valid_utf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) { ++i; continue; }
        const Utf8Step step = utf8_decode_step(text, i);
        if (!step.valid) return false;
        i += step.len;
    }
    return true;
}

std::string sanitize_utf8(std::string_view text) {
    if (is_valid_utf8(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size();) {
        const Utf8Step step = utf8_decode_step(text, i);
        if (step.valid) out.append(text.substr(i, step.len));
        else append_utf8(out, char32_t(kReplacement));
        i += step.len;
    }
    return out;
}

int utf8_sequence_length(unsigned char b) {
    if (b < 0x80) return 1;
    if (b >= 0xC2 && b <= 0xDF) return 2;
    if (b >= 0xE0 && b <= 0xEF) return 3;
    if (b >= 0xF0 && b <= 0xF4) return 4;
    return 0;
}

std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = ascii_lower(c);
    return out;
}

namespace {
bool is_ascii_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
}  // namespace

std::string_view trim_ascii(std::string_view text) {
    while (!text.empty() && is_ascii_space(text.front())) text.remove_prefix(1);
    return trim_ascii_right(text);
}

std::string_view trim_ascii_right(std::string_view text) {
    while (!text.empty() && is_ascii_space(text.back())) text.remove_suffix(1);
    return text;
}

bool parse_u64_plus(std::string_view text, uint64_t& out) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        const uint64_t d = uint64_t(c - '0');
        if (v > (UINT64_MAX - d) / 10) return false;
        v = v * 10 + d;
    }
    out = v;
    return true;
}

std::string fixed(double value, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    return buf;
}

std::string pad_left(std::string_view text, size_t width) {
    std::string out;
    if (text.size() < width) out.assign(width - text.size(), ' ');
    out += text;
    return out;
}

std::string pad_right(std::string_view text, size_t width) {
    std::string out(text);
    if (out.size() < width) out.append(width - out.size(), ' ');
    return out;
}

std::string hex_lower(uint64_t value, int width) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*llx", width, static_cast<unsigned long long>(value));
    return buf;
}

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

bool ends_with(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace nimbalo

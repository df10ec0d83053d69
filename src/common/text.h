// Text helpers shared by every layer: UTF-8/UTF-16 conversion with U+FFFD for bad input,
// validation, trimming and the few number formats the console and protocols print.
// Pure functions; thread-safe; no locale is consulted anywhere.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace nimbalo {

// UTF-16LE code units (as stored on disk) to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16le_to_utf8(std::span<const std::byte> bytes);
std::string utf16_to_utf8(std::u16string_view units);

// UTF-8 to UTF-16; invalid sequences become U+FFFD.
std::u16string utf8_to_utf16(std::string_view text);

// True when text is well-formed UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF).
bool is_valid_utf8(std::string_view text);

// Replace every invalid UTF-8 sequence with U+FFFD (maximal-subpart rule).
std::string sanitize_utf8(std::string_view text);

// Length in bytes of the UTF-8 sequence introduced by lead byte b, or 0 if b cannot start one.
int utf8_sequence_length(unsigned char b);

// True when position pos of text is not in the middle of a UTF-8 sequence.
inline bool is_utf8_boundary(std::string_view text, size_t pos) {
    return pos == 0 || pos >= text.size() || (static_cast<unsigned char>(text[pos]) & 0xC0) != 0x80;
}

// ASCII-only helpers.
inline char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
std::string ascii_lower(std::string_view text);

// Trim ASCII white space (space, \t, \n, \v, \f, \r) from both ends / the end.
std::string_view trim_ascii(std::string_view text);
std::string_view trim_ascii_right(std::string_view text);

// Unsigned decimal with an optional leading '+': digits only, at least one, no overflow.
bool parse_u64_plus(std::string_view text, uint64_t& out);

// printf-style "%.{decimals}f".
std::string fixed(double value, int decimals);

// Pad to width with spaces; never cuts.
std::string pad_left(std::string_view text, size_t width);
std::string pad_right(std::string_view text, size_t width);

// Lower-case hexadecimal, zero-padded to width digits.
std::string hex_lower(uint64_t value, int width = 0);

bool starts_with(std::string_view text, std::string_view prefix);
bool ends_with(std::string_view text, std::string_view suffix);

}  // namespace nimbalo

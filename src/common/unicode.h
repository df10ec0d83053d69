// Unicode text operations the query language and the index need: full lower-casing (one
// character may become several, e.g. U+0130 becomes "i" + U+0307), the White_Space set and the
// alphanumeric test (Alphabetic or a numeric general category), plus one UTF-8 decoding step.
// Tables come from the Unicode Character Database (see unicode_tables.cpp for the version).
// Locale-independent; no conditional (language- or context-sensitive) mappings are applied, so
// final sigma lower-cases to U+03C3 like every other capital sigma.
// Pure functions, thread-safe. Cost: ASCII bytes take a fast path; other characters cost one
// binary search each.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nimbalo {

// One decoded character: its code point and how many bytes it took. An invalid or truncated
// sequence decodes as its maximal subpart (the lead byte and the continuation bytes still
// allowed after it; at least one byte) with valid = false and cp = U+FFFD. The one UTF-8
// decoder of the program: conversions, validation, lower-casing and the query all step with it.
struct Utf8Step {
    char32_t cp = 0;
    size_t len = 1;
    bool valid = true;
};
Utf8Step utf8_decode_step(std::string_view text, size_t pos);

// Full lower-casing (UnicodeData simple mappings plus the unconditional SpecialCasing ones).
// Bytes that are not valid UTF-8 are copied through unchanged, so no input text is lost.
std::string to_lower_full(std::string_view text);
void append_lower_full(std::string& out, std::string_view text);

// Lower-case form of one character when it is a single character (the simple mapping).
char32_t to_lower_simple(char32_t cp);

bool is_white_space(char32_t cp);
bool is_alphanumeric(char32_t cp);

void append_utf8(std::string& out, char32_t cp);

}  // namespace nimbalo

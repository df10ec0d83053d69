// The raw Unicode tables behind common/unicode.h, generated from the Unicode Character Database
// by tools/gen_unicode_tables.py into unicode_tables.cpp. Every table is sorted by code point
// (ranges are disjoint and ascending) so lookups are binary searches. Immutable; thread-safe.
// Only common/unicode.cpp and the table tests read these directly.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nimbalo::unicode_tables {

struct LowerPair {
    char32_t from;
    char32_t to;
};

// A character whose unconditional lower-case form is several characters (U+0130 -> i + U+0307).
struct SpecialLower {
    char32_t from;
    uint8_t count;
    char32_t to[3];
};

struct CodeRange {
    char32_t first;
    char32_t last;  // inclusive
};

extern const LowerPair kSimpleLower[];
extern const size_t kSimpleLowerCount;
extern const SpecialLower kSpecialLower[];
extern const size_t kSpecialLowerCount;
extern const CodeRange kAlphanumeric[];  // Alphabetic plus general categories Nd, Nl, No
extern const size_t kAlphanumericCount;
extern const CodeRange kWhiteSpace[];    // the White_Space property
extern const size_t kWhiteSpaceCount;

}  // namespace nimbalo::unicode_tables

// The evaluation plan of a parsed query (never shown to users): one of two single-word fast
// paths, or the general per-entry test with an optional prefilter literal.
// The prefilter is a literal every matching entry's name is sure to contain, so testing it
// first can only skip entries that would fail anyway. Each prefilter carries the folding its
// source term uses: plain words and regex runs use contains_ci, glob pieces use the glob's
// own folding (ASCII folding when both sides are ASCII, full lower-casing otherwise), since
// the two differ for characters such as KELVIN SIGN, which lower-cases to an ASCII k.
// Pure; thread-safe.
#pragma once

#include <optional>
#include <string>

#include "query/query.h"

namespace nimbalo {

enum class PrefilterFold : uint8_t { ContainsCi, FullLower };

struct Prefilter {
    std::string text;  // at least 3 characters
    PrefilterFold fold = PrefilterFold::ContainsCi;
};

struct Plan {
    std::optional<std::string> name_needle;
    std::optional<std::string> path_needle;
    std::optional<Prefilter> prefilter;
    bool needs_path = false;
};

Plan choose_plan(const Query& q, bool path_mode);

// The glob's longest literal piece between '*' and '?' (the first of equally long ones).
std::string glob_longest_literal(std::string_view pattern);

size_t count_chars(std::string_view utf8);

}  // namespace nimbalo

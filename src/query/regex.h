// Regular-expression terms on RE2: compiling with the query language's limits, and the
// literal a matching name is sure to contain (for the search prefilter).
// Limits: compiled program at most 10 MiB; nesting at most 50 levels, checked here before
// RE2 sees the pattern (RE2 has no such option; deep nesting costs stack and time in its
// parser). RE2's own error logging is off; its error text is passed on after "regex: ".
// Threads: the compiled RE2 is immutable and safe to share between threads.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "common/result.h"

namespace re2 {
class RE2;
}

namespace nimbalo {

inline constexpr int64_t kRegexMaxMem = 10 * 1024 * 1024;
inline constexpr int kRegexMaxNesting = 50;

struct CompiledRegex {
    std::shared_ptr<const re2::RE2> matcher;
    bool case_insensitive = true;
};

// Case-insensitive unless the pattern contains "(?-i)"; if that fails, once more
// case-sensitively; the second failure becomes "regex: {RE2's error}". max_mem bounds the
// compiled program and its matching caches together; a query with several patterns shares one
// kRegexMaxMem among them, and a pattern too large for its share fails with a message saying so.
Result<CompiledRegex> compile_regex(std::string_view pattern, int64_t max_mem = kRegexMaxMem);

// Deepest nesting of groups and character classes in pattern (escapes respected).
int regex_nesting_depth(std::string_view pattern);

// The literal that every match of pattern must contain, for the prefilter, or "" when none is
// certain. Only a pattern starting with '^' and holding no '|' offers one: the run of
// alphanumeric, space, '-' and '_' characters right after the '^', without its last character
// when a quantifier that allows zero ('?', '*', '{') follows the run. For a case-insensitive
// pattern, RE2 also matches characters that the containment test does not fold to the run's
// letters (KELVIN SIGN for k, LONG S for s, and non-ASCII case pairs), so the run is then cut
// at such characters and the longest remaining piece is offered.
std::string regex_required_literal(std::string_view pattern, bool case_insensitive);

}  // namespace nimbalo

// Query: one parsed query of the search language. Every term in `terms` must match an entry,
// none in `excluded` may, an entry must have one of `exts` (when any) and pass every size
// filter, and `kind` restricts files/folders. There is no OR and no grouping.
// A Query owns all its parts; its compiled regular expressions are immutable and shared
// read-only by every worker of a search (RE2 matching is thread-safe).
// parse_query never throws; an unreadable query yields exactly one message (see parse.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/result.h"

namespace re2 {
class RE2;
}

namespace nimbalo {

struct SubstringTerm {
    std::string text;  // as typed, never lower-cased
    bool case_sensitive = false;
    bool on_path = false;
};

struct GlobTerm {
    std::string pattern;  // holds at least one * or ?
    bool on_path = false;
};

struct RegexTerm {
    std::string pattern;                         // the source text (for the prefilter)
    std::shared_ptr<const re2::RE2> matcher;     // never null
    bool case_insensitive = true;                // how it was compiled
    bool on_path = false;
};

using Term = std::variant<SubstringTerm, GlobTerm, RegexTerm>;

enum class Kind : uint8_t { Files = 0, Folders = 1, Any = 2 };

enum class SizeOp : uint8_t { Gt, Ge, Lt, Le, Eq, Range };

struct SizeFilter {
    SizeOp op = SizeOp::Ge;
    uint64_t bound = 0;
    uint64_t upper = 0;  // Range only
    bool operator==(const SizeFilter&) const = default;
};

struct Query {
    std::vector<Term> terms;
    std::vector<Term> excluded;
    std::vector<std::string> exts;  // lower-cased, non-empty, no leading dots
    std::vector<SizeFilter> sizes;
    Kind kind = Kind::Any;
};

bool term_on_path(const Term& t);

// At most this many terms and filters (words) in one query, negated ones included: every term
// is tested against every name, and a regex term costs a compiled program.
inline constexpr size_t kMaxQueryTerms = 64;

Result<Query> parse_query(std::string_view text, bool path_mode);

// A bare word, a path: value or a token whose prefix is no field keyword. Fails with
// "empty term" for an empty text.
Result<Term> make_plain_term(std::string_view text, bool force_path);

// "10mb", "1.5 KB", "1,024kb", "0.4b": bytes, truncated toward zero; 2^64 or more saturates
// at 2^64 - 1. Units k/kb, m/mb, g/gb, b (powers of 1024), none means bytes.
Result<uint64_t> parse_size(std::string_view text);

bool size_filter_holds(const SizeFilter& f, uint64_t size);

}  // namespace nimbalo

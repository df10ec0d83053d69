// The per-entry test of a query: terms prepared once per search (needles folded, glob
// patterns lower-cased) and then applied to many entries from many worker threads.
// Term semantics: a Substring is contains_ci (or exact bytes when case-sensitive); a Glob runs
// the wildcard match with ASCII folding when pattern and text are ASCII, else over fully
// lower-cased bytes ('?' is then one byte); a Regex is an unanchored RE2 search.
// Threads: a PreparedQuery is immutable once built; non-ASCII text is lower-cased into
// per-thread buffers, so evaluation allocates only for non-ASCII names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "index/contains.h"
#include "query/plan.h"
#include "query/query.h"

namespace nimbalo {

class PreparedTerm {
public:
    explicit PreparedTerm(const Term& term);
    bool on_path() const { return on_path_; }
    bool matches(std::string_view haystack) const;

private:
    enum class Type : uint8_t { Ci, Exact, Glob, Regex } type_;
    bool on_path_ = false;
    bool pattern_ascii_ = true;
    CiNeedle needle_;
    std::string text_;     // exact text, or the glob pattern
    std::string lowered_;  // glob pattern fully lower-cased
    const re2::RE2* regex_ = nullptr;  // owned by the Query
};

class PreparedQuery {
public:
    PreparedQuery(const Query& q, const Plan& plan);
    // The general plan's test, in order: prefilter, kind, sizes, extension, terms, exclusions.
    bool accept(std::string_view name, std::string_view path, bool is_dir, uint64_t size) const;
    bool needs_path() const { return needs_path_; }

private:
    bool prefilter_holds(std::string_view name) const;

    const Query& q_;
    std::vector<PreparedTerm> terms_;
    std::vector<PreparedTerm> excluded_;
    bool has_prefilter_ = false;
    PrefilterFold prefilter_fold_ = PrefilterFold::ContainsCi;
    CiNeedle prefilter_;
    std::string prefilter_lowered_;
    bool needs_path_ = false;
};

// The test of one term against one entry; path is read only when the term is on_path.
bool matches(const Term& term, std::string_view name, std::string_view path);

// Whether a name's extension (text after its last '.', fully lower-cased) is one of exts.
bool extension_matches(std::string_view name, const std::vector<std::string>& exts);

}  // namespace nimbalo

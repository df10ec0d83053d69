#include "query/evaluate.h"

#include <re2/re2.h>

#include "common/unicode.h"
#include "query/wildcard.h"

namespace nimbalo {

namespace {

thread_local std::string t_text_lowered;

std::string_view lowered_copy(std::string_view s) {
    t_text_lowered.clear();
    append_lower_full(t_text_lowered, s);
    return t_text_lowered;
}

}  // namespace

PreparedTerm::PreparedTerm(const Term& term) : type_(Type::Ci), needle_(std::string_view{}) {
    if (const auto* s = std::get_if<SubstringTerm>(&term)) {
        on_path_ = s->on_path;
        if (s->case_sensitive) {
            type_ = Type::Exact;
            text_ = s->text;
        } else {
            type_ = Type::Ci;
            needle_ = CiNeedle(s->text);
        }
    } else if (const auto* g = std::get_if<GlobTerm>(&term)) {
        on_path_ = g->on_path;
        type_ = Type::Glob;
        text_ = g->pattern;
        pattern_ascii_ = is_ascii(g->pattern);
        lowered_ = to_lower_full(g->pattern);
    } else {
        const auto& r = std::get<RegexTerm>(term);
        on_path_ = r.on_path;
        type_ = Type::Regex;
        regex_ = r.matcher.get();
    }
}

bool PreparedTerm::matches(std::string_view h) const {
    switch (type_) {
        case Type::Ci: return needle_.contained_in(h);
        case Type::Exact: return h.find(text_) != std::string_view::npos;
        case Type::Glob:
            if (pattern_ascii_ && is_ascii(h)) return wildcard_match(text_, h, true);
            return wildcard_match(lowered_, lowered_copy(h), false);
        case Type::Regex: return RE2::PartialMatch(re2::StringPiece(h.data(), h.size()), *regex_);
    }
    return false;
}

bool matches(const Term& term, std::string_view name, std::string_view path) {
    const PreparedTerm t(term);
    return t.matches(t.on_path() ? path : name);
}

bool extension_matches(std::string_view name, const std::vector<std::string>& exts) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return false;
    const std::string ext = to_lower_full(name.substr(dot + 1));
    for (const auto& e : exts)
        if (e == ext) return true;
    return false;
}

PreparedQuery::PreparedQuery(const Query& q, const Plan& plan)
    : q_(q), prefilter_(std::string_view{}), needs_path_(plan.needs_path) {
    for (const Term& t : q.terms) terms_.emplace_back(t);
    for (const Term& t : q.excluded) excluded_.emplace_back(t);
    if (plan.prefilter) {
        has_prefilter_ = true;
        prefilter_fold_ = plan.prefilter->fold;
        prefilter_ = CiNeedle(plan.prefilter->text);
        prefilter_lowered_ = to_lower_full(plan.prefilter->text);
    }
}

bool PreparedQuery::prefilter_holds(std::string_view name) const {
    if (prefilter_fold_ == PrefilterFold::ContainsCi) return prefilter_.contained_in(name);
    if (is_ascii(prefilter_.text()) && is_ascii(name))
        return find_ascii_folded(name, prefilter_lowered_) != std::string_view::npos;
    return lowered_copy(name).find(prefilter_lowered_) != std::string_view::npos;
}

bool PreparedQuery::accept(std::string_view name, std::string_view path, bool is_dir, uint64_t size) const {
    if (has_prefilter_ && !prefilter_holds(name)) return false;
    if (q_.kind == Kind::Files && is_dir) return false;
    if (q_.kind == Kind::Folders && !is_dir) return false;
    if (!q_.sizes.empty()) {
        if (is_dir) return false;
        for (const SizeFilter& f : q_.sizes)
            if (!size_filter_holds(f, size)) return false;
    }
    if (!q_.exts.empty()) {
        if (is_dir || !extension_matches(name, q_.exts)) return false;
    }
    for (const PreparedTerm& t : terms_)
        if (!t.matches(t.on_path() ? path : name)) return false;
    for (const PreparedTerm& t : excluded_)
        if (t.matches(t.on_path() ? path : name)) return false;
    return true;
}

}  // namespace nimbalo

#include "query/plan.h"

#include "query/regex.h"

namespace nimbalo {

size_t count_chars(std::string_view s) {
    size_t n = 0;
    for (char c : s)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}

std::string glob_longest_literal(std::string_view pattern) {
    std::string_view best;
    size_t best_chars = 0;
    size_t from = 0;
    while (from <= pattern.size()) {
        size_t cut = pattern.find_first_of("*?", from);
        if (cut == std::string_view::npos) cut = pattern.size();
        const std::string_view piece = pattern.substr(from, cut - from);
        if (count_chars(piece) > best_chars) {
            best = piece;
            best_chars = count_chars(piece);
        }
        from = cut + 1;
    }
    return std::string(best);
}

Plan choose_plan(const Query& q, bool path_mode) {
    Plan plan;
    if (q.terms.size() == 1 && q.excluded.empty() && q.exts.empty() && q.sizes.empty() && q.kind == Kind::Any) {
        if (const auto* s = std::get_if<SubstringTerm>(&q.terms[0]); s && !s->case_sensitive) {
            if (!s->on_path) {
                plan.name_needle = s->text;
                return plan;
            }
            if (path_mode) {
                plan.path_needle = s->text;
                return plan;
            }
        }
    }
    for (const Term& t : q.terms) plan.needs_path |= term_on_path(t);
    for (const Term& t : q.excluded) plan.needs_path |= term_on_path(t);

    for (const Term& t : q.terms) {
        if (term_on_path(t)) continue;
        Prefilter candidate;
        if (const auto* s = std::get_if<SubstringTerm>(&t)) {
            candidate = {s->text, PrefilterFold::ContainsCi};
        } else if (const auto* g = std::get_if<GlobTerm>(&t)) {
            candidate = {glob_longest_literal(g->pattern), PrefilterFold::FullLower};
        } else if (const auto* r = std::get_if<RegexTerm>(&t)) {
            candidate = {regex_required_literal(r->pattern, r->case_insensitive), PrefilterFold::ContainsCi};
        }
        const size_t chars = count_chars(candidate.text);
        if (chars < 3) continue;
        if (!plan.prefilter || chars > count_chars(plan.prefilter->text)) plan.prefilter = std::move(candidate);
    }
    return plan;
}

}  // namespace nimbalo

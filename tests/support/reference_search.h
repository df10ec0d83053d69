// A plain single-threaded reference evaluation of a parsed query over an index: every entry in
// index order, no fast paths, no prefilter, no chunks, and its own slow containment and glob
// matchers written from the rules. Test-only.
#pragma once

#include <re2/re2.h>

#include <string>
#include <vector>

#include "common/unicode.h"
#include "index/index.h"
#include "query/query.h"

namespace nimbalo::testing {

inline bool ref_ascii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

inline std::string ref_fold(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return out;
}

inline bool ref_contains_ci(std::string_view h, std::string_view n) {
    if (n.empty()) return true;
    if (n.size() > h.size()) return false;
    if (ref_ascii(h) || ref_ascii(n)) return ref_fold(h).find(ref_fold(n)) != std::string::npos;
    return to_lower_full(h).find(to_lower_full(n)) != std::string::npos;
}

// Glob over bytes ('?' one byte, '*' any run) by the textbook dynamic programme:
// m[i][j] = the first i pattern bytes match the first j text bytes. Exact for texts without
// '*' and '?' bytes, which is all the reference is used on. O(|pattern| * |text|).
inline bool ref_glob_bytes(std::string_view p, std::string_view s) {
    std::vector<char> m(s.size() + 1, 0), next(s.size() + 1, 0);
    m[0] = 1;
    for (size_t i = 0; i < p.size(); ++i) {
        for (size_t j = 0; j <= s.size(); ++j) {
            if (p[i] == '*') next[j] = m[j] || (j > 0 && next[j - 1]);
            else next[j] = j > 0 && m[j - 1] && (p[i] == '?' || p[i] == s[j - 1]);
        }
        m.swap(next);
    }
    return m[s.size()];
}

inline bool ref_glob(std::string_view pattern, std::string_view text) {
    if (ref_ascii(pattern) && ref_ascii(text)) return ref_glob_bytes(ref_fold(pattern), ref_fold(text));
    return ref_glob_bytes(to_lower_full(pattern), to_lower_full(text));
}

inline bool ref_term(const Term& t, std::string_view name, std::string_view path) {
    if (const auto* s = std::get_if<SubstringTerm>(&t)) {
        const std::string_view h = s->on_path ? path : name;
        return s->case_sensitive ? h.find(s->text) != std::string_view::npos : ref_contains_ci(h, s->text);
    }
    if (const auto* g = std::get_if<GlobTerm>(&t)) return ref_glob(g->pattern, g->on_path ? path : name);
    const auto& r = std::get<RegexTerm>(t);
    const std::string_view h = r.on_path ? path : name;
    return RE2::PartialMatch(re2::StringPiece(h.data(), h.size()), *r.matcher);
}

inline bool ref_accept(const Query& q, const IndexEntry& e, std::string_view name, std::string_view path) {
    if (q.kind == Kind::Files && e.is_dir) return false;
    if (q.kind == Kind::Folders && !e.is_dir) return false;
    if (!q.sizes.empty()) {
        if (e.is_dir) return false;
        for (const auto& f : q.sizes) {
            const uint64_t s = e.size;
            bool ok = false;
            switch (f.op) {
                case SizeOp::Gt: ok = s > f.bound; break;
                case SizeOp::Ge: ok = s >= f.bound; break;
                case SizeOp::Lt: ok = s < f.bound; break;
                case SizeOp::Le: ok = s <= f.bound; break;
                case SizeOp::Eq: ok = s == f.bound; break;
                case SizeOp::Range: ok = s >= f.bound && s <= f.upper; break;
            }
            if (!ok) return false;
        }
    }
    if (!q.exts.empty()) {
        if (e.is_dir) return false;
        const size_t dot = name.rfind('.');
        if (dot == std::string_view::npos) return false;
        const std::string ext = to_lower_full(name.substr(dot + 1));
        bool any = false;
        for (const auto& x : q.exts) any |= x == ext;
        if (!any) return false;
    }
    for (const Term& t : q.terms)
        if (!ref_term(t, name, path)) return false;
    for (const Term& t : q.excluded)
        if (ref_term(t, name, path)) return false;
    return true;
}

// Paths of the first `limit` accepted entries, in index order.
inline std::vector<std::string> ref_search(const Index& ix, const Query& q, uint64_t limit) {
    std::vector<std::string> out;
    for (const IndexEntry& e : ix.entries) {
        if (out.size() >= limit) break;
        if (ref_accept(q, e, ix.name_of(e), ix.path_of(e))) out.emplace_back(ix.path_of(e));
    }
    return out;
}

}  // namespace nimbalo::testing

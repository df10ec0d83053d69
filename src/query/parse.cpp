// Parsing the query language. Messages (byte for byte, shown to users unchanged):
//   "empty query", "empty term", "regex: needs a pattern after it", "regex: {error}",
//   "too many terms (at most 64 in one query)",
//   "'{value}' is not a size — try size:>10mb, size:<1kb or size:1mb..8mb" (an em dash).
#include <re2/re2.h>

#include "common/unicode.h"
#include "query/query.h"
#include "query/regex.h"
#include "query/white_space.h"

namespace nimbalo {

namespace {

// Tokens: white space (the Unicode White_Space set) separates unless inside double quotes;
// quotes only group and are dropped; an open quote runs to the end; empty tokens vanish.
std::vector<std::string> tokenize(std::string_view text) {
    std::vector<std::string> tokens;
    std::string token;
    bool quoted = false;
    size_t i = 0;
    while (i < text.size()) {
        const Utf8Step s = utf8_decode_step(text, i);
        const std::string_view raw = text.substr(i, s.len);
        i += s.len;
        if (s.valid && s.cp == '"') {
            quoted = !quoted;
        } else if (s.valid && !quoted && is_white_space(s.cp)) {
            if (!token.empty()) tokens.push_back(std::move(token));
            token.clear();
        } else {
            token.append(raw);
        }
    }
    if (!token.empty()) tokens.push_back(std::move(token));
    return tokens;
}

Error size_error(std::string_view value) {
    std::string text = "'";
    text.append(value);
    text.append("' is not a size \xE2\x80\x94 try size:>10mb, size:<1kb or size:1mb..8mb");
    return fail(std::move(text));
}

Result<SizeFilter> parse_size_filter(std::string_view value) {
    const std::string_view t = trim_white_space(value);
    SizeFilter f;
    if (const size_t dots = t.find(".."); dots != std::string_view::npos) {
        auto lo = parse_size(t.substr(0, dots));
        auto hi = parse_size(t.substr(dots + 2));
        if (!lo || !hi) return size_error(value);
        return SizeFilter{SizeOp::Range, *lo, *hi};
    }
    std::string_view rest = t;
    if (rest.starts_with(">=")) {
        f.op = SizeOp::Ge;
        rest.remove_prefix(2);
    } else if (rest.starts_with("<=")) {
        f.op = SizeOp::Le;
        rest.remove_prefix(2);
    } else if (rest.starts_with(">")) {
        f.op = SizeOp::Gt;
        rest.remove_prefix(1);
    } else if (rest.starts_with("<")) {
        f.op = SizeOp::Lt;
        rest.remove_prefix(1);
    } else if (rest.starts_with("=")) {
        f.op = SizeOp::Eq;
        rest.remove_prefix(1);
    }
    auto bound = parse_size(rest);
    if (!bound) return size_error(value);
    f.bound = *bound;
    return f;
}

void add_exts(Query& q, std::string_view value) {
    size_t from = 0;
    for (;;) {
        const size_t comma = value.find(',', from);
        std::string_view piece = trim_white_space(value.substr(from, comma == std::string_view::npos ? std::string_view::npos : comma - from));
        while (!piece.empty() && piece.front() == '.') piece.remove_prefix(1);
        std::string ext = to_lower_full(piece);
        if (!ext.empty()) q.exts.push_back(std::move(ext));
        if (comma == std::string_view::npos) break;
        from = comma + 1;
    }
}

bool has_separator(std::string_view t) { return t.find_first_of("\\/") != std::string_view::npos; }

}  // namespace

bool term_on_path(const Term& t) {
    return std::visit([](const auto& x) { return x.on_path; }, t);
}

Result<Term> make_plain_term(std::string_view text, bool force_path) {
    if (text.empty()) return fail("empty term");
    const bool separator = has_separator(text);
    const bool on_path = force_path || separator;
    if (text.find_first_of("*?") != std::string_view::npos) {
        std::string pattern(text);
        if (force_path && !separator) pattern = "*" + pattern + "*";
        return Term{GlobTerm{std::move(pattern), on_path}};
    }
    return Term{SubstringTerm{std::string(text), false, on_path}};
}

namespace {

// One word of a query, before it becomes a term or a filter.
struct Word {
    std::string_view token;  // without its negation mark
    bool negated = false;
    std::string field;       // lower-case, empty without a colon
    std::string_view value;  // after the colon
};

Word split_word(std::string_view token) {
    Word w;
    if (token.size() > 1 && (token[0] == '-' || token[0] == '!')) {
        w.negated = true;
        token.remove_prefix(1);
    }
    w.token = token;
    const size_t colon = token.find(':');
    if (colon != std::string_view::npos) {
        w.field = to_lower_full(token.substr(0, colon));
        w.value = token.substr(colon + 1);
    }
    return w;
}

bool is_regex_field(const std::string& field) { return field == "regex" || field == "re"; }

}  // namespace

Result<Query> parse_query(std::string_view text, bool path_mode) {
    Query q;
    const std::vector<std::string> tokens = tokenize(text);
    if (tokens.size() > kMaxQueryTerms)
        return fail("too many terms (at most " + std::to_string(kMaxQueryTerms) + " in one query)");
    std::vector<Word> words;
    size_t regexes = 0;
    for (const std::string& t : tokens) {
        words.push_back(split_word(t));
        if (is_regex_field(words.back().field)) ++regexes;
    }
    // All patterns of one query share one compiled-size budget.
    const int64_t regex_mem = regexes > 1 ? kRegexMaxMem / int64_t(regexes) : kRegexMaxMem;
    for (const Word& w : words) {
        const std::string_view token = w.token, value = w.value;
        const std::string& field = w.field;
        auto& target = w.negated ? q.excluded : q.terms;

        if (field == "ext") {
            add_exts(q, value);
        } else if (field == "size") {
            auto f = parse_size_filter(value);
            if (!f) return std::move(f).take_error();
            q.sizes.push_back(*f);
        } else if (field == "file" || field == "folder") {
            q.kind = field == "file" ? Kind::Files : Kind::Folders;
            if (!value.empty()) target.push_back(SubstringTerm{std::string(value), false, true});
        } else if (field == "path") {
            auto t = make_plain_term(value, true);
            if (!t) return std::move(t).take_error();
            target.push_back(std::move(*t));
        } else if (field == "case") {
            target.push_back(SubstringTerm{std::string(value), true, path_mode});
        } else if (is_regex_field(field)) {
            if (value.empty()) return fail("regex: needs a pattern after it");
            auto r = compile_regex(value, regex_mem);
            if (!r) return std::move(r).take_error();
            target.push_back(RegexTerm{std::string(value), std::move(r->matcher), r->case_insensitive, path_mode});
        } else {
            auto t = make_plain_term(token, path_mode);
            if (!t) return std::move(t).take_error();
            target.push_back(std::move(*t));
        }
    }
    if (q.terms.empty() && q.excluded.empty() && q.exts.empty() && q.sizes.empty() && q.kind == Kind::Any)
        return fail("empty query");
    return q;
}

}  // namespace nimbalo

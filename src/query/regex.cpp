#include "query/regex.h"

#include <re2/re2.h>

#include "common/unicode.h"

namespace nimbalo {

int regex_nesting_depth(std::string_view p) {
    int depth = 0, deepest = 0;
    bool in_class = false;
    for (size_t i = 0; i < p.size(); ++i) {
        const char c = p[i];
        if (c == '\\') {
            // \Q...\E quotes everything up to \E.
            if (i + 1 < p.size() && p[i + 1] == 'Q') {
                const size_t e = p.find("\\E", i + 2);
                if (e == std::string_view::npos) break;
                i = e + 1;
            } else {
                ++i;
            }
            continue;
        }
        if (in_class) {
            if (c == '[' && i + 1 < p.size() && p[i + 1] == ':') {
                const size_t e = p.find(":]", i + 2);
                if (e != std::string_view::npos) i = e + 1;
            } else if (c == ']') {
                in_class = false;
                --depth;
            }
            continue;
        }
        if (c == '[') {
            in_class = true;
            ++depth;
            // A ']' right after '[' or '[^' is a literal member.
            if (i + 1 < p.size() && p[i + 1] == '^') ++i;
            if (i + 1 < p.size() && p[i + 1] == ']') ++i;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (depth > 0) --depth;
        }
        if (depth > deepest) deepest = depth;
    }
    return deepest;
}

Result<CompiledRegex> compile_regex(std::string_view pattern, int64_t max_mem) {
    if (regex_nesting_depth(pattern) > kRegexMaxNesting)
        return fail("regex: nesting deeper than " + std::to_string(kRegexMaxNesting) + " levels");
    RE2::Options options;
    options.set_max_mem(max_mem);
    options.set_log_errors(false);
    const bool insensitive = pattern.find("(?-i)") == std::string_view::npos;
    options.set_case_sensitive(!insensitive);
    auto first = std::make_shared<const RE2>(re2::StringPiece(pattern.data(), pattern.size()), options);
    if (first->ok()) return CompiledRegex{std::move(first), insensitive};
    options.set_case_sensitive(true);
    auto second = std::make_shared<const RE2>(re2::StringPiece(pattern.data(), pattern.size()), options);
    if (second->ok()) return CompiledRegex{std::move(second), false};
    if (second->error_code() == RE2::ErrorPatternTooLarge && max_mem < kRegexMaxMem)
        return fail("regex: the query's patterns are too large together (" + std::to_string(kRegexMaxMem >> 20) +
                    " MiB at most for all of them)");
    return fail("regex: " + second->error());
}

namespace {

bool run_char(char32_t cp) { return cp == ' ' || cp == '-' || cp == '_' || is_alphanumeric(cp); }

// Characters whose case-insensitive regex match may be a character that contains_ci does not
// fold to it.
bool fold_unsafe(char32_t cp) { return cp >= 0x80 || cp == 'k' || cp == 'K' || cp == 's' || cp == 'S'; }

}  // namespace

std::string regex_required_literal(std::string_view p, bool case_insensitive) {
    if (p.empty() || p[0] != '^' || p.find('|') != std::string_view::npos) return {};
    size_t i = 1;
    std::vector<std::pair<size_t, size_t>> chars;  // byte offset and length of each run character
    while (i < p.size()) {
        const Utf8Step s = utf8_decode_step(p, i);
        if (!s.valid || !run_char(s.cp)) break;
        chars.push_back({i, s.len});
        i += s.len;
    }
    if (chars.empty()) return {};
    if (i < p.size() && (p[i] == '?' || p[i] == '*' || p[i] == '{')) chars.pop_back();
    // Longest piece of consecutive safe characters (the first of equally long pieces).
    size_t best_from = 0, best_count = 0, from = 0;
    for (size_t k = 0; k <= chars.size(); ++k) {
        const bool cut = k == chars.size() ||
                         (case_insensitive && fold_unsafe(utf8_decode_step(p, chars[k].first).cp));
        if (!cut) continue;
        if (k - from > best_count) {
            best_from = from;
            best_count = k - from;
        }
        from = k + 1;
    }
    if (best_count == 0) return {};
    const size_t b = chars[best_from].first;
    const size_t e = chars[best_from + best_count - 1].first + chars[best_from + best_count - 1].second;
    return std::string(p.substr(b, e - b));
}

}  // namespace nimbalo

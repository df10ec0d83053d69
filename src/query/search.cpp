#include "query/search.h"

#include <atomic>
#include <string>

#include "index/contains.h"
#include "index/lookups.h"
#include "index/scan.h"
#include "query/evaluate.h"
#include "query/plan.h"

namespace nimbalo {

namespace {

// The prefilter text when "name holds it" is exactly "the name's bytes contain it with A-Z
// folded": an ASCII literal under contains_ci, or an ASCII glob piece without i and k (only
// U+0130 and KELVIN SIGN lower-case to ASCII letters, so full lower-casing could otherwise
// find i or k where the bytes hold none).
const std::string* arena_searchable(const Plan& plan) {
    if (!plan.prefilter) return nullptr;
    const std::string& t = plan.prefilter->text;
    if (!is_ascii(t)) return nullptr;
    if (plan.prefilter->fold == PrefilterFold::FullLower && t.find_first_of("iIkK") != std::string::npos) return nullptr;
    return &t;
}

bool has_regex(const Query& q) {
    for (const auto* terms : {&q.terms, &q.excluded})
        for (const Term& t : *terms)
            if (std::holds_alternative<RegexTerm>(t)) return true;
    return false;
}

// Whether the time is up, looking at the clock every 4th call on each thread (a clock read costs
// a fraction of a regex test); once up, up for everyone.
class Deadline {
public:
    explicit Deadline(std::chrono::milliseconds budget) : at_(std::chrono::steady_clock::now() + budget) {}
    bool passed() const {
        if (passed_.load(std::memory_order_relaxed)) return true;
        thread_local uint32_t calls = 0;
        if ((++calls & 3) != 0 || std::chrono::steady_clock::now() < at_) return false;
        passed_.store(true, std::memory_order_relaxed);
        return true;
    }
    // Whether some call saw the time up (a scan that finished in time is never failed after it).
    bool was_passed() const { return passed_.load(std::memory_order_relaxed); }

private:
    std::chrono::steady_clock::time_point at_;
    mutable std::atomic<bool> passed_{false};
};

}  // namespace

Result<std::vector<SearchHit>> search_within(const Index& index, std::string_view text, uint64_t limit, bool path_mode,
                                             std::chrono::milliseconds regex_time) {
    auto parsed = parse_query(text, path_mode);
    if (!parsed) return std::move(parsed).take_error();
    if (limit == 0) return std::vector<SearchHit>{};
    const Query& q = *parsed;
    const Plan plan = choose_plan(q, path_mode);

    // The fast paths pass the word as typed: contains_ci folds both sides itself, and
    // lower-casing first would change what it matches for characters whose lower-case form
    // is ASCII or longer (KELVIN SIGN, U+0130), unlike the same word in a longer query.
    std::vector<uint32_t> found;
    if (plan.name_needle) {
        found = scan_names(index, *plan.name_needle, limit);
    } else if (plan.path_needle) {
        found = scan_paths(index, *plan.path_needle, limit);
    } else {
        const PreparedQuery pq(q, plan);
        const std::string_view names = index.names;
        const IndexEntry* entries = index.entries.data();
        const bool needs_path = pq.needs_path();
        const bool timed = has_regex(q);
        const Deadline deadline(regex_time);
        auto accept = [&](uint32_t i) {
            if (timed && deadline.passed()) return false;
            const IndexEntry& e = entries[i];
            const std::string_view name = names.substr(e.path_start + e.path_len - e.name_len, e.name_len);
            const std::string_view path = needs_path ? names.substr(e.path_start, e.path_len) : std::string_view{};
            return pq.accept(name, path, e.is_dir, e.size);
        };
        // A prefilter that is plain ASCII text selects candidates by searching the arena.
        if (const std::string* text = arena_searchable(plan)) {
            std::string folded(*text);
            for (char& c : folded)
                if (c >= 'A' && c <= 'Z') c = char(c + 32);
            found = scan_text(index, folded, TextPart::Name, limit, accept);
        } else {
            found = scan(index, limit, accept);
        }
        if (deadline.was_passed())
            return fail("regex: the search took longer than " + std::to_string(regex_time.count()) +
                        " ms and was stopped; try a simpler pattern");
    }
    std::vector<SearchHit> hits;
    hits.reserve(limit < 1024 ? limit : 1024);
    for (uint32_t i : found) {
        if (hits.size() >= limit) break;
        hits.push_back(hit(index, i));
    }
    return hits;
}

}  // namespace nimbalo

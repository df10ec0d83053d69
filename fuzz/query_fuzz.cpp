// Fuzz target: parse_query + search over a small fixed index.
// Input: byte 0 picks path mode and the limit, the rest is the query text (at most 200 bytes:
// longer texts only make regular expressions slower to compile, without new coverage).
// Checks: no crash or sanitizer report; search equals the single-threaded reference
// evaluation (unless it stopped at its time bound);
// and for a quote-free "A B", searching "B A" gives the same set (terms are AND-ed; only
// two type fields, where the last wins, are exempt).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "../tests/support/reference_search.h"
#include "index/build.h"
#include "query/search.h"

namespace {

using namespace nimbalo;

const Index& fixture() {
    static const Index ix = [] {
        std::vector<MftRecord> r{
            {"Windows", 5, 20, 0, 1, true},      {"notepad.exe", 20, 21, 2048, 2, false}, {"System32", 20, 22, 0, 3, true},
            {"README.txt", 5, 23, 10, 4, false}, {"readme.TXT", 22, 24, 0, 5, false},     {"R\xC3\x89SUM\xC3\x89.doc", 5, 25, 5000, 6, false},
            {"\xE2\x84\xAA" "elvin", 22, 26, 1, 7, false}, {"\xC4\xB0stanbul", 5, 27, 1 << 20, 8, false},
            {"a b", 20, 28, 3, 9, false},        {"archive.TAR.GZ", 22, 29, 999999, 10, false}, {"setup1", 5, 30, 0, 11, false},
            {"x", 28, 31, 0, 12, false},         {"Scan01.txt", 20, 32, 123, 13, false},  {"\xCF\x82\xCE\xA3", 5, 33, 7, 14, false},
        };
        return build_index(std::move(r), 'C');
    }();
    return ix;
}

std::set<std::string_view> as_set(const std::vector<SearchHit>& hits) {
    std::set<std::string_view> s;
    for (const auto& h : hits) s.insert(h.path);
    return s;
}

// A pattern too large for RE2's fast matcher may reach the search's time bound under the
// sanitizers even over these few names: a valid answer, with nothing to compare.
bool stopped_in_time(const Result<std::vector<SearchHit>>& r) {
    return !r.ok() && r.error().starts_with("regex: the search took longer than ");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 201) return 0;
    const bool path_mode = data[0] & 1;
    const uint64_t limit = (data[0] >> 1) & 1 ? 1000 : (data[0] >> 2);
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const Index& ix = fixture();

    auto got = search(ix, text, limit, path_mode);
    auto parsed = parse_query(text, path_mode);
    if (parsed.ok() && stopped_in_time(got)) return 0;
    if (got.ok() != parsed.ok()) std::abort();
    if (!got.ok()) {
        if (got.error() != parsed.error() || got.error().empty()) std::abort();
        return 0;
    }
    if (got->size() > limit) std::abort();

    const auto want = testing::ref_search(ix, *parsed, limit);
    if (want.size() != got->size()) std::abort();
    for (size_t i = 0; i < want.size(); ++i)
        if (want[i] != (*got)[i].path) std::abort();

    // The type fields are the one place where order matters (the last of file:/folder: wins).
    std::string lower = text;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    size_t kinds = 0;
    for (size_t at = lower.find("f"); at != std::string::npos; at = lower.find("f", at + 1))
        kinds += lower.compare(at, 5, "file:") == 0 || lower.compare(at, 7, "folder:") == 0;
    const size_t space = text.find(' ');
    if (space != std::string::npos && text.find('"') == std::string::npos && kinds < 2) {
        const std::string swapped = text.substr(space + 1) + " " + text.substr(0, space);
        auto a = search(ix, text, 1000, path_mode);
        auto b = search(ix, swapped, 1000, path_mode);
        if (stopped_in_time(a) || stopped_in_time(b)) return 0;
        if (a.ok() != b.ok()) std::abort();
        if (a.ok() && as_set(*a) != as_set(*b)) std::abort();
    }
    return 0;
}

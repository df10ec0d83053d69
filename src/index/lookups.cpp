#include "index/lookups.h"

#include "common/unicode.h"
#include "index/contains.h"
#include "index/name_order.h"
#include "index/scan.h"

namespace nimbalo {

namespace {

inline unsigned char fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

// Name-order comparison of name against prefix over their common length; a name that runs
// out first is the smaller.
bool name_before_prefix(std::string_view name, std::string_view prefix) {
    const size_t n = name.size() < prefix.size() ? name.size() : prefix.size();
    for (size_t i = 0; i < n; ++i) {
        const unsigned char a = fold(static_cast<unsigned char>(name[i]));
        const unsigned char b = fold(static_cast<unsigned char>(prefix[i]));
        if (a != b) return a < b;
    }
    return name.size() < prefix.size();
}

bool ascii_starts_with_folded(std::string_view name, std::string_view prefix) {
    for (size_t i = 0; i < prefix.size(); ++i)
        if (fold(static_cast<unsigned char>(name[i])) != fold(static_cast<unsigned char>(prefix[i]))) return false;
    return true;
}

}  // namespace

SearchHit hit(const Index& index, uint32_t i) {
    const IndexEntry& e = index.entries[i];
    return {index.path_of(e), index.name_of(e), e.size, e.modified, e.is_dir};
}

namespace {

// An ASCII needle is found by searching the arena text directly (contains_ci compares an ASCII
// needle bytewise with A-Z folded, whatever the name holds); other needles entry by entry.
std::vector<uint32_t> scan_part(const Index& index, std::string_view needle, uint64_t limit, TextPart part) {
    if (!needle.empty() && is_ascii(needle)) {
        std::string folded(needle);
        for (char& c : folded) c = char(fold(static_cast<unsigned char>(c)));
        return scan_text(index, folded, part, limit, [](uint32_t) { return true; });
    }
    const CiNeedle n(needle);
    const std::string_view names = index.names;
    const IndexEntry* entries = index.entries.data();
    return scan(index, limit, [&](uint32_t i) {
        const IndexEntry& e = entries[i];
        const uint32_t skip = part == TextPart::Name ? e.path_len - e.name_len : 0;
        return n.contained_in(names.substr(e.path_start + skip, e.path_len - skip));
    });
}

}  // namespace

std::vector<uint32_t> scan_names(const Index& index, std::string_view needle, uint64_t limit) {
    return scan_part(index, needle, limit, TextPart::Name);
}

std::vector<uint32_t> scan_paths(const Index& index, std::string_view needle, uint64_t limit) {
    return scan_part(index, needle, limit, TextPart::Path);
}

std::vector<SearchHit> prefix_search(const Index& index, std::string_view prefix) {
    const std::string lowered = to_lower_full(prefix);
    const size_t m = lowered.size();
    const bool prefix_ascii = is_ascii(lowered);
    size_t lo = 0, hi = index.sorted.size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (name_before_prefix(index.name_of(index.entries[index.sorted[mid]]), lowered)) lo = mid + 1;
        else hi = mid;
    }
    std::vector<SearchHit> out;
    for (size_t k = lo; k < index.sorted.size() && out.size() < kPrefixLimit; ++k) {
        const uint32_t i = index.sorted[k];
        const std::string_view name = index.name_of(index.entries[i]);
        if (name.size() < m) break;
        if (prefix_ascii && is_ascii(name)) {
            if (!ascii_starts_with_folded(name, lowered)) break;
        } else if (!to_lower_full(name).starts_with(lowered)) {
            break;
        }
        out.push_back(hit(index, i));
    }
    return out;
}

std::optional<SearchHit> find_path(const Index& index, std::string_view path) {
    const std::string wanted = to_lower_full(path);
    std::string lowered;
    for (uint32_t i = 0; i < index.entries.size(); ++i) {
        lowered.clear();
        append_lower_full(lowered, index.path_of(index.entries[i]));
        if (lowered == wanted) return hit(index, i);
    }
    return std::nullopt;
}

void rebuild_sorted(Index& index) {
    std::vector<uint32_t> fresh = sort_by_name(index);
    index.sorted.swap(fresh);
}

}  // namespace nimbalo

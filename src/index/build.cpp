#include "index/build.h"

#include <cstring>

#include "index/lookups.h"
#include "platform/large_buffer.h"

namespace nimbalo {

namespace {

constexpr uint64_t kRootRecord = 5;

bool is_dot_name(const std::string& name) { return name == "." || name == ".."; }

// The records grouped by parent: group g holds order[begin[g] .. begin[g+1]) in input order.
struct ChildGroups {
    RecordMap<uint32_t> group_of_parent;
    std::vector<uint32_t> begin;
    std::vector<uint32_t> order;
    std::vector<bool> expanded;

    explicit ChildGroups(const std::vector<MftRecord>& records) {
        const size_t n = records.size();
        group_of_parent.reserve(n / 4 + 16);
        std::vector<uint32_t> gid(n);
        std::vector<uint32_t> counts;
        for (size_t i = 0; i < n; ++i) {
            uint32_t& g = group_of_parent.get_or_add(records[i].parent, uint32_t(counts.size()));
            if (g == counts.size()) counts.push_back(0);
            gid[i] = g;
            ++counts[g];
        }
        begin.assign(counts.size() + 1, 0);
        for (size_t g = 0; g < counts.size(); ++g) begin[g + 1] = begin[g] + counts[g];
        std::vector<uint32_t> next(begin.begin(), begin.end() - 1);
        order.resize(n);
        for (size_t i = 0; i < n; ++i) order[next[gid[i]]++] = uint32_t(i);
        expanded.assign(counts.size(), false);
    }

    // Children of parent in input order, or nothing once the parent has been expanded: a
    // directory is expanded at most once, so cycles in a corrupt MFT cannot loop the build.
    bool take(uint64_t parent, uint32_t& first, uint32_t& last) {
        const uint32_t* g = group_of_parent.find(parent);
        if (!g || expanded[*g]) return false;
        expanded[*g] = true;
        first = begin[*g];
        last = begin[*g + 1];
        return true;
    }
    void reset() { expanded.assign(expanded.size(), false); }
};

struct StackItem {
    uint64_t record;
    uint32_t start;
    uint32_t len;
};

// Walks the tree once. Without `out` it only measures (arena bytes, entries); with it, it
// fills the index. Both walks make identical decisions, so the measure is exact.
struct Walk {
    uint64_t arena_bytes = 0;
    uint64_t entry_count = 0;
};

Walk walk_tree(std::vector<MftRecord>& records, ChildGroups& groups, uint64_t arena_limit, Index* out) {
    Walk w;
    w.arena_bytes = 3;
    std::vector<StackItem> stack{{kRootRecord, 0, 3}};
    while (!stack.empty()) {
        const StackItem top = stack.back();
        stack.pop_back();
        uint32_t first = 0, last = 0;
        if (!groups.take(top.record, first, last)) continue;
        for (uint32_t k = first; k < last; ++k) {
            MftRecord& c = records[groups.order[k]];
            if (is_dot_name(c.name)) continue;
            const uint64_t path_len = uint64_t(top.len) + c.name.size();
            const uint64_t need = path_len + (c.is_dir ? 1 : 0);
            // Drop, never wrap: an entry that would not fit is treated like an orphan.
            if (w.arena_bytes + need > arena_limit || w.entry_count >= RefMap::kMaxEntry) continue;
            const auto p = uint32_t(w.arena_bytes);
            if (out) {
                std::string& names = out->names;
                names.append(names.data() + top.start, top.len);
                names.append(c.name);
                out->entries.push_back({p, uint32_t(path_len), uint32_t(c.name.size()), c.is_dir, c.size, c.modified});
                out->by_ref.append(c.record, uint32_t(w.entry_count));
                if (c.is_dir) {
                    names.push_back('\\');
                    out->dirs.set(c.record, {p, uint32_t(path_len + 1)});
                }
            }
            w.arena_bytes += need;
            ++w.entry_count;
            if (c.is_dir) stack.push_back({c.record, p, uint32_t(path_len + 1)});
        }
    }
    return w;
}

}  // namespace

Index build_index_with_arena_limit_for_tests(std::vector<MftRecord>&& input, char letter, uint64_t arena_limit) {
    std::vector<MftRecord> records = std::move(input);
    Index index;
    index.letter = letter;
    const char root_letter = (letter >= 'a' && letter <= 'z') ? char(letter - 32) : letter;

    ChildGroups groups(records);
    const Walk size = walk_tree(records, groups, arena_limit, nullptr);
    groups.reset();

    // Exact sizes plus 1/64 of slack, so a live update's first additions do not copy the
    // whole arena and entry array into buffers twice their size.
    platform::reserve_huge(index.names, size.arena_bytes + size.arena_bytes / 64);
    platform::reserve_huge(index.entries, size.entry_count + size.entry_count / 64);
    index.by_ref.reserve(size.entry_count);
    index.names.push_back(root_letter);
    index.names.append(":\\");
    index.dirs.set(kRootRecord, {0, 3});
    walk_tree(records, groups, arena_limit, &index);

    // Whatever was not reached stays behind and goes with the input.
    records.clear();
    records.shrink_to_fit();

    rebuild_sorted(index);
    return index;
}

Index build_index(std::vector<MftRecord>&& records, char letter) {
    return build_index_with_arena_limit_for_tests(std::move(records), letter, kArenaLimit);
}

}  // namespace nimbalo

#include "index/live_batch.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "index/build.h"
#include "index/live_update.h"

namespace nimbalo {

namespace {

constexpr uint64_t kRootRecord = 5;
constexpr uint32_t kReasonCreate = 0x100;
constexpr uint32_t kReasonDelete = 0x200;

std::string dir_prefix(const Index& ix, uint64_t record) {
    const ArenaRange* r = ix.dirs.find(record);
    return r ? ix.names.substr(r->start, r->len) : std::string();
}

// The paths the record's names would have now, or false when a parent is not (yet) indexed.
bool wanted_paths(const Index& ix, const RecordNow& now, std::vector<std::string>& out) {
    for (const MftRecord& m : now.names) {
        if (m.name.empty() || m.name == "." || m.name == "..") continue;
        const ArenaRange* p = ix.dirs.find(m.parent);
        if (!p) return false;
        out.push_back(ix.names.substr(p->start, p->len) + m.name);
    }
    std::sort(out.begin(), out.end());
    return true;
}

// True when the record's entries already are exactly the paths its names give.
bool already_matches(const Index& ix, const RecordNow& now) {
    std::vector<std::string> want;
    if (!now.in_use || !wanted_paths(ix, now, want)) return false;
    std::vector<std::string> have;
    ix.by_ref.visit(now.record, [&](uint32_t i) { have.emplace_back(ix.path_of(ix.entries[i])); });
    std::sort(have.begin(), have.end());
    return have == want;
}

// The record's entries replaced by its names: one removal, then one creation per name.
void append_sync(const RecordNow& now, std::vector<UsnChange>& out) {
    out.push_back(UsnChange{{}, now.record, 0, 0, kReasonDelete, false});
    if (!now.in_use) return;
    for (const MftRecord& m : now.names) out.push_back(UsnChange{m.name, now.record, m.parent, m.modified, kReasonCreate, m.is_dir});
}

// Size and time of every entry of the record, from the name it was made from.
void take_facts(Index& ix, const RecordNow& now) {
    if (!now.in_use || now.names.empty()) return;
    std::vector<uint32_t> entries;
    ix.by_ref.visit(now.record, [&](uint32_t i) { entries.push_back(i); });
    for (uint32_t i : entries) {
        IndexEntry& e = ix.entries[i];
        const std::string_view name = ix.name_of(e);
        const MftRecord* from = &now.names.front();
        for (const MftRecord& m : now.names)
            if (m.name == name) from = &m;
        e.size = from->size;
        e.modified = from->modified;
    }
}

}  // namespace

bool apply_live_batch(Index& ix, const LiveBatch& batch) {
    std::unordered_map<uint64_t, const RecordNow*> known;
    for (const RecordNow& r : batch.records) known.emplace(r.record, &r);

    // Folders as they were, to carry their contents along when their path changes.
    std::vector<std::pair<uint64_t, std::string>> folders;
    std::unordered_set<uint64_t> seen;
    for (const UsnChange& c : batch.changes) {
        if (c.record == kRootRecord || !seen.insert(c.record).second) continue;
        if (std::string p = dir_prefix(ix, c.record); !p.empty()) folders.emplace_back(c.record, std::move(p));
    }

    // Journal order, with each read record synced once, where it first appears (so a folder is
    // in place before what is created in it).
    std::vector<UsnChange> changes;
    std::unordered_set<uint64_t> synced;
    std::vector<const RecordNow*> facts;
    for (const UsnChange& c : batch.changes) {
        const auto k = known.find(c.record);
        if (k == known.end()) {
            changes.push_back(c);
            continue;
        }
        if (!synced.insert(c.record).second) continue;
        facts.push_back(k->second);
        if (!already_matches(ix, *k->second)) append_sync(*k->second, changes);
    }
    bool changed = apply_changes(ix, changes) > 0;
    for (const RecordNow* r : facts) take_facts(ix, *r);
    if (!facts.empty()) changed = true;

    for (size_t i = 0; i < folders.size(); ++i) {
        const std::string now = dir_prefix(ix, folders[i].first);
        const std::string was = folders[i].second;
        if (now.empty() || now == was) continue;
        changed |= move_subtree(ix, was, now);
        // Folders still to move that lay below this one are below its new path now.
        for (size_t j = i + 1; j < folders.size(); ++j)
            if (folders[j].second.starts_with(was)) folders[j].second = now + folders[j].second.substr(was.size());
    }
    return changed;
}

bool move_subtree(Index& ix, std::string_view old_prefix_view, std::string_view new_prefix_view) {
    const std::string old_prefix(old_prefix_view), new_prefix(new_prefix_view);  // may point into the arena
    const size_t n = ix.entries.size();
    std::vector<uint32_t> moved;
    uint64_t grow = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const IndexEntry& e = ix.entries[i];
        if (!ix.path_of(e).starts_with(old_prefix)) continue;
        moved.push_back(i);
        grow += e.path_len - old_prefix.size() + new_prefix.size() + (e.is_dir ? 1 : 0);
    }
    if (moved.empty() || ix.names.size() + grow > kArenaLimit) return false;

    // The others keep their order; the moved ones follow with their text appended in order, so
    // the entries stay in arena order.
    std::vector<uint32_t> old_to_new(n);
    std::vector<IndexEntry> entries;
    entries.reserve(n);
    size_t next_moved = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (next_moved < moved.size() && moved[next_moved] == i) {
            ++next_moved;
            continue;
        }
        old_to_new[i] = uint32_t(entries.size());
        entries.push_back(ix.entries[i]);
    }
    const size_t first_moved = entries.size();
    ix.names.reserve(ix.names.size() + grow);
    for (uint32_t i : moved) {
        IndexEntry e = ix.entries[i];
        const auto start = uint32_t(ix.names.size());
        ix.names.append(new_prefix);
        ix.names.append(ix.names, e.path_start + old_prefix.size(), e.path_len - old_prefix.size());
        e.path_start = start;
        e.path_len = uint32_t(ix.names.size() - start);
        if (e.is_dir) ix.names.push_back('\\');
        old_to_new[i] = uint32_t(entries.size());
        entries.push_back(e);
    }
    ix.entries = std::move(entries);
    ix.by_ref.renumber(old_to_new);
    if (ix.sorted.size() == n)
        for (uint32_t& s : ix.sorted) s = old_to_new[s];  // names are unchanged, so is their order
    std::vector<uint64_t> records;
    ix.by_ref.for_each([&](uint64_t record, uint32_t i) {
        if (i < first_moved) return;
        records.push_back(record);
        const IndexEntry& e = ix.entries[i];
        if (e.is_dir) ix.dirs.set(record, {e.path_start, e.path_len + 1});
    });
    // A record's list stays ascending: a moved link now comes after the others.
    std::sort(records.begin(), records.end());
    records.erase(std::unique(records.begin(), records.end()), records.end());
    for (uint64_t r : records) {
        std::vector<uint32_t> list = ix.by_ref.take(r);
        std::sort(list.begin(), list.end());
        for (uint32_t i : list) ix.by_ref.append(r, i);
    }
    return true;
}

uint64_t dead_arena_bytes(const Index& ix) {
    uint64_t live = std::min<uint64_t>(3, ix.names.size());
    for (const IndexEntry& e : ix.entries) live += e.path_len + (e.is_dir ? 1 : 0);
    return ix.names.size() > live ? ix.names.size() - live : 0;
}

void compact_arena(Index& ix) {
    std::string names;
    const size_t live = ix.names.size() - size_t(dead_arena_bytes(ix));
    names.reserve(live + live / 16);
    names.append(ix.names, 0, std::min<size_t>(3, ix.names.size()));
    for (IndexEntry& e : ix.entries) {
        const auto start = uint32_t(names.size());
        names.append(ix.names, e.path_start, e.path_len);
        if (e.is_dir) names.push_back('\\');
        e.path_start = start;
    }
    ix.names = std::move(names);
    DirMap dirs;
    dirs.reserve(ix.dirs.size());
    if (ix.dirs.find(kRootRecord)) dirs.set(kRootRecord, {0, 3});
    ix.by_ref.for_each([&](uint64_t record, uint32_t i) {
        const IndexEntry& e = ix.entries[i];
        if (e.is_dir) dirs.set(record, {e.path_start, e.path_len + 1});
    });
    ix.dirs = std::move(dirs);
    ix.entries.shrink_to_fit();
    ix.sorted.shrink_to_fit();
}

bool compact_if_wasteful(Index& ix) {
    const uint64_t dead = dead_arena_bytes(ix);
    const uint64_t live = ix.names.size() - dead;
    if ((ix.names.capacity() - live) * 3 <= live) return false;
    compact_arena(ix);
    return true;
}

}  // namespace nimbalo

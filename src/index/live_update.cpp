#include "index/live_update.h"

#include "index/build.h"
#include "index/lookups.h"

namespace nimbalo {

namespace {

bool addable_name(const std::string& name) { return !name.empty() && name != "." && name != ".."; }

// One batch in progress: removals only mark entries dead; compaction and the re-sort happen
// once in finish(). Lists in by_ref never hold dead entries (a removal takes a whole list), so
// lookups during the batch see exactly the live state that per-change application would.
class Batch {
public:
    explicit Batch(Index& ix) : ix_(ix) {}

    bool apply(const UsnChange& c) {
        if (c.reason & kReasonRemove) return remove(c);
        if ((c.reason & kReasonAdd) && !ix_.dirs.empty()) return add(c);
        return false;
    }

    void finish() {
        if (dead_count_ > 0) compact();
        if (changed_) rebuild_sorted(ix_);
    }

private:
    bool remove(const UsnChange& c) {
        std::vector<uint32_t> gone = ix_.by_ref.take(c.record);
        if (gone.empty()) return false;
        ix_.dirs.erase(c.record);
        if (dead_.size() < ix_.entries.size()) dead_.resize(ix_.entries.size(), false);
        for (uint32_t i : gone) {
            if (!dead_[i]) ++dead_count_;
            dead_[i] = true;
        }
        changed_ = true;
        return true;
    }

    bool add(const UsnChange& c) {
        const ArenaRange* parent = ix_.dirs.find(c.parent);
        if (!parent || !addable_name(c.name)) return false;
        const ArenaRange p = *parent;  // copy: dirs may grow below
        const uint64_t path_len = uint64_t(p.len) + c.name.size();
        // A record already listed with exactly this path: the same file logged again.
        bool duplicate = false;
        const std::string_view parent_path = std::string_view(ix_.names).substr(p.start, p.len);
        ix_.by_ref.visit(c.record, [&](uint32_t i) {
            const std::string_view path = ix_.path_of(ix_.entries[i]);
            duplicate |= path.size() == path_len && path.starts_with(parent_path) && path.ends_with(c.name);
        });
        if (duplicate) return false;
        // Drop, never wrap: the arena's offsets are u32 and list entries must stay below 2^31.
        if (ix_.names.size() + path_len + (c.is_dir ? 1 : 0) > kArenaLimit) return false;
        if (ix_.entries.size() - dead_count_ >= RefMap::kMaxEntry) return false;
        if (ix_.entries.size() >= RefMap::kMaxEntry) compact();

        const auto start = uint32_t(ix_.names.size());
        ix_.names.append(ix_.names, p.start, p.len);
        ix_.names.append(c.name);
        const auto index = uint32_t(ix_.entries.size());
        ix_.entries.push_back({start, uint32_t(path_len), uint32_t(c.name.size()), c.is_dir, 0, c.timestamp});
        ix_.by_ref.append(c.record, index);
        if (c.is_dir) {
            ix_.names.push_back('\\');
            ix_.dirs.set(c.record, {start, uint32_t(path_len + 1)});
        }
        changed_ = true;
        return true;
    }

    // Keeps the live entries in their order, renumbered 0, 1, ...; by_ref follows.
    void compact() {
        dead_.resize(ix_.entries.size(), false);
        std::vector<uint32_t> old_to_new(ix_.entries.size(), RefMap::kGone);
        uint32_t kept = 0;
        for (uint32_t i = 0; i < ix_.entries.size(); ++i) {
            if (dead_[i]) continue;
            old_to_new[i] = kept;
            ix_.entries[kept++] = ix_.entries[i];
        }
        ix_.entries.resize(kept);
        ix_.by_ref.renumber(old_to_new);
        dead_.assign(kept, false);
        dead_count_ = 0;
    }

    Index& ix_;
    std::vector<bool> dead_;
    size_t dead_count_ = 0;
    bool changed_ = false;
};

}  // namespace

bool apply_change(Index& index, const UsnChange& change) {
    Batch batch(index);
    const bool changed = batch.apply(change);
    batch.finish();
    return changed;
}

size_t apply_changes(Index& index, std::span<const UsnChange> changes, const std::function<void(const UsnChange&, bool)>& on_change) {
    Batch batch(index);
    size_t count = 0;
    for (const UsnChange& c : changes) {
        const bool changed = batch.apply(c);
        count += changed;
        if (on_change) on_change(c, changed);
    }
    batch.finish();
    return count;
}

Error follow_journal(Index& index, uint64_t position, const JournalRead& read, const std::function<void(const UsnChange&)>& print,
                     const std::function<void()>& pause) {
    for (;;) {
        auto batch = read(position);
        if (!batch) return std::move(batch).take_error();
        position = batch->next;
        if (batch->changes.empty()) {
            if (pause) pause();
            continue;
        }
        apply_changes(index, batch->changes, [&](const UsnChange& c, bool) {
            if (print) print(c);
        });
    }
}

}  // namespace nimbalo

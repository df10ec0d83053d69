#include "index/ref_map.h"

#include "index/index.h"

namespace nimbalo {

void RefMap::clear() {
    map_.clear();
    lists_.clear();
    free_lists_.clear();
}

size_t RefMap::memory_bytes() const {
    size_t bytes = map_.memory_bytes() + lists_.capacity() * sizeof(lists_[0]) + free_lists_.capacity() * 4;
    for (const auto& l : lists_) bytes += l.capacity() * 4;
    return bytes;
}

uint32_t RefMap::new_list(std::vector<uint32_t> items) {
    if (!free_lists_.empty()) {
        const uint32_t id = free_lists_.back();
        free_lists_.pop_back();
        lists_[id] = std::move(items);
        return id;
    }
    lists_.push_back(std::move(items));
    return uint32_t(lists_.size() - 1);
}

void RefMap::free_list(uint32_t id) {
    std::vector<uint32_t>().swap(lists_[id]);
    free_lists_.push_back(id);
}

void RefMap::append(uint64_t record, uint32_t entry) {
    constexpr uint32_t kNone = kGone;
    uint32_t& v = map_.get_or_add(record, kNone);
    if (v == kNone) {
        v = entry;
    } else if (!(v & kListBit)) {
        v = kListBit | new_list({v, entry});
    } else {
        lists_[v & ~kListBit].push_back(entry);
    }
}

std::vector<uint32_t> RefMap::take(uint64_t record) {
    const uint32_t* p = map_.find(record);
    if (!p) return {};
    const uint32_t v = *p;
    map_.erase(record);
    if (!(v & kListBit)) return {v};
    std::vector<uint32_t> out = std::move(lists_[v & ~kListBit]);
    free_list(v & ~kListBit);
    return out;
}

std::vector<uint32_t> RefMap::list(uint64_t record) const {
    std::vector<uint32_t> out;
    visit(record, [&](uint32_t e) { out.push_back(e); });
    return out;
}

void RefMap::renumber(std::span<const uint32_t> old_to_new) {
    auto map_one = [&](uint32_t e) { return e < old_to_new.size() ? old_to_new[e] : kGone; };
    std::vector<uint64_t> emptied;
    map_.for_each([&](uint64_t r, uint32_t& v) {
        if (!(v & kListBit)) {
            v = map_one(v);
            if (v == kGone) emptied.push_back(r);
            return;
        }
        auto& list = lists_[v & ~kListBit];
        size_t kept = 0;
        for (uint32_t e : list) {
            const uint32_t n = map_one(e);
            if (n != kGone) list[kept++] = n;
        }
        list.resize(kept);
        if (kept == 0) {
            free_list(v & ~kListBit);
            emptied.push_back(r);
        } else if (kept == 1) {
            const uint32_t only = list[0];
            free_list(v & ~kListBit);
            v = only;
        }
    });
    for (uint64_t r : emptied) map_.erase(r);
}

}  // namespace nimbalo

// RefMap: record number -> the entries made from that FILE record, ascending (several only
// for hard links). Flat: one RecordMap<u32> whose value is the single entry index itself, or,
// with the top bit set, the number of a side list for the rare record with several entries.
// Entry indices must stay below 2^31 (the build refuses more entries than that).
// Cost: append/take O(1) expected plus the list length; renumber O(table size).
// Threads: const members may run concurrently; any change needs exclusive access.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "index/record_map.h"

namespace nimbalo {

class RefMap {
public:
    static constexpr uint32_t kMaxEntry = 0x7FFF'FFFFu;  // largest storable entry index
    static constexpr uint32_t kGone = 0xFFFF'FFFFu;      // renumber: this entry no longer exists

    size_t size() const { return map_.size(); }  // records with at least one entry
    bool empty() const { return map_.empty(); }
    void clear();
    void reserve(size_t records) { map_.reserve(records); }
    size_t memory_bytes() const;

    // Adds entry (which must exceed every index already listed for record) to record's list.
    void append(uint64_t record, uint32_t entry);

    // Removes record's list and returns it (empty when the record has none).
    std::vector<uint32_t> take(uint64_t record);

    // Calls f(entry) for each entry of record, ascending; returns how many there were.
    template <class F>
    size_t visit(uint64_t record, F&& f) const {
        const uint32_t* v = map_.find(record);
        if (!v) return 0;
        if (!(*v & kListBit)) {
            f(*v);
            return 1;
        }
        const auto& list = lists_[*v & ~kListBit];
        for (uint32_t e : list) f(e);
        return list.size();
    }
    std::vector<uint32_t> list(uint64_t record) const;

    // Replaces every held index i by old_to_new[i] (a monotone map, so lists stay ascending);
    // indices mapped to kGone are dropped, and a record left with none is removed.
    void renumber(std::span<const uint32_t> old_to_new);

    template <class F>
    void for_each(F&& f) const {  // f(record, entry) for every pair, records in table order
        map_.for_each([&](uint64_t r, uint32_t v) {
            if (!(v & kListBit)) f(r, v);
            else
                for (uint32_t e : lists_[v & ~kListBit]) f(r, e);
        });
    }

private:
    static constexpr uint32_t kListBit = 0x8000'0000u;
    uint32_t new_list(std::vector<uint32_t> items);
    void free_list(uint32_t id);

    RecordMap<uint32_t> map_;
    std::vector<std::vector<uint32_t>> lists_;
    std::vector<uint32_t> free_lists_;
};

}  // namespace nimbalo

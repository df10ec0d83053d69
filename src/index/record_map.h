// RecordMap<V>: a flat open-addressing hash map from a 48-bit NTFS record number to a small
// value (4-byte aligned, e.g. u32 or ArenaRange). One contiguous slot array, no node per key:
// a slot is 8 bytes of key plus the value (12 bytes for u32), and the table stays between
// 50% and 85% full, so a map of n keys costs about 15-24 bytes per key for u32 values.
// Linear probing with backward-shift erase (no tombstones), so lookups stay short after
// many erases. Keys are record numbers: only the low 48 bits are kept.
// Cost: find/set/erase O(1) expected; growth rehashes everything once (amortised O(1)).
// Threads: const members may run concurrently; any change needs exclusive access.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/large_buffer.h"

namespace nimbalo {

inline constexpr uint64_t kRecordMask = 0xFFFF'FFFF'FFFFull;

template <class V>
class RecordMap {
public:
    RecordMap() = default;

    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // Bytes held by the slot array (for memory accounting).
    size_t memory_bytes() const { return slots_.capacity() * sizeof(Slot); }

    void clear() {
        slots_.clear();
        slots_.shrink_to_fit();
        count_ = 0;
    }

    // Make room for n keys without growing.
    void reserve(size_t n) {
        if (slot_count_for(n) > slots_.size()) rehash(slot_count_for(n));
    }

    const V* find(uint64_t key) const {
        if (slots_.empty()) return nullptr;
        const Slot* s = locate(key & kRecordMask);
        return s->used() ? &s->value : nullptr;
    }
    V* find(uint64_t key) {
        return const_cast<V*>(static_cast<const RecordMap&>(*this).find(key));
    }

    // Insert or replace; returns the stored value.
    V& set(uint64_t key, const V& value) {
        V& v = get_or_add(key, value);
        v = value;
        return v;
    }

    // The value of key, adding it with `init` when absent.
    V& get_or_add(uint64_t key, const V& init) {
        key &= kRecordMask;
        if ((count_ + 1) * 20 > slots_.size() * 17) rehash(slot_count_for(count_ + 1 + count_ / 2));
        Slot* s = locate(key);
        if (!s->used()) {
            s->set_key(key);
            s->value = init;
            ++count_;
        }
        return s->value;
    }

    bool erase(uint64_t key) {
        if (slots_.empty()) return false;
        Slot* s = locate(key & kRecordMask);
        if (!s->used()) return false;
        // Backward-shift: pull later members of the probe run into the hole.
        size_t hole = size_t(s - slots_.data());
        size_t i = hole;
        const size_t n = slots_.size();
        for (;;) {
            i = (i + 1 == n) ? 0 : i + 1;
            Slot& next = slots_[i];
            if (!next.used()) break;
            const size_t home = home_of(next.key());
            // next may move to the hole only if its home is not in (hole, i] cyclically.
            const bool in_between = (hole <= i) ? (home > hole && home <= i) : (home > hole || home <= i);
            if (in_between) continue;
            slots_[hole] = next;
            hole = i;
        }
        slots_[hole].clear();
        --count_;
        return true;
    }

    // Calls f(key, value&) for every member, in slot order.
    template <class F>
    void for_each(F&& f) {
        for (Slot& s : slots_)
            if (s.used()) f(s.key(), s.value);
    }
    template <class F>
    void for_each(F&& f) const {
        for (const Slot& s : slots_)
            if (s.used()) f(s.key(), s.value);
    }

private:
    struct Slot {
        uint32_t lo = 0;
        uint32_t hi = kEmpty;  // keys are 48-bit, so kEmpty never occurs in a used slot
        V value{};
        static constexpr uint32_t kEmpty = 0xFFFF'FFFFu;
        bool used() const { return hi != kEmpty; }
        uint64_t key() const { return (uint64_t(hi) << 32) | lo; }
        void set_key(uint64_t k) {
            lo = uint32_t(k);
            hi = uint32_t(k >> 32);
        }
        void clear() { hi = kEmpty; }
    };

    static size_t slot_count_for(size_t n) { return n < 8 ? 16 : n + n / 2 + 1; }

    size_t home_of(uint64_t key) const {
        const uint64_t h = key * 0x9E37'79B9'7F4A'7C15ull;
        return size_t((static_cast<unsigned __int128>(h) * slots_.size()) >> 64);
    }

    // The slot holding key, or the empty slot where it would go. Needs a non-empty table.
    Slot* locate(uint64_t key) const {
        const size_t n = slots_.size();
        size_t i = home_of(key);
        for (;;) {
            const Slot& s = slots_[i];
            if (!s.used() || s.key() == key) return const_cast<Slot*>(&s);
            i = (i + 1 == n) ? 0 : i + 1;
        }
    }

    void rehash(size_t new_slots) {
        std::vector<Slot> old;
        old.swap(slots_);
        platform::reserve_huge(slots_, new_slots);
        slots_.assign(new_slots, Slot{});
        for (const Slot& s : old) {
            if (!s.used()) continue;
            *locate(s.key()) = s;
        }
    }

    std::vector<Slot> slots_;
    size_t count_ = 0;
};

}  // namespace nimbalo

// Test-only builders of NTFS structures: FILE records with chosen attributes (protected by an
// update-sequence array like the real thing), run-list encodings and whole in-memory volumes.
// They write what the format says, independently of the reader's code, so tests can hand-make
// fixtures with known contents. Not for production use.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "mft/records.h"

namespace nimbalo::fixture {

using Bytes = std::vector<std::byte>;

inline void put(Bytes& b, size_t at, uint64_t v, int n) {
    if (b.size() < at + size_t(n)) b.resize(at + size_t(n));
    for (int i = 0; i < n; ++i) b[at + size_t(i)] = std::byte((v >> (8 * i)) & 0xFF);
}

inline std::u16string u16(const char16_t* s) { return std::u16string(s); }

// Minimal-width mapping pairs for runs (lcn -1 = sparse), terminated by 0.
inline Bytes encode_runlist(const std::vector<DataRun>& runs) {
    Bytes out;
    int64_t prev = 0;
    auto width_u = [](uint64_t v) { int n = 1; while (n < 8 && (v >> (8 * n)) != 0) ++n; return n; };
    auto width_s = [](int64_t v) {
        int n = 1;
        while (n < 8) {
            const int64_t lo = -(int64_t(1) << (8 * n - 1)), hi = (int64_t(1) << (8 * n - 1)) - 1;
            if (v >= lo && v <= hi) break;
            ++n;
        }
        return n;
    };
    for (const auto& r : runs) {
        const int l = width_u(r.clusters);
        if (r.lcn < 0) {
            out.push_back(std::byte(l));
            for (int i = 0; i < l; ++i) out.push_back(std::byte((r.clusters >> (8 * i)) & 0xFF));
            continue;
        }
        const int64_t d = r.lcn - prev;
        const int o = width_s(d);
        out.push_back(std::byte(l | (o << 4)));
        for (int i = 0; i < l; ++i) out.push_back(std::byte((r.clusters >> (8 * i)) & 0xFF));
        for (int i = 0; i < o; ++i) out.push_back(std::byte((uint64_t(d) >> (8 * i)) & 0xFF));
        prev = r.lcn;
    }
    out.push_back(std::byte{0});
    return out;
}

struct NameFields {
    uint64_t parent = 5;
    std::u16string name;
    uint8_t name_space = 1;
    uint32_t flags = 0;  // 0x10000000 = directory
    uint64_t size = 0;
    uint64_t modified = 0;
};

class RecordBuilder {
public:
    explicit RecordBuilder(size_t size = 1024, uint16_t usa_offset = 0x30) : size_(size), usa_offset_(usa_offset) {
        first_attr_ = (usa_offset_ + 2 * (size_ / 512 + 1) + 7) & ~size_t(7);
        if (first_attr_ < 0x38) first_attr_ = 0x38;
    }
    RecordBuilder& in_use(bool v) { in_use_ = v; return *this; }
    RecordBuilder& base(uint64_t ref) { base_ = ref; return *this; }

    RecordBuilder& standard_information(uint64_t modified) {
        Bytes v(0x48);
        put(v, 0x00, modified - 1, 8);
        put(v, 0x08, modified, 8);
        put(v, 0x10, modified, 8);
        put(v, 0x18, modified, 8);
        return resident(0x10, v);
    }
    RecordBuilder& file_name(const NameFields& n) {
        Bytes v(0x42 + 2 * n.name.size());
        put(v, 0x00, n.parent | (uint64_t(1) << 48), 8);
        put(v, 0x10, n.modified, 8);
        put(v, 0x28, (n.size + 4095) / 4096 * 4096, 8);
        put(v, 0x30, n.size, 8);
        put(v, 0x38, n.flags, 4);
        put(v, 0x40, n.name.size(), 1);
        put(v, 0x41, n.name_space, 1);
        for (size_t i = 0; i < n.name.size(); ++i) put(v, 0x42 + 2 * i, n.name[i], 2);
        return resident(0x30, v);
    }
    RecordBuilder& resident_data(size_t length, const std::u16string& name = u"") {
        return resident(0x80, Bytes(length, std::byte{0x61}), name);
    }
    RecordBuilder& nonresident(uint32_t type, uint64_t lowest_vcn, uint64_t highest_vcn, uint64_t data_size,
                               uint64_t init_size, const std::vector<DataRun>& runs, const std::u16string& name = u"") {
        const Bytes rl = encode_runlist(runs);
        const size_t name_at = 0x40, rl_at = (name_at + 2 * name.size() + 7) & ~size_t(7);
        Bytes a(rl_at + rl.size());
        put(a, 0x00, type, 4);
        put(a, 0x08, 1, 1);
        put(a, 0x09, name.size(), 1);
        put(a, 0x0A, name_at, 2);
        for (size_t i = 0; i < name.size(); ++i) put(a, name_at + 2 * i, name[i], 2);
        put(a, 0x10, lowest_vcn, 8);
        put(a, 0x18, highest_vcn, 8);
        put(a, 0x20, rl_at, 2);
        put(a, 0x28, (highest_vcn + 1) * 4096, 8);
        put(a, 0x30, data_size, 8);
        put(a, 0x38, init_size, 8);
        std::memcpy(a.data() + rl_at, rl.data(), rl.size());
        return raw(a);
    }
    // Attribute-list entries (type, lowest VCN, record) as a resident $ATTRIBUTE_LIST.
    struct ListEntry { uint32_t type; uint64_t lowest_vcn; uint64_t record; };
    static Bytes attribute_list_value(const std::vector<ListEntry>& entries) {
        Bytes v;
        for (const auto& e : entries) {
            const size_t at = v.size();
            v.resize(at + 0x20);
            put(v, at + 0x00, e.type, 4);
            put(v, at + 0x04, 0x20, 2);
            put(v, at + 0x06, 0, 1);
            put(v, at + 0x07, 0x1A, 1);
            put(v, at + 0x08, e.lowest_vcn, 8);
            put(v, at + 0x10, e.record | (uint64_t(1) << 48), 8);
        }
        return v;
    }
    RecordBuilder& resident(uint32_t type, const Bytes& value, const std::u16string& name = u"") {
        const size_t name_at = 0x18, value_at = (name_at + 2 * name.size() + 7) & ~size_t(7);
        Bytes a(value_at + value.size());
        put(a, 0x00, type, 4);
        put(a, 0x09, name.size(), 1);
        put(a, 0x0A, name_at, 2);
        for (size_t i = 0; i < name.size(); ++i) put(a, name_at + 2 * i, name[i], 2);
        put(a, 0x10, value.size(), 4);
        put(a, 0x14, value_at, 2);
        std::memcpy(a.data() + value_at, value.data(), value.size());
        return raw(a);
    }
    // Appends an attribute as given, padding it to 8 bytes and fixing its length field.
    RecordBuilder& raw(Bytes a) {
        a.resize((a.size() + 7) & ~size_t(7));
        put(a, 4, a.size(), 4);
        attrs_.insert(attrs_.end(), a.begin(), a.end());
        return *this;
    }
    // The finished record: header, attributes, end marker, then update-sequence protection
    // (the last two bytes of every 512-byte stride saved in the array, replaced by the sequence).
    Bytes build(uint16_t sequence = 0x0BAD) const {
        Bytes r(size_, std::byte{0});
        std::memcpy(r.data(), "FILE", 4);
        const size_t strides = size_ / 512;
        put(r, 0x04, usa_offset_, 2);
        put(r, 0x06, strides + 1, 2);
        put(r, 0x10, 1, 2);
        put(r, 0x14, first_attr_, 2);
        put(r, 0x16, (in_use_ ? 1 : 0) | 0, 2);
        put(r, 0x20, base_, 8);
        std::memcpy(r.data() + first_attr_, attrs_.data(), attrs_.size());
        put(r, first_attr_ + attrs_.size(), 0xFFFFFFFF, 4);
        put(r, 0x18, first_attr_ + attrs_.size() + 8, 4);
        put(r, 0x1C, size_, 4);
        r.resize(size_);
        put(r, usa_offset_, sequence, 2);
        for (size_t i = 1; i <= strides; ++i) {
            r[usa_offset_ + 2 * i] = r[512 * i - 2];
            r[usa_offset_ + 2 * i + 1] = r[512 * i - 1];
            put(r, 512 * i - 2, sequence, 2);
        }
        return r;
    }

private:
    size_t size_;
    uint16_t usa_offset_;
    size_t first_attr_;
    bool in_use_ = true;
    uint64_t base_ = 0;
    Bytes attrs_;
};

// A boot sector with the given geometry fields (raw encodings, so tests can write bad ones).
inline Bytes boot_sector(uint16_t bytes_per_sector, uint8_t sectors_per_cluster, int8_t clusters_per_record,
                         uint64_t total_sectors, uint64_t mft_lcn, const char* oem = "NTFS    ") {
    Bytes s(512, std::byte{0});
    s[0] = std::byte{0xEB}, s[1] = std::byte{0x52}, s[2] = std::byte{0x90};
    std::memcpy(s.data() + 3, oem, 8);
    put(s, 0x0B, bytes_per_sector, 2);
    put(s, 0x0D, sectors_per_cluster, 1);
    put(s, 0x28, total_sectors, 8);
    put(s, 0x30, mft_lcn, 8);
    put(s, 0x38, 2, 8);
    put(s, 0x40, uint8_t(clusters_per_record), 1);
    put(s, 0x44, 1, 1);
    put(s, 0x1FE, 0xAA55, 2);
    return s;
}

// An in-memory volume: boot sector, then the MFT's records laid out through the given runs
// (record i at MFT byte position i * record size). Record 0 carries a $DATA with those runs
// unless a custom record 0 is given.
struct VolumeLayout {
    uint32_t bytes_per_sector = 512;
    uint32_t bytes_per_cluster = 4096;
    uint32_t bytes_per_record = 1024;
    uint64_t total_clusters = 4096;
    std::vector<DataRun> mft_runs;  // the MFT's extents
    uint64_t valid_length = 0;      // 0: all records given
};

inline Bytes build_volume(const VolumeLayout& layout, std::vector<Bytes> records) {
    const uint64_t bpc = layout.bytes_per_cluster, rs = layout.bytes_per_record;
    Bytes img(layout.total_clusters * bpc, std::byte{0});
    uint8_t spc = uint8_t(bpc / layout.bytes_per_sector);
    if (bpc / layout.bytes_per_sector > 128) {
        int shift = 0;
        while ((uint64_t(1) << shift) < bpc / layout.bytes_per_sector) ++shift;
        spc = uint8_t(256 - shift);
    }
    int8_t cpr;
    if (rs >= bpc) cpr = int8_t(rs / bpc);
    else { int shift = 0; while ((uint64_t(1) << shift) < rs) ++shift; cpr = int8_t(-shift); }
    const Bytes bs = boot_sector(uint16_t(layout.bytes_per_sector), spc, cpr,
                                 layout.total_clusters * bpc / layout.bytes_per_sector - 1,
                                 uint64_t(layout.mft_runs.at(0).lcn));
    std::memcpy(img.data(), bs.data(), bs.size());
    for (size_t i = 0; i < records.size(); ++i) {
        // Place record i byte by byte through the runs (records may straddle runs).
        for (uint64_t k = 0; k < rs && k < records[i].size(); ++k) {
            uint64_t pos = i * rs + k, vcn = pos / bpc;
            for (const auto& r : layout.mft_runs) {
                if (vcn < r.clusters) {
                    if (r.lcn >= 0) img.at((uint64_t(r.lcn) + vcn) * bpc + pos % bpc) = records[i][k];
                    break;
                }
                vcn -= r.clusters;
            }
        }
    }
    return img;
}

// Record 0 of the MFT ($MFT itself) describing runs, with valid (initialized) length.
inline Bytes mft_record0(const VolumeLayout& layout, uint64_t valid_length) {
    uint64_t clusters = 0;
    for (const auto& r : layout.mft_runs) clusters += r.clusters;
    return RecordBuilder(layout.bytes_per_record)
        .standard_information(1)
        .file_name({5, u"$MFT", 3, 0, 0, 1})
        .nonresident(0x80, 0, clusters - 1, valid_length, valid_length, layout.mft_runs)
        .build();
}

}  // namespace nimbalo::fixture

// ==================================================================================================
// TEST ONLY. NEVER LINK INTO THE PRODUCT. Writes INTO AN NTFS IMAGE FILE: use it on a COPY only.
// ==================================================================================================
// TestOnlyJournalWriter appends well-formed USN_RECORD_V2 change records to the $J stream of a copy
// of a Windows-made NTFS image, and writes the matching FILE records (sizes, times, names), so a
// test can watch the service follow changes as Windows would log them. It also changes the
// journal's id in $Max (a re-created journal).
// Limits, asserted: the MFT is one run (true of the images under testdata/ntfs that have a
// journal), and $J is one run that can grow over free clusters right behind it (checked against
// $Bitmap, and marked used there).
#pragma once

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/unicode.h"
#include "mft/mft_extents.h"
#include "mft/ntfs_layout.h"
#include "mft/record_reader.h"
#include "mft/usn_image.h"
#include "mft/volume.h"
#include "platform/raw_device.h"

namespace nimbalo::testing {

class TestOnlyJournalWriter {
public:
    using Bytes = std::vector<std::byte>;

    // Opens the image copy at path (a volume image or an MBR disk image).
    explicit TestOnlyJournalWriter(const std::string& path) : path_(path) {
        auto dev = platform::open_raw_path(path);
        if (!dev) throw std::runtime_error(dev.error());
        auto v = open_volume_on(std::move(*dev), 'C');
        if (!v) throw std::runtime_error(v.error());
        auto j = find_image_journal(*v);
        if (!j) throw std::runtime_error(j.error());
        offset_ = v->partition_offset;
        cluster_ = v->bytes_per_cluster;
        record_size_ = v->bytes_per_record;
        mft_offset_ = v->mft_start_lcn * cluster_;
        journal_record_ = j->record;
        journal_id_ = j->journal_id;
        auto runs = read_mft_runs(*v);
        if (!runs || runs->size() != 1) throw std::runtime_error("test-only writer: the MFT is not one run");
        file_.open(path, std::ios::in | std::ios::out | std::ios::binary);
        if (!file_) throw std::runtime_error("cannot open " + path);
    }

    uint64_t journal_id() const { return journal_id_; }

    // Makes $J's one run at least `clusters` long (over free clusters, marked used in $Bitmap).
    void grow_journal(uint64_t clusters) {
        Bytes rec = read_record(journal_record_);
        const size_t a = find_attribute(rec, 0x80, u"$J");
        const size_t pairs = a + get(rec, a + 0x20, 2);
        const int len_bytes = int(uint8_t(rec[pairs]) & 0xF), off_bytes = int(uint8_t(rec[pairs]) >> 4);
        if (uint8_t(rec[pairs + 1 + size_t(len_bytes + off_bytes)]) != 0) throw std::runtime_error("$J is not one run");
        const uint64_t old = get(rec, pairs + 1, len_bytes);
        const uint64_t lcn = get(rec, pairs + 1 + size_t(len_bytes), off_bytes);
        j_lcn_ = lcn;
        j_clusters_ = std::max(old, clusters);
        if (clusters <= old) return;  // room enough already
        if (clusters >= (uint64_t(1) << (8 * len_bytes - 1))) throw std::runtime_error("$J run length does not fit");
        for (uint64_t c = lcn + old; c < lcn + clusters; ++c) set_cluster_used(c);
        put(rec, pairs + 1, clusters, len_bytes);
        put(rec, a + 0x18, clusters - 1, 8);        // highest VCN
        put(rec, a + 0x28, clusters * cluster_, 8);  // allocated size
        write_record(journal_record_, rec);
        const Bytes zeros((clusters - old) * cluster_);
        write_at(offset_ + (lcn + old) * cluster_, zeros);
    }

    // Appends one USN_RECORD_V2 at the end of $J (a record never crosses a 4 KiB page); returns
    // its USN.
    int64_t append(uint32_t reason, uint64_t record, uint64_t parent, const std::u16string& name, bool is_dir,
                   uint64_t timestamp) {
        Bytes rec = read_record(journal_record_);
        const size_t a = find_attribute(rec, 0x80, u"$J");
        int64_t usn = int64_t(get(rec, a + 0x30, 8));
        const size_t len = (60 + 2 * name.size() + 7) & ~size_t(7);
        if (uint64_t(usn) % ntfs::kUsnPage + len > ntfs::kUsnPage) usn += int64_t(ntfs::kUsnPage - uint64_t(usn) % ntfs::kUsnPage);
        if (uint64_t(usn) + len > j_clusters_ * cluster_) throw std::runtime_error("grow the journal first");
        Bytes r(len);
        put(r, 0, len, 4);
        put(r, 4, 2, 2);
        put(r, 8, record | (uint64_t(1) << 48), 8);
        put(r, 16, parent | (uint64_t(1) << 48), 8);
        put(r, 24, uint64_t(usn), 8);
        put(r, 32, timestamp, 8);
        put(r, 40, reason, 4);
        put(r, 52, is_dir ? 0x10 : 0x20, 4);
        put(r, 56, 2 * name.size(), 2);
        put(r, 58, 60, 2);
        for (size_t i = 0; i < name.size(); ++i) put(r, 60 + 2 * i, name[i], 2);
        write_at(offset_ + j_lcn_ * cluster_ + uint64_t(usn), r);
        put(rec, a + 0x30, uint64_t(usn) + len, 8);  // data size
        put(rec, a + 0x38, uint64_t(usn) + len, 8);  // initialized size
        write_record(journal_record_, rec);
        return usn;
    }

    // A new journal id in $Max, as a deleted and re-created journal would have.
    void set_journal_id(uint64_t id) {
        Bytes rec = read_record(journal_record_);
        const size_t a = find_attribute(rec, 0x80, u"$Max");
        put(rec, a + get(rec, a + 0x14, 2) + offsetof(ntfs::UsnJournalMaxDisk, journal_id), id, 8);
        write_record(journal_record_, rec);
        journal_id_ = id;
    }

    // A whole FILE record as RecordBuilder makes it (already protected).
    void put_file_record(uint64_t number, const Bytes& protected_record) {
        if (protected_record.size() != record_size_) throw std::runtime_error("record size");
        write_at(offset_ + mft_offset_ + number * record_size_, protected_record);
    }

    bool record_in_use(uint64_t number) {
        const Bytes rec = read_raw(number);
        return std::memcmp(rec.data(), "FILE", 4) == 0 && (get(rec, 0x16, 2) & 1) != 0;
    }

    void flush() { file_.flush(); }

private:
    static uint64_t get(const Bytes& b, size_t at, int n) {
        uint64_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = (v << 8) | uint8_t(b.at(at + size_t(i)));
        return v;
    }
    static void put(Bytes& b, size_t at, uint64_t v, int n) {
        for (int i = 0; i < n; ++i) b.at(at + size_t(i)) = std::byte((v >> (8 * i)) & 0xFF);
    }

    Bytes read_at(uint64_t at, size_t n) {
        Bytes b(n);
        file_.seekg(std::streamoff(at));
        file_.read(reinterpret_cast<char*>(b.data()), std::streamsize(n));
        if (!file_) throw std::runtime_error("short read in the image");
        return b;
    }
    void write_at(uint64_t at, const Bytes& b) {
        file_.seekp(std::streamoff(at));
        file_.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
        file_.flush();
        if (!file_) throw std::runtime_error("write failed in the image");
    }

    Bytes read_raw(uint64_t number) { return read_at(offset_ + mft_offset_ + number * record_size_, record_size_); }

    // The record with its update sequence undone (the true last bytes of each sector put back).
    Bytes read_record(uint64_t number) {
        Bytes r = read_raw(number);
        const size_t usa = get(r, 4, 2), count = get(r, 6, 2);
        for (size_t i = 1; i < count; ++i) {
            r[512 * i - 2] = r[usa + 2 * i];
            r[512 * i - 1] = r[usa + 2 * i + 1];
        }
        return r;
    }
    // Protects again (a new sequence number) and writes.
    void write_record(uint64_t number, Bytes r) {
        const size_t usa = get(r, 4, 2), count = get(r, 6, 2);
        const uint64_t seq = (get(r, usa, 2) + 1) & 0xFFFF;
        put(r, usa, seq == 0 ? 1 : seq, 2);
        for (size_t i = 1; i < count; ++i) {
            r[usa + 2 * i] = r[512 * i - 2];
            r[usa + 2 * i + 1] = r[512 * i - 1];
            r[512 * i - 2] = r[usa];
            r[512 * i - 1] = r[usa + 1];
        }
        write_at(offset_ + mft_offset_ + number * record_size_, r);
    }

    // Offset of the attribute of type with this name.
    static size_t find_attribute(const Bytes& r, uint32_t type, std::u16string_view name) {
        size_t at = get(r, 0x14, 2);
        while (at + 16 <= r.size() && get(r, at, 4) != 0xFFFFFFFF) {
            const size_t len = get(r, at + 4, 4);
            const size_t name_len = get(r, at + 9, 1), name_at = at + get(r, at + 10, 2);
            if (get(r, at, 4) == type && name_len == name.size()) {
                bool same = true;
                for (size_t i = 0; i < name_len; ++i) same &= get(r, name_at + 2 * i, 2) == name[i];
                if (same) return at;
            }
            if (len == 0) break;
            at += len;
        }
        throw std::runtime_error("attribute not found");
    }

    void set_cluster_used(uint64_t lcn) {
        Bytes bitmap_rec = read_record(6);
        const size_t a = find_attribute(bitmap_rec, 0x80, u"");
        const auto runs = merge_extents(unnamed_data_extents(bitmap_rec));
        uint64_t byte_offset = 0;
        if (!map_position(runs, cluster_, lcn / 8, byte_offset)) throw std::runtime_error("$Bitmap position unmapped");
        (void)a;
        Bytes b = read_at(offset_ + byte_offset, 1);
        if ((uint8_t(b[0]) >> (lcn % 8)) & 1) throw std::runtime_error("cluster after $J is in use");
        b[0] = std::byte(uint8_t(b[0]) | (1u << (lcn % 8)));
        write_at(offset_ + byte_offset, b);
    }

    std::string path_;
    std::fstream file_;
    uint64_t offset_ = 0, cluster_ = 0, record_size_ = 0, mft_offset_ = 0;
    uint64_t journal_record_ = 0, journal_id_ = 0;
    uint64_t j_lcn_ = 0, j_clusters_ = 0;
};

}  // namespace nimbalo::testing

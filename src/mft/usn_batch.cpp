#include "mft/usn_batch.h"

#include <algorithm>
#include <cstring>

#include "common/text.h"
#include "mft/ntfs_layout.h"

namespace nimbalo {
namespace {

using ntfs::load;

constexpr uint32_t kCloseBit = 0x80000000;
constexpr uint32_t kDirectoryAttribute = 0x10;

}  // namespace

UsnBatch parse_usn_batch(std::span<const std::byte> out, int64_t start) {
    UsnBatch batch;
    batch.next = out.size() >= 8 ? load<int64_t>(out, 0) : start;
    const size_t b = out.size();
    for (size_t s = 8; s + 8 <= b;) {
        const uint32_t len = load<uint32_t>(out, s);
        if (len < 8 || len > b - s) break;
        const auto rec = out.subspan(s, len);
        const uint16_t major = load<uint16_t>(rec, 4);
        UsnChange c;
        uint32_t attributes = 0;
        size_t name_len = 0, name_off = 0;
        bool parsed = false;
        if (major == 2 && len >= sizeof(ntfs::UsnRecordV2Disk)) {
            const auto r = load<ntfs::UsnRecordV2Disk>(rec, 0);
            c.record = r.file_ref & ntfs::kRefMask;
            c.parent = r.parent_ref & ntfs::kRefMask;
            c.timestamp = r.timestamp;
            c.reason = r.reason;
            attributes = r.attributes;
            name_len = r.name_length, name_off = r.name_offset;
            parsed = true;
        } else if (major == 3 && len >= sizeof(ntfs::UsnRecordV3Disk)) {
            const auto r = load<ntfs::UsnRecordV3Disk>(rec, 0);
            c.record = load<uint64_t>(rec, 8) & ntfs::kRefMask;
            c.parent = load<uint64_t>(rec, 24) & ntfs::kRefMask;
            c.timestamp = r.timestamp;
            c.reason = r.reason;
            attributes = r.attributes;
            name_len = r.name_length, name_off = r.name_offset;
            parsed = true;
        }
        if (parsed) {
            ++batch.records;
            if (!(c.reason & kCloseBit)) {
                c.is_dir = (attributes & kDirectoryAttribute) != 0;
                if (name_len != 0 && name_off + name_len <= len) c.name = utf16le_to_utf8(rec.subspan(name_off, name_len & ~size_t(1)));
                batch.changes.push_back(std::move(c));
            }
        }
        s += len;
    }
    return batch;
}

std::string reason_names(uint32_t mask) {
    static const struct {
        uint32_t bit;
        const char* name;
    } names[] = {
        {0x00000100, "create"},      {0x00000200, "delete"},          {0x00001000, "rename(old)"},
        {0x00002000, "rename(new)"}, {0x00000002, "data-extend"},     {0x00000001, "data-overwrite"},
        {0x00000004, "data-truncation"}, {0x00008000, "info-change"}, {0x00000800, "security-change"},
        {0x00010000, "hardlink-change"},
    };
    std::string out;
    for (const auto& n : names) {
        if (!(mask & n.bit)) continue;
        if (!out.empty()) out += '+';
        out += n.name;
    }
    return out.empty() ? "0x" + hex_lower(mask, 8) : out;
}

std::vector<std::byte> usn_stream_batch(std::span<const std::byte> stream, int64_t base, int64_t end, int64_t start,
                                        size_t max_bytes) {
    std::vector<std::byte> out(8);
    int64_t p = std::max(start, base);
    const int64_t have_end = std::min<int64_t>(end, base + int64_t(stream.size()));
    auto next_page = [](int64_t at) { return (at / ntfs::kUsnPage + 1) * ntfs::kUsnPage; };
    bool limit = false;  // the next record did not fit in max_bytes
    while (p + 8 <= have_end) {
        const auto rec = stream.subspan(size_t(p - base));
        const uint32_t len = load<uint32_t>(rec, 0);
        if (len == 0) {  // padding up to the end of the page
            p = next_page(p);
            continue;
        }
        const uint16_t major = load<uint16_t>(rec, 4);
        const bool plausible = len >= 0x40 && len % 8 == 0 && major >= 2 && major <= 4 &&
                               (p % ntfs::kUsnPage) + len <= ntfs::kUsnPage;
        if (!plausible) {
            p = next_page(p);
            continue;
        }
        if (p + int64_t(len) > have_end) break;  // cut by the bytes given (or garbage at the stream's end)
        if (out.size() - 8 + len > max_bytes) {
            limit = true;
            break;
        }
        out.insert(out.end(), rec.begin(), rec.begin() + len);
        p += len;
    }
    // Walked to the stream's end: new records will start at the end (the next USN). Otherwise
    // continue where the walk stopped, on a record boundary.
    int64_t next;
    if (limit) next = p;
    else if (have_end >= end) next = std::max(end, start);
    else next = std::min(p, end);
    std::memcpy(out.data(), &next, 8);
    return out;
}

}  // namespace nimbalo

#include "mft/file_record.h"

#include <cstring>

#include "mft/ntfs_layout.h"
#include "mft/usa_fixup.h"
#include "mft/runlist.h"

namespace nimbalo {
namespace {

using ntfs::load;

// UTF-16LE name (at most 255 units) to UTF-8 on the stack, then one string. Unpaired surrogates
// become U+FFFD. ASCII names, by far the most common, take the short loop.
std::string name_to_utf8(const std::byte* p, size_t units) {
    char buf[255 * 3];
    size_t n = 0;
    size_t i = 0;
    for (; i < units; ++i) {
        const auto lo = uint8_t(p[2 * i]), hi = uint8_t(p[2 * i + 1]);
        if (hi != 0 || lo >= 0x80) break;
        buf[n++] = char(lo);
    }
    for (; i < units; ++i) {
        uint32_t cp = uint8_t(p[2 * i]) | (uint32_t(uint8_t(p[2 * i + 1])) << 8);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units) {
            const uint32_t lo = uint8_t(p[2 * i + 2]) | (uint32_t(uint8_t(p[2 * i + 3])) << 8);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                ++i;
            } else {
                cp = 0xFFFD;
            }
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            buf[n++] = char(cp);
        } else if (cp < 0x800) {
            buf[n++] = char(0xC0 | (cp >> 6));
            buf[n++] = char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            buf[n++] = char(0xE0 | (cp >> 12));
            buf[n++] = char(0x80 | ((cp >> 6) & 0x3F));
            buf[n++] = char(0x80 | (cp & 0x3F));
        } else {
            // A pair takes two units and gives four bytes: the buffer of 3 per unit suffices.
            buf[n++] = char(0xF0 | (cp >> 18));
            buf[n++] = char(0x80 | ((cp >> 12) & 0x3F));
            buf[n++] = char(0x80 | ((cp >> 6) & 0x3F));
            buf[n++] = char(0x80 | (cp & 0x3F));
        }
    }
    return std::string(buf, n);
}

}  // namespace

void parse_file_record(std::span<std::byte> rec, uint64_t number, std::vector<MftRecord>& out) {
    const size_t e = rec.size();
    if (e < 24 || std::memcmp(rec.data(), "FILE", 4) != 0) return;
    if (!(load<uint16_t>(rec, 0x16) & ntfs::kRecordInUse)) return;
    if (!apply_fixup(rec).ok()) return;

    uint64_t record_no = number;
    if (e >= sizeof(ntfs::FileRecordHeaderDisk)) {
        const uint64_t base = load<uint64_t>(rec, 0x20) & ntfs::kRefMask;
        if (base != 0) record_no = base;
    }

    const size_t first_name = out.size();
    bool have_si = false, have_data = false;
    uint64_t si_modified = 0, data_size = 0;

    size_t j = load<uint16_t>(rec, 0x14);
    if (j + 8 > e) return;
    for (;;) {
        const auto type = load<uint32_t>(rec, j);
        if (type == ntfs::kAttrEnd) break;
        const auto length = load<uint32_t>(rec, j + 4);
        // An attribute too short for its own common header is damaged: nothing after it is trusted.
        if (length < sizeof(ntfs::AttributeHeaderDisk) || length > e - j) break;
        // Resident header (through the value offset) must lie inside both the attribute and the buffer.
        const bool resident_head = length >= sizeof(ntfs::ResidentAttributeDisk) && uint8_t(rec[j + 8]) == 0;
        if (type == ntfs::kAttrFileName && j + 0x16 <= e && uint8_t(rec[j + 8]) == 0) {
            const uint64_t v = load<uint32_t>(rec, j + 0x10);
            const uint64_t o = load<uint16_t>(rec, j + 0x14);
            if (v >= sizeof(ntfs::FileNameDisk) && j + o + v <= e) {
                const auto fn = load<ntfs::FileNameDisk>(rec, j + o);
                const uint64_t n = fn.name_length;
                if (n > 0 && v >= 2 * n + sizeof(ntfs::FileNameDisk) && fn.name_space != ntfs::kNameSpaceDos) {
                    MftRecord r;
                    r.name = name_to_utf8(rec.data() + j + o + sizeof(ntfs::FileNameDisk), n);
                    r.parent = fn.parent & ntfs::kRefMask;
                    r.record = record_no;
                    r.size = fn.data_size;
                    r.modified = fn.modified;
                    r.is_dir = (fn.attributes & ntfs::kFileNameIsDirectory) != 0;
                    out.push_back(std::move(r));
                }
            }
        } else if (type == ntfs::kAttrStandardInformation && resident_head) {
            const uint64_t v = load<uint32_t>(rec, j + 0x10);
            const uint64_t o = load<uint16_t>(rec, j + 0x14);
            if (v >= 0x10 && o + 0x10 <= length) {
                si_modified = load<uint64_t>(rec, j + o + 0x08);
                have_si = true;
            }
        } else if (type == ntfs::kAttrData && uint8_t(rec[j + 9]) == 0 && !have_data) {
            if (resident_head) {
                data_size = load<uint32_t>(rec, j + 0x10);
                have_data = true;
            } else if (uint8_t(rec[j + 8]) != 0 && length >= sizeof(ntfs::NonResidentAttributeDisk)) {
                const auto nr = load<ntfs::NonResidentAttributeDisk>(rec, j);
                if (nr.lowest_vcn == 0) {
                    data_size = nr.data_size;
                    have_data = true;
                }
            }
        }
        if (j + length + 8 > e) break;
        j += length;
    }

    for (size_t i = first_name; i < out.size(); ++i) {
        if (out[i].is_dir) continue;
        if (have_data) out[i].size = data_size;
        if (have_si) out[i].modified = si_modified;
    }
}

Result<std::vector<DataRun>> find_mft_data_runs(std::span<const std::byte> rec) {
    const size_t r = rec.size();
    if (r < 0x16) return fail("MFT $DATA runlist not found");
    size_t j = load<uint16_t>(rec, 0x14);
    for (;;) {
        if (j + 8 > r) break;
        const auto type = load<uint32_t>(rec, j);
        const auto length = load<uint32_t>(rec, j + 4);
        if (type == ntfs::kAttrEnd || length < 8 || length > r - j) break;
        if (type == ntfs::kAttrData && length >= sizeof(ntfs::NonResidentAttributeDisk) && uint8_t(rec[j + 8]) != 0) {
            const size_t o = load<uint16_t>(rec, j + 0x20);
            if (length >= o) return decode_runlist(rec.subspan(j + o, length - o));
        }
        j += length;
    }
    return fail("MFT $DATA runlist not found");
}

}  // namespace nimbalo

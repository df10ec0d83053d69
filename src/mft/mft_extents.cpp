#include "mft/mft_extents.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "mft/ntfs_layout.h"
#include "mft/usa_fixup.h"
#include "mft/volume.h"
#include "mft/runlist.h"

namespace nimbalo {
namespace {

using ntfs::load;

// Calls f(offset, type, length) for each well-formed attribute of a fixed-up record: one whose
// common header at least lies inside it and inside the record.
template <class F>
void for_each_attribute(std::span<const std::byte> rec, F f) {
    if (rec.size() < 0x18) return;
    size_t j = load<uint16_t>(rec, 0x14);
    while (j + 8 <= rec.size()) {
        const auto type = load<uint32_t>(rec, j);
        const auto length = load<uint32_t>(rec, j + 4);
        if (type == ntfs::kAttrEnd || length < sizeof(ntfs::AttributeHeaderDisk) || length > rec.size() - j) return;
        f(j, type, length);
        j += length;
    }
}

constexpr uint64_t kMaxAttributeList = 4u << 20;  // NTFS keeps them far smaller (256 KiB)

}  // namespace

// True when the attribute at j (length bytes) carries exactly this stream name.
bool has_name(std::span<const std::byte> rec, size_t j, uint32_t length, std::u16string_view name) {
    const auto h = load<ntfs::AttributeHeaderDisk>(rec, j);
    if (h.name_length != name.size()) return false;
    if (size_t(h.name_offset) + 2 * name.size() > length) return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (load<uint16_t>(rec, j + h.name_offset + 2 * i) != uint16_t(name[i])) return false;
    return true;
}

std::vector<DataExtent> data_extents(std::span<const std::byte> rec, std::u16string_view name) {
    std::vector<DataExtent> out;
    for_each_attribute(rec, [&](size_t j, uint32_t type, uint32_t length) {
        if (type != ntfs::kAttrData || length < sizeof(ntfs::NonResidentAttributeDisk)) return;
        const auto nr = load<ntfs::NonResidentAttributeDisk>(rec, j);
        if (nr.head.non_resident == 0 || !has_name(rec, j, length, name) || nr.runlist_offset > length) return;
        DataExtent x;
        x.lowest_vcn = nr.lowest_vcn;
        x.highest_vcn = nr.highest_vcn;
        x.data_size = nr.data_size;
        x.initialized_size = nr.initialized_size;
        x.runs = decode_runlist(rec.subspan(j + nr.runlist_offset, length - nr.runlist_offset));
        out.push_back(std::move(x));
    });
    return out;
}

AttributeListPlace find_attribute_list(std::span<const std::byte> rec) {
    AttributeListPlace place;
    for_each_attribute(rec, [&](size_t j, uint32_t type, uint32_t length) {
        if (type != ntfs::kAttrAttributeList || place.found) return;
        if (uint8_t(rec[j + 8]) == 0) {
            if (length < sizeof(ntfs::ResidentAttributeDisk)) return;
            const auto r = load<ntfs::ResidentAttributeDisk>(rec, j);
            if (r.value_offset > length || r.value_length > length - r.value_offset) return;
            place.found = place.resident = true;
            const auto v = rec.subspan(j + r.value_offset, r.value_length);
            place.value.assign(v.begin(), v.end());
        } else {
            if (length < sizeof(ntfs::NonResidentAttributeDisk)) return;
            const auto nr = load<ntfs::NonResidentAttributeDisk>(rec, j);
            if (nr.runlist_offset > length || nr.data_size > kMaxAttributeList) return;
            place.found = true;
            place.size = nr.data_size;
            place.runs = decode_runlist(rec.subspan(j + nr.runlist_offset, length - nr.runlist_offset));
        }
    });
    return place;
}

bool resident_data(std::span<const std::byte> rec, std::u16string_view name, std::vector<std::byte>& value) {
    bool found = false;
    for_each_attribute(rec, [&](size_t j, uint32_t type, uint32_t length) {
        if (found || type != ntfs::kAttrData || length < sizeof(ntfs::ResidentAttributeDisk)) return;
        const auto r = load<ntfs::ResidentAttributeDisk>(rec, j);
        if (r.head.non_resident != 0 || !has_name(rec, j, length, name)) return;
        if (r.value_offset > length || r.value_length > length - r.value_offset) return;
        const auto v = rec.subspan(j + r.value_offset, r.value_length);
        value.assign(v.begin(), v.end());
        found = true;
    });
    return found;
}

std::vector<ListedExtent> listed_data_extents(std::span<const std::byte> list, std::u16string_view name) {
    std::vector<ListedExtent> out;
    size_t at = 0;
    while (at + sizeof(ntfs::AttributeListEntryDisk) <= list.size()) {
        const auto e = load<ntfs::AttributeListEntryDisk>(list, at);
        if (e.length < sizeof(ntfs::AttributeListEntryDisk) || e.length > list.size() - at) break;
        bool same = e.name_length == name.size() && size_t(e.name_offset) + 2 * name.size() <= e.length;
        for (size_t i = 0; same && i < name.size(); ++i)
            same = load<uint16_t>(list, at + e.name_offset + 2 * i) == uint16_t(name[i]);
        if (e.type == ntfs::kAttrData && same) out.push_back({e.lowest_vcn, e.segment & ntfs::kRefMask});
        at += e.length;
    }
    return out;
}

std::vector<DataRun> merge_extents(std::vector<DataExtent> extents) {
    std::stable_sort(extents.begin(), extents.end(),
                     [](const DataExtent& a, const DataExtent& b) { return a.lowest_vcn < b.lowest_vcn; });
    std::vector<DataRun> runs;
    uint64_t next_vcn = 0;
    for (auto& x : extents) {
        if (x.lowest_vcn < next_vcn) continue;  // overlaps what we have: damaged or duplicate
        if (x.lowest_vcn > next_vcn) runs.push_back({-1, x.lowest_vcn - next_vcn});
        uint64_t vcn = x.lowest_vcn;
        for (const auto& r : x.runs) {
            runs.push_back(r);
            vcn += r.clusters;
        }
        next_vcn = vcn;
    }
    return runs;
}

bool map_position(std::span<const DataRun> runs, uint32_t bpc, uint64_t position, uint64_t& offset) {
    uint64_t vcn = position / bpc;
    for (const auto& r : runs) {
        if (vcn < r.clusters) {
            if (r.lcn < 0) return false;
            offset = (uint64_t(r.lcn) + vcn) * bpc + position % bpc;
            return true;
        }
        vcn -= r.clusters;
    }
    return false;
}

bool read_attribute(VolumeReader& v, std::span<const DataRun> runs, uint64_t position, std::span<std::byte> out) {
    const uint64_t bpc = v.bytes_per_cluster;
    size_t done = 0;
    while (done < out.size()) {
        // Find the run holding this position; read as much of it as wanted in one go.
        uint64_t vcn = (position + done) / bpc, run_start = 0;
        const DataRun* run = nullptr;
        for (const auto& r : runs) {
            if (vcn - run_start < r.clusters) {
                run = &r;
                break;
            }
            run_start += r.clusters;
        }
        if (!run) return false;
        const uint64_t in_run = (position + done) - run_start * bpc;
        const size_t n = size_t(std::min<uint64_t>(out.size() - done, run->clusters * bpc - in_run));
        if (n == 0) return false;  // only a wrapped (damaged) run length gets here
        if (run->lcn < 0) {
            std::fill_n(out.data() + done, n, std::byte{0});
        } else {
            auto got = read_some(v, uint64_t(run->lcn) * bpc + in_run, out.subspan(done, n));
            if (!got || *got != n) return false;
        }
        done += n;
    }
    return true;
}

std::vector<std::byte> attribute_list_bytes(VolumeReader& v, std::span<const std::byte> record) {
    auto place = find_attribute_list(record);
    if (!place.found) return {};
    if (place.resident) return place.value;
    std::vector<std::byte> list(size_t(place.size));
    if (!read_attribute(v, place.runs, 0, list)) return {};
    return list;
}

std::vector<DataRun> collect_mft_runs(VolumeReader& v, std::span<const std::byte> record0,
                                      std::vector<DataRun> record0_runs) {
    const std::vector<std::byte> list = attribute_list_bytes(v, record0);
    if (list.empty()) return record0_runs;
    std::vector<DataExtent> extents = unnamed_data_extents(record0);
    if (extents.empty()) return record0_runs;
    // A 7 GB MFT needs one extension record; these bounds only stop a damaged list from turning
    // into millions of reads.
    constexpr size_t kMaxExtensionRecords = 4096, kMaxPasses = 8;
    std::set<uint64_t> wanted;
    for (const auto& e : listed_data_extents(list))
        if (e.record != 0 && wanted.size() < kMaxExtensionRecords) wanted.insert(e.record);

    // An extension record may itself lie in an extent another extension record describes, so map
    // records through what is known so far and repeat while that finds more.
    const uint32_t rs = v.bytes_per_record;
    std::vector<std::byte> rec(rs);
    size_t passes = 0;
    for (bool progress = true; progress && !wanted.empty() && passes < kMaxPasses; ++passes) {
        progress = false;
        const auto known = merge_extents(extents);
        for (auto it = wanted.begin(); it != wanted.end();) {
            if (*it > UINT64_MAX / rs || !read_attribute(v, known, *it * rs, rec)) {
                ++it;
                continue;
            }
            it = wanted.erase(it);
            if (std::memcmp(rec.data(), "FILE", 4) != 0 || !apply_fixup(rec).ok()) continue;
            for (auto& x : unnamed_data_extents(rec))
                if (x.lowest_vcn != 0) extents.push_back(std::move(x));
            progress = true;
        }
    }
    return merge_extents(std::move(extents));
}

}  // namespace nimbalo

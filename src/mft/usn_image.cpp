#include "mft/usn_image.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "mft/file_record.h"
#include "mft/mft_extents.h"
#include "mft/ntfs_layout.h"
#include "mft/record_reader.h"
#include "mft/usa_fixup.h"
#include "mft/usn_batch.h"
#include "mft/volume.h"

namespace nimbalo {
namespace {

constexpr uint64_t kExtendRecord = 11;  // $Extend's fixed place in every NTFS volume

Result<std::vector<std::byte>> read_record(VolumeReader& v, std::span<const DataRun> mft_runs, uint64_t number) {
    std::vector<std::byte> rec(v.bytes_per_record);
    if (!read_attribute(v, mft_runs, number * v.bytes_per_record, rec)) return fail("record unreadable");
    if (std::memcmp(rec.data(), "FILE", 4) != 0) return fail("not a FILE record");
    if (auto s = apply_fixup(rec); !s) return std::move(s).take_error();
    return rec;
}

// The first record named name whose parent is parent, scanning the MFT from its start in
// 1 MiB steps. The system files sit near the start, so the scan usually ends early.
Result<uint64_t> find_by_name(VolumeReader& v, std::span<const DataRun> mft_runs, uint64_t parent,
                              const std::string& name) {
    const uint32_t rs = v.bytes_per_record;
    const uint64_t step = std::max<uint64_t>(1u << 20, rs);
    std::vector<std::byte> buf(step);
    std::vector<MftRecord> names;
    for (uint64_t pos = 0; pos < v.mft_valid_data_length; pos += step) {
        const size_t len = size_t(std::min<uint64_t>(step, v.mft_valid_data_length - pos) / rs * rs);
        if (len == 0) break;
        if (!read_attribute(v, mft_runs, pos, std::span(buf).first(len))) continue;
        for (size_t i = 0; i < len / rs; ++i) {
            names.clear();
            parse_file_record(std::span(buf.data() + i * rs, rs), pos / rs + i, names);
            for (const auto& n : names)
                if (n.parent == parent && n.name == name) return n.record;
        }
    }
    return fail("the volume has no change journal ($Extend\\$UsnJrnl not found)");
}

// $Max and $J of the journal in record number (and its extension records).
Result<ImageJournal> load_journal(VolumeReader& v, std::span<const DataRun> mft_runs, uint64_t number) {
    auto base = read_record(v, mft_runs, number);
    if (!base) return fail("$UsnJrnl record " + std::to_string(number) + " is unreadable: " + base.error());

    ImageJournal j;
    j.record = number;
    j.mft_runs.assign(mft_runs.begin(), mft_runs.end());
    std::vector<std::byte> max;
    std::vector<DataExtent> extents = data_extents(*base, u"$J");
    bool have_max = resident_data(*base, u"$Max", max);
    // A long-lived journal's $J spreads over extension records named by the attribute list.
    const auto list = attribute_list_bytes(v, *base);
    std::set<uint64_t> others;
    for (const auto& e : listed_data_extents(list, u"$J"))
        if (e.record != number && others.size() < 4096) others.insert(e.record);
    for (const auto& e : listed_data_extents(list, u"$Max"))
        if (e.record != number && !have_max) others.insert(e.record);
    for (uint64_t r : others) {
        auto ext = read_record(v, mft_runs, r);
        if (!ext) continue;
        for (auto& x : data_extents(*ext, u"$J"))
            if (std::none_of(extents.begin(), extents.end(), [&](const DataExtent& y) { return y.lowest_vcn == x.lowest_vcn; }))
                extents.push_back(std::move(x));
        if (!have_max) have_max = resident_data(*ext, u"$Max", max);
    }
    if (!have_max || max.size() < sizeof(ntfs::UsnJournalMaxDisk)) return fail("$UsnJrnl has no readable $Max stream");
    j.journal_id = ntfs::load<ntfs::UsnJournalMaxDisk>(max, 0).journal_id;
    const auto first = std::find_if(extents.begin(), extents.end(), [](const DataExtent& x) { return x.lowest_vcn == 0; });
    if (first == extents.end()) return fail("$UsnJrnl has no readable $J stream");
    j.next_usn = int64_t(std::min<uint64_t>(first->data_size, uint64_t(INT64_MAX)));
    j.j_runs = merge_extents(std::move(extents));
    uint64_t pos = 0;
    j.first_usn = j.next_usn;
    for (const auto& r : j.j_runs) {
        if (r.lcn >= 0) {
            j.first_usn = int64_t(std::min<uint64_t>(pos, uint64_t(j.next_usn)));
            break;
        }
        pos += r.clusters * v.bytes_per_cluster;
    }
    return j;
}

}  // namespace

Result<ImageJournal> find_image_journal(VolumeReader& v) {
    auto mft_runs = read_mft_runs(v);
    if (!mft_runs) return std::move(mft_runs).take_error();
    auto number = find_by_name(v, *mft_runs, kExtendRecord, "$UsnJrnl");
    if (!number) return std::move(number).take_error();
    return load_journal(v, *mft_runs, *number);
}

Status refresh_image_journal(VolumeReader& v, ImageJournal& journal) {
    auto fresh = load_journal(v, journal.mft_runs, journal.record);
    if (!fresh) return std::move(fresh).take_error();
    journal = std::move(*fresh);
    return {};
}

Result<std::vector<std::byte>> read_image_journal(VolumeReader& v, const ImageJournal& j, int64_t start,
                                                  size_t max_bytes) {
    if (start < 0) start = 0;
    // Read the window [start, start + max_bytes + one page) of $J (holes read as zeros): enough for
    // max_bytes of records plus the padding between them at page ends.
    const int64_t begin = std::max(start, j.first_usn - j.first_usn % int64_t(ntfs::kUsnPage));
    const int64_t end = std::min<int64_t>(j.next_usn, begin + int64_t(max_bytes) + ntfs::kUsnPage);
    std::vector<std::byte> window(end > begin ? size_t(end - begin) : 0);
    if (!window.empty() && !read_attribute(v, j.j_runs, uint64_t(begin), window))
        return fail("cannot read $UsnJrnl:$J at " + std::to_string(begin));
    return usn_stream_batch(window, begin, j.next_usn, start, max_bytes);
}

}  // namespace nimbalo

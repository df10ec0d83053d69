#include "mft/journal.h"

#include <string>

namespace nimbalo {
namespace {

struct Query {
    uint64_t id = 0;
    int64_t first = 0, next = 0;
};

Result<Query> query(Journal& j) {
    if (j.image) {
        if (auto s = refresh_image_journal(j.volume, *j.image); !s) return std::move(s).take_error();
        return Query{j.image->journal_id, j.image->first_usn, j.image->next_usn};
    }
    auto d = j.volume.device->query_usn_journal();
    if (!d) return std::move(d).take_error();
    return Query{d->journal_id, d->first_usn, d->next_usn};
}

}  // namespace

Result<Journal> open_journal(char letter) {
    auto v = open_volume(letter);
    if (!v) return std::move(v).take_error();
    return open_journal_on(std::move(*v));
}

Result<Journal> open_journal_on(VolumeReader volume) {
    Journal j;
    const std::string letter(1, volume.letter);
    j.volume = std::move(volume);
    // Where the system did not read the volume as NTFS (Linux, or Wine, which opens the device but
    // answers no NTFS control code), the journal is read off the disk too.
    if (!j.volume.system_ntfs) {
        auto image = find_image_journal(j.volume);
        if (!image) return fail("FSCTL_QUERY_USN_JOURNAL failed on " + letter + ": " + image.error());
        j.image = std::move(*image);
    }
    auto q = query(j);
    if (!q) return fail("FSCTL_QUERY_USN_JOURNAL failed on " + letter + ": " + q.error());
    j.journal_id = q->id;
    j.position = q->next;
    return j;
}

Result<JournalExtent> query_journal(Journal& j) {
    auto q = query(j);
    if (!q) return fail("FSCTL_QUERY_USN_JOURNAL failed: " + q.error());
    return JournalExtent{q->id, q->first, q->next};
}

Status rewind_journal(Journal& j) {
    auto q = query(j);
    if (!q) return fail("FSCTL_QUERY_USN_JOURNAL failed: " + q.error());
    j.position = q->first < 0 ? 0 : q->first;
    return {};
}

Result<UsnBatch> read_journal(Journal& j, int64_t start) {
    // Off the volume: take the journal's current size first, as the system would.
    if (j.image) {
        if (auto s = refresh_image_journal(j.volume, *j.image); !s) return fail("FSCTL_READ_USN_JOURNAL failed: " + s.error());
    }
    Result<std::vector<std::byte>> out =
        j.image ? read_image_journal(j.volume, *j.image, start, kJournalBatchBytes)
                : j.volume.device->read_usn_journal(start, j.journal_id, kJournalBatchBytes);
    if (!out) return fail("FSCTL_READ_USN_JOURNAL failed: " + out.error());
    return parse_usn_batch(*out, start);
}

Result<std::vector<UsnChange>> latest_changes(char letter, uint64_t n) {
    auto v = open_volume(letter);
    if (!v) return std::move(v).take_error();
    return latest_changes_on(std::move(*v), n);
}

Result<std::vector<UsnChange>> latest_changes_on(VolumeReader volume, uint64_t n) {
    auto j = open_journal_on(std::move(volume));
    if (!j) return std::move(j).take_error();
    if (auto s = rewind_journal(*j); !s) return std::move(s).take_error();
    std::vector<UsnChange> all;
    while (n > 0 && all.size() < n) {
        auto batch = read_journal(*j, j->position);
        if (!batch) return std::move(batch).take_error();
        // A batch of only close records moves on; one without any record, or without progress,
        // is the end of the journal.
        const bool progressed = batch->next > j->position;
        j->position = batch->next;
        for (auto& c : batch->changes) all.push_back(std::move(c));
        if (batch->records == 0 || !progressed) break;
    }
    if (all.size() > n) all.erase(all.begin(), all.end() - ptrdiff_t(n));
    return all;
}

}  // namespace nimbalo

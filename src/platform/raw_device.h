// RawDevice: a volume, disk or image opened read-only for positioned reads.
// Sole owner of its OS handle (closed exactly once by the destructor); move-only through
// unique_ptr. Not safe for concurrent use: one thread reads at a time.
// The Windows implementation also answers the NTFS control codes (volume data, USN journal);
// elsewhere they report that the system has none, and callers read the structures off the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/result.h"

namespace nimbalo::platform {

// Fields of NTFS_VOLUME_DATA_BUFFER that the reader uses.
struct NtfsVolumeData {
    int64_t mft_start_lcn = 0;
    int64_t mft_valid_data_length = 0;
    uint32_t bytes_per_sector = 0;
    uint32_t bytes_per_cluster = 0;
    uint32_t bytes_per_record = 0;
};

// Fields of USN_JOURNAL_DATA that the journal reader uses.
struct UsnJournalData {
    uint64_t journal_id = 0;
    int64_t first_usn = 0;
    int64_t next_usn = 0;
};

class RawDevice {
public:
    virtual ~RawDevice() = default;
    RawDevice() = default;
    RawDevice(const RawDevice&) = delete;  // owns an OS handle: never copied
    RawDevice& operator=(const RawDevice&) = delete;

    // Read up to buf.size() bytes at an absolute byte offset. Returns the number of bytes read
    // (fewer only at the end of the device) or the error text. Short and interrupted reads are
    // retried here, in one place.
    virtual Result<size_t> read_at(uint64_t offset, std::span<std::byte> buf) = 0;

    // Size in bytes when the system knows it, else 0.
    virtual uint64_t size() const = 0;

    // FSCTL_GET_NTFS_VOLUME_DATA; an error text when the system has no such data for this device.
    virtual Result<NtfsVolumeData> ntfs_volume_data() { return fail("not supported"); }

    // FSCTL_QUERY_USN_JOURNAL / FSCTL_READ_USN_JOURNAL. read_usn_journal returns the control code's
    // output: an 8-byte next USN, then whole records.
    virtual Result<UsnJournalData> query_usn_journal() { return fail("not supported"); }
    virtual Result<std::vector<std::byte>> read_usn_journal(int64_t start_usn, uint64_t journal_id, size_t max_bytes) {
        (void)start_usn, (void)journal_id, (void)max_bytes;
        return fail("not supported");
    }

    // True when the control codes above are answered by the system (Windows volumes).
    virtual bool has_os_ntfs_support() const { return false; }
};

// The path the letter opens: Windows "\\.\X:", POSIX the value of NIMBALO_VOLUME_X.
// Fails with the texts the volume layer shows to users.
Result<std::unique_ptr<RawDevice>> open_raw_volume(char letter);

// Open a block device or image file by path (tests, tools).
Result<std::unique_ptr<RawDevice>> open_raw_path(const std::string& path);

// Bit j set: drive letter 'A' + j exists (Windows GetLogicalDrives; POSIX: NIMBALO_VOLUME_X is set).
uint32_t logical_drive_mask();

}  // namespace nimbalo::platform

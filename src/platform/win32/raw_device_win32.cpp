// RawDevice on Windows: volumes (\\.\X:) and files opened read-only, positioned reads, and the
// NTFS control codes the system answers for mounted NTFS volumes.
//
// Reads on a volume handle must start and end on sector boundaries (the handle bypasses the
// cache); read_at accepts any range and goes through an aligned bounce buffer when needed, so
// callers never think about sectors.
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/raw_device.h"
#include "platform/system.h"
#include "platform/win32/win32_util.h"

namespace nimbalo::platform {

using win32::OwnedHandle;
using win32::widen;

namespace {

// Control-code payloads laid out by hand: the SDK's structs change size with the target version,
// the byte layouts below are what the file system reads and writes.
constexpr size_t kNtfsVolumeDataSize = 96;  // NTFS_VOLUME_DATA_BUFFER
static_assert(sizeof(NTFS_VOLUME_DATA_BUFFER) == kNtfsVolumeDataSize);
constexpr size_t kUsnJournalDataSize = 64;  // USN_JOURNAL_DATA_V1 (the V0 answer is 56 bytes)
constexpr size_t kReadUsnJournalDataV0Size = 40;

template <class T>
T load(const unsigned char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);  // x64 is little-endian like the control codes' payloads
    return v;
}
template <class T>
void store(unsigned char* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

// Largest single ReadFile; bigger requests loop. Keeps the bounce buffer small as well.
constexpr size_t kMaxChunk = size_t(1) << 24;

class Win32RawDevice final : public RawDevice {
public:
    Win32RawDevice(OwnedHandle h, bool is_volume) : h_(std::move(h)), is_volume_(is_volume) {
        if (is_volume_) {
            GET_LENGTH_INFORMATION len{};
            DWORD got = 0;
            if (DeviceIoControl(h_.get(), IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &len, sizeof len, &got, nullptr))
                size_ = uint64_t(len.Length.QuadPart);
            DISK_GEOMETRY geo{};
            // 4096 is a multiple of every sector size in use, so it is safe when the system says nothing.
            sector_ = 4096;
            if (DeviceIoControl(h_.get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geo, sizeof geo, &got, nullptr) &&
                geo.BytesPerSector >= 512 && geo.BytesPerSector <= 65536 &&
                (geo.BytesPerSector & (geo.BytesPerSector - 1)) == 0)
                sector_ = geo.BytesPerSector;
        }
        if (size_ == 0) {
            LARGE_INTEGER s{};
            if (GetFileSizeEx(h_.get(), &s)) size_ = uint64_t(s.QuadPart);
        }
    }

    Result<size_t> read_at(uint64_t offset, std::span<std::byte> buf) override {
        if (buf.empty()) return size_t(0);
        if (offset % sector_ == 0 && buf.size() % sector_ == 0) return read_aligned(offset, buf);
        // Unaligned: read the covering sectors piecewise into a bounce buffer and copy out.
        size_t total = 0;
        std::vector<std::byte> bounce;
        while (total < buf.size()) {
            const uint64_t pos = offset + total;
            const uint64_t start = pos - pos % sector_;
            const size_t skip = size_t(pos - start);
            const size_t want = std::min(buf.size() - total, kMaxChunk - skip);
            const size_t span_len = (skip + want + sector_ - 1) / sector_ * sector_;
            bounce.resize(span_len);
            auto got = read_aligned(start, bounce);
            if (!got) return std::move(got).take_error();
            if (*got <= skip) break;  // the end of the device
            const size_t n = std::min(want, *got - skip);
            std::memcpy(buf.data() + total, bounce.data() + skip, n);
            total += n;
            if (*got < span_len) break;
        }
        return total;
    }

    uint64_t size() const override { return size_; }

    Result<NtfsVolumeData> ntfs_volume_data() override {
        unsigned char out[kNtfsVolumeDataSize] = {};
        DWORD got = 0;
        if (!DeviceIoControl(h_.get(), FSCTL_GET_NTFS_VOLUME_DATA, nullptr, 0, out, sizeof out, &got, nullptr))
            return fail(last_system_error_text());
        if (got < kNtfsVolumeDataSize) return fail("volume data answer too short: " + std::to_string(got) + " bytes");
        NtfsVolumeData d;
        d.bytes_per_sector = load<uint32_t>(out + 40);
        d.bytes_per_cluster = load<uint32_t>(out + 44);
        d.bytes_per_record = load<uint32_t>(out + 48);
        d.mft_valid_data_length = load<int64_t>(out + 56);
        d.mft_start_lcn = load<int64_t>(out + 64);
        return d;
    }

    Result<UsnJournalData> query_usn_journal() override {
        unsigned char out[kUsnJournalDataSize] = {};
        DWORD got = 0;
        if (!DeviceIoControl(h_.get(), FSCTL_QUERY_USN_JOURNAL, nullptr, 0, out, sizeof out, &got, nullptr))
            return fail(last_system_error_text());
        if (got < 24) return fail("journal data answer too short: " + std::to_string(got) + " bytes");
        UsnJournalData d;
        d.journal_id = load<uint64_t>(out + 0);
        d.first_usn = load<int64_t>(out + 8);
        d.next_usn = load<int64_t>(out + 16);
        return d;
    }

    Result<std::vector<std::byte>> read_usn_journal(int64_t start_usn, uint64_t journal_id, size_t max_bytes) override {
        unsigned char in[kReadUsnJournalDataV0Size] = {};
        store<int64_t>(in + 0, start_usn);
        store<uint32_t>(in + 8, 0x7FFFFFFF);  // ReasonMask: every reason
        store<uint32_t>(in + 12, 0);          // ReturnOnlyOnClose
        store<uint64_t>(in + 16, 0);          // Timeout
        store<uint64_t>(in + 24, 0);          // BytesToWaitFor: return at once
        store<uint64_t>(in + 32, journal_id);
        if (max_bytes > MAXDWORD) max_bytes = MAXDWORD;
        std::vector<std::byte> out(max_bytes);
        DWORD got = 0;
        if (!DeviceIoControl(h_.get(), FSCTL_READ_USN_JOURNAL, in, sizeof in, out.data(), DWORD(out.size()), &got, nullptr))
            return fail(last_system_error_text());
        out.resize(std::min<size_t>(got, out.size()));
        return out;
    }

    bool has_os_ntfs_support() const override { return is_volume_; }

private:
    // offset and buf.size() are multiples of sector_ (or sector_ is 1).
    Result<size_t> read_aligned(uint64_t offset, std::span<std::byte> buf) {
        if (size_ != 0) {
            if (offset >= size_) return size_t(0);
            if (buf.size() > size_ - offset) buf = buf.first(size_t(size_ - offset));
        }
        size_t total = 0;
        while (total < buf.size()) {
            const uint64_t pos = offset + total;
            LARGE_INTEGER li;
            li.QuadPart = LONGLONG(pos);
            if (!SetFilePointerEx(h_.get(), li, nullptr, FILE_BEGIN))
                return fail("seek to " + std::to_string(pos) + " failed: " + last_system_error_text());
            const DWORD chunk = DWORD(std::min(buf.size() - total, kMaxChunk));
            DWORD got = 0;
            if (!ReadFile(h_.get(), buf.data() + total, chunk, &got, nullptr)) {
                if (GetLastError() == ERROR_HANDLE_EOF) break;
                return fail("read at " + std::to_string(pos) + " failed: " + last_system_error_text());
            }
            if (got == 0) break;  // end of the device
            total += got;
        }
        return total;
    }

    OwnedHandle h_;
    bool is_volume_ = false;
    uint64_t size_ = 0;
    uint32_t sector_ = 1;  // files have no alignment rule
};

Result<std::unique_ptr<RawDevice>> open_device(const std::string& path, bool is_volume) {
    OwnedHandle h(CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr));
    if (!h.valid()) return fail("cannot open " + path + ": " + last_system_error_text());
    return std::unique_ptr<RawDevice>(new Win32RawDevice(std::move(h), is_volume));
}

}  // namespace

Result<std::unique_ptr<RawDevice>> open_raw_volume(char letter) {
    if (letter >= 'a' && letter <= 'z') letter = char(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'Z') return fail(std::string("not a drive letter: ") + letter);
    return open_device(std::string("\\\\.\\") + letter + ":", true);
}

Result<std::unique_ptr<RawDevice>> open_raw_path(const std::string& path) {
    // Device namespace paths (\\.\X:, \\.\PhysicalDrive0) need sector-aligned reads.
    return open_device(path, path.rfind("\\\\.\\", 0) == 0);
}

uint32_t logical_drive_mask() { return GetLogicalDrives(); }

}  // namespace nimbalo::platform

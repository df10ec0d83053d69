// POSIX volumes: drive letter X is the block device or image file named by NIMBALO_VOLUME_X,
// optionally "path@offset" to start at a partition's byte offset. Read-only, positioned reads.
#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>

#include "platform/raw_device.h"
#include "platform/system.h"

namespace nimbalo::platform {
namespace {

class PosixDevice final : public RawDevice {
public:
    PosixDevice(int fd, uint64_t base, uint64_t size) : fd_(fd), base_(base), size_(size) {}
    ~PosixDevice() override { ::close(fd_); }

    Result<size_t> read_at(uint64_t offset, std::span<std::byte> buf) override {
        size_t got = 0;
        while (got < buf.size()) {
            const uint64_t at = base_ + offset + got;
            if (at < offset || at > uint64_t(INT64_MAX)) return fail(system_error_text(EINVAL));
            const ssize_t n = ::pread(fd_, buf.data() + got, buf.size() - got, off_t(at));
            if (n < 0) {
                if (errno == EINTR) continue;
                return fail(system_error_text(errno));
            }
            if (n == 0) break;  // end of the file or device
            got += size_t(n);
        }
        return got;
    }
    uint64_t size() const override { return size_; }

private:
    int fd_;
    uint64_t base_;
    uint64_t size_;
};

// "path@123456" -> (path, 123456) when everything after the last '@' is decimal digits.
void split_offset(const std::string& value, std::string& path, uint64_t& offset) {
    path = value;
    offset = 0;
    const auto at = value.rfind('@');
    if (at == std::string::npos || at + 1 == value.size()) return;
    uint64_t v = 0;
    for (size_t i = at + 1; i < value.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(value[i]))) return;
        if (v > (UINT64_MAX - 9) / 10) return;
        v = v * 10 + uint64_t(value[i] - '0');
    }
    path = value.substr(0, at);
    offset = v;
}

Result<std::unique_ptr<RawDevice>> open_with_offset(const std::string& path, uint64_t offset) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail("cannot open " + path + ": " + system_error_text(errno));
    struct stat st{};
    uint64_t size = 0;
    if (::fstat(fd, &st) == 0) {
        if (S_ISBLK(st.st_mode)) {
            uint64_t bytes = 0;
            if (::ioctl(fd, BLKGETSIZE64, &bytes) == 0) size = bytes;
        } else if (S_ISREG(st.st_mode)) {
            size = uint64_t(st.st_size);
        } else if (S_ISDIR(st.st_mode)) {
            ::close(fd);
            return fail("cannot open " + path + ": " + system_error_text(EISDIR));
        }
    }
    size = size > offset ? size - offset : 0;
    return std::unique_ptr<RawDevice>(new PosixDevice(fd, offset, size));
}

std::string variable_for(char letter) {
    return std::string("NIMBALO_VOLUME_") + char(std::toupper(static_cast<unsigned char>(letter)));
}

}  // namespace

Result<std::unique_ptr<RawDevice>> open_raw_path(const std::string& value) {
    std::string path;
    uint64_t offset = 0;
    split_offset(value, path, offset);
    return open_with_offset(path, offset);
}

Result<std::unique_ptr<RawDevice>> open_raw_volume(char letter) {
    const std::string var = variable_for(letter);
    const auto value = get_env(var.c_str());
    if (!value || value->empty())
        return fail("cannot open drive " + std::string(1, char(std::toupper(static_cast<unsigned char>(letter)))) +
                    ": " + var + " is not set (set it to an NTFS image or device, path or path@offset)");
    return open_raw_path(*value);
}

uint32_t logical_drive_mask() {
    uint32_t mask = 0;
    for (int j = 0; j < 26; ++j) {
        const auto v = get_env(variable_for(char('A' + j)).c_str());
        if (v && !v->empty()) mask |= uint32_t(1) << j;
    }
    return mask;
}

}  // namespace nimbalo::platform

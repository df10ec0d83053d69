// MemoryDevice: a RawDevice over bytes in memory, for tests, fuzz targets and tools that build
// an image before handing it to the reader. No OS calls. Reads past the end return fewer bytes,
// like a file; a test may make every read from a given offset on fail (fail_from) to exercise
// the error paths. Single-threaded like every RawDevice.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/raw_device.h"

namespace nimbalo::platform {

class MemoryDevice final : public RawDevice {
public:
    explicit MemoryDevice(std::vector<std::byte> bytes) : bytes_(std::move(bytes)) {}

    Result<size_t> read_at(uint64_t offset, std::span<std::byte> buf) override {
        if (offset + buf.size() < offset || (offset < fail_to_ && offset + buf.size() > fail_from_))
            return fail("Input/output error");
        if (offset >= bytes_.size()) return size_t(0);
        const size_t n = std::min<uint64_t>(buf.size(), bytes_.size() - offset);
        std::memcpy(buf.data(), bytes_.data() + offset, n);
        return n;
    }
    uint64_t size() const override { return bytes_.size(); }

    // Test hook: any read that overlaps bytes [from, to) fails.
    void fail_reads_for_tests(uint64_t from, uint64_t to = UINT64_MAX) {
        fail_from_ = from;
        fail_to_ = to;
    }

private:
    std::vector<std::byte> bytes_;
    uint64_t fail_from_ = UINT64_MAX, fail_to_ = 0;
};

}  // namespace nimbalo::platform

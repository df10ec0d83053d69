#include "mft/runlist.h"

#include <cstdint>

namespace nimbalo {

std::vector<DataRun> decode_runlist(std::span<const std::byte> bytes) {
    std::vector<DataRun> runs;
    size_t at = 0;
    uint64_t position = 0;  // two's complement arithmetic: a corrupt list may wrap, never trap
    while (at < bytes.size()) {
        const auto h = static_cast<uint8_t>(bytes[at]);
        if (h == 0 || h > 0x8F) break;
        const unsigned len_size = h & 0x0F, off_size = h >> 4;
        if (len_size == 0 || len_size > 8) break;
        ++at;
        if (bytes.size() - at < len_size + off_size) break;
        uint64_t length = 0;
        for (unsigned i = 0; i < len_size; ++i) length |= uint64_t(uint8_t(bytes[at + i])) << (8 * i);
        at += len_size;
        if (off_size == 0) {
            runs.push_back({-1, length});
            continue;
        }
        uint64_t delta = 0;
        for (unsigned i = 0; i < off_size; ++i) delta |= uint64_t(uint8_t(bytes[at + i])) << (8 * i);
        at += off_size;
        if (off_size < 8 && (delta >> (8 * off_size - 1)) & 1) delta |= ~uint64_t(0) << (8 * off_size);
        position += delta;
        const auto lcn = static_cast<int64_t>(position);
        runs.push_back({lcn > 0 ? lcn : 0, length});
    }
    return runs;
}

}  // namespace nimbalo

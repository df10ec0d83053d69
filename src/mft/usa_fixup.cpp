#include "mft/usa_fixup.h"

#include "mft/ntfs_layout.h"

namespace nimbalo {

Status apply_fixup(std::span<std::byte> record) {
    if (record.size() < 8) return fail("bad update-sequence array");
    const auto u = ntfs::load<uint16_t>(record, 4);
    const auto c = ntfs::load<uint16_t>(record, 6);
    if (u == 0 || c < 2 || c > 64) return fail("bad update-sequence array");
    if (size_t(u) + 2 * size_t(c) > record.size()) return fail("update-sequence array out of bounds");
    const size_t strides = record.size() / 512;
    for (size_t i = 1; i < c && i <= strides; ++i) {
        record[512 * i - 2] = record[u + 2 * i];
        record[512 * i - 1] = record[u + 2 * i + 1];
    }
    return {};
}

}  // namespace nimbalo

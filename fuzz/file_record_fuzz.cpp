// apply_fixup + parse_file_record over arbitrary records of the sizes NTFS uses (chosen by the
// first byte). The record is copied into a buffer of exactly its size so any stray read is caught.
// Invariant: every name is valid UTF-8 and every reported number fits in 48 bits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>

#include "common/text.h"
#include "mft/file_record.h"
#include "mft/usa_fixup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const size_t sizes[] = {0, 24, 256, 512, 1024, 1024, 4096, 700};
    size_t len = sizes[data[0] & 7];
    ++data, --size;
    if (len == 0 || len > size) len = size;  // also try the bytes as they are (short last slots)
    if (len > 65536) return 0;
    auto buf = std::make_unique<std::byte[]>(len ? len : 1);
    std::memcpy(buf.get(), data, len);
    const std::span<std::byte> rec(buf.get(), len);

    const auto names = nimbalo::parse_file_record(rec, 0x0000FFFFFFFFFFFFull);
    for (const auto& n : names) {
        if (n.name.empty() || !nimbalo::is_valid_utf8(n.name)) std::abort();
        if (n.parent >> 48 || n.record >> 48) std::abort();
    }
    std::memcpy(buf.get(), data, len);
    if (nimbalo::apply_fixup(rec).ok()) (void)nimbalo::find_mft_data_runs(rec);
    return 0;
}

// The change-journal batch parser and the $J stream walk over arbitrary bytes. Invariants: the
// walk's output is itself a well-formed batch whose records all parse, its next position never
// goes backwards from the start, and names are valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "common/text.h"
#include "mft/usn_batch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 || size > 1 << 20) return 0;
    // First 4 bytes: where the stream starts (a page multiple plus an offset) and the batch limit.
    const int64_t base = int64_t(data[0]) * 4096 + (data[1] & 0xF8);
    const size_t limit = size_t(data[2] | (data[3] << 8)) * 8 + 64;
    const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data + 4), size - 4);

    const auto direct = nimbalo::parse_usn_batch(bytes, 7);
    for (const auto& c : direct.changes)
        if (!nimbalo::is_valid_utf8(c.name) || c.record >> 48 || c.parent >> 48) std::abort();

    const int64_t end = base + int64_t(bytes.size());
    const auto out = nimbalo::usn_stream_batch(bytes, base, end, base, limit);
    if (out.size() < 8 || out.size() - 8 > limit) std::abort();
    int64_t next;
    std::memcpy(&next, out.data(), 8);
    if (next < base || next > end) std::abort();
    // Every record the walk copied is whole: walking its output visits exactly its bytes.
    size_t s = 8;
    while (s + 8 <= out.size()) {
        uint32_t len;
        std::memcpy(&len, out.data() + s, 4);
        if (len < 8 || len > out.size() - s) std::abort();
        s += len;
    }
    if (s != out.size()) std::abort();
    (void)nimbalo::parse_usn_batch(out, base);
    return 0;
}

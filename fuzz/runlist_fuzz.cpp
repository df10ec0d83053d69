// decode_runlist over arbitrary bytes: no read outside the input, no undefined arithmetic, and the
// invariant that decoding a prefix never yields more extents than decoding the whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "mft/runlist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;  // run lists live inside one FILE record
    const std::span<const std::byte> in(reinterpret_cast<const std::byte*>(data), size);
    const auto all = nimbalo::decode_runlist(in);
    const auto half = nimbalo::decode_runlist(in.first(size / 2));
    if (half.size() > all.size()) std::abort();
    for (size_t i = 0; i < half.size(); ++i)
        if (!(half[i] == all[i])) std::abort();
    for (const auto& r : all)
        if (r.lcn < -1) std::abort();
    return 0;
}

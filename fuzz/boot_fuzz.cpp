// The volume opening path over an in-memory device: partition detection, boot sector checks,
// record 0, its attribute list and extension records, and the whole MFT read. The input is placed
// at the start of a device whose size the input chooses (bounded), so corrupt geometry, run lists
// and tables reach every check. Must never crash, hang or allocate beyond the device's size.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "mft/mft_reader.h"
#include "mft/volume.h"
#include "platform/memory_device.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > 256 * 1024) return 0;
    // First two bytes: the device size in 64 KiB units (at most 2 MiB), at least the input.
    const size_t units = (size_t(data[0]) | (size_t(data[1] & 0x7F) << 8)) % 32 + 1;
    data += 2, size -= 2;
    std::vector<std::byte> image(std::max(units * 65536, size));
    std::memcpy(image.data(), data, size);
    auto v = nimbalo::open_volume_on(std::make_unique<nimbalo::platform::MemoryDevice>(std::move(image)), 'F');
    if (!v) return 0;
    // Small pieces: the same reader code, more piece and run boundaries per input, less memory.
    auto names = nimbalo::read_mft_with_piece_size_for_tests(*v, 65536);
    (void)names;
    return 0;
}

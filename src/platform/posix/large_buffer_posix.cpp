#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>

#include "platform/large_buffer.h"

namespace nimbalo::platform {

namespace {
constexpr size_t kHugePage = size_t(2) << 20;
}

LargeBuffer::LargeBuffer(size_t bytes) {
    const size_t n = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* p = std::aligned_alloc(kHugePage, n ? n : kHugePage);
    if (!p) throw std::bad_alloc();
    // Only advice: where transparent huge pages are off, the memory is used as it is.
    (void)::madvise(p, n, MADV_HUGEPAGE);
    data_ = static_cast<std::byte*>(p);
    size_ = bytes;
}

LargeBuffer::~LargeBuffer() { std::free(data_); }

void advise_huge_pages(void* data, size_t bytes) {
    const auto begin = (reinterpret_cast<uintptr_t>(data) + kHugePage - 1) / kHugePage * kHugePage;
    const auto end = (reinterpret_cast<uintptr_t>(data) + bytes) / kHugePage * kHugePage;
    if (end > begin) (void)::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace nimbalo::platform

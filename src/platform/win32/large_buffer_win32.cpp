#include <windows.h>

#include <new>

#include "platform/large_buffer.h"

namespace nimbalo::platform {

// Plain committed pages: large pages need a privilege the service and the console do not hold.
LargeBuffer::LargeBuffer(size_t bytes) {
    void* p = ::VirtualAlloc(nullptr, bytes ? bytes : 1, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!p) throw std::bad_alloc();
    data_ = static_cast<std::byte*>(p);
    size_ = bytes;
}

LargeBuffer::~LargeBuffer() {
    if (data_) ::VirtualFree(data_, 0, MEM_RELEASE);
}

void advise_huge_pages(void*, size_t) {}

}  // namespace nimbalo::platform

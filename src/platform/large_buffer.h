// LargeBuffer: one big uninitialised allocation for bulk reads (the MFT reader's 32 MiB pieces),
// aligned and, where the system offers it, backed by huge pages: filling a fresh 32 MiB buffer
// then costs 16 page faults instead of 8,192, which on a virtual machine is most of the cost of
// reading an MFT from the page cache. Sole owner of the memory; move-only; not thread-safe.
#pragma once

#include <cstddef>
#include <utility>

namespace nimbalo::platform {

class LargeBuffer {
public:
    LargeBuffer() = default;
    explicit LargeBuffer(size_t bytes);  // throws std::bad_alloc when the system has no memory
    ~LargeBuffer();
    LargeBuffer(LargeBuffer&& o) noexcept : data_(std::exchange(o.data_, nullptr)), size_(std::exchange(o.size_, 0)) {}
    LargeBuffer& operator=(LargeBuffer&& o) noexcept {
        std::swap(data_, o.data_);
        std::swap(size_, o.size_);
        return *this;
    }
    LargeBuffer(const LargeBuffer&) = delete;  // owns the memory: moved, never copied
    LargeBuffer& operator=(const LargeBuffer&) = delete;

    std::byte* data() const { return data_; }
    size_t size() const { return size_; }

private:
    std::byte* data_ = nullptr;
    size_t size_ = 0;
};

// Asks for huge pages under an existing allocation (its 2 MiB-aligned interior), e.g. a vector
// about to be filled with millions of records. Advice only; never fails; Windows: nothing.
void advise_huge_pages(void* data, size_t bytes);

// Reserves room for n elements in a vector or string about to be filled once, front to back,
// and asks for huge pages under it: a page fault every 2 MiB instead of every 4 KiB.
template <class Container>
void reserve_huge(Container& c, size_t n) {
    c.reserve(n);
    advise_huge_pages(c.data(), c.capacity() * sizeof(*c.data()));
}

}  // namespace nimbalo::platform

// UniqueHandle: the one owner of an OS handle of any kind (file descriptor, socket, kernel or
// WinHTTP handle). Move-only; closes exactly once, on destruction or reset. Traits say what "none"
// is and how to close:
//     struct Traits { using Value = ...; static Value none(); static bool valid(Value);
//                     static void close(Value); };
// Not thread-safe: one thread owns a handle at a time.
#pragma once

#include <utility>

namespace nimbalo::platform {

template <class Traits>
class UniqueHandle {
public:
    using Value = typename Traits::Value;

    UniqueHandle() = default;
    explicit UniqueHandle(Value v) : v_(v) {}
    UniqueHandle(UniqueHandle&& o) noexcept : v_(o.release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    // Two owners would close the handle twice (or close another's handle that reused the number).
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Value get() const { return v_; }
    bool valid() const { return Traits::valid(v_); }
    explicit operator bool() const { return valid(); }
    Value release() { return std::exchange(v_, Traits::none()); }
    void reset(Value v = Traits::none()) {
        if (Traits::valid(v_)) Traits::close(v_);
        v_ = v;
    }

private:
    Value v_ = Traits::none();
};

}  // namespace nimbalo::platform

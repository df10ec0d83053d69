// Helpers shared by the Win32 platform files only (never included outside platform/win32):
// UTF-8 <-> UTF-16 for Win32 calls and the one owner of a kernel HANDLE.
// Conversions substitute U+FFFD for invalid input; all helpers are thread-safe.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace nimbalo::platform::win32 {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

// Sole owner of a kernel handle; closes it exactly once. Null and INVALID_HANDLE_VALUE both mean
// "none", since Win32 calls disagree on which one they return on failure.
class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(HANDLE h) : h_(h) {}
    OwnedHandle(OwnedHandle&& o) noexcept : h_(o.release()) {}
    OwnedHandle& operator=(OwnedHandle&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;  // two owners would close it twice
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ~OwnedHandle() { reset(); }

    HANDLE get() const { return h_; }
    bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
    HANDLE release() {
        HANDLE h = h_;
        h_ = nullptr;
        return h;
    }
    void reset(HANDLE h = nullptr) {
        if (valid()) CloseHandle(h_);
        h_ = h;
    }

private:
    HANDLE h_ = nullptr;
};

}  // namespace nimbalo::platform::win32

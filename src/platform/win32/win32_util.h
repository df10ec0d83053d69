// Helpers shared by the Win32 platform files only (never included outside platform/win32):
// UTF-8 <-> UTF-16 for Win32 calls and the one owner of a kernel HANDLE.
// Conversions substitute U+FFFD for invalid input; all helpers are thread-safe.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/unique_handle.h"

namespace nimbalo::platform::win32 {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

// A kernel handle. Null and INVALID_HANDLE_VALUE both mean "none", since Win32 calls disagree on
// which one they return on failure.
struct KernelHandleTraits {
    using Value = HANDLE;
    static Value none() { return nullptr; }
    static bool valid(Value h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Value h) { CloseHandle(h); }
};
using OwnedHandle = UniqueHandle<KernelHandleTraits>;

}  // namespace nimbalo::platform::win32

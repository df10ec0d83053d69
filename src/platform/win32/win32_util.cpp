#include "platform/win32/win32_util.h"

#include "common/text.h"

namespace nimbalo::platform::win32 {

// wchar_t is one UTF-16 code unit on Windows, so the pure converters serve directly.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::wstring widen(std::string_view utf8) {
    const std::u16string u = utf8_to_utf16(utf8);
    return std::wstring(u.begin(), u.end());
}

std::string narrow(std::wstring_view utf16) {
    return utf16_to_utf8(std::u16string_view(reinterpret_cast<const char16_t*>(utf16.data()), utf16.size()));
}

}  // namespace nimbalo::platform::win32

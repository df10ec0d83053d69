// UTF-8 text to the UTF-16 the wide Win32 calls take. Only for files in platform/win32.
#pragma once

#include <string>
#include <string_view>

#include "common/text.h"

namespace nimbalo::platform {

inline std::wstring to_wide(std::string_view utf8) {
    const std::u16string u = utf8_to_utf16(utf8);
    return std::wstring(u.begin(), u.end());
}

}  // namespace nimbalo::platform

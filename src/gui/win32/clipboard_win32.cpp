#include "gui/win32/clipboard.h"

#include <windows.h>

#include <cstring>

#include "common/text.h"

namespace nimbalo::gui {

namespace {

// OpenClipboard fails while another process holds it open; a few short retries ride that out.
bool open_clipboard(HWND owner) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (OpenClipboard(owner)) return true;
        Sleep(10);
    }
    return false;
}

}  // namespace

bool copy_to_clipboard(void* window, std::string_view utf8) {
    const std::u16string text = utf8_to_utf16(utf8);
    const size_t bytes = (text.size() + 1) * sizeof(char16_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory) return false;
    if (void* p = GlobalLock(memory)) {
        std::memcpy(p, text.c_str(), bytes);
        GlobalUnlock(memory);
    } else {
        GlobalFree(memory);
        return false;
    }
    if (!open_clipboard(static_cast<HWND>(window))) {
        GlobalFree(memory);
        return false;
    }
    const bool ok = EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    CloseClipboard();
    if (!ok) GlobalFree(memory);  // on success the clipboard owns it
    return ok;
}

std::optional<std::u16string> clipboard_text(void* window, std::size_t max_units) {
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !open_clipboard(static_cast<HWND>(window))) return std::nullopt;
    std::optional<std::u16string> out;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        const size_t capacity = GlobalSize(data) / sizeof(char16_t);
        if (const auto* p = static_cast<const char16_t*>(GlobalLock(data))) {
            size_t n = 0;
            while (n < capacity && n < max_units && p[n] != 0) ++n;
            out.emplace(p, n);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return out;
}

}  // namespace nimbalo::gui

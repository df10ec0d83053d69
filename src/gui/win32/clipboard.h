// The clipboard for the launcher's pages: "Copy path", "Copy config" and Ctrl+V.
// The clipboard is always opened with the launcher's window as owner: opened without one,
// EmptyClipboard leaves it ownerless and SetClipboardData then fails, copying nothing.
// Windows only; no Windows type crosses this header (the window is passed as a pointer).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace nimbalo::gui {

// Puts UTF-8 text on the clipboard as CF_UNICODETEXT (with its terminating zero), owned by
// `window` (an HWND). False when the clipboard could not be opened or written.
bool copy_to_clipboard(void* window, std::string_view utf8);

// The clipboard's Unicode text up to its terminating zero, at most `max_units` UTF-16 units;
// none when there is no text or the clipboard cannot be opened.
std::optional<std::u16string> clipboard_text(void* window, std::size_t max_units);

}  // namespace nimbalo::gui

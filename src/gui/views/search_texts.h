// The Search page's words: the full-panel message when there is nothing to list, the footer's
// status line and hint, the column heads, and the command that shows a file in Explorer. Chosen
// from the page's state by the first matching case. Pure.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "gui/views/search_page.h"

namespace nimbalo::gui {

struct SearchMessage {
    std::string glyph;  // one icon-font character (UTF-8)
    std::string title;
    std::string subtitle;
};
SearchMessage search_message(const SearchPage& page);

// The footer's left text (its right text is kFooterHint).
std::string footer_status(const SearchPage& page);
inline constexpr std::string_view kFooterHint = "Enter to open  \xC2\xB7  Right-click for options  \xC2\xB7  Esc";
inline constexpr std::string_view kQueryPlaceholder = "Search files and folders";

// "Name", "Size", "Modified", the sorted one with " ↑" or " ↓".
std::string column_head(const SearchPage& page, SortColumn column);

// 1234567 -> "1,234,567".
std::string grouped(uint64_t n);

// Explorer by its full path in the Windows folder (never a bare "explorer.exe", which the
// search path could resolve to a planted copy beside a portable launcher), and its parameters.
// An empty folder (the system did not say) gives an empty path: nothing is started.
std::string explorer_path(std::string_view windows_folder);
std::string explorer_select_parameters(std::string_view path);

// Icon-font glyphs of the page.
namespace glyph {
inline constexpr std::string_view Search = "\xEE\x9C\xA1";   // U+E721
inline constexpr std::string_view Refresh = "\xEE\x9C\xAC";  // U+E72C
inline constexpr std::string_view Error = "\xEE\x9E\xBA";    // U+E7BA
inline constexpr std::string_view Build = "\xEE\xA0\xA3";    // U+E823
inline constexpr std::string_view Folder = "\xEE\xA2\xB7";   // U+E8B7
inline constexpr std::string_view File = "\xEE\x9F\x83";     // U+E7C3
}  // namespace glyph

}  // namespace nimbalo::gui

// The Search page's state and its rules, apart from the window: editing the query (characters,
// surrogate pairs, paste), the keys, the mouse (hover, clicks, wheel), the 260 ms debounce that
// turns edits into Search jobs with rising ids, and the worker's SearchResults and ServiceStatus
// applied to the rows and the service state. Keys, points (physical pixels) and the clock come
// in as plain values; what the window must do (open a row, copy its path, rebuild the index,
// show the context menu, hide) comes back as a SearchCommand. Pure; owned by the window thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gui/canvas/text_engine.h"
#include "gui/views/icon_cache.h"
#include "gui/views/result_rows.h"
#include "gui/views/search_layout.h"
#include "gui/worker/messages.h"

namespace nimbalo::gui {

inline constexpr uint64_t kSearchDebounceMs = 260;
inline constexpr size_t kPasteMaxUnits = 65536;

enum class ReindexState : uint8_t { None = 0, Progress = 1, Sweeping = 2, Ready = 3, Unreachable = 4 };

// Virtual-key codes the page reacts to (the Windows values).
namespace vk {
inline constexpr uint32_t Back = 0x08, Return = 0x0D, Escape = 0x1B, Prior = 0x21, Next = 0x22, End = 0x23,
                          Home = 0x24, Left = 0x25, Up = 0x26, Right = 0x27, Down = 0x28, Delete = 0x2E, A = 0x41,
                          C = 0x43, V = 0x56, F5 = 0x74;
}  // namespace vk

// What the window layer carries out after a key or a click (the page has already changed).
enum class SearchCommand : uint8_t { None, Open, OpenLocation, CopyPath, Paste, Rebuild, Hide };

struct SearchPage {
    // The query box.
    std::string query;
    uint32_t caret = 0;  // in Unicode scalar values
    bool select_all = false;
    bool query_dirty = false;
    uint64_t last_edit_tick = 0;
    std::optional<char16_t> pending_high_surrogate;
    // Searches and the service.
    uint64_t search_id = 0;
    bool searching = false;
    std::optional<std::string> search_error;
    bool service_reachable = true;
    uint64_t entry_count = 0;
    ReindexState reindex_state = ReindexState::None;
    float reindex_progress = 0;
    // The list.
    std::vector<ResultRow> rows;
    uint32_t selection = 0, scroll = 0;
    SortColumn sort_column = SortColumn::Name;
    bool sort_descending = false;
    bool hover_row_active = false, refresh_hover = false;
    uint32_t hover_row = 0;
    IconCache icon_cache;

    // ---- editing -----------------------------------------------------------------------------
    uint32_t char_count() const;
    std::string trimmed_query() const;
    // WM_CHAR: one UTF-16 unit (pairs are joined; control characters are ignored).
    void type_unit(char16_t unit, uint64_t now);
    // Inserts UTF-8 text at the caret as typed (replacing the query when all of it is selected).
    void insert_text(std::string_view text, uint64_t now);
    // Ctrl+V with the clipboard's text: CR and LF become spaces.
    void paste(std::u16string_view clipboard, uint64_t now);

    // ---- keys and mouse ----------------------------------------------------------------------
    // WM_KEYDOWN (Esc included); the panel is repainted after every key.
    SearchCommand key(uint32_t virtual_key, bool ctrl, uint32_t rows_per_page, uint64_t now);
    void keep_visible(uint32_t rows_per_page);
    // Scrolls by `rows` (negative: towards the top), limited to the list.
    void wheel(int rows, uint32_t rows_per_page);
    // WM_MOUSEMOVE: updates the hover; true when it changed (repaint). cursor: 0 arrow, 1 hand, 2 I-beam.
    bool mouse_move(const SearchLayout& l, float x, float y, int& cursor);
    void clear_hover();
    // WM_LBUTTONDOWN / WM_LBUTTONDBLCLK. `text` measures the query for the caret.
    SearchCommand click(const SearchLayout& l, TextEngine& text, float x, float y, bool double_click);
    // WM_RBUTTONUP: the row under the point (now selected) for the context menu, if any.
    std::optional<uint32_t> right_click(const SearchLayout& l, float x, float y);
    // The query's horizontal scroll: how far its text is shifted left to keep the caret in view.
    float query_offset(const SearchLayout& l, TextEngine& text) const;

    // ---- searches and the service --------------------------------------------------------------
    struct Tick {
        std::optional<job::Search> search;  // to send (already counted in search_id)
        bool repaint = false;
    };
    // The debounce: 260 ms after the last edit, the trimmed query goes out (or the list clears).
    Tick tick(uint64_t now);
    // Drops results of older searches. True when it was applied. The selection stays on the
    // path it was on when that path comes back (scrolled into view), else it goes to the top row.
    bool apply_results(const event::SearchResults& results, const DiskInspector& inspect, uint32_t rows_per_page = 0);
    // True when the page needs a repaint.
    bool apply_status(const event::ServiceStatus& status);
    // F5 or the round button, after the Reindex job was sent.
    void rebuild_requested();
    bool rebuilding() const { return reindex_state == ReindexState::Progress || reindex_state == ReindexState::Sweeping; }
    // A head click or a new result: re-sort, the selection following its row.
    void sort_by(SortColumn column, bool descending);
    // Every show: the query, rows, selection, scroll and hover go; sort, counts, the service
    // state and the icon cache stay.
    void reset_for_show();

    // The selected row, when one exists at the selection.
    const ResultRow* selected_row() const { return selection < rows.size() ? &rows[selection] : nullptr; }
};

// The debug-log lines of the page: "search request #{} {:?}" and
// "search result #{} (current #{}) -> {} hits".
std::string search_request_log(const job::Search& search);
std::string search_result_log(const event::SearchResults& results, uint64_t current);
// A text in double quotes with backslash escapes.
std::string quoted(std::string_view text);

}  // namespace nimbalo::gui

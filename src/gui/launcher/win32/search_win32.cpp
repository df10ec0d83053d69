// The Search page's Win32 side. Every shell, clipboard and menu failure is ignored: the page
// simply stays as it is (an icon that cannot be extracted is cached as missing and drawn as a
// glyph).
#include "gui/launcher/win32/search_win32.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "gui/views/search_paint.h"
#include "gui/views/search_texts.h"
#include "gui/win32/clipboard.h"
#include "gui/win32/surface_impl_win32.h"
#include "platform/debug_log.h"
#include "platform/system.h"
#include "platform/win32/win32_util.h"

namespace nimbalo::gui {

namespace {

using platform::debug_log;
using platform::win32::narrow;
using platform::win32::widen;

constexpr UINT kMenuOpen = 11, kMenuLocation = 12, kMenuCopy = 13, kMenuProperties = 14;
constexpr int kWheelRows = 3;

SearchLayout layout_of(const LauncherApp& app) { return search_layout(app.geometry); }

std::optional<DiskEntry> inspect_path(const std::string& path) {
    const std::wstring w = widen(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(w.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    DiskEntry e;
    e.size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    e.attributes = data.dwFileAttributes;
    e.last_write = (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
    if (e.attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        WIN32_FIND_DATAW find{};
        const HANDLE h = FindFirstFileW(w.c_str(), &find);
        if (h != INVALID_HANDLE_VALUE) {
            e.reparse_tag = find.dwReserved0;
            FindClose(h);
        }
    }
    return e;
}

// The row's small shell icon as 32 x 32 premultiplied pixels (none when any step fails).
std::optional<Icon> extract_icon(const ResultRow& row) {
    SHFILEINFOW info{};
    const DWORD attributes = row.is_folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    if (!SHGetFileInfoW(widen(row.path).c_str(), attributes, &info, sizeof info,
                        SHGFI_ICON | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES) ||
        !info.hIcon)
        return std::nullopt;
    std::optional<Icon> icon;
    ICONINFO parts{};
    if (GetIconInfo(info.hIcon, &parts)) {
        // A top-down 32-bit DIB in a memory DC, as the panel presents through.
        if (auto surface = PresentSurface::create(kIconSize, kIconSize)) {
            const HDC dc = surface->impl().dc;
            uint32_t* px = surface->bits();
            const size_t n = size_t{kIconSize} * kIconSize;
            std::fill(px, px + n, 0u);
            const bool drawn = DrawIconEx(dc, 0, 0, info.hIcon, kIconSize, kIconSize, 0, nullptr, DI_NORMAL) != 0;
            GdiFlush();
            const std::vector<uint32_t> normal(px, px + n);
            std::fill(px, px + n, 0u);
            const bool masked = DrawIconEx(dc, 0, 0, info.hIcon, kIconSize, kIconSize, 0, nullptr, DI_MASK) != 0;
            GdiFlush();
            const std::vector<uint32_t> mask(px, px + n);
            if (drawn)
                icon = icon_from_drawings(normal, masked ? std::optional<std::span<const uint32_t>>(mask) : std::nullopt);
        }
        if (parts.hbmColor) DeleteObject(parts.hbmColor);
        if (parts.hbmMask) DeleteObject(parts.hbmMask);
    }
    DestroyIcon(info.hIcon);
    return icon;
}

const Icon* icon_for(SearchPage& page, const ResultRow& row) {
    const std::string key = icon_cache_key(row);
    const std::optional<Icon>* cached = page.icon_cache.find(key);
    if (!cached) cached = &page.icon_cache.insert(key, extract_icon(row));
    return cached->has_value() ? &**cached : nullptr;
}

void open_row(LauncherApp& app) {
    const ResultRow* row = app.search.selected_row();
    if (!row) return;
    ShellExecuteW(app.window, L"open", widen(row->path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    begin_hide(app);
}

// Explorer from the Windows folder, never found through the search path.
void open_location(LauncherApp& app) {
    const ResultRow* row = app.search.selected_row();
    if (!row) return;
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT n = GetWindowsDirectoryW(folder, MAX_PATH + 1);
    const std::string explorer = n > 0 && n <= MAX_PATH ? explorer_path(narrow(std::wstring_view(folder, n))) : std::string();
    if (!explorer.empty())
        ShellExecuteW(app.window, L"open", widen(explorer).c_str(), widen(explorer_select_parameters(row->path)).c_str(),
                      nullptr, SW_SHOWNORMAL);
    begin_hide(app);
}

void copy_path(LauncherApp& app) {
    if (const ResultRow* row = app.search.selected_row()) (void)copy_to_clipboard(app.window, row->path);
}

void properties(LauncherApp& app) {
    if (const ResultRow* row = app.search.selected_row())
        SHObjectProperties(app.window, SHOP_FILEPATH, widen(row->path).c_str(), nullptr);
}

void carry_out(LauncherApp& app, SearchCommand command) {
    switch (command) {
        case SearchCommand::Open: return open_row(app);
        case SearchCommand::OpenLocation: return open_location(app);
        case SearchCommand::CopyPath: return copy_path(app);
        case SearchCommand::Paste:
            if (auto text = clipboard_text(app.window, kPasteMaxUnits))
                app.search.paste(*text, platform::tick_count_ms());
            return;
        case SearchCommand::Rebuild: return rebuild_index(app);
        case SearchCommand::Hide: return begin_hide(app);
        case SearchCommand::None: return;
    }
}

void context_menu(LauncherApp& app) {
    const HMENU menu = CreatePopupMenu();
    if (!menu) return;
    AppendMenuW(menu, MF_STRING, kMenuOpen, L"Open");
    AppendMenuW(menu, MF_STRING, kMenuLocation, L"Open file location");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kMenuCopy, L"Copy path");
    AppendMenuW(menu, MF_STRING, kMenuProperties, L"Properties");
    SetMenuDefaultItem(menu, kMenuOpen, FALSE);
    POINT pt{};
    GetCursorPos(&pt);
    SetForegroundWindow(app.window);
    app.state.menu_open = true;  // the focus the menu takes must not hide the panel
    const UINT chosen =
        UINT(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, pt.x, pt.y, 0, app.window, nullptr));
    app.state.menu_open = false;
    DestroyMenu(menu);
    switch (chosen) {
        case kMenuOpen: return open_row(app);
        case kMenuLocation: return open_location(app);
        case kMenuCopy: return copy_path(app);
        case kMenuProperties: return properties(app);
        default: return;
    }
}

}  // namespace

void search_draw(LauncherApp& app) {
    if (!app.text) return;
    const SearchPaintContext ctx{app.state.focused, app.state.caret_on, platform::tick_count_ms()};
    paint_search(app.frame, *app.text, layout_of(app), app.search, ctx,
                 [&app](const ResultRow& row) { return icon_for(app.search, row); });
}

void search_char(LauncherApp& app, WPARAM unit) {
    app.search.type_unit(static_cast<char16_t>(unit), platform::tick_count_ms());
    repaint(app);
}

void search_key(LauncherApp& app, WPARAM virtual_key) {
    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    const SearchCommand command =
        app.search.key(static_cast<uint32_t>(virtual_key), ctrl, layout_of(app).rows_per_page, platform::tick_count_ms());
    carry_out(app, command);
    repaint(app);
}

void search_mouse_move(LauncherApp& app, float x, float y) {
    int cursor = 0;
    if (app.search.mouse_move(layout_of(app), x, y, cursor)) repaint(app);
    app.cursor_kind = cursor;
}

void search_click(LauncherApp& app, float x, float y, bool double_click) {
    if (!app.text) return;
    carry_out(app, app.search.click(layout_of(app), *app.text, x, y, double_click));
    repaint(app);
}

void search_right_button_up(LauncherApp& app, float x, float y) {
    if (!app.search.right_click(layout_of(app), x, y)) return;
    repaint(app);
    context_menu(app);
    repaint(app);
}

void search_wheel(LauncherApp& app, int wheel_delta) {
    if (wheel_delta == 0) return;
    // Turning the wheel away from the user shows earlier rows, as everywhere else on Windows.
    app.search.wheel(wheel_delta > 0 ? -kWheelRows : kWheelRows, layout_of(app).rows_per_page);
    // Another row now lies under the pointer.
    POINT pt{};
    if (GetCursorPos(&pt) && ScreenToClient(app.window, &pt)) {
        int cursor = 0;
        (void)app.search.mouse_move(layout_of(app), float(pt.x), float(pt.y), cursor);
        app.cursor_kind = cursor;
    }
    repaint(app);
}

void search_apply_event(LauncherApp& app, const WorkerEvent& e) {
    bool changed = false;
    if (const auto* results = std::get_if<event::SearchResults>(&e)) {
        debug_log(search_result_log(*results, app.search.search_id));
        const uint64_t start = platform::tick_count_ms();
        const uint32_t page = layout_of(app).rows_per_page;
        changed = app.search.apply_results(*results, inspect_path, page);
        const uint64_t rows_done = platform::tick_count_ms();
        // The first page's icons now, not in the repaint: the shell's extraction of a new kind
        // of icon can take tens of milliseconds; the cache then keeps it.
        for (size_t i = app.search.scroll; i < app.search.rows.size() && i < app.search.scroll + page; ++i)
            (void)icon_for(app.search, app.search.rows[i]);
        const uint64_t took = platform::tick_count_ms() - start;
        if (took >= 16)
            debug_log("search rows: " + std::to_string(app.search.rows.size()) + " rows in " +
                      std::to_string(rows_done - start) + " ms, icons " + std::to_string(took - (rows_done - start)) + " ms");
    } else if (const auto* status = std::get_if<event::ServiceStatus>(&e)) {
        changed = app.search.apply_status(*status);
    } else {
        return;
    }
    app.state.rebuild_running = app.search.rebuilding();
    if (changed) repaint(app);
}

bool search_tick(LauncherApp& app, uint64_t now) {
    SearchPage::Tick t = app.search.tick(now);
    if (t.search) {
        debug_log(search_request_log(*t.search));
        app.send_job(std::move(*t.search));
    }
    app.state.rebuild_running = app.search.rebuilding();
    return t.repaint || app.search.rebuilding();
}

void search_show(LauncherApp& app) { app.search.reset_for_show(); }

void search_warm_up(LauncherApp& app) {
    ResultRow folder;
    folder.path = "C:\\Windows";
    folder.name = "Windows";
    folder.is_folder = true;
    (void)icon_for(app.search, folder);
}

void rebuild_index(LauncherApp& app) {
    (void)app.send_job(job::Reindex{});
    app.search.rebuild_requested();
    app.state.rebuild_running = true;
}

}  // namespace nimbalo::gui

// The Settings page of the panel: the MCP and autostart switches, the MCP status card, the
// "Test MCP" / "Open log" / "Copy config" buttons, the client configuration and the tail of the
// activity log. This is the page's state and its decisions (layout, hit testing, keys, clicks,
// the status texts, reload from what the caller read); the window glue reads the files, flips the
// switches and sends the self-test job, the painter (settings_paint.h) draws it. Pure: no clock,
// no file, no window; the current time is passed in. Owned by the window thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "gui/canvas/colour.h"
#include "gui/launcher/launcher_state.h"
#include "gui/views/page_metrics.h"
#include "userdata/status.h"

namespace nimbalo::gui {

inline constexpr size_t kSettingsLogLines = 5;

// What the pointer is over; the numbers are the page's hover codes.
enum class SettingsHit : uint8_t { None = 0, Back = 1, McpSwitch = 2, TestMcp = 3, OpenLog = 4, CopyConfig = 5, Autostart = 6 };

struct SettingsLayout {
    Rect back, mcp_row, autostart_row, status_card, test_button, open_log_button, copy_button, config_card, activity;
};
SettingsLayout settings_layout(const PageMetrics& pm);

// Back arrow, MCP row, autostart row, "Test MCP", "Open log", "Copy config", in that order.
SettingsHit settings_hit(const SettingsLayout& layout, float x, float y);

struct SettingsResult {
    bool ok = false;
    std::string text;
};

struct SettingsPage {
    uint8_t hover = 0;  // a SettingsHit
    std::optional<StatusSnapshot> status;
    std::optional<uint64_t> activity_age;  // ms since the last MCP activity, as of the last reload
    std::vector<std::string> log_tail;     // oldest first
    bool selftest_running = false;
    std::optional<SettingsResult> result;
    std::string log_path;         // the full path of mcp.log, for the status card
    std::string config_fragment;  // client_config_fragment()

    // What the caller read: the switch, the status file, mcp.log's text (none when unreadable),
    // and the tick count now. Replaces the snapshot, the activity age and the log tail.
    void reload(std::optional<StatusSnapshot> snapshot, std::optional<std::string_view> log_text, uint64_t now);

    // Pointer moved: the new hover; true when it changed (repaint).
    bool hover_to(SettingsHit hit);

    // "Test MCP": true when McpSelfTest is to be sent now (not while one is out).
    bool begin_selftest();
    // SelfTestFinished arrived (the caller reloads and repaints).
    void selftest_finished(bool ok, std::string message);

    // The MCP switch was written (the new value) or not (the error); mcp_enabled follows.
    void mcp_switch_done(const Result<bool>& written, bool& mcp_enabled);
    // The autostart switch to `wanted` succeeded or not; autostart_enabled follows.
    void autostart_switch_done(const Status& written, bool wanted, bool& autostart_enabled);
};

// Keys of the Settings page: Esc and Ctrl+Backspace go back to the Search view; nothing else does
// anything (typed characters are ignored too).
enum class PageKey { Escape, Backspace, Other };
// True when the key changed the view (the caller repaints).
bool settings_key(SettingsPage& page, LauncherState& state, PageKey key, bool ctrl);
// The back arrow.
void settings_back(SettingsPage& page, LauncherState& state);

// The last n lines of a log text, oldest first, without their LF / CR LF; a final line without a
// line feed counts. Invalid UTF-8 is replaced by U+FFFD.
std::vector<std::string> last_lines(std::string_view text, size_t n);

// "no activity yet", "last activity just now", "... {} s ago", "... {} min ago", "... {} h ago".
std::string activity_text(std::optional<uint64_t> age_ms);

struct StatusLine {
    std::string text;
    Colour colour;
};
// The four lines of the status card.
std::array<StatusLine, 4> status_lines(const SettingsPage& page, bool mcp_enabled);

}  // namespace nimbalo::gui

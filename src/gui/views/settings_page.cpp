#include "gui/views/settings_page.h"

#include <cmath>

#include "common/text.h"
#include "userdata/activity_log.h"

namespace nimbalo::gui {

SettingsLayout settings_layout(const PageMetrics& pm) {
    const float s = pm.s, m = pm.m, l = pm.header_line;
    const float card_x = m + 18 * s, card_w = pm.P - 36 * s;
    SettingsLayout L;
    L.back = {m + 20 * s, m + 23 * s, 28 * s, 28 * s};
    L.mcp_row = {card_x, l + 14 * s, card_w, 52 * s};
    L.autostart_row = {card_x, l + 72 * s, card_w, 52 * s};
    L.status_card = {card_x, l + 133 * s, card_w, 96 * s};
    L.test_button = {card_x, l + 238 * s, 112 * s, 32 * s};
    L.open_log_button = {card_x + 120 * s, l + 238 * s, 96 * s, 32 * s};
    L.copy_button = {card_x + 224 * s, l + 238 * s, 116 * s, 32 * s};
    L.config_card = {card_x, l + 284 * s, card_w, 64 * s};
    const float activity_y = l + 360 * s;
    L.activity = {card_x, activity_y, card_w, std::fmax(40 * s, pm.footer_y - 12 * s - activity_y)};
    return L;
}

SettingsHit settings_hit(const SettingsLayout& L, float x, float y) {
    if (L.back.contains(x, y)) return SettingsHit::Back;
    if (L.mcp_row.contains(x, y)) return SettingsHit::McpSwitch;
    if (L.autostart_row.contains(x, y)) return SettingsHit::Autostart;
    if (L.test_button.contains(x, y)) return SettingsHit::TestMcp;
    if (L.open_log_button.contains(x, y)) return SettingsHit::OpenLog;
    if (L.copy_button.contains(x, y)) return SettingsHit::CopyConfig;
    return SettingsHit::None;
}

void SettingsPage::reload(std::optional<StatusSnapshot> snapshot, std::optional<std::string_view> log_text, uint64_t now) {
    activity_age = activity_age_of(snapshot, now);
    status = std::move(snapshot);
    log_tail = log_text ? last_lines(*log_text, kSettingsLogLines) : std::vector<std::string>{};
}

bool SettingsPage::hover_to(SettingsHit hit) {
    const auto code = static_cast<uint8_t>(hit);
    if (code == hover) return false;
    hover = code;
    return true;
}

bool SettingsPage::begin_selftest() {
    if (selftest_running) return false;
    selftest_running = true;
    result.reset();
    return true;
}

void SettingsPage::selftest_finished(bool ok, std::string message) {
    selftest_running = false;
    result = SettingsResult{ok, std::move(message)};
}

void SettingsPage::mcp_switch_done(const Result<bool>& written, bool& mcp_enabled) {
    if (!written) {
        result = SettingsResult{false, written.error()};
        return;
    }
    mcp_enabled = *written;
    result.reset();
    selftest_running = false;
}

void SettingsPage::autostart_switch_done(const Status& written, bool wanted, bool& autostart_enabled) {
    if (!written) {
        result = SettingsResult{false, written.error()};
        return;
    }
    autostart_enabled = wanted;
    // A switch error shows until the next successful switch change; a self-test outcome stays.
    if (result && !result->ok) result.reset();
}

void settings_back(SettingsPage& page, LauncherState& state) {
    state.view = View::Search;
    page.hover = 0;
}

bool settings_key(SettingsPage& page, LauncherState& state, PageKey key, bool ctrl) {
    if (key == PageKey::Escape || (key == PageKey::Backspace && ctrl)) {
        settings_back(page, state);
        return true;
    }
    return false;
}

std::vector<std::string> last_lines(std::string_view text, size_t n) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        const bool last = end == std::string_view::npos;
        if (last) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (last) break;
        start = end + 1;
    }
    std::vector<std::string> out;
    const size_t first = lines.size() > n ? lines.size() - n : 0;
    for (size_t i = first; i < lines.size(); ++i) out.push_back(sanitize_utf8(lines[i]));
    return out;
}

std::string activity_text(std::optional<uint64_t> age_ms) {
    if (!age_ms) return "no activity yet";
    const uint64_t a = *age_ms;
    if (a < 5000) return "last activity just now";
    if (a < 90000) return "last activity " + std::to_string(a / 1000) + " s ago";
    if (a >= 5400000) return "last activity " + std::to_string(a / 3600000) + " h ago";
    return "last activity " + std::to_string(a / 60000) + " min ago";
}

std::array<StatusLine, 4> status_lines(const SettingsPage& page, bool mcp_enabled) {
    std::array<StatusLine, 4> out;
    const Colour strong = white(0.8f), dim = white(0.34f);

    if (!mcp_enabled)
        out[0] = {"Status: disabled", strong};
    else if (page.selftest_running)
        out[0] = {"Status: enabled \xC2\xB7 testing the server\xE2\x80\xA6", strong};
    else if (page.status && page.status->requests > 0)
        out[0] = {"Status: enabled \xC2\xB7 " + activity_text(page.activity_age) + " \xC2\xB7 " +
                      std::to_string(page.status->requests) + " requests this session",
                  strong};
    else
        out[0] = {"Status: enabled \xC2\xB7 waiting for an MCP client", strong};

    if (page.status && !page.status->last_method.empty()) {
        std::string tool = page.status->last_tool.empty() ? "" : " (" + page.status->last_tool + ")";
        out[1] = {"Last request: " + page.status->last_method + tool + " \xC2\xB7 " + page.status->session_started, dim};
    } else {
        out[1] = {"No MCP client has connected yet", dim};
    }

    out[2] = {"Log: " + page.log_path + "  \xC2\xB7  rotates at " + std::to_string(kLogRotateBytes / 1024) + " KB, keeps " +
                  std::to_string(kLogKeepFiles) + " files",
              dim};

    if (page.result)
        out[3] = page.result->ok ? StatusLine{"\xE2\x9C\x93 " + page.result->text, strong}
                                 : StatusLine{"\xE2\x9C\x95 " + page.result->text, palette::error};
    else if (page.status && !page.status->last_error.empty())
        out[3] = {"Last error: " + page.status->last_error, rgb(0xFFAA78, 1.0f)};
    else
        out[3] = {"Selftest not run yet \xE2\x80\x94 press \xE2\x80\x9CTest MCP\xE2\x80\x9D", dim};
    return out;
}

}  // namespace nimbalo::gui

// The Settings page: layout, hit testing, keys, the switches, the self-test, the status texts and
// the log tail, and that its painting stays inside the panel.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "gui/fake_text_backend.h"
#include "gui/views/settings_page.h"
#include "gui/views/settings_paint.h"

using namespace nimbalo;
using namespace nimbalo::gui;

namespace {

void expect_rect(const Rect& r, float x, float y, float w, float h, const char* what) {
    EXPECT_FLOAT_EQ(r.x, x) << what;
    EXPECT_FLOAT_EQ(r.y, y) << what;
    EXPECT_FLOAT_EQ(r.w, w) << what;
    EXPECT_FLOAT_EQ(r.h, h) << what;
}

StatusSnapshot snapshot(uint64_t requests, uint64_t last_ms, std::string method = "tools/call", std::string tool = "search") {
    StatusSnapshot s;
    s.pid = 42;
    s.requests = requests;
    s.last_ms = last_ms;
    s.last_method = std::move(method);
    s.last_tool = std::move(tool);
    s.session_started = "2026-12-10 09:00:00";
    return s;
}

}  // namespace

TEST(SettingsLayout, NumbersAtOneHundredAndOneHundredFiftyPercent) {
    const auto L = settings_layout(page_metrics(window_geometry(1.0f)));
    expect_rect(L.back, 21, 24, 28, 28, "back");
    expect_rect(L.mcp_row, 19, 89, 764, 52, "mcp row");
    expect_rect(L.autostart_row, 19, 147, 764, 52, "autostart row");
    expect_rect(L.status_card, 19, 208, 764, 96, "status card");
    expect_rect(L.test_button, 19, 313, 112, 32, "test");
    expect_rect(L.open_log_button, 139, 313, 96, 32, "open log");
    expect_rect(L.copy_button, 243, 313, 116, 32, "copy");
    expect_rect(L.config_card, 19, 359, 764, 64, "config card");
    // footer_y = round(1 + 560 - 38) = 523; 523 - 12 - 435 = 76.
    expect_rect(L.activity, 19, 435, 764, 76, "activity");

    const auto L15 = settings_layout(page_metrics(window_geometry(1.5f)));
    // m = 2, separator round(2 + 111) = 113.
    expect_rect(L15.mcp_row, 29, 113 + 21, 1146, 78, "mcp row 150");
    expect_rect(L15.copy_button, 29 + 336, 113 + 357, 174, 48, "copy 150");
}

TEST(SettingsLayout, HitTestingInOrderWithHalfOpenEdges) {
    const auto L = settings_layout(page_metrics(window_geometry(1.0f)));
    EXPECT_EQ(settings_hit(L, 21, 24), SettingsHit::Back);
    EXPECT_EQ(settings_hit(L, 49, 24), SettingsHit::None);  // right edge is outside
    EXPECT_EQ(settings_hit(L, 400, 100), SettingsHit::McpSwitch);
    EXPECT_EQ(settings_hit(L, 400, 141), SettingsHit::None);  // the gap between the rows
    EXPECT_EQ(settings_hit(L, 700, 160), SettingsHit::Autostart);
    EXPECT_EQ(settings_hit(L, 20, 320), SettingsHit::TestMcp);
    EXPECT_EQ(settings_hit(L, 135, 320), SettingsHit::None);
    EXPECT_EQ(settings_hit(L, 140, 344), SettingsHit::OpenLog);
    EXPECT_EQ(settings_hit(L, 358, 313), SettingsHit::CopyConfig);
    EXPECT_EQ(settings_hit(L, 400, 250), SettingsHit::None);  // the status card is not clickable
}

TEST(SettingsPage, HoverReportsOnlyChanges) {
    SettingsPage page;
    EXPECT_TRUE(page.hover_to(SettingsHit::CopyConfig));
    EXPECT_EQ(page.hover, 5);
    EXPECT_FALSE(page.hover_to(SettingsHit::CopyConfig));
    EXPECT_TRUE(page.hover_to(SettingsHit::None));
}

TEST(SettingsPage, KeysOnlyEscAndCtrlBackspaceLeave) {
    LauncherState state(0);
    SettingsPage page;
    state.view = View::Settings;
    page.hover = 3;
    EXPECT_FALSE(settings_key(page, state, PageKey::Other, false));
    EXPECT_FALSE(settings_key(page, state, PageKey::Backspace, false));
    EXPECT_FALSE(settings_key(page, state, PageKey::Other, true));
    EXPECT_EQ(state.view, View::Settings);
    EXPECT_EQ(page.hover, 3);
    EXPECT_TRUE(settings_key(page, state, PageKey::Escape, false));
    EXPECT_EQ(state.view, View::Search);
    EXPECT_EQ(page.hover, 0);
    state.view = View::Settings;
    EXPECT_TRUE(settings_key(page, state, PageKey::Backspace, true));
    EXPECT_EQ(state.view, View::Search);
}

TEST(SettingsPage, TestMcpTwiceSendsOneJobUntilTheResultArrives) {
    SettingsPage page;
    page.result = SettingsResult{false, "old"};
    int sent = 0;
    for (int i = 0; i < 2; ++i)
        if (page.begin_selftest()) ++sent;
    EXPECT_EQ(sent, 1);
    EXPECT_FALSE(page.result.has_value());
    EXPECT_EQ(status_lines(page, true)[0].text, "Status: enabled \xC2\xB7 testing the server\xE2\x80\xA6");
    page.selftest_finished(false, "MCP is disabled \xE2\x80\x94 switch it on first");
    EXPECT_FALSE(page.selftest_running);
    const auto line4 = status_lines(page, true)[3];
    EXPECT_EQ(line4.text, "\xE2\x9C\x95 MCP is disabled \xE2\x80\x94 switch it on first");
    EXPECT_FLOAT_EQ(line4.colour.r, palette::error.r);
    EXPECT_TRUE(page.begin_selftest());
    page.selftest_finished(true, "handshake ok");
    EXPECT_EQ(status_lines(page, true)[3].text, "\xE2\x9C\x93 handshake ok");
}

TEST(SettingsPage, SwitchOutcomes) {
    SettingsPage page;
    bool mcp = true;
    page.selftest_running = true;
    page.mcp_switch_done(Result<bool>(fail("cannot write settings: Access is denied.")), mcp);
    EXPECT_TRUE(mcp);
    ASSERT_TRUE(page.result.has_value());
    EXPECT_EQ(status_lines(page, mcp)[3].text, "\xE2\x9C\x95 cannot write settings: Access is denied.");
    page.mcp_switch_done(Result<bool>(false), mcp);
    EXPECT_FALSE(mcp);
    EXPECT_FALSE(page.result.has_value());
    EXPECT_FALSE(page.selftest_running);

    bool autostart = false;
    page.autostart_switch_done(Status(fail("RegSetValueExW failed")), true, autostart);
    EXPECT_FALSE(autostart);
    EXPECT_EQ(page.result->text, "RegSetValueExW failed");
    page.autostart_switch_done(Status{}, true, autostart);
    EXPECT_TRUE(autostart);
    EXPECT_FALSE(page.result.has_value());  // the error goes with the next successful change
    page.result = SettingsResult{true, "handshake ok"};
    page.autostart_switch_done(Status{}, false, autostart);
    EXPECT_TRUE(page.result.has_value());  // a self-test outcome stays
}

TEST(SettingsStatus, ActivityAgeBoundaries) {
    struct Case {
        uint64_t age;
        const char* text;
    } cases[] = {
        {0, "last activity just now"},        {4999, "last activity just now"},     {5000, "last activity 5 s ago"},
        {89999, "last activity 89 s ago"},     {90000, "last activity 1 min ago"},   {5399999, "last activity 89 min ago"},
        {5400000, "last activity 1 h ago"},    {86400000, "last activity 24 h ago"},
    };
    for (const auto& c : cases) EXPECT_EQ(activity_text(c.age), c.text) << c.age;
    EXPECT_EQ(activity_text(std::nullopt), "no activity yet");
}

TEST(SettingsStatus, LinesFromTheSnapshot) {
    SettingsPage page;
    page.log_path = "C:\\Users\\me\\AppData\\Local\\Nimbalo\\mcp.log";
    // No status file.
    page.reload(std::nullopt, std::nullopt, 1000000);
    auto lines = status_lines(page, true);
    EXPECT_EQ(lines[0].text, "Status: enabled \xC2\xB7 waiting for an MCP client");
    EXPECT_EQ(lines[1].text, "No MCP client has connected yet");
    EXPECT_EQ(lines[2].text,
              "Log: C:\\Users\\me\\AppData\\Local\\Nimbalo\\mcp.log  \xC2\xB7  rotates at 192 KB, keeps 3 files");
    EXPECT_EQ(lines[3].text, "Selftest not run yet \xE2\x80\x94 press \xE2\x80\x9CTest MCP\xE2\x80\x9D");

    // A session 95 s after its last write, 7 requests.
    page.reload(snapshot(7, 1000000), std::nullopt, 1095000);
    lines = status_lines(page, true);
    EXPECT_EQ(lines[0].text, "Status: enabled \xC2\xB7 last activity 1 min ago \xC2\xB7 7 requests this session");
    EXPECT_EQ(lines[1].text, "Last request: tools/call (search) \xC2\xB7 2026-12-10 09:00:00");

    // Disabled wins over an old session's file.
    EXPECT_EQ(status_lines(page, false)[0].text, "Status: disabled");

    // Started but no request yet; no tool; a last error.
    auto s = snapshot(0, 1000000, "initialize", "");
    s.last_error = "index unavailable";
    page.reload(s, std::nullopt, 1000000);
    lines = status_lines(page, true);
    EXPECT_EQ(lines[0].text, "Status: enabled \xC2\xB7 waiting for an MCP client");
    EXPECT_EQ(lines[1].text, "Last request: initialize \xC2\xB7 2026-12-10 09:00:00");
    EXPECT_EQ(lines[3].text, "Last error: index unavailable");
    // A clock behind last_ms reads as just now.
    page.reload(snapshot(1, 2000000), std::nullopt, 1000000);
    EXPECT_EQ(status_lines(page, true)[0].text, "Status: enabled \xC2\xB7 last activity just now \xC2\xB7 1 requests this session");
}

TEST(SettingsLog, LastFiveLinesInFileOrder) {
    std::string log;
    for (int i = 1; i <= 12; ++i) log += "line " + std::to_string(i) + (i % 2 ? "\r\n" : "\n");
    SettingsPage page;
    page.reload(std::nullopt, log, 0);
    ASSERT_EQ(page.log_tail.size(), 5u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(page.log_tail[i], "line " + std::to_string(8 + i));

    EXPECT_EQ(last_lines("a\nb", 5), (std::vector<std::string>{"a", "b"}));  // a line still being written
    EXPECT_EQ(last_lines("", 5), std::vector<std::string>{});
    EXPECT_EQ(last_lines("\n\nx\n", 2), (std::vector<std::string>{"", "x"}));
    EXPECT_EQ(last_lines("bad \xFF byte\n", 5), (std::vector<std::string>{"bad \xEF\xBF\xBD byte"}));
    page.reload(std::nullopt, std::nullopt, 0);  // unreadable log: no lines
    EXPECT_TRUE(page.log_tail.empty());
}

TEST(SettingsPaint, DrawsInsideThePanelOnly) {
    for (float scale : {1.0f, 1.5f, 0.5f}) {
        const auto g = window_geometry(scale);
        TextEngine text(std::make_unique<nimbalo::gui::testing::FakeTextBackend>(g.width, g.height, scale));
        Canvas c(g.width, g.height);
        SettingsPage page;
        page.config_fragment = "\"nimbalo\": { \"command\": \"C:\\\\nimbalo.exe\", \"args\": [\"mcp\"] }";
        for (int i = 0; i < 5; ++i) page.log_tail.push_back(std::string(300, 'x'));
        page.hover = 3;
        paint_settings(c, text, g, page, true, false);
        size_t inked = 0;
        for (int y = 0; y < g.height; ++y)
            for (int x = 0; x < g.width; ++x) {
                if (c.at(x, y) == 0) continue;
                ++inked;
                EXPECT_TRUE(x >= g.margin && x < g.margin + g.panel_width) << x;
            }
        EXPECT_GT(inked, 1000u);
        // The log lines that end above the footer hairline are drawn; none crosses into the
        // footer band (the fifth would sit on the footer's texts).
        const auto pm = page_metrics(g);
        const auto L = settings_layout(pm);
        for (int line = 0; line < 5; ++line) {
            const float yf = L.activity.y + (30 + 17 * static_cast<float>(line)) * scale;
            const int y = static_cast<int>(yf);
            int ink = 0;
            for (int x = static_cast<int>(L.activity.x + 4 * scale); x < static_cast<int>(L.activity.x + 60 * scale); ++x)
                ink += c.at(x, y) != 0;
            if (yf + 0.5f * text.line_height(10) <= pm.footer_y)
                EXPECT_GT(ink, 0) << scale << " line " << line;
            else
                EXPECT_EQ(ink, 0) << scale << " line " << line;
        }
    }
}

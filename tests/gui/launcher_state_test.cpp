// The launcher's geometry, tray menu and show/hide/tick decisions, with an injected clock.
#include <gtest/gtest.h>

#include "gui/launcher/ensure_service.h"
#include "gui/launcher/geometry.h"
#include "gui/launcher/launcher_state.h"
#include "gui/launcher/tray_menu.h"

using namespace nimbalo::gui;

TEST(LauncherGeometry, WindowSizeByDpi) {
    struct Case {
        uint32_t dpi;
        float scale;
        int32_t width, height, margin, panel_w, panel_h;
    } cases[] = {
        {96, 1.0f, 802, 562, 1, 800, 560},   {144, 1.5f, 1204, 844, 2, 1200, 840},
        {0, 1.0f, 802, 562, 1, 800, 560},    {120, 1.25f, 1002, 702, 1, 1000, 700},
        {24, 0.5f, 402, 282, 1, 400, 280},   {192, 2.0f, 1604, 1124, 2, 1600, 1120},
        {168, 1.75f, 1404, 984, 2, 1400, 980},
    };
    for (const auto& c : cases) {
        const float s = scale_for_dpi(c.dpi);
        EXPECT_FLOAT_EQ(s, c.scale) << c.dpi;
        const auto g = window_geometry(s);
        EXPECT_EQ(g.width, c.width) << c.dpi;
        EXPECT_EQ(g.height, c.height) << c.dpi;
        EXPECT_EQ(g.margin, c.margin) << c.dpi;
        EXPECT_EQ(g.panel_width, c.panel_w) << c.dpi;
        EXPECT_EQ(g.panel_height, c.panel_h) << c.dpi;
    }
}

TEST(LauncherGeometry, OriginOnTheWorkArea) {
    const auto g = window_geometry(1.0f);
    struct Case {
        WorkArea work;
        int32_t x, y;
    } cases[] = {
        {{0, 0, 1920, 1040}, 559, 176},
        {{-1920, 0, 1920, 1080}, -1361, 183},  // a monitor left of the primary one
        {{0, 40, 1280, 760}, 239, 169},        // taskbar at the top
        {{0, 0, 802, 562}, 0, 95},             // no monitor information: the window's own size
        {{0, 0, 640, 480}, -81, 81},           // smaller than the window: centred, overhanging
    };
    for (const auto& c : cases) {
        const auto o = window_origin(c.work, g);
        EXPECT_EQ(o.x, c.x);
        EXPECT_EQ(o.y, c.y);
    }
}

TEST(TrayMenu, ItemsAndTexts) {
    const auto on = tray_menu(true, true);
    const auto off = tray_menu(false, false);
    ASSERT_EQ(on.size(), 9u);
    const unsigned ids[] = {1, 3, 0, 5, 4, 6, 7, 0, 2};
    for (size_t i = 0; i < on.size(); ++i) EXPECT_EQ(on[i].id, ids[i]) << i;
    EXPECT_EQ(on[3].text, "MCP server: on  (click to turn off)");
    EXPECT_EQ(off[3].text, "MCP server: off  (click to turn on)");
    EXPECT_EQ(on[6].text, "Start with Windows: on  (click to turn off)");
    EXPECT_EQ(off[6].text, "Start with Windows: off  (click to turn on)");
    EXPECT_EQ(on[4].text, "MCP settings\xE2\x80\xA6");
    EXPECT_TRUE(on[2].text.empty() && on[7].text.empty());
}

TEST(LauncherState, ToggleShowHide) {
    LauncherState s(0);
    EXPECT_EQ(s.toggle(), LauncherState::Toggle::Show);
    s.show(1000);
    EXPECT_TRUE(s.visible && s.show_animating && s.focused && s.caret_on);
    EXPECT_EQ(s.toggle(), LauncherState::Toggle::BeginHide);
    ASSERT_TRUE(s.begin_hide(1500));
    EXPECT_EQ(s.toggle(), LauncherState::Toggle::Ignore) << "a toggle during the hide animation does nothing";
    EXPECT_FALSE(s.begin_hide(1510)) << "hiding once";
    EXPECT_TRUE(s.tick(1533).advance_hide);
    s.show(1540);  // "Nimbalo.Show" during hiding shows again at once
    EXPECT_FALSE(s.hiding);
    s.view = View::Settings;
    s.begin_hide(2000);
    s.hidden();
    EXPECT_FALSE(s.visible || s.hiding || s.active_flag);
    s.show(3000);
    EXPECT_EQ(s.view, View::Search) << "showing always starts in the Search view";
}

TEST(LauncherState, FocusLossGraceAndMenu) {
    struct Case {
        const char* what;
        uint64_t lost_after;
        bool active_before, menu_open;
        bool hides;
    } cases[] = {
        {"within the grace", 700, true, false, false},
        {"at the grace", 701, true, false, true},
        {"never was active", 2000, false, false, false},
        {"context menu open", 2000, true, true, false},
    };
    for (const auto& c : cases) {
        LauncherState s(0);
        s.show(10000);
        s.active_flag = c.active_before;
        s.menu_open = c.menu_open;
        EXPECT_EQ(s.deactivated(10000 + c.lost_after), c.hides) << c.what;
        if (!c.hides) {
            EXPECT_FALSE(s.active_flag) << c.what;
        }
    }
}

TEST(LauncherState, ForegroundRetries) {
    LauncherState s(0);
    s.show(5000);
    int retries = 0;
    for (uint64_t now = 5033; now <= 6000; now += 33) retries += s.tick(now).retry_foreground;
    EXPECT_EQ(retries, 4) << "at most 4 more attempts, within 900 ms";
    s.show(7000);
    s.activated();
    EXPECT_FALSE(s.tick(7033).retry_foreground) << "none once active";
    s.show(8000);
    EXPECT_FALSE(s.tick(8900).retry_foreground) << "none after 899 ms";
}

TEST(LauncherState, PeriodicWorkOfTheTick) {
    LauncherState s(1'000'000);
    EXPECT_FALSE(s.tick(1'003'000).remove_leftover);
    EXPECT_TRUE(s.tick(1'003'001).remove_leftover);
    EXPECT_FALSE(s.tick(1'004'000).remove_leftover) << "once";

    // The first show checks for updates (the clock is past 5 minutes); a show within 5 minutes
    // of it does not; while shown, again after 30 minutes.
    s.show(2'000'000);
    EXPECT_TRUE(s.update_check_due(2'000'000));
    s.show(2'100'000);
    EXPECT_FALSE(s.update_check_due(2'100'000));
    int polls = 0, checks = 0;
    for (uint64_t now = 2'100'000; now < 2'100'000 + 1'900'000; now += 33) {
        const auto t = s.tick(now);
        polls += t.refresh_status;
        checks += t.check_update;
    }
    EXPECT_EQ(checks, 1);
    EXPECT_NEAR(polls, 1'900'000 / 462, 300);  // one every 450 ms or so (ticks of 33 ms)
    s.update_failed = true;
    EXPECT_FALSE(s.update_check_due(9'000'000)) << "no checks after a failed update";

    LauncherState fresh(0);
    fresh.show(100'000);
    EXPECT_FALSE(fresh.update_check_due(100'000)) << "the system has run for less than 5 minutes";

    LauncherState settings(0);
    settings.show(10'000);
    settings.view = View::Settings;
    settings.settings_opened_tick = 10'000;
    EXPECT_FALSE(settings.tick(10'799).reload_settings);
    EXPECT_TRUE(settings.tick(10'800).reload_settings);
}

TEST(LauncherState, HiddenPanelOnlyDrainsAndCleansUp) {
    LauncherState s(0);
    const auto t = s.tick(100'000);
    EXPECT_TRUE(t.remove_leftover);
    EXPECT_FALSE(t.repaint || t.refresh_status || t.check_update || t.retry_foreground || t.advance_hide);
}

TEST(EnsureService, WhenToInstall) {
    struct Case {
        const char* what;
        bool installed_copy, answers, scm_running, admin;
        EnsureService want;
    } cases[] = {
        {"installed, answering", true, true, true, false, EnsureService::Nothing},
        // Issue 13, mend 2: the service is building its first index and not yet listening.
        {"installed, start pending", true, false, true, false, EnsureService::Nothing},
        {"portable copy, service running", false, true, true, false, EnsureService::Nothing},
        {"no service, administrator", true, false, false, true, EnsureService::Installed},
        {"no service, user", false, false, false, false, EnsureService::ElevationStarted},
    };
    for (const auto& c : cases) {
        int installs = 0, elevations = 0;
        EnsureServiceSystem sys;
        sys.is_installed_copy = [&] { return c.installed_copy; };
        sys.service_answers = [&] { return c.answers; };
        sys.service_running_or_starting = [&] { return c.scm_running; };
        sys.has_admin_rights = [&] { return c.admin; };
        sys.install_in_process = [&]() -> nimbalo::Status {
            ++installs;
            return {};
        };
        sys.start_elevated_install = [&] {
            ++elevations;
            return true;
        };
        EXPECT_EQ(ensure_service(sys), c.want) << c.what;
        EXPECT_EQ(installs, c.want == EnsureService::Installed ? 1 : 0) << c.what;
        EXPECT_EQ(elevations, c.want == EnsureService::ElevationStarted ? 1 : 0) << c.what;
    }
}

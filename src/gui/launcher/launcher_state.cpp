#include "gui/launcher/launcher_state.h"

namespace nimbalo::gui {

namespace {
uint64_t since(uint64_t now, uint64_t then) { return now > then ? now - then : 0; }
}  // namespace

LauncherState::Toggle LauncherState::toggle() const {
    if (hiding) return Toggle::Ignore;
    return visible ? Toggle::BeginHide : Toggle::Show;
}

void LauncherState::show(uint64_t now) {
    visible = focused = show_animating = caret_on = true;
    hiding = false;
    foreground_retries = 0;
    view = View::Search;
    show_tick = now;
}

bool LauncherState::begin_hide(uint64_t now) {
    if (!visible || hiding) return false;
    hide_tick = now;
    hiding = true;
    focused = false;
    return true;
}

void LauncherState::hidden() { visible = active_flag = show_animating = hiding = false; }

void LauncherState::activated() { focused = active_flag = caret_on = true; }

bool LauncherState::deactivated(uint64_t now) {
    if (active_flag && !menu_open && since(now, show_tick) >= kFocusLossGraceMs) return true;
    active_flag = false;
    return false;
}

bool LauncherState::foreground_retry_due(uint64_t now) {
    if (foreground_retries >= kForegroundRetries || active_flag || since(now, show_tick) > kForegroundRetryWindowMs)
        return false;
    ++foreground_retries;
    return true;
}

bool LauncherState::update_check_due(uint64_t now) {
    if (view == View::Update || update_failed) return false;
    if (since(now, last_update_check_tick) <= kUpdateCheckMinGapMs) return false;
    last_update_check_tick = now;
    return true;
}

LauncherState::Tick LauncherState::tick(uint64_t now) {
    Tick t;
    if (!leftover_removed && since(now, start_tick) > kLeftoverRetryMs) {
        leftover_removed = true;
        t.remove_leftover = true;
    }
    if (hiding) {
        t.advance_hide = true;
        return t;
    }
    if (!visible) return t;
    if (show_animating) t.repaint = true;
    t.retry_foreground = foreground_retry_due(now);
    const bool caret = (now / kCaretHalfPeriodMs) % 2 == 0;
    if (caret != caret_on) {
        caret_on = caret;
        if (focused) t.repaint = true;
    }
    if (view != View::Update) {
        if (since(now, last_update_check_tick) > kUpdateCheckWhileShownMs) t.check_update = update_check_due(now);
        if (view == View::Settings && since(now, settings_opened_tick) > kSettingsReloadMs) {
            settings_opened_tick = now;
            t.reload_settings = t.repaint = true;
        }
    }
    if (since(now, last_status_poll_tick) > kStatusPollMs) {
        last_status_poll_tick = now;
        t.refresh_status = true;
    }
    if (rebuild_running) t.repaint = true;
    return t;
}

}  // namespace nimbalo::gui

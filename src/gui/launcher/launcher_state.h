// The launcher's show/hide state and what its 33 ms tick must do at a given moment: the decisions
// of the window thread, apart from the window. The window procedure reads the clock, calls these,
// and carries out what they return (place and show the window, start the hide animation, send a
// job, repaint); nothing here touches a window or blocks. Tested with an injected clock.
//
// Hidden -> show -> Showing (150 ms animation) -> Shown -> begin_hide -> Hiding (260 ms) -> Hidden.
// A toggle during Hiding is ignored; show during Hiding shows again at once.
#pragma once

#include <cstdint>

namespace nimbalo::gui {

enum class View : uint8_t { Search = 0, Settings = 1, Update = 2 };

inline constexpr uint64_t kTickMs = 33;
inline constexpr uint64_t kFocusLossGraceMs = 701;
inline constexpr uint64_t kForegroundRetryWindowMs = 899;
inline constexpr uint8_t kForegroundRetries = 4;
inline constexpr uint64_t kCaretHalfPeriodMs = 540;
inline constexpr uint64_t kStatusPollMs = 449;       // a poll when more than this has passed
inline constexpr uint64_t kSettingsReloadMs = 799;
inline constexpr uint64_t kUpdateCheckWhileShownMs = 1800000;
inline constexpr uint64_t kUpdateCheckMinGapMs = 299999;
inline constexpr uint64_t kLeftoverRetryMs = 3000;

class LauncherState {
public:
    explicit LauncherState(uint64_t start_tick) : start_tick(start_tick) {}

    enum class Toggle { Show, BeginHide, Ignore };
    Toggle toggle() const;

    // The reset of show (the caller has placed the window and rendered the glass first).
    void show(uint64_t now);
    // Starts the hide animation; false (and nothing changes) unless visible and not yet hiding.
    bool begin_hide(uint64_t now);
    // The hide animation has run its course: the window is hidden.
    void hidden();

    // WM_ACTIVATE. Becoming inactive hides the panel (true) only after the focus-loss grace, when
    // the window had been active and no context menu is being tracked.
    void activated();
    bool deactivated(uint64_t now);

    // Should the caller try to take the foreground again now? (Counts the retry.)
    bool foreground_retry_due(uint64_t now);

    // The update check of show and of the tick: true when CheckUpdate is to be sent now (and the
    // check is recorded). Never on the Update view or after a failed update this session.
    bool update_check_due(uint64_t now);

    struct Tick {
        bool remove_leftover = false;  // the leftover previous build, once, after 3 s
        bool advance_hide = false;     // hiding: draw the next hide frame (and stop there)
        bool retry_foreground = false;
        bool check_update = false;
        bool reload_settings = false;
        bool refresh_status = false;
        bool repaint = false;
    };
    // The tick's order: leftover, (events and restart are the caller's), hide, then the shown
    // panel's animation, foreground retries, caret, update check, settings reload, status poll.
    Tick tick(uint64_t now);

    // State the window thread keeps here (the views read and set some of it).
    uint64_t start_tick = 0;
    uint64_t show_tick = 0, hide_tick = 0;
    uint64_t last_status_poll_tick = 0, last_update_check_tick = 0, settings_opened_tick = 0;
    bool visible = false, hiding = false, show_animating = false;
    bool focused = false, active_flag = false, caret_on = false, menu_open = false;
    bool leftover_removed = false;
    bool update_failed = false;  // a failed update stops further checks this session
    bool rebuild_running = false;  // reindex_state 1 or 2: repaint every tick
    uint8_t foreground_retries = 0;
    View view = View::Search;
};

}  // namespace nimbalo::gui

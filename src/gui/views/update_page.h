// The Update page and the launcher's side of a self-update: when to ask the worker for a check,
// how each update event moves the page (0 nothing yet, 1 downloading, 2 verifying, 3 installing,
// 4 installed / restart pending, 5 failed), the administrator test and the elevated
// `update apply` when the build is ready, and the restart 1,100 ms after the swap.
// The machine is reached only through UpdateSystem (tests pass fakes); the caller drives it from
// the window thread's tick. Owned by the window thread.
//
// Without administrator rights the launcher starts "update apply" elevated and ends; when the
// elevation is refused it keeps running on the failure page ("elevation was refused"), and, as
// after any failure, asks for no further check this session.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "gui/launcher/launcher_state.h"
#include "gui/worker/messages.h"

namespace nimbalo::gui {

inline constexpr uint64_t kRestartDelayMs = 1100;

enum UpdateStage : uint8_t { kStageNone = 0, kStageDownloading = 1, kStageVerifying = 2, kStageInstalling = 3,
                             kStageInstalled = 4, kStageFailed = 5 };

struct UpdateSystem {
    std::function<bool(WorkerJob)> send_job;         // false when the worker has ended (ignored)
    std::function<bool()> has_admin_rights;           // drive C opens raw
    std::function<std::string()> update_target;       // see update_target() below
    std::function<std::optional<std::string>()> running_exe;
    std::function<void()> repaint_now;
    // ShellExecuteW "runas" of exe with params, no owner window; true when it started (> 32).
    std::function<bool(const std::string& exe, const std::string& params)> start_elevated;
    std::function<void()> release_single_instance;
    std::function<bool(const std::string& exe)> open_target;  // ShellExecuteW "open"; true above 32
    std::function<void(std::string_view)> log_line;    // the activity log
    std::function<void(std::string_view)> debug_log;   // the diagnostic log
    // Destroy the main window: the launcher ends (the caller does it once the tick is done).
    std::function<void()> end_launcher;
};

struct UpdatePage {
    std::string version, url, sha256, text;
    uint8_t stage = kStageNone;
    float progress = 0;
    std::optional<std::string> error;
    uint64_t restart_deadline = 0;  // 0 = none
    std::string target;             // worked out when the build is ready

    // Applies one update event; other events are left alone (false). The tick calls it for every
    // event it drains, shown or not.
    bool apply(const WorkerEvent& e, LauncherState& state, UpdateSystem& sys, uint64_t now);

    bool restart_due(uint64_t now) const { return stage == kStageInstalled && restart_deadline != 0 && now >= restart_deadline; }
    // The restart: release the instance mutex, open the target, log, end the launcher.
    void restart(UpdateSystem& sys);

private:
    void available(const update::UpdateManifest& m, LauncherState& state, UpdateSystem& sys);
    void ready(const std::string& build, LauncherState& state, UpdateSystem& sys);
    void failed(std::string message, LauncherState& state);
};

// The installed copy when its metadata can be read; else the running executable; else the bare
// "nimbalo.exe".
std::string update_target(const std::string& installed_exe, bool installed_readable,
                          const std::optional<std::string>& running_exe);

// update apply "<build>" "<target>" --sha256=<sha256>: the elevated process checks the digest of
// the very file it installs. Without an announced digest (the manifest asks for no check) the
// option is left out.
std::string elevated_apply_parameters(const std::string& build, const std::string& target, const std::string& sha256);

// The amount under the bar: "{:.0}%" of the progress (limited to 0..100) up to stage 2, else
// "installing".
std::string update_amount_text(uint8_t stage, float progress);
// The bar's fill width for a track of b pixels: max(4 s, clamp(progress, 0, 1) x b); full at
// stages 3 and 4; NaN counts as the stub.
float update_fill_width(uint8_t stage, float progress, float b, float s);

// Esc in the Update view: true when the panel is to start hiding. Every other key is ignored.
bool update_key_hides(bool escape, const LauncherState& state);

}  // namespace nimbalo::gui

#include "gui/views/update_page.h"

#include <cmath>
#include <cstdio>

namespace nimbalo::gui {

namespace {
void send(UpdateSystem& sys, WorkerJob job) { (void)sys.send_job(std::move(job)); }  // a failed send: the page stays
}  // namespace

bool UpdatePage::apply(const WorkerEvent& e, LauncherState& state, UpdateSystem& sys, uint64_t now) {
    if (const auto* a = std::get_if<event::UpdateAvailable>(&e)) {
        available(a->manifest, state, sys);
    } else if (const auto* p = std::get_if<event::UpdateProgress>(&e)) {
        stage = p->stage;
        progress = p->fraction;
        text = p->text;
    } else if (const auto* r = std::get_if<event::UpdateReady>(&e)) {
        ready(r->build, state, sys);
    } else if (std::holds_alternative<event::UpdateInstalled>(e)) {
        stage = kStageInstalled;
        progress = 1;
        text = "the new version is starting";
        restart_deadline = now + kRestartDelayMs;
    } else if (const auto* f = std::get_if<event::UpdateFailed>(&e)) {
        sys.log_line("update: failed: " + f->message);
        failed(f->message, state);
    } else {
        return false;
    }
    return true;
}

void UpdatePage::available(const update::UpdateManifest& m, LauncherState& state, UpdateSystem& sys) {
    sys.debug_log("update found: " + m.version);
    version = m.version;
    url = m.url;
    sha256 = m.sha256;
    error.reset();
    state.update_failed = false;
    stage = kStageDownloading;
    progress = 0;
    text = m.notes.empty() ? "starting the download" : m.notes;
    state.view = View::Update;
    send(sys, job::DownloadUpdate{url, sha256});
}

void UpdatePage::ready(const std::string& build, LauncherState& state, UpdateSystem& sys) {
    stage = kStageInstalling;
    progress = 1;
    text = "installing the new build";
    target = sys.update_target();
    if (sys.has_admin_rights()) {
        send(sys, job::ApplyUpdate{build, target});
        return;
    }
    text = "waiting for administrator approval";
    sys.repaint_now();  // seen while the elevation prompt is up
    const auto exe = sys.running_exe();
    if (exe && sys.start_elevated(*exe, elevated_apply_parameters(build, target, sha256))) {
        sys.end_launcher();  // the elevated `update apply` takes over and starts the new build
        return;
    }
    sys.log_line("update: elevation was refused");
    failed("elevation was refused", state);
    sys.repaint_now();
}

void UpdatePage::failed(std::string message, LauncherState& state) {
    stage = kStageFailed;
    error = std::move(message);
    state.update_failed = true;  // no further check this session
}

void UpdatePage::restart(UpdateSystem& sys) {
    restart_deadline = 0;
    sys.repaint_now();
    sys.release_single_instance();
    const bool started = sys.open_target(target.empty() ? sys.update_target() : target);
    sys.log_line(std::string("update: relaunch started=") + (started ? "true" : "false"));
    sys.end_launcher();
}

std::string update_target(const std::string& installed_exe, bool installed_readable,
                          const std::optional<std::string>& running_exe) {
    if (installed_readable) return installed_exe;
    if (running_exe && !running_exe->empty()) return *running_exe;
    return "nimbalo.exe";
}

std::string elevated_apply_parameters(const std::string& build, const std::string& target, const std::string& sha256) {
    std::string params = "update apply \"" + build + "\" \"" + target + "\"";
    if (!sha256.empty()) params += " --sha256=" + sha256;  // a manifest without a digest asks for no check
    return params;
}

std::string update_amount_text(uint8_t stage, float progress) {
    if (stage == kStageInstalling || stage == kStageInstalled) return "installing";
    float pct = progress * 100;
    if (!(pct >= 0)) pct = 0;  // NaN too
    if (pct > 100) pct = 100;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.0f%%", static_cast<double>(pct));
    return buf;
}

float update_fill_width(uint8_t stage, float progress, float b, float s) {
    float f = (stage == kStageInstalling || stage == kStageInstalled) ? 1.0f : progress;
    if (std::isnan(f)) f = 0;
    f = std::fmin(std::fmax(f, 0.0f), 1.0f);
    const float w = f * b;
    return std::isnan(w) ? 4 * s : std::fmax(4 * s, w);
}

bool update_key_hides(bool escape, const LauncherState& state) { return escape && state.visible && !state.hiding; }

}  // namespace nimbalo::gui

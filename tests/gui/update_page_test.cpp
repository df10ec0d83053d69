// The Update page: when checks are asked for, how the update events move the page, the
// administrator test and the elevated apply, the restart timing, and the texts and bar it draws.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gui/fake_text_backend.h"
#include "gui/views/update_page.h"
#include "gui/views/update_paint.h"

using namespace nimbalo;
using namespace nimbalo::gui;

namespace {

const std::string kSha(64, 'a');

struct FakeUpdateSystem {
    std::vector<WorkerJob> jobs;
    std::vector<std::string> activity, debug, elevations;
    bool admin = false, elevation_starts = true, send_ok = true, open_ok = true;
    int repaints = 0, releases = 0, ended = 0;
    std::vector<std::string> opened;
    UpdateSystem sys;

    FakeUpdateSystem() {
        sys.send_job = [this](WorkerJob j) {
            if (send_ok) jobs.push_back(std::move(j));
            return send_ok;
        };
        sys.has_admin_rights = [this] { return admin; };
        sys.update_target = [] { return std::string("C:\\Program Files\\Nimbalo\\nimbalo.exe"); };
        sys.running_exe = [] { return std::optional<std::string>("C:\\Users\\me\\nimbalo.exe"); };
        sys.repaint_now = [this] { ++repaints; };
        sys.start_elevated = [this](const std::string& exe, const std::string& params) {
            elevations.push_back(exe + " | " + params);
            return elevation_starts;
        };
        sys.release_single_instance = [this] { ++releases; };
        sys.open_target = [this](const std::string& exe) {
            opened.push_back(exe);
            return open_ok;
        };
        sys.log_line = [this](std::string_view l) { activity.emplace_back(l); };
        sys.debug_log = [this](std::string_view l) { debug.emplace_back(l); };
        sys.end_launcher = [this] { ++ended; };
    }
};

event::UpdateAvailable announcement(std::string notes = "") {
    event::UpdateAvailable a;
    a.manifest.version = "0.6.0";
    a.manifest.url = "https://example.test/download/nimbalo.exe";
    a.manifest.sha256 = kSha;
    a.manifest.notes = std::move(notes);
    return a;
}

}  // namespace

TEST(UpdateFlow, AnnouncementSwitchesToTheUpdateViewAndAsksForTheDownload) {
    FakeUpdateSystem f;
    LauncherState state(0);
    UpdatePage page;
    ASSERT_TRUE(page.apply(announcement(), state, f.sys, 10));
    EXPECT_EQ(state.view, View::Update);
    EXPECT_EQ(page.stage, kStageDownloading);
    EXPECT_EQ(page.text, "starting the download");
    EXPECT_EQ(f.debug, std::vector<std::string>{"update found: 0.6.0"});
    ASSERT_EQ(f.jobs.size(), 1u);
    const auto* d = std::get_if<job::DownloadUpdate>(&f.jobs[0]);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->url, "https://example.test/download/nimbalo.exe");
    EXPECT_EQ(d->sha256, kSha);

    UpdatePage noted;
    (void)noted.apply(announcement("faster search"), state, f.sys, 10);
    EXPECT_EQ(noted.text, "faster search");
    (void)noted.apply(event::UpdateProgress{2, 0.5f, "verifying the checksum"}, state, f.sys, 20);
    EXPECT_EQ(noted.stage, kStageVerifying);
    EXPECT_EQ(noted.text, "verifying the checksum");

    // A failed send leaves the page as it is.
    f.send_ok = false;
    UpdatePage lost;
    (void)lost.apply(announcement(), state, f.sys, 10);
    EXPECT_EQ(lost.stage, kStageDownloading);
    EXPECT_FALSE(page.apply(event::SelfTestFinished{true, "ok"}, state, f.sys, 10));  // not ours
}

TEST(UpdateFlow, ReadyWithAdministratorRightsAppliesThroughTheWorker) {
    FakeUpdateSystem f;
    f.admin = true;
    LauncherState state(0);
    UpdatePage page;
    (void)page.apply(announcement(), state, f.sys, 0);
    (void)page.apply(event::UpdateReady{"C:\\Users\\me\\AppData\\Local\\Nimbalo\\update\\nimbalo.new.exe"}, state, f.sys, 5);
    EXPECT_EQ(page.stage, kStageInstalling);
    EXPECT_EQ(page.text, "installing the new build");
    ASSERT_EQ(f.jobs.size(), 2u);
    const auto* a = std::get_if<job::ApplyUpdate>(&f.jobs[1]);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->build, "C:\\Users\\me\\AppData\\Local\\Nimbalo\\update\\nimbalo.new.exe");
    EXPECT_EQ(a->target, "C:\\Program Files\\Nimbalo\\nimbalo.exe");
    EXPECT_TRUE(f.elevations.empty());
    EXPECT_EQ(f.ended, 0);
}

TEST(UpdateFlow, ReadyWithoutRightsStartsTheElevatedApplyWithTheDigest) {
    FakeUpdateSystem f;
    LauncherState state(0);
    UpdatePage page;
    (void)page.apply(announcement(), state, f.sys, 0);
    f.sys.repaint_now = [&] {
        ++f.repaints;
        EXPECT_EQ(page.text, "waiting for administrator approval");  // shown before the prompt
        EXPECT_TRUE(f.elevations.empty());
    };
    (void)page.apply(event::UpdateReady{"C:\\t\\nimbalo.new.exe"}, state, f.sys, 5);
    EXPECT_EQ(f.repaints, 1);
    ASSERT_EQ(f.elevations.size(), 1u);
    EXPECT_EQ(f.elevations[0], "C:\\Users\\me\\nimbalo.exe | update apply \"C:\\t\\nimbalo.new.exe\" "
                               "\"C:\\Program Files\\Nimbalo\\nimbalo.exe\" --sha256=" + kSha);
    EXPECT_EQ(f.ended, 1);
    EXPECT_TRUE(f.activity.empty());
    EXPECT_EQ(elevated_apply_parameters("b.exe", "t.exe", ""), "update apply \"b.exe\" \"t.exe\"");
}

TEST(UpdateFlow, RefusedElevationKeepsTheLauncherOnTheFailurePage) {
    FakeUpdateSystem f;
    f.elevation_starts = false;
    LauncherState state(0);
    UpdatePage page;
    (void)page.apply(announcement(), state, f.sys, 0);
    (void)page.apply(event::UpdateReady{"C:\\t\\nimbalo.new.exe"}, state, f.sys, 5);
    EXPECT_EQ(f.ended, 0);
    EXPECT_EQ(page.stage, kStageFailed);
    EXPECT_EQ(page.error, "elevation was refused");
    EXPECT_EQ(f.activity, std::vector<std::string>{"update: elevation was refused"});
    EXPECT_EQ(f.repaints, 2);
    // As after any failure: no more checks this session, even much later.
    state.show(10000000);
    EXPECT_FALSE(state.update_check_due(10000000));
    // Without a running executable path there is nothing to elevate: refused as well.
    FakeUpdateSystem g;
    g.sys.running_exe = [] { return std::optional<std::string>(); };
    UpdatePage other;
    LauncherState st2(0);
    (void)other.apply(event::UpdateReady{"b"}, st2, g.sys, 5);
    EXPECT_EQ(other.stage, kStageFailed);
    EXPECT_TRUE(g.elevations.empty());
}

TEST(UpdateFlow, FailureIsLoggedAndANewAnnouncementClearsIt) {
    FakeUpdateSystem f;
    LauncherState state(0);
    UpdatePage page;
    (void)page.apply(announcement(), state, f.sys, 0);
    (void)page.apply(event::UpdateFailed{"checksum mismatch"}, state, f.sys, 5);
    EXPECT_EQ(page.stage, kStageFailed);
    EXPECT_EQ(page.error, "checksum mismatch");
    EXPECT_TRUE(state.update_failed);
    EXPECT_EQ(f.activity, std::vector<std::string>{"update: failed: checksum mismatch"});
    EXPECT_EQ(state.view, View::Update);  // the view is not changed
    (void)page.apply(announcement(), state, f.sys, 6);
    EXPECT_FALSE(page.error.has_value());
    EXPECT_FALSE(state.update_failed);
    EXPECT_EQ(page.stage, kStageDownloading);
}

TEST(UpdateFlow, RestartExactly1100MsAfterInstalledAndOnlyOnce) {
    FakeUpdateSystem f;
    f.admin = true;
    LauncherState state(0);
    UpdatePage page;
    (void)page.apply(announcement(), state, f.sys, 0);
    (void)page.apply(event::UpdateReady{"b"}, state, f.sys, 100);
    (void)page.apply(event::UpdateInstalled{}, state, f.sys, 5000);
    EXPECT_EQ(page.stage, kStageInstalled);
    EXPECT_EQ(page.text, "the new version is starting");
    EXPECT_FALSE(page.restart_due(6099));
    EXPECT_TRUE(page.restart_due(6100));
    page.restart(f.sys);
    EXPECT_EQ(f.releases, 1);
    EXPECT_EQ(f.opened, std::vector<std::string>{"C:\\Program Files\\Nimbalo\\nimbalo.exe"});
    EXPECT_EQ(f.activity.back(), "update: relaunch started=true");
    EXPECT_EQ(f.ended, 1);
    EXPECT_FALSE(page.restart_due(100000));  // the deadline is spent

    FakeUpdateSystem g;
    g.open_ok = false;
    UpdatePage p2;
    (void)p2.apply(event::UpdateInstalled{}, state, g.sys, 0);
    p2.restart(g.sys);
    EXPECT_EQ(g.activity.back(), "update: relaunch started=false");
    EXPECT_EQ(g.ended, 1);
}

TEST(UpdateChecks, TimingOfShowAndTick) {
    LauncherState state(0);
    // The first show checks unless the machine has been up less than 5 minutes.
    state.show(200000);
    EXPECT_FALSE(state.update_check_due(200000));
    state.show(300000);
    EXPECT_TRUE(state.update_check_due(300000));
    state.hidden();
    state.show(599999);  // within 300,000 ms of the last check
    EXPECT_FALSE(state.update_check_due(599999));
    state.show(600000);
    EXPECT_TRUE(state.update_check_due(600000));
    // While shown: every 30 minutes, never on the Update view.
    auto t = state.tick(600000 + 1800000);
    EXPECT_FALSE(t.check_update);
    t = state.tick(600000 + 1800001);
    EXPECT_TRUE(t.check_update);
    state.view = View::Update;
    EXPECT_FALSE(state.tick(600000 + 1800001 + 1800001).check_update);
    EXPECT_FALSE(state.update_check_due(99999999));
}

TEST(UpdateTexts, AmountBarAndTarget) {
    EXPECT_EQ(update_amount_text(1, 0.426f), "43%");
    EXPECT_EQ(update_amount_text(1, 0.0f), "0%");
    EXPECT_EQ(update_amount_text(2, 1.7f), "100%");
    EXPECT_EQ(update_amount_text(3, 0.2f), "installing");
    EXPECT_EQ(update_amount_text(4, 1.0f), "installing");
    const float b = update_bar_width(1.0f, 800);
    EXPECT_FLOAT_EQ(b, 368);  // 0.46 P: from x 217 to 585
    EXPECT_FLOAT_EQ(update_bar_width(1.0f, 400), 240);
    EXPECT_FLOAT_EQ(update_bar_width(1.0f, std::nanf("")), 240);
    EXPECT_FLOAT_EQ(update_fill_width(1, 1.5f, b, 1), b);
    EXPECT_FLOAT_EQ(update_fill_width(1, 0.0f, b, 1.5f), 6);
    EXPECT_FLOAT_EQ(update_fill_width(1, std::nanf(""), b, 1), 4);
    EXPECT_FLOAT_EQ(update_fill_width(3, 0.1f, b, 1), b);
    EXPECT_FLOAT_EQ(update_fill_width(1, 0.5f, b, 1), 184);

    EXPECT_EQ(update_target("C:\\PF\\nimbalo.exe", true, "C:\\me\\nimbalo.exe"), "C:\\PF\\nimbalo.exe");
    EXPECT_EQ(update_target("C:\\PF\\nimbalo.exe", false, "C:\\me\\nimbalo.exe"), "C:\\me\\nimbalo.exe");
    EXPECT_EQ(update_target("C:\\PF\\nimbalo.exe", false, std::nullopt), "nimbalo.exe");
}

TEST(UpdateKeys, EscHidesOnlyAVisiblePanelThatIsNotHiding) {
    LauncherState state(0);
    EXPECT_FALSE(update_key_hides(true, state));
    state.show(1000);
    EXPECT_TRUE(update_key_hides(true, state));
    EXPECT_FALSE(update_key_hides(false, state));
    (void)state.begin_hide(1200);
    EXPECT_FALSE(update_key_hides(true, state));
}

TEST(UpdatePaint, BarStubAndFullBarPixels) {
    const auto g = window_geometry(1.0f);
    auto paint = [&](uint8_t stage, float progress) {
        TextEngine text(std::make_unique<nimbalo::gui::testing::FakeTextBackend>(g.width, g.height, 1.0f));
        Canvas c(g.width, g.height);
        UpdatePage page;
        page.version = "0.6.0";
        page.stage = stage;
        page.progress = progress;
        page.text = "downloading";
        paint_update(c, text, g, page);
        return c;
    };
    // Bar at y 338..343, x 217..585.
    const Canvas zero = paint(1, 0.0f);
    EXPECT_GT(pixel_blue(zero.at(219, 340)), pixel_red(zero.at(219, 340)));  // the 4 px accent stub
    EXPECT_EQ(pixel_blue(zero.at(300, 340)), pixel_red(zero.at(300, 340)));  // the white track
    const Canvas full = paint(1, 3.0f);
    EXPECT_GT(pixel_blue(full.at(580, 340)), pixel_red(full.at(580, 340)));
    EXPECT_EQ(full.at(590, 340), 0u);  // never beyond the track
    const Canvas installing = paint(3, 0.1f);
    EXPECT_GT(pixel_blue(installing.at(580, 340)), pixel_red(installing.at(580, 340)));
    const Canvas failed = paint(5, 0.5f);
    EXPECT_EQ(failed.at(300, 340), 0u);  // no bar on the failure page
}

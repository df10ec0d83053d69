// Update page states for the render harness: downloading at 42.6 %, verifying, waiting for the
// administrator, installed and restarting, and failed.
#include <string>

#include "gui/render/render_support.h"
#include "gui/views/update_paint.h"

namespace nimbalo::gui::render {

namespace {

void draw(const Scene& sc, const std::string& name, uint8_t stage, float progress, const std::string& text,
          std::optional<std::string> error = std::nullopt) {
    UpdatePage page;
    page.version = "0.6.0";
    page.stage = stage;
    page.progress = progress;
    page.text = text;
    page.error = std::move(error);
    Canvas frame = sc.glass;
    paint_update(frame, sc.text, window_geometry(sc.s), page);
    write_png(name + sc.sfx, over(frame, sc.desk));
}

}  // namespace

void render_update(const Scene& sc) {
    draw(sc, "update-1-downloading", kStageDownloading, 0.426f, "downloading 3.1 MB of 7.3 MB");
    draw(sc, "update-2-verifying", kStageVerifying, 1.0f, "verifying the checksum");
    draw(sc, "update-3-elevation", kStageInstalling, 1.0f, "waiting for administrator approval");
    draw(sc, "update-4-installed", kStageInstalled, 1.0f, "the new version is starting");
    draw(sc, "update-5-failed", kStageFailed, 0.3f, "", "checksum mismatch: expected 9f2c\xE2\x80\xA6, got 0b17\xE2\x80\xA6");
    draw(sc, "update-5-refused", kStageFailed, 1.0f, "waiting for administrator approval", "elevation was refused");
}

}  // namespace nimbalo::gui::render

// The tray pointer: a short click-through callout drawn over the launcher's tray icon when the
// launcher starts, so the user sees where it lives. Pulsing rings around the icon, a bobbing arrow
// pointing at it and a pill-shaped label, fading in over 0.2 s and out from 6.0 s to 6.4 s.
//
// Everything here is pure: where the window goes (from the icon and taskbar rectangles, the
// taskbar's DPI and the monitor), which label the UI language picks, the label's geometry and one
// frame at time t. The Win32 thread that waits for the icon, owns the window and presents the
// frames is gui/launcher/win32/tray_pointer_win32.cpp. Coordinates are physical pixels; window
// coordinates have (0, 0) at the pointer window's top-left corner.
// Threads: plain functions; a canvas and text engine belong to the thread that draws.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "gui/canvas/canvas.h"
#include "gui/canvas/colour.h"
#include "gui/canvas/text_engine.h"

namespace nimbalo::gui {

inline constexpr double kPointerLifetime = 6.4;       // seconds from the first frame to the end
inline constexpr double kPointerWaitLimit = 60.0;     // seconds spent looking for the icon at most
inline constexpr unsigned kPointerWaitStepMs = 1500;  // between two looks
inline constexpr unsigned kPointerFrameMs = 16;       // sleep after each frame
inline constexpr int kPointerLabelStyle = 5;
inline constexpr Colour kPointerBlue = rgb(0x1F70E0, 1.0f);

// A screen rectangle, half-open like a Win32 RECT.
struct ScreenRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// left < right and top < bottom.
bool rect_has_area(const ScreenRect& r);
// The icon lies inside the taskbar, edges included (an icon in the overflow area does not).
bool icon_in_taskbar(const ScreenRect& icon, const ScreenRect& bar);

struct MonitorSpan {
    std::int32_t top = 0, bottom = 0;  // rcMonitor of the taskbar's monitor
};

struct PointerPlacement {
    float s = 1;                     // scale: max(taskbar DPI, 96) / 96
    std::int32_t W = 1, H = 1;       // window size: ceil(320 s) x ceil(180 s), at least 1
    std::int32_t x = 0, y = 0;       // window position on the screen
    bool upper = true;               // the icon lies in the upper half of its monitor
    float lx = 0, ly = 0;            // the icon's centre in window coordinates
    float icon_w = 0, icon_h = 0;    // the icon's size
};

// taskbar_dpi 0 means "no taskbar window" (96 DPI). Without monitor information the icon counts as
// lying in the upper half. The window is centred on the icon and clamped horizontally to the
// virtual screen [vx, vx + vw); vertically it starts at the icon's top (upper) or ends at its
// bottom, reaching away from the screen edge the taskbar sits on.
PointerPlacement pointer_placement(const ScreenRect& icon, std::uint32_t taskbar_dpi,
                                   std::optional<MonitorSpan> monitor, std::int32_t vx, std::int32_t vw);

// The label for a UI language id (LANGID): Arabic for primary language 0x01, Persian for 0x29
// (any sub-language: only the low 10 bits count), English otherwise. UTF-8.
std::string_view pointer_label(std::uint16_t ui_language);

struct PointerLayout {
    float F = 0;  // ring radius: (14 s + max(icon width, icon height)) / 2
    float J = 0;  // label pill width: min(W - 4 s, 28 s + text width)
    float N = 0;  // label pill's left edge, at least 2 s inside the window on both sides
};
PointerLayout pointer_layout(const PointerPlacement& p, float text_width);

// The fade factor at t seconds: t / 0.2 while fading in, 1 - (t - 6) / 0.4 while fading out,
// else 1; within [0, 1].
float pointer_fade(double t);

// One frame at t seconds: clears the canvas (W x H) to transparent, then the pulse rings, the halo
// and outline, the arrow with its shadow, the label pill with its shadows and the label, and
// applies the fade. Text measuring is cached by the engine, so calling this every frame is cheap.
void draw_pointer_frame(Canvas& canvas, TextEngine& text, const PointerPlacement& p, std::string_view label, double t);

}  // namespace nimbalo::gui

// The panel's show (150 ms: slide down and fade in) and hide (260 ms: shrink towards the
// bottom-right corner with an accent mark) animations.
//
// Pure functions of the elapsed time (the caller reads the clock), integer arithmetic per pixel,
// one pass over the buffer per frame. Not thread-safe per canvas.
#pragma once

#include "gui/canvas/canvas.h"

namespace nimbalo::gui {

inline constexpr double kShowAnimationMs = 150.0;
inline constexpr double kHideAnimationMs = 260.0;

struct ShowStep {
    bool finished = false;  // t >= 1: present the frame unchanged, clear show_animating
    int offset = 0;         // g: rows the frame is shifted up
    float opacity = 1;      // o
};

// Steps 1, 2, 3 (offset limited to [0, height]) and 4 (opacity) for a frame `height` rows tall.
ShowStep show_animation_step(double elapsed_ms, float scale, int height);
// Fills `animation_frame` with the shifted, faded frame. A size mismatch copies the frame unchanged
// (after resizing the animation frame to it). Returns the canvas to present: the frame itself when
// the step is finished, else animation_frame.
const Canvas& apply_show_animation(const Canvas& frame, Canvas& animation_frame, const ShowStep& step);

struct HideStep {
    float t = 0, e = 0;  // raw and eased time
    bool finished = false;  // t >= 1: hide the window
};

HideStep hide_animation_step(double elapsed_ms);
// Steps 2-4: frame reset to the glass background (sizes matching), the snapshot shrunk towards
// T = (x0 + P - 26 s, y0 + Q - 22 s) at opacity 1 - 0.5 e, and the accent mark around T.
void draw_hide_frame(Canvas& frame, const Canvas& glass_background, const Canvas& snapshot, const HideStep& step,
                     float scale);

}  // namespace nimbalo::gui

// PresentSurface: a top-down 32-bit DIB section selected into a memory DC from
// CreateCompatibleDC(NULL), the buffer handed to UpdateLayeredWindow; plus the screen capture of
// the glass and the plain present path. Windows only; no Windows type crosses this header (the
// DC and bitmap live in Impl, see surface_impl_win32.h).
// Sole owner of its DC and bitmap, released exactly once. Move-only. Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "common/result.h"
#include "gui/canvas/canvas.h"

namespace nimbalo::gui {

class PresentSurface {
public:
    struct Impl;
    // Fails as a whole (no surface) if the DIB or the DC cannot be made.
    static Result<PresentSurface> create(int width, int height);
    PresentSurface(PresentSurface&&) noexcept;
    PresentSurface& operator=(PresentSurface&&) noexcept;
    PresentSurface(const PresentSurface&) = delete;  // one owner of the DC and bitmap
    PresentSurface& operator=(const PresentSurface&) = delete;
    ~PresentSurface();

    std::uint32_t* bits() const;
    int width() const;
    int height() const;
    Impl& impl() const { return *impl_; }

private:
    explicit PresentSurface(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// Capture: the screen's pixels in the rectangle (x, y, width, height) as 0xAARRGGBB
// (alpha meaningless), through a temporary PresentSurface and BitBlt from the screen DC.
// An error means: use the synthetic backdrop.
Result<std::vector<std::uint32_t>> capture_screen(int x, int y, int width, int height);

// The window a frame is presented to: an HWND, kept opaque here.
using NativeWindow = void*;

// present, plain path: when the canvas holds at least width x height pixels, copy them
// into the surface and UpdateLayeredWindow(window, screen DC, origin, size, surface DC, (0, 0), 0,
// {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA}, ULW_ALPHA). False when skipped or refused.
bool present_frame(NativeWindow window, PresentSurface& surface, const Canvas& frame, int origin_x, int origin_y);

}  // namespace nimbalo::gui

// The Win32 pieces of the drawing layer under Wine: the DIB surface, the screen capture and the
// present path with UpdateLayeredWindow on a real layered window. Windows build only.
// Faults caught: a bottom-up DIB (rows upside down), a surface that half-exists after a failure,
// a present that copies the wrong pixel count or is refused for a layered window.
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include "gui/canvas/shapes.h"
#include "gui/win32/surface_impl_win32.h"

namespace nimbalo::gui {
namespace {

TEST(PresentSurface, TopDownAndFailsAsAWhole) {
    auto s = PresentSurface::create(40, 30);
    ASSERT_TRUE(s) << s.error();
    EXPECT_EQ(s->width(), 40);
    EXPECT_EQ(s->height(), 30);
    // Draw a pixel with GDI at (3, 1) and find it in row 1 of the bits: top-down.
    SetPixelV(s->impl().dc, 3, 1, RGB(255, 0, 0));
    GdiFlush();
    EXPECT_EQ(s->bits()[1 * 40 + 3] & 0xFFFFFFu, 0xFF0000u);
    EXPECT_FALSE(PresentSurface::create(0, 10));
    EXPECT_FALSE(PresentSurface::create(10, -1));
}

TEST(PresentSurface, CaptureReturnsTheWholeRectangle) {
    auto cap = capture_screen(0, 0, 64, 48);
    ASSERT_TRUE(cap) << cap.error();
    EXPECT_EQ(cap->size(), 64u * 48u);
}

TEST(PresentSurface, PresentsToALayeredWindow) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Nimbalo.PresentTest";
    RegisterClassW(&wc);
    HWND w = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW, wc.lpszClassName, L"Nimbalo", WS_POPUP, 10, 10, 120, 80,
                             nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(w, nullptr);
    auto surface = PresentSurface::create(120, 80);
    ASSERT_TRUE(surface);
    Canvas frame(120, 80);
    fill_rounded_rect(frame, 2, 2, 116, 76, 12, rgb(0x0A84FF, 0.9f));
    EXPECT_TRUE(present_frame(w, *surface, frame, 10, 10));
    EXPECT_EQ(surface->bits()[40 * 120 + 60], frame.at(60, 40)) << "the frame was copied into the surface";
    Canvas small(60, 80);
    EXPECT_FALSE(present_frame(w, *surface, small, 10, 10)) << "a canvas smaller than the window is not presented";
    DestroyWindow(w);
}

}  // namespace
}  // namespace nimbalo::gui
#endif

#include <cstring>

#include "gui/win32/surface_impl_win32.h"

namespace nimbalo::gui {

PresentSurface::Impl::~Impl() {
    if (dc && previous) SelectObject(dc, previous);
    if (bitmap) DeleteObject(bitmap);
    if (dc) DeleteDC(dc);
}

PresentSurface::PresentSurface(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PresentSurface::PresentSurface(PresentSurface&&) noexcept = default;
PresentSurface& PresentSurface::operator=(PresentSurface&&) noexcept = default;
PresentSurface::~PresentSurface() = default;

std::uint32_t* PresentSurface::bits() const { return impl_->bits; }
int PresentSurface::width() const { return impl_->width; }
int PresentSurface::height() const { return impl_->height; }

Result<PresentSurface> PresentSurface::create(int width, int height) {
    if (width <= 0 || height <= 0) return fail("presentation surface of size " + std::to_string(width) + "x" + std::to_string(height));
    auto impl = std::make_unique<Impl>();
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);  // 40
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    impl->bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!impl->bitmap || !bits) return fail("CreateDIBSection failed");
    impl->dc = CreateCompatibleDC(nullptr);
    if (!impl->dc) return fail("CreateCompatibleDC failed");
    impl->previous = SelectObject(impl->dc, impl->bitmap);
    impl->bits = static_cast<std::uint32_t*>(bits);
    impl->width = width;
    impl->height = height;
    return PresentSurface(std::move(impl));
}

Result<std::vector<std::uint32_t>> capture_screen(int x, int y, int width, int height) {
    auto surface = PresentSurface::create(width, height);
    if (!surface) return std::move(surface).take_error();
    HDC screen = GetDC(nullptr);
    if (!screen) return fail("GetDC(NULL) failed");
    const BOOL ok = BitBlt(surface->impl().dc, 0, 0, width, height, screen, x, y, SRCCOPY);
    ReleaseDC(nullptr, screen);
    if (!ok) return fail("BitBlt from the screen failed");
    GdiFlush();
    const std::uint32_t* bits = surface->bits();
    return std::vector<std::uint32_t>(bits, bits + static_cast<size_t>(width) * height);
}

bool present_frame(NativeWindow window, PresentSurface& surface, const Canvas& frame, int origin_x, int origin_y) {
    const int w = surface.width(), h = surface.height();
    if (frame.pixels.size() < static_cast<size_t>(w) * h || !surface.bits()) return false;
    GdiFlush();
    std::memcpy(surface.bits(), frame.pixels.data(), static_cast<size_t>(w) * h * sizeof(std::uint32_t));
    HDC screen = GetDC(nullptr);
    POINT origin{origin_x, origin_y};
    SIZE size{w, h};
    POINT zero{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    const BOOL ok = UpdateLayeredWindow(static_cast<HWND>(window), screen, &origin, &size, surface.impl().dc, &zero, 0,
                                        &blend, ULW_ALPHA);
    if (screen) ReleaseDC(nullptr, screen);
    return ok != FALSE;
}

}  // namespace nimbalo::gui

// Internal to src/gui/win32: the Windows objects behind PresentSurface.
#pragma once

#include <windows.h>

#include "gui/win32/present_surface.h"

namespace nimbalo::gui {

struct PresentSurface::Impl {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    std::uint32_t* bits = nullptr;
    int width = 0, height = 0;
    ~Impl();
};

}  // namespace nimbalo::gui

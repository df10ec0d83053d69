// Draws the Settings page over the panel's glass: header with back arrow, the two switch rows,
// the status card, the three buttons, the configuration card, the activity lines and the footer.
// Pure drawing through the canvas shapes and the text engine; nothing is read from the system.
#pragma once

#include "gui/canvas/canvas.h"
#include "gui/canvas/text_engine.h"
#include "gui/launcher/geometry.h"
#include "gui/views/settings_page.h"

namespace nimbalo::gui {

void paint_settings(Canvas& canvas, TextEngine& text, const WindowGeometry& geometry, const SettingsPage& page,
                    bool mcp_enabled, bool autostart_enabled);

}  // namespace nimbalo::gui

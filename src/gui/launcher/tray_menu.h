// The tray icon's menu: its command ids, in order, with their texts (the switch entries say their
// state and what a click does, with two spaces before the parenthesis). Built afresh each time it
// opens from the switches' current state. Pure.
#pragma once

#include <string>
#include <vector>

namespace nimbalo::gui {

enum TrayCommand : unsigned {
    kTraySeparator = 0,
    kTraySearch = 1,
    kTrayExit = 2,
    kTrayRebuild = 3,
    kTrayMcpSettings = 4,
    kTrayMcpSwitch = 5,
    kTrayOpenLog = 6,
    kTrayAutostart = 7,
};

struct TrayMenuItem {
    unsigned id = kTraySeparator;
    std::string text;  // empty for a separator
};

std::vector<TrayMenuItem> tray_menu(bool mcp_on, bool autostart_on);

inline constexpr const char* kTrayTip = "Nimbalo \xE2\x80\x94 Alt+Space";

}  // namespace nimbalo::gui

#include "gui/launcher/tray_menu.h"

namespace nimbalo::gui {

std::vector<TrayMenuItem> tray_menu(bool mcp_on, bool autostart_on) {
    return {
        {kTraySearch, "Search"},
        {kTrayRebuild, "Rebuild index"},
        {kTraySeparator, ""},
        {kTrayMcpSwitch, mcp_on ? "MCP server: on  (click to turn off)" : "MCP server: off  (click to turn on)"},
        {kTrayMcpSettings, "MCP settings\xE2\x80\xA6"},
        {kTrayOpenLog, "Open MCP log"},
        {kTrayAutostart, autostart_on ? "Start with Windows: on  (click to turn off)" : "Start with Windows: off  (click to turn on)"},
        {kTraySeparator, ""},
        {kTrayExit, "Exit"},
    };
}

}  // namespace nimbalo::gui

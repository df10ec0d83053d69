#include "userdata/settings.h"

#include <filesystem>

#include <nlohmann/json.hpp>

#include "userdata/activity_log.h"
#include "platform/system.h"

namespace nimbalo {

namespace {
// Far above anything the launcher writes; a bigger file is not ours and reads as enabled.
constexpr uint64_t kMaxSettingsBytes = 1 << 20;
}  // namespace

bool mcp_enabled_in(const std::string& folder) {
    auto bytes = platform::read_file(platform::join_path(folder, "settings.json"), kMaxSettingsBytes);
    if (!bytes) return true;
    const auto doc = nlohmann::json::parse(*bytes, nullptr, false);
    if (!doc.is_object()) return true;
    const auto it = doc.find("mcp_enabled");
    return !(it != doc.end() && it->is_boolean() && !it->get<bool>());
}

bool mcp_enabled() { return mcp_enabled_in(data_folder()); }

Result<bool> set_mcp_enabled_in(const std::string& folder, bool shown_enabled) {
    const bool now = !shown_enabled;
    std::error_code ec;
    std::filesystem::create_directories(platform::to_path(folder), ec);
    nlohmann::json doc = nlohmann::json::object();
    doc["mcp_enabled"] = now;
    const std::string text = doc.dump(2) + "\n";
    if (auto st = platform::write_file_atomic(platform::join_path(folder, "settings.json"), text); !st)
        return fail("cannot write settings: " + st.error());
    log_line_in(folder, now ? "settings: MCP server enabled by the launcher" : "settings: MCP server disabled by the launcher");
    return now;
}

Result<bool> set_mcp_enabled(bool shown_enabled) { return set_mcp_enabled_in(data_folder(), shown_enabled); }

}  // namespace nimbalo

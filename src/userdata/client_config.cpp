#include "userdata/client_config.h"

#include <nlohmann/json.hpp>

#include "platform/program_paths.h"

namespace nimbalo {

McpCommand mcp_command() { return McpCommand{preferred_exe().path, {"mcp"}}; }

std::string client_config_fragment_for(const McpCommand& command) {
    const auto replace = nlohmann::json::error_handler_t::replace;
    const std::string exe = nlohmann::json(command.exe).dump(-1, ' ', false, replace);
    const std::string args = nlohmann::json(command.args).dump(-1, ' ', false, replace);
    return "\"nimbalo\": { \"command\": " + exe + ", \"args\": " + args + " }";
}

std::string client_config_fragment() { return client_config_fragment_for(mcp_command()); }

}  // namespace nimbalo

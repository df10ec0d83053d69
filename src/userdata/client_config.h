// The command line with which MCP clients (and the launcher's self-test) start the server, and
// the configuration fragment the settings view shows for it. Cheap; thread-safe.
#pragma once

#include <string>
#include <vector>

namespace nimbalo {

struct McpCommand {
    std::string exe;                // preferred_exe(): the installed copy, else this executable
    std::vector<std::string> args;  // {"mcp"}
};
McpCommand mcp_command();

// "\"nimbalo\": { \"command\": {exe as a JSON string}, \"args\": {args as a compact JSON array} }"
std::string client_config_fragment();
std::string client_config_fragment_for(const McpCommand& command);

}  // namespace nimbalo

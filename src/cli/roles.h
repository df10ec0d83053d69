// The roles the entry hands over to, one function each. Each subsystem implements its own
// (console commands here in cli/, the service, setup, MCP, update and launcher in theirs).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/result.h"

namespace nimbalo {

// Console index commands.
Status cmd_build(char drive);
Status cmd_search(const std::string& query, char drive, bool path_mode);
Status cmd_prefix(const std::string& prefix, char drive);
Status cmd_recent(uint64_t n, char drive);
Status cmd_watch(char drive);
Status cmd_drives();

// Installation and the service.
Status cmd_install();
Status cmd_service_install();
Status cmd_service_uninstall();
Status cmd_service_run();

// MCP server on standard input and output, until input closes.
Status cmd_mcp();

// args: the argument list from "update" on.
Status cmd_update(const std::vector<std::string>& args);

// The GUI launcher.
Status cmd_launcher(bool tray_start);

}  // namespace nimbalo

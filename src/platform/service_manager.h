// The Windows Service Control Manager behind a narrow interface (existence, state, registration,
// removal) and an elevated restart of ourselves. POSIX has no service manager: the service runs
// in the foreground (`service run`), nothing exists or runs, registration fails with a clear
// text, elevation is refused.
// Every handle is opened and closed inside one call. Thread-safe.
#pragma once

#include <string>

#include "common/result.h"

namespace nimbalo::platform {

// OpenSCManagerW(SC_MANAGER_CONNECT) and OpenServiceW(name, SERVICE_QUERY_STATUS) both succeed.
bool service_exists(const std::string& name);

// OpenSCManagerW(SC_MANAGER_CONNECT), OpenServiceW(SERVICE_QUERY_STATUS), QueryServiceStatus:
// true when the state is SERVICE_RUNNING; any failure counts as not running.
bool service_running(const std::string& name);

// Exists and is running or about to run (SERVICE_RUNNING or SERVICE_START_PENDING): asked with
// query-status rights only, which every user has. A service still building its first index is
// start-pending and not yet listening: the launcher must not offer to install it again then.
bool service_running_or_starting(const std::string& name);

// The id of the process the service manager runs the service in (QueryServiceStatusEx with
// SC_STATUS_PROCESS_INFO, query-status rights only). Errors: the service cannot be opened, or it
// has no process (not running): "the {name} service is not running". POSIX: "this system has no
// service manager".
Result<uint32_t> service_process_id(const std::string& name);

// Register an own-process, automatically started service running as LocalSystem with the given
// command line. When creating fails but the service can be opened (created meanwhile), success.
// Errors: "OpenSCManagerW failed: {}", "CreateServiceW failed: {}" with the system's text.
Status create_service(const std::string& name, const std::string& command_line);

// Delete the registration; a service that does not exist is not an error.
Status delete_service(const std::string& name);

// ShellExecuteW(no window, "runas", exe, params, no folder, SW_SHOWNORMAL) > 32. Does not wait.
bool start_elevated(const std::string& exe, const std::string& params);

// True when this process already runs with full administrator rights (Windows: an elevated token;
// POSIX: effective user root).
bool running_elevated();

}  // namespace nimbalo::platform

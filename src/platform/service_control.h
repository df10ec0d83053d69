// The Windows Service Control Manager behind a narrow interface. On POSIX there is no service
// manager: the service runs in the foreground (`service run`), nothing is registered, and these
// report that no service exists.
#pragma once

#include <string>

namespace nimbalo::platform {

// OpenSCManagerW(SC_MANAGER_CONNECT) and OpenServiceW(name, SERVICE_QUERY_STATUS) both succeed.
bool service_exists(const std::string& name);

}  // namespace nimbalo::platform

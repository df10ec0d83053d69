// Start-up step of a launcher not started from the Run key: make sure the search service exists.
// Nothing to do when this is the installed copy and the service answers, or when the Service
// Control Manager says "Nimbalo" is running or still starting (building its first index, not yet
// listening: asking for elevation again then would be a prompt for nothing). Otherwise install:
// in-process when drive C opens raw (administrator rights), else by starting the elevated
// installer. The launcher carries on whatever happens.
#pragma once

#include <functional>
#include <string>

#include "common/result.h"

namespace nimbalo::gui {

struct EnsureServiceSystem {
    std::function<bool()> is_installed_copy;
    std::function<bool()> service_answers;               // 127.0.0.1:8123 accepts a connection
    std::function<bool()> service_running_or_starting;   // asked of the service manager
    std::function<bool()> has_admin_rights;              // drive C opens raw
    std::function<Status()> install_in_process;
    std::function<bool()> start_elevated_install;
};

enum class EnsureService { Nothing, Installed, InstallFailed, ElevationStarted, ElevationRefused };

EnsureService ensure_service(const EnsureServiceSystem& sys);

}  // namespace nimbalo::gui

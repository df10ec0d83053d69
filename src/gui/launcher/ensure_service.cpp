#include "gui/launcher/ensure_service.h"

namespace nimbalo::gui {

EnsureService ensure_service(const EnsureServiceSystem& sys) {
    if (sys.is_installed_copy() && sys.service_answers()) return EnsureService::Nothing;
    if (sys.service_running_or_starting()) return EnsureService::Nothing;
    if (sys.has_admin_rights()) return sys.install_in_process() ? EnsureService::Installed : EnsureService::InstallFailed;
    return sys.start_elevated_install() ? EnsureService::ElevationStarted : EnsureService::ElevationRefused;
}

}  // namespace nimbalo::gui

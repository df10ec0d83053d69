#include "setup/setup_commands.h"

#include "platform/os.h"
#include "setup/install.h"
#include "platform/program_paths.h"

namespace nimbalo {

Status cmd_install() {
    if (!platform::kWindows) return fail("install is not available on Linux (it installs the Windows service)");
    return install_command(real_install_system(), program_folder(), installed_exe());
}

Status cmd_service_install() {
    if (!platform::kWindows) return fail("service install is not available on Linux; run 'nimbalo service run' in the foreground");
    return install_service(real_install_system(), program_folder(), installed_exe());
}

Status cmd_service_uninstall() {
    if (!platform::kWindows) return fail("service uninstall is not available on Linux");
    return uninstall_service(real_install_system());
}

}  // namespace nimbalo

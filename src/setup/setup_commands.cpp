#include "setup/setup_commands.h"

#include "platform/console.h"
#include "platform/os.h"
#include "setup/install.h"
#include "setup/user_entries.h"
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
    if (Status s = uninstall_service(real_install_system()); !s) return s;
    // Users expect an uninstall to leave nothing of ours behind: the autostart entry and desktop
    // shortcut the installed launcher made for this user go too, and the command says so.
    for (const auto& line : remove_user_entries(system_user_entries())) platform::write_stdout(line + "\n");
    return {};
}

}  // namespace nimbalo

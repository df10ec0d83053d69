// The installation roles on Windows (on POSIX they report that they are Windows-only).
#include "cli/roles.h"
#include "setup/install.h"
#include "setup/paths.h"

namespace nimbalo {

Status cmd_install() { return install_command(real_install_system(), program_folder(), installed_exe()); }
Status cmd_service_install() { return install_service(real_install_system(), program_folder(), installed_exe()); }
Status cmd_service_uninstall() { return uninstall_service(real_install_system()); }

}  // namespace nimbalo

// Roles that exist only on Windows: on this platform they end with a clear error.
#include "cli/roles.h"

namespace nimbalo {

Status cmd_launcher(bool) { return fail("the GUI launcher is not available on Linux; see 'nimbalo help'"); }
Status cmd_install() { return fail("install is not available on Linux (it installs the Windows service)"); }
Status cmd_service_install() { return fail("service install is not available on Linux; run 'nimbalo service run' in the foreground"); }
Status cmd_service_uninstall() { return fail("service uninstall is not available on Linux"); }

}  // namespace nimbalo

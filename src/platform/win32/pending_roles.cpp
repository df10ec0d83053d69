// Windows roles whose implementations have not landed yet: each ends with a clear error, never a
// silent success. Each owner replaces its line when the role arrives.
#include "cli/roles.h"

namespace nimbalo {

Status cmd_launcher(bool) { return fail("the GUI launcher is not part of this build yet"); }

}  // namespace nimbalo

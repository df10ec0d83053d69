// Placeholder until self-update lands: the role ends with a clear error, never a silent success.
#include "cli/roles.h"

namespace nimbalo {
Status cmd_update(const std::vector<std::string>&) { return fail("self-update is not available in this build yet"); }
}  // namespace nimbalo

// Placeholder until the service lands: the role ends with a clear error, never a silent success.
#include "cli/roles.h"

namespace nimbalo {
Status cmd_service_run() { return fail("the search service is not available in this build yet"); }
}  // namespace nimbalo

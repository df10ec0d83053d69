#include "platform/shell_open.h"

namespace nimbalo::platform {

// No launcher exists on POSIX, so there is nothing to start after an update.
Status open_as_user(const std::string&) { return {}; }

}  // namespace nimbalo::platform

#include "platform/service_control.h"

namespace nimbalo::platform {

bool service_exists(const std::string&) { return false; }

}  // namespace nimbalo::platform

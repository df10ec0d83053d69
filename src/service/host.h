// The service process: prepare the first index, then open the loopback listener and serve until
// the stop control. Order matters: no request is answered before an index is published.
// Exit codes of the service's own failures, reported to the service manager.
#pragma once

#include <cstdint>

#include "platform/service_host.h"

namespace nimbalo {

inline constexpr uint16_t kServicePort = 8123;
inline constexpr uint32_t kExitNoIndex = 1;   // no usable index.bin and the volume cannot be indexed
inline constexpr uint32_t kExitNoListener = 2;  // port 8123 cannot be bound

// The service's main routine (what the host runs once connected to the service manager).
platform::ServiceExit service_main(platform::ServiceContext& ctx);

}  // namespace nimbalo

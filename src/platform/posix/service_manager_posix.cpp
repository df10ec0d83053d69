#include <unistd.h>

#include "platform/service_manager.h"
#include "platform/system.h"

namespace nimbalo::platform {

bool service_exists(const std::string&) { return false; }
bool service_running(const std::string&) { return false; }
bool service_running_or_starting(const std::string&) { return false; }
Result<uint32_t> service_process_id(const std::string&) { return fail("this system has no service manager"); }
Status create_service(const std::string&, const std::string&) { return fail("this system has no service manager"); }
Status delete_service(const std::string&) { return fail("this system has no service manager"); }
bool start_elevated(const std::string&, const std::string&) { return false; }
bool running_elevated() { return ::geteuid() == 0; }

}  // namespace nimbalo::platform

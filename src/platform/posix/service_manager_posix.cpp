#include <unistd.h>

#include <filesystem>

#include "platform/service_manager.h"
#include "platform/system.h"

namespace nimbalo::platform {

bool service_running(const std::string&) { return false; }
Status create_service(const std::string&, const std::string&) { return fail("this system has no service manager"); }
Status delete_service(const std::string&) { return fail("this system has no service manager"); }
bool start_elevated(const std::string&, const std::string&) { return false; }
bool running_elevated() { return ::geteuid() == 0; }

Status copy_file_replacing(const std::string& from, const std::string& to) {
    std::error_code ec;
    std::filesystem::copy_file(to_path(from), to_path(to), std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) return fail(io_error_text(ec.value()));
    return {};
}

}  // namespace nimbalo::platform

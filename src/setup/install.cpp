#include "setup/install.h"

#include "common/text.h"
#include "common/unicode.h"
#include "platform/system.h"

namespace nimbalo {

namespace {

// Windows paths compare without regard to letter case (any script's).
std::string folded(std::string_view path) { return to_lower_full(path); }

}  // namespace

std::string service_command_line(const std::string& installed_exe) { return "\"" + installed_exe + "\" service run"; }

Status install_service(const InstallSystem& sys, const std::string& program_folder, const std::string& installed_exe) {
    const auto self = sys.running_exe();
    if (!self) return fail(platform::io_error_text(platform::last_error_code()));
    if (folded(*self) != folded(installed_exe)) {
        if (auto st = sys.create_folders(program_folder); !st) return st;
        // A failed copy over an existing executable is expected while the service runs it (the
        // old copy stays); with nothing installed there is nothing to register.
        if (auto st = sys.copy_file(*self, installed_exe); !st && !sys.file_exists(installed_exe)) return st;
    }
    sys.secure_data_folder();
    if (sys.service_exists()) {
        if (!sys.service_running()) sys.start_service();
        return {};
    }
    if (auto st = sys.create_service(service_command_line(installed_exe)); !st) return st;
    sys.start_service();
    return {};
}

Status uninstall_service(const InstallSystem& sys) { return sys.delete_service(); }

Status install_command(const InstallSystem& sys, const std::string& program_folder, const std::string& installed_exe) {
    if (sys.has_admin_rights() || sys.running_elevated()) {
        if (auto st = install_service(sys, program_folder, installed_exe); !st) return st;
        sys.print("Nimbalo installed to " + installed_exe + " and the service is starting.\n");
        return {};
    }
    if (sys.elevate()) {
        sys.print("UAC requested \xE2\x80\x94 approve the prompt to install Nimbalo.\n");
        return {};
    }
    return fail("UAC was cancelled; no changes made.");
}

}  // namespace nimbalo

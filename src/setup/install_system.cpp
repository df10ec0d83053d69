#include <filesystem>

#include "platform/console.h"
#include "platform/data_folder.h"
#include "platform/file_io.h"
#include "platform/service_manager.h"
#include "platform/system.h"
#include "mft/volume.h"
#include "setup/install.h"

namespace nimbalo {

bool has_admin_rights() { return open_volume('C').ok(); }  // the volume closes as the result goes

InstallSystem real_install_system() {
    InstallSystem s;
    s.running_exe = [] { return platform::executable_path(); };
    s.create_folders = [](const std::string& folder) -> Status {
        std::error_code ec;
        std::filesystem::create_directories(platform::to_path(folder), ec);
        if (ec) return fail(platform::io_error_text(ec.value()));
        return {};
    };
    s.copy_file = [](const std::string& from, const std::string& to) { return platform::copy_file_over(from, to); };
    s.file_exists = [](const std::string& path) {
        std::error_code ec;
        return std::filesystem::is_regular_file(platform::to_path(path), ec);
    };
    s.service_exists = [] { return platform::service_exists(kServiceName); };
    s.service_running = [] { return platform::service_running(kServiceName); };
    s.create_service = [](const std::string& cmd) { return platform::create_service(kServiceName, cmd); };
    s.delete_service = [] { return platform::delete_service(kServiceName); };
    s.start_service = [] {
        const std::string sc = platform::join_path(platform::system_directory(), "sc.exe");
        (void)platform::run_process(sc, {"start", kServiceName}, false);
    };
    s.secure_data_folder = [] { (void)platform::create_private_folder(platform::service_data_folder(), true); };
    s.has_admin_rights = [] { return has_admin_rights(); };
    s.running_elevated = [] { return platform::running_elevated(); };
    s.elevate = [] {
        const auto self = platform::executable_path();
        return self && platform::start_elevated(*self, "install");
    };
    s.print = [](std::string_view text) { platform::write_stdout(text); };
    return s;
}

}  // namespace nimbalo

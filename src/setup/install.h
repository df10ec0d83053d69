// Installation: copy the running executable into the program folder, register it as the "Nimbalo"
// service (automatic start, LocalSystem, "\"{installed_exe}\" service run") and start it; remove the
// registration; and the `install` command's elevation path.
// The machine is reached through InstallSystem so the sequence can be exercised with fakes;
// real_install_system() wires the platform calls (sc.exe is run from the system folder, never
// found through the search path, where a portable copy's own folder comes first).
// Not thread-safe: one install at a time per process.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"

namespace nimbalo {

inline constexpr const char* kServiceName = "Nimbalo";

struct InstallSystem {
    std::function<std::optional<std::string>()> running_exe;
    std::function<Status(const std::string& folder)> create_folders;
    std::function<Status(const std::string& from, const std::string& to)> copy_file;
    std::function<bool(const std::string& path)> file_exists;
    std::function<bool()> service_exists;
    std::function<bool()> service_running;
    std::function<Status(const std::string& command_line)> create_service;
    std::function<Status()> delete_service;
    std::function<void()> start_service;       // sc.exe start Nimbalo; its outcome is not checked
    std::function<void()> secure_data_folder;  // the service's data folder for SYSTEM and Administrators
    std::function<bool()> has_admin_rights;
    std::function<bool()> running_elevated;
    std::function<bool()> elevate;             // start ourselves again with "runas" and "install"
    std::function<void(std::string_view)> print;
};

InstallSystem real_install_system();

// Copy (unless running from installed_exe), secure the data folder, register or start.
Status install_service(const InstallSystem& sys, const std::string& program_folder, const std::string& installed_exe);
Status uninstall_service(const InstallSystem& sys);

// The `install` command: install when we have the rights, else ask for elevation. A process that is
// already elevated installs even when drive C does not open raw (not NTFS, say): asking again would
// start an endless chain of elevated copies, each failing the same test.
Status install_command(const InstallSystem& sys, const std::string& program_folder, const std::string& installed_exe);

// Drive C opens raw: the test for administrator rights.
bool has_admin_rights();

// "\"{exe}\" service run"
std::string service_command_line(const std::string& installed_exe);

}  // namespace nimbalo

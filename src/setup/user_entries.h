// What uninstalling removes beyond the service registration: the running user's autostart value
// and desktop shortcut when they name the installed executable (someone else's entries are left
// alone), and the per-user markers that remember them. Returns one line per thing removed, for the
// command to print.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"

namespace nimbalo {

struct UserEntriesSystem {
    std::function<std::string()> installed_exe;
    std::function<std::optional<std::string>()> read_run_value;
    std::function<Status()> delete_run_value;
    std::function<Result<std::string>()> desktop_folder;
    std::function<Result<std::string>(const std::string& shortcut)> shortcut_target;
    std::function<std::optional<std::string>()> data_folder;  // the per-user data folder, when known
    std::function<bool(const std::string&)> file_exists;
    std::function<Status(const std::string&)> remove_file;
};

UserEntriesSystem system_user_entries();

std::vector<std::string> remove_user_entries(const UserEntriesSystem& sys);

}  // namespace nimbalo

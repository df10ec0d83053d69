#include "setup/user_entries.h"

#include "common/unicode.h"
#include "platform/file_io.h"
#include "platform/program_paths.h"
#include "platform/run_key.h"
#include "platform/shell_link.h"
#include "platform/system.h"
#include "setup/autostart.h"
#include "setup/desktop_shortcut.h"
#include "userdata/activity_log.h"

namespace nimbalo {

std::vector<std::string> remove_user_entries(const UserEntriesSystem& sys) {
    std::vector<std::string> said;
    const std::string exe = to_lower_full(sys.installed_exe());
    if (const auto value = sys.read_run_value(); value && to_lower_full(*value).find(exe) != std::string::npos) {
        if (Status s = sys.delete_run_value(); s)
            said.push_back("removed the autostart entry (Run value \"" + std::string(kRunValueName) + "\")");
        else
            said.push_back("could not remove the autostart entry: " + s.error());
    }
    if (auto desktop = sys.desktop_folder()) {
        const std::string lnk = *desktop + "\\" + kShortcutName;
        if (sys.file_exists(lnk)) {
            if (auto target = sys.shortcut_target(lnk); target && to_lower_full(*target) == exe) {
                if (Status s = sys.remove_file(lnk); s)
                    said.push_back("removed the desktop shortcut " + lnk);
                else
                    said.push_back("could not remove the desktop shortcut " + lnk + ": " + s.error());
            }
        }
    }
    if (const auto data = sys.data_folder()) {
        for (const char* name : {kShortcutMarker, kAutostartOffMarker}) {
            const std::string marker = platform::join_path(*data, name);
            if (sys.file_exists(marker) && sys.remove_file(marker)) said.push_back("removed " + marker);
        }
    }
    return said;
}

UserEntriesSystem system_user_entries() {
    UserEntriesSystem s;
    s.installed_exe = [] { return installed_exe(); };
    s.read_run_value = [] { return platform::read_run_value(kRunValueName); };
    s.delete_run_value = [] { return platform::delete_run_value(kRunValueName); };
    s.desktop_folder = [] { return platform::desktop_folder(); };
    s.shortcut_target = [](const std::string& p) { return platform::shortcut_target(p); };
    s.data_folder = []() -> std::optional<std::string> { return data_folder(); };
    s.file_exists = [](const std::string& p) { return platform::path_exists(p); };
    s.remove_file = [](const std::string& p) { return platform::remove_file(p); };
    return s;
}

}  // namespace nimbalo

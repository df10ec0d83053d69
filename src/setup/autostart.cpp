#include "setup/autostart.h"

#include "common/text.h"
#include "platform/file_io.h"
#include "platform/program_paths.h"
#include "platform/run_key.h"
#include "platform/system.h"
#include "userdata/activity_log.h"

namespace nimbalo {

std::string run_value_data(const std::string& installed_exe) { return "\"" + installed_exe + "\" --tray"; }

bool autostart_enabled(const AutostartSystem& sys) { return sys.read_value().has_value(); }

Status set_autostart(const AutostartSystem& sys, bool enable) {
    const std::string data = run_value_data(sys.installed_exe());
    if (Status s = enable ? sys.write_value(data) : sys.delete_value(); !s) return s;
    sys.mark_off(!enable);
    sys.log_line(std::string("autostart: ") + (enable ? "enabled" : "disabled") + " (" + data + ")");
    return {};
}

void repair_autostart(const AutostartSystem& sys) {
    if (sys.off_marked()) return;
    const std::string value = sys.read_value().value_or("");
    if (trim_ascii(value).empty() || value.find("--tray") == std::string::npos) (void)set_autostart(sys, true);
}

AutostartSystem system_autostart() {
    AutostartSystem s;
    s.read_value = [] { return platform::read_run_value(kRunValueName); };
    s.write_value = [](const std::string& data) { return platform::write_run_value(kRunValueName, data); };
    s.delete_value = [] { return platform::delete_run_value(kRunValueName); };
    s.installed_exe = [] { return installed_exe(); };
    const auto marker = [] { return platform::join_path(data_folder(), kAutostartOffMarker); };
    s.off_marked = [marker] { return platform::path_exists(marker()); };
    s.mark_off = [marker](bool off) {
        if (off) {
            (void)platform::create_folders(data_folder());
            (void)platform::write_file_atomic(marker(), "switched off by the user\n");
        } else {
            (void)platform::remove_file(marker());
        }
    };
    s.log_line = [](std::string_view line) { log_line(line); };
    return s;
}

}  // namespace nimbalo

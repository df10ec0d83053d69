// Autostart: the value "Nimbalo" in the user's Run key, data "\"{installed_exe}\" --tray", which
// starts the installed launcher in the tray at sign-in. Read and switched by the tray menu and the
// settings view; repaired by the installed launcher at each start.
// A switch-off chosen by the user is remembered by the marker file "autostart-off" in the
// per-user data folder, and the repair leaves the Run key alone while it exists: otherwise
// "Start with Windows: off" would come back at the very next start. Switching on removes it.
// The machine is reached through AutostartSystem so the rules can be tested with fakes.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"

namespace nimbalo {

inline constexpr const char* kRunValueName = "Nimbalo";
inline constexpr const char* kAutostartOffMarker = "autostart-off";

struct AutostartSystem {
    std::function<std::optional<std::string>()> read_value;
    std::function<Status(const std::string& data)> write_value;
    std::function<Status()> delete_value;
    std::function<std::string()> installed_exe;
    std::function<bool()> off_marked;
    std::function<void(bool off)> mark_off;  // write (true) or remove (false) the marker; errors ignored
    std::function<void(std::string_view)> log_line;
};

// The real ones: the Run key, the data folder's marker, the activity log.
AutostartSystem system_autostart();

// "\"{exe}\" --tray"
std::string run_value_data(const std::string& installed_exe);

// The value exists (and fits the 4,096-byte buffer).
bool autostart_enabled(const AutostartSystem& sys);

// Writes or deletes the value; on success logs "autostart: {enabled|disabled} ({data})" and
// records (off) or clears (on) the user's choice.
Status set_autostart(const AutostartSystem& sys, bool enable);

// Unless the user switched autostart off: a missing value, one that is empty after trimming, or
// one without "--tray" is written again. Errors are ignored.
void repair_autostart(const AutostartSystem& sys);

}  // namespace nimbalo

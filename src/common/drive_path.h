// Windows drive paths as text ("X:\..."): the only paths the program ever probes on disk, and the
// last component of such a path. Pure; thread-safe.
#pragma once

#include <string_view>

namespace nimbalo {

// "X:\..." with X an ASCII letter. Only such paths are ever probed: a UNC path would make the
// machine contact (and authenticate to) another host.
bool is_drive_path(std::string_view path);

// The last component of a backslash path, or the whole path when it has none.
std::string_view last_component(std::string_view path);

}  // namespace nimbalo

// Shell shortcuts (.lnk files) through the shell link object (IShellLinkW and IPersistFile), and
// the user's desktop folder. COM is initialised (apartment-threaded) on the calling thread for the
// duration of each call. POSIX has neither: every call fails with a clear text.
// COM errors read "{system message} (0x{hresult, 8 lower-case hex digits})", or only the 0x value
// when the system has no message.
#pragma once

#include <string>

#include "common/result.h"

namespace nimbalo::platform {

struct ShortcutSpec {
    std::string target;
    std::string working_folder;
    std::string description;
};

// Writes (or overwrites) the shortcut at path: the target with no arguments, the working folder,
// the description and the target's first icon. Errors: "CoCreateInstance(ShellLink): {}",
// "SetPath: {}", "IPersistFile: {}", "Save: {}".
Status create_shortcut(const std::string& path, const ShortcutSpec& spec);

// The target path a shortcut names.
Result<std::string> shortcut_target(const std::string& path);

// SHGetKnownFolderPath(FOLDERID_Desktop). Error: "no desktop folder".
Result<std::string> desktop_folder();

}  // namespace nimbalo::platform

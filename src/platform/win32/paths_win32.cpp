// Installed-program and per-user folders on Windows (see platform/system.h).
// Program Files comes from the shell's known folder, never from the environment, which the user
// controls: the installer copies an elevated executable there.
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/system.h"
#include "platform/win32/win32_util.h"

namespace nimbalo::platform {

std::string program_files_folder() {
    PWSTR path = nullptr;
    std::string out = "C:\\Program Files";
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramFiles, 0, nullptr, &path)) && path && *path)
        out = win32::narrow(path);
    CoTaskMemFree(path);  // also required after a failure; accepts null
    return out;
}

const char* executable_file_name() { return "nimbalo.exe"; }

std::string fallback_data_home() { return temp_dir(); }

std::string join_path(std::string_view dir, std::string_view name) {
    std::string out(dir);
    if (!out.empty() && out.back() != '\\' && out.back() != '/') out += '\\';
    out += name;
    return out;
}

}  // namespace nimbalo::platform

// Folder facts on Windows. Program Files comes from the known-folder API, never from the
// ProgramFiles variable, which the (unelevated) user controls and an elevated install inherits.
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "common/text.h"
#include "platform/system.h"

namespace nimbalo::platform {

std::string program_files_folder() {
    PWSTR p = nullptr;
    std::string out = "C:\\Program Files";
    if (SHGetKnownFolderPath(FOLDERID_ProgramFiles, 0, nullptr, &p) == S_OK && p)
        out = utf16_to_utf8(std::u16string_view(reinterpret_cast<const char16_t*>(p)));
    CoTaskMemFree(p);  // also owed on failure; null is fine
    return out;
}

std::string fallback_data_home() { return temp_dir(); }

const char* executable_file_name() { return "nimbalo.exe"; }

std::string join_path(std::string_view dir, std::string_view name) {
    std::string out(dir);
    if (!out.empty() && out.back() != '\\' && out.back() != '/') out += '\\';
    out += name;
    return out;
}

}  // namespace nimbalo::platform

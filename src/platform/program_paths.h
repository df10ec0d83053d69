// Where the installed copy lives and which executable to name in commands (the service, the MCP
// client configuration, autostart and the updater all name it).
// program_folder = the machine's Program Files folder + "Nimbalo"; installed_exe = program_folder +
// "nimbalo.exe" (on Linux "nimbalo"). Cheap; thread-safe.
#pragma once

#include <string>

namespace nimbalo {

std::string program_folder();
std::string installed_exe();

struct PreferredExe {
    std::string path;
    bool installed = false;
};
// installed_exe when that file exists; else the running executable; else the bare "nimbalo.exe".
PreferredExe preferred_exe();

}  // namespace nimbalo

#include "platform/program_paths.h"

#include <filesystem>

#include "platform/system.h"

namespace nimbalo {

std::string program_folder() { return platform::join_path(platform::program_files_folder(), "Nimbalo"); }

std::string installed_exe() {
    return platform::join_path(program_folder(), platform::executable_file_name());
}

PreferredExe preferred_exe() {
    std::error_code ec;
    const std::string inst = installed_exe();
    if (std::filesystem::is_regular_file(platform::to_path(inst), ec)) return {inst, true};
    if (auto self = platform::executable_path()) return {*self, false};
    return {"nimbalo.exe", false};
}

}  // namespace nimbalo

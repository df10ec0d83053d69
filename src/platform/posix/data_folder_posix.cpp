#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/data_folder.h"
#include "platform/system.h"

namespace nimbalo::platform {

std::string service_data_folder() {
    if (auto pd = get_env("ProgramData"); pd && !pd->empty()) return join_path(*pd, "Nimbalo");
    return "/var/lib/nimbalo";
}

Status create_private_folder(const std::string& path, bool reset_existing) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!reset_existing) {
            // Ours but open to others (made by an older build, or changed since): make it private
            // again. A folder of another owner stays as it is and is refused as untrusted.
            if (S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0)
                return fail(io_error_text(errno));
            return {};
        }
        if (!S_ISDIR(st.st_mode) && ::unlink(path.c_str()) != 0) return fail(io_error_text(errno));
    }
    std::error_code ec;
    const auto p = to_path(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return fail(io_error_text(errno));
    if (::chmod(path.c_str(), 0700) != 0) return fail(io_error_text(errno));
    return {};
}

bool folder_is_trusted(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    // Nobody but the owner may add, replace or rename files in it.
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return false;
    return st.st_uid == 0 || st.st_uid == ::geteuid();
}

}  // namespace nimbalo::platform

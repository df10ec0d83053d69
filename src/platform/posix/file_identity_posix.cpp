#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_identity.h"

namespace nimbalo::platform {

EntryKind entry_kind(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT || errno == ENOTDIR ? EntryKind::missing : EntryKind::other;
    return S_ISREG(st.st_mode) ? EntryKind::regular_file : EntryKind::other;
}

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool remove_empty_folder(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

}  // namespace nimbalo::platform

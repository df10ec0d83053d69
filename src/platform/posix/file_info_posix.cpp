#include <sys/stat.h>

#include <string>

#include "platform/file_info.h"
#include "platform/system.h"

namespace nimbalo::platform {

namespace {

constexpr int64_t kUnixEpochIn1601Seconds = 11644473600;

// "C:\a\b" -> "$NIMBALO_MOUNT_C/a/b"; nullopt when the path is not a drive path or the drive has
// no mount folder. A component that is "." or ".." is refused so a request cannot climb out of
// the mounted volume.
std::optional<std::string> host_path(std::string_view path) {
    if (path.size() < 3 || path[1] != ':' || path[2] != '\\') return std::nullopt;
    char letter = path[0];
    if (letter >= 'a' && letter <= 'z') letter = char(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'Z') return std::nullopt;
    const std::string var = std::string("NIMBALO_MOUNT_") + letter;
    auto root = get_env(var.c_str());
    if (!root || root->empty()) return std::nullopt;
    std::string out = *root;
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    std::string_view rest = path.substr(3);
    while (!rest.empty()) {
        const size_t cut = rest.find('\\');
        const std::string_view part = rest.substr(0, cut);
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
        if (part.empty()) continue;
        if (part == "." || part == ".." || part.find('/') != std::string_view::npos || part.find('\0') != std::string_view::npos)
            return std::nullopt;
        out += '/';
        out += part;
    }
    return out;
}

uint64_t to_filetime(const struct timespec& t) {
    const int64_t secs = int64_t(t.tv_sec) + kUnixEpochIn1601Seconds;
    if (secs < 0) return 0;
    return uint64_t(secs) * 10000000u + uint64_t(t.tv_nsec) / 100u;
}

}  // namespace

std::optional<FileInfo> file_info(std::string_view path) {
    const auto host = host_path(path);
    if (!host) return std::nullopt;
    struct stat st {};
    if (::lstat(host->c_str(), &st) != 0) return std::nullopt;
    FileInfo info;
    info.is_dir = S_ISDIR(st.st_mode);
    info.size = info.is_dir ? 0 : uint64_t(st.st_size);
    info.last_write = to_filetime(st.st_mtim);
    return info;
}

}  // namespace nimbalo::platform

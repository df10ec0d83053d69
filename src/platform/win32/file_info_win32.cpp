#include <windows.h>

#include <string>

#include "platform/file_info.h"
#include "platform/win32/win32_util.h"

namespace nimbalo::platform {

// GetFileAttributesExW describes the entry itself (a link is not followed), which is what a
// metadata probe wants; it also never opens the file, so a locked file still answers.
std::optional<FileInfo> file_info(std::string_view path) {
    const std::wstring wide = win32::widen(path);
    if (wide.find(L'\0') != std::wstring::npos) return std::nullopt;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    FileInfo info;
    bool link_like = false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // Only symbolic-link-type reparse points (symlinks, junctions) stop an entry being a folder;
        // other reparse points (dedup, cloud placeholders) are still real folders.
        WIN32_FIND_DATAW find{};
        HANDLE h = FindFirstFileW(wide.c_str(), &find);
        if (h != INVALID_HANDLE_VALUE) {
            FindClose(h);
            link_like = find.dwReserved0 == IO_REPARSE_TAG_SYMLINK || find.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT;
        } else {
            link_like = true;
        }
    }
    info.is_dir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !link_like;
    info.size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    info.last_write = (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return info;
}

}  // namespace nimbalo::platform

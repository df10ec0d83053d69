#include <windows.h>

#include <optional>

#include "platform/file_identity.h"
#include "platform/win32/win32_util.h"

namespace nimbalo::platform {

namespace {

struct FileId {
    DWORD volume, high, low;
    bool operator==(const FileId&) const = default;
};

// Opened for no access at all (FILE_FLAG_BACKUP_SEMANTICS admits folders), sharing everything,
// so a running executable or a file held open by another program can still be identified.
std::optional<FileId> file_id(const std::string& path) {
    HANDLE h = CreateFileW(win32::widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const BOOL ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (!ok) return std::nullopt;
    return FileId{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

}  // namespace

EntryKind entry_kind(const std::string& path) {
    const DWORD attrs = GetFileAttributesW(win32::widen(path).c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) {
        const DWORD e = GetLastError();
        return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? EntryKind::missing : EntryKind::other;
    }
    if (attrs & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) return EntryKind::other;
    return EntryKind::regular_file;
}

bool same_file(const std::string& a, const std::string& b) {
    const auto ia = file_id(a);
    if (!ia) return false;
    const auto ib = file_id(b);
    return ib && *ia == *ib;
}

bool remove_empty_folder(const std::string& path) { return RemoveDirectoryW(win32::widen(path).c_str()) != 0; }

}  // namespace nimbalo::platform

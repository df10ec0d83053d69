// The service's data folder on Windows: %ProgramData%\Nimbalo with an access list for SYSTEM and
// Administrators only. A user can create folders under ProgramData, so the service refuses a folder
// it did not make safe: one that is a reparse point (a junction could send the writes elsewhere) or
// that another account owns (its owner could rewrite the access list).
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "common/text.h"
#include "platform/data_folder.h"
#include "platform/system.h"
#include "platform/win32/win32_util.h"

namespace nimbalo::platform {

namespace {

// Owner Administrators; protected list (nothing inherited from ProgramData): full control for
// SYSTEM and Administrators, inherited by everything created inside.
constexpr wchar_t kFolderSddl[] = L"O:BAG:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

// Sole owner of a security descriptor from ConvertStringSecurityDescriptorToSecurityDescriptorW.
class Descriptor {
public:
    Descriptor() { ConvertStringSecurityDescriptorToSecurityDescriptorW(kFolderSddl, SDDL_REVISION_1, &sd_, nullptr); }
    Descriptor(const Descriptor&) = delete;  // freed exactly once
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (sd_) LocalFree(sd_);
    }
    PSECURITY_DESCRIPTOR get() const { return sd_; }

private:
    PSECURITY_DESCRIPTOR sd_ = nullptr;
};

}  // namespace

std::string service_data_folder() {
    auto pd = get_env("ProgramData");
    const std::string base = (pd && !pd->empty()) ? *pd : std::string("C:\\ProgramData");
    return join_path(base, "Nimbalo");
}

Status create_private_folder(const std::string& path, bool reset_existing) {
    Descriptor sd;
    if (!sd.get()) return fail(last_system_error_text());
    const std::wstring w = win32::widen(path);
    const DWORD attrs = GetFileAttributesW(w.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES) {
        if (!reset_existing) return {};
        if (attrs & FILE_ATTRIBUTE_REPARSE_POINT) {
            // Removes the link itself, never what it points to.
            if (!RemoveDirectoryW(w.c_str()) && !DeleteFileW(w.c_str())) return fail(io_error_text(last_error_code()));
        } else if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
            return fail("not a folder: " + path);
        } else {
            PSID owner = nullptr;
            PACL dacl = nullptr;
            BOOL defaulted = FALSE, present = FALSE;
            GetSecurityDescriptorOwner(sd.get(), &owner, &defaulted);
            GetSecurityDescriptorDacl(sd.get(), &present, &dacl, &defaulted);
            const DWORD err = SetNamedSecurityInfoW(const_cast<LPWSTR>(w.c_str()), SE_FILE_OBJECT,
                                                    OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                                        PROTECTED_DACL_SECURITY_INFORMATION,
                                                    owner, nullptr, dacl, nullptr);
            if (err != ERROR_SUCCESS) return fail(io_error_text(int(err)));
            return {};
        }
    }
    SECURITY_ATTRIBUTES sa{sizeof sa, sd.get(), FALSE};
    if (!CreateDirectoryW(w.c_str(), &sa) && GetLastError() != ERROR_ALREADY_EXISTS) return fail(io_error_text(last_error_code()));
    return {};
}

bool folder_is_trusted(const std::string& path) {
    const std::wstring w = win32::widen(path);
    const DWORD attrs = GetFileAttributesW(w.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY) || (attrs & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetNamedSecurityInfoW(w.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &sd) != ERROR_SUCCESS)
        return false;
    const bool trusted = owner && (IsWellKnownSid(owner, WinLocalSystemSid) || IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
    LocalFree(sd);
    return trusted;
}

}  // namespace nimbalo::platform

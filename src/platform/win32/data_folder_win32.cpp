// The service's data folder on Windows: %ProgramData%\Nimbalo with an access list for SYSTEM and
// Administrators only. A user can create folders under ProgramData, so the service refuses a folder
// it did not make safe: one that is a reparse point (a junction could send the writes elsewhere),
// that another account owns (its owner could rewrite the access list), or whose access list lets
// another account write in it (it could plant files where the service writes).
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

bool is_service_account(PSID sid) {
    return sid && (IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid));
}

// True when the access list lets an account other than SYSTEM or Administrators add, replace,
// rename or delete anything in the folder, or change who may. A missing list grants everyone
// everything; an allow entry of a kind not read here counts as granting.
bool others_may_write(const ACL* dacl) {
    if (!dacl) return true;
    constexpr ACCESS_MASK kWrite = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                   WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(const_cast<ACL*>(dacl), i, &ace)) return true;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceFlags & INHERIT_ONLY_ACE) continue;
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE) {
            const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
            if ((allowed->Mask & kWrite) && !is_service_account(PSID(const_cast<DWORD*>(&allowed->SidStart)))) return true;
        } else if (header->AceType == ACCESS_ALLOWED_OBJECT_ACE_TYPE || header->AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE ||
                   header->AceType == ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE) {
            return true;
        }
    }
    return false;
}

// Whether the existing folder at w is owned by SYSTEM or Administrators and lets others write.
struct FolderSecurity {
    bool service_owned = false;
    bool open_to_others = true;
};
FolderSecurity folder_security(const std::wstring& w) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetNamedSecurityInfoW(w.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS)
        return {};
    FolderSecurity f{is_service_account(owner), others_may_write(dacl)};
    LocalFree(sd);
    return f;
}

// Owner and protected access list of kFolderSddl on the folder at w.
Status apply_private_descriptor(const std::wstring& w, const Descriptor& sd) {
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
        const bool real_folder = (attrs & FILE_ATTRIBUTE_DIRECTORY) && !(attrs & FILE_ATTRIBUTE_REPARSE_POINT);
        if (!reset_existing) {
            // Ours but open to others: make it private again. Another owner's folder stays as it
            // is and is refused as untrusted.
            if (!real_folder) return {};
            const FolderSecurity f = folder_security(w);
            return f.service_owned && f.open_to_others ? apply_private_descriptor(w, sd) : Status{};
        }
        if (attrs & FILE_ATTRIBUTE_REPARSE_POINT) {
            // Removes the link itself, never what it points to.
            if (!RemoveDirectoryW(w.c_str()) && !DeleteFileW(w.c_str())) return fail(io_error_text(last_error_code()));
        } else if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
            return fail("not a folder: " + path);
        } else {
            return apply_private_descriptor(w, sd);
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
    const FolderSecurity f = folder_security(w);
    return f.service_owned && !f.open_to_others;
}

}  // namespace nimbalo::platform

// The machine-wide folder that holds the service's index.bin, and the checks that keep other users
// from steering what the service loads or where it writes.
// Windows: %ProgramData%\Nimbalo (C:\ProgramData\Nimbalo when the variable is unset); the folder
// carries a protected access list for SYSTEM and Administrators only, and is trusted only when it is
// not a reparse point and is owned by SYSTEM or Administrators.
// POSIX: $ProgramData/Nimbalo when ProgramData is set, else /var/lib/nimbalo; mode 0700, trusted when
// it is a real directory (not a symbolic link) owned by root or the running user that neither its
// group nor others may write to.
// Windows also refuses a folder whose access list lets anyone but SYSTEM and Administrators write.
// Thread-safe; each call asks the file system afresh.
#pragma once

#include <string>

#include "common/result.h"

namespace nimbalo::platform {

std::string service_data_folder();

// Create the folder (and missing parents) restricted as above. When it already exists: with
// reset_existing, take it over (owner and access list reset; a reparse point or link in its place
// is removed and a real folder created); without, only repair one of ours that others may write to
// (POSIX: owned by the running user; Windows: owned by SYSTEM or Administrators) and leave any
// other as it is.
Status create_private_folder(const std::string& path, bool reset_existing);

// True when path is a folder the service may read index.bin from and write it to.
bool folder_is_trusted(const std::string& path);

}  // namespace nimbalo::platform

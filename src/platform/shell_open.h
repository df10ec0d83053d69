// Starting the launcher again after an update, at the signed-in user's normal privilege level
// even when the caller runs elevated. Windows: the shell (explorer.exe from the Windows folder)
// opens the executable, so the new process gets the shell's token, not ours; we do not wait.
// POSIX: there is no launcher to start; this does nothing and succeeds.
#pragma once

#include <string>

#include "common/result.h"

namespace nimbalo::platform {

Status open_as_user(const std::string& executable);

}  // namespace nimbalo::platform

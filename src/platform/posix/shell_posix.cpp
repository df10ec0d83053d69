// No Run key, shell shortcuts or desktop folder on this platform (the launcher that uses them is
// Windows-only).
#include "platform/run_key.h"
#include "platform/shell_link.h"

namespace nimbalo::platform {

std::optional<std::string> read_run_value(const std::string&) { return std::nullopt; }
Status write_run_value(const std::string&, const std::string&) { return fail("this system has no Run key"); }
Status delete_run_value(const std::string&) { return fail("this system has no Run key"); }

Status create_shortcut(const std::string&, const ShortcutSpec&) { return fail("this system has no shell shortcuts"); }
Result<std::string> shortcut_target(const std::string&) { return fail("this system has no shell shortcuts"); }
Result<std::string> desktop_folder() { return fail("no desktop folder"); }

}  // namespace nimbalo::platform

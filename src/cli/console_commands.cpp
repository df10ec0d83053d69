// Console index commands. Filled in as the volume, MFT and index layers land.
#include "cli/console_format.h"
#include "cli/roles.h"
#include "mft/journal.h"
#include "mft/volume.h"
#include "platform/console.h"

namespace nimbalo {

Status cmd_build(char) { return fail("build is not available yet in this build"); }
Status cmd_search(const std::string&, char, bool) { return fail("search is not available yet in this build"); }
Status cmd_prefix(const std::string&, char) { return fail("prefix is not available yet in this build"); }
Status cmd_recent(uint64_t n, char drive) {
    auto changes = latest_changes(drive, n);
    if (!changes) return std::move(changes).take_error();
    for (const auto& c : *changes) platform::write_stdout(format_change_line(c));
    return {};
}
Status cmd_watch(char) { return fail("watch is not available yet in this build"); }
Status cmd_drives() {
    for (char letter : list_ntfs_volumes()) platform::write_stdout(std::string(1, letter) + ":\n");
    return {};
}

}  // namespace nimbalo

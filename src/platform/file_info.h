// Metadata of one path, read from the file system without opening the file: what the MCP
// tools report for a path they did not find in an index. The entry itself is described, never
// the target of a link: a symbolic link or junction to a folder is not a folder here.
// Paths are Windows drive paths ("C:\Users\me\x.txt"). On Linux drive X is reached through the
// folder named by NIMBALO_MOUNT_X (where the volume is mounted); without it nothing exists.
// Thread-safe; one system call per query.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace nimbalo::platform {

struct FileInfo {
    bool is_dir = false;        // a directory that is not a symbolic-link-type reparse point
    uint64_t size = 0;          // bytes (0 for folders)
    uint64_t last_write = 0;    // FILETIME, UTC; 0 when the system reports a time before 1601
};

// nullopt when the metadata cannot be read (missing, no access, not a drive path on Linux).
std::optional<FileInfo> file_info(std::string_view path);

}  // namespace nimbalo::platform

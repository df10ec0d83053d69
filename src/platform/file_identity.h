// What a path names and whether two paths name one file, asked of the file system itself rather
// than read from the spelling: "a\..\b", another case on Windows, a hard link or a symbolic link
// all reach the same file. Thread-safe; a few system calls per query.
#pragma once

#include <string>

namespace nimbalo::platform {

enum class EntryKind { missing, regular_file, other };

// The entry itself, not the target of a link: a symbolic link, junction, folder or device is
// `other`. A path that cannot be examined for another reason than its absence is `other` too.
EntryKind entry_kind(const std::string& path);

// True when both paths exist and name the same file (links followed; POSIX: device and inode,
// Windows: volume serial number and file index).
bool same_file(const std::string& a, const std::string& b);

// Remove a folder only when it is empty; false when it is not, or is missing, or cannot be removed.
bool remove_empty_folder(const std::string& path);

}  // namespace nimbalo::platform

// Streaming file access and the few whole-file operations the updater needs, with the I/O
// error text "{message} (os error {code})" on every failure. A File is the sole owner of its
// OS handle (closed exactly once), move-only, used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "common/result.h"
#include "platform/unique_handle.h"

namespace nimbalo::platform {

// How a File's OS handle is closed (a descriptor on POSIX, a HANDLE on Windows).
struct FileHandleTraits {
    using Value = intptr_t;
    static constexpr Value none() { return -1; }
    static bool valid(Value v) { return v != -1; }
    static void close(Value v);
};

class File {
public:
    File() = default;
    explicit File(intptr_t handle) : handle_(handle) {}
    File(File&&) noexcept = default;
    File& operator=(File&&) noexcept = default;
    File(const File&) = delete;  // owns the OS handle: never copied
    File& operator=(const File&) = delete;

    static Result<File> open_read(const std::string& path);
    // Create or truncate for writing.
    static Result<File> create(const std::string& path);

    // Bytes read (0 at the end of the file); short reads and interruptions are retried here.
    Result<size_t> read(std::span<char> buf);
    Status write_all(std::span<const char> bytes);
    void close() { handle_.reset(); }
    bool valid() const { return handle_.valid(); }
    intptr_t handle() const { return handle_.get(); }

private:
    UniqueHandle<FileHandleTraits> handle_;
};

bool path_exists(const std::string& path);
// Create a folder with all missing parents; an existing folder is success.
Status create_folders(const std::string& path);
// Copy a file over to, replacing it (Windows: CopyFileExW). A failed copy leaves no partial file.
Status copy_file_over(const std::string& from, const std::string& to);
// Rename within one volume; fails when to exists (Windows: MoveFileExW without replace).
Status rename_file(const std::string& from, const std::string& to);
// Delete one file; a missing file is success.
Status remove_file(const std::string& path);

}  // namespace nimbalo::platform

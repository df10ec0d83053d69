// Streaming file access and the few whole-file operations the updater needs, with the I/O
// error text "{message} (os error {code})" on every failure. A File is the sole owner of its
// OS handle (closed exactly once), move-only, used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "common/result.h"

namespace nimbalo::platform {

class File {
public:
    File() = default;
    explicit File(intptr_t handle) : handle_(handle) {}
    File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = kInvalid; }
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;  // owns the OS handle: never copied
    File& operator=(const File&) = delete;
    ~File() { close(); }

    static Result<File> open_read(const std::string& path);
    // Create or truncate for writing.
    static Result<File> create(const std::string& path);

    // Bytes read (0 at the end of the file); short reads and interruptions are retried here.
    Result<size_t> read(std::span<char> buf);
    Status write_all(std::span<const char> bytes);
    void close();
    bool valid() const { return handle_ != kInvalid; }
    intptr_t handle() const { return handle_; }

    static constexpr intptr_t kInvalid = -1;

private:
    intptr_t handle_ = kInvalid;
};

bool path_exists(const std::string& path);
// Create a folder with all missing parents; an existing folder is success.
Status create_folders(const std::string& path);
// Copy a file over to, replacing it (Windows: CopyFileExW). A failed copy leaves no partial file.
Status copy_file_replacing(const std::string& from, const std::string& to);
// Rename within one volume; fails when to exists (Windows: MoveFileExW without replace).
Status rename_file(const std::string& from, const std::string& to);
// Delete one file; a missing file is success.
Status remove_file(const std::string& path);

}  // namespace nimbalo::platform

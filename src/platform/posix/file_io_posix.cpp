#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/file_io.h"
#include "platform/system.h"

namespace nimbalo::platform {

namespace {

Error errno_error() { return fail(io_error_text(errno)); }

}  // namespace

void FileHandleTraits::close(intptr_t v) { ::close(int(v)); }

Result<File> File::open_read(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno_error();
    return File(fd);
}

Result<File> File::create(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return errno_error();
    return File(fd);
}

Result<size_t> File::read(std::span<char> buf) {
    size_t got = 0;
    while (got < buf.size()) {
        const ssize_t n = ::read(int(handle()), buf.data() + got, buf.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno_error();
        }
        if (n == 0) break;
        got += size_t(n);
    }
    return got;
}

Status File::write_all(std::span<const char> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(int(handle()), bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno_error();
        }
        done += size_t(n);
    }
    return {};
}

bool path_exists(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0;
}

Status create_folders(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(to_path(path), ec);
    if (ec) return fail(io_error_text(ec.value()));
    return {};
}

Status copy_file_over(const std::string& from, const std::string& to) {
    auto in = File::open_read(from);
    if (!in) return std::move(in).take_error();
    struct stat st{};
    if (::fstat(int(in->handle()), &st) != 0) return errno_error();
    if (S_ISDIR(st.st_mode)) return fail(io_error_text(EISDIR));
    auto out = File::create(to);
    if (!out) return std::move(out).take_error();
    // Executables stay executable: the copy takes the source's read/write/execute bits, but never
    // set-user-ID, set-group-ID or sticky, which a copy made by root would turn into root's own.
    ::fchmod(int(out->handle()), st.st_mode & 0777);
    char buf[65536];
    for (;;) {
        auto n = in->read(buf);
        Status s;
        if (n && *n > 0) s = out->write_all(std::span<const char>(buf, *n));
        if (!n || !s) {
            const std::string text = n ? s.error() : n.error();
            out->close();
            ::unlink(to.c_str());
            return fail(text);
        }
        if (*n == 0) break;
    }
    if (::fsync(int(out->handle())) != 0) {
        const int e = errno;
        out->close();
        ::unlink(to.c_str());
        return fail(io_error_text(e));
    }
    return {};
}

Status rename_file(const std::string& from, const std::string& to) {
    // Never replace: the same contract as MoveFileExW without MOVEFILE_REPLACE_EXISTING.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
    if (errno != EINVAL && errno != ENOSYS) return errno_error();
    if (path_exists(to)) return fail(io_error_text(EEXIST));
    if (::rename(from.c_str(), to.c_str()) != 0) return errno_error();
    return {};
}

Status remove_file(const std::string& path) {
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) return {};
    return errno_error();
}

}  // namespace nimbalo::platform

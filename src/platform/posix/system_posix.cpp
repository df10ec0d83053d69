#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>

#include "common/text.h"
#include "platform/large_buffer.h"
#include "platform/system.h"

namespace nimbalo::platform {

std::optional<std::string> get_env(const char* name) {
    const char* v = std::getenv(name);
    if (!v) return std::nullopt;
    return std::string(v);
}

Status set_env(const char* name, const std::optional<std::string>& value) {
    const int rc = value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    if (rc != 0) return fail(io_error_text(errno));
    return {};
}

std::string temp_dir() {
    auto t = get_env("TMPDIR");
    std::string dir = (t && !t->empty()) ? *t : "/tmp";
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

uint64_t tick_count_ms() {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000;
}

CivilTime local_time_now() {
    time_t now = time(nullptr);
    tm t{};
    localtime_r(&now, &t);
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

uint32_t process_id() { return uint32_t(getpid()); }

std::optional<std::string> executable_path() {
    char buf[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0) return std::nullopt;
    return std::string(buf, size_t(n));
}

int last_error_code() { return errno; }

std::string system_error_text(int code) {
    return std::string(trim_ascii_right(strerror(code)));
}

std::string io_error_text(int code) {
    return system_error_text(code) + " (os error " + std::to_string(code) + ")";
}

std::filesystem::path to_path(std::string_view utf8) { return std::filesystem::path(std::string(utf8)); }
std::string from_path(const std::filesystem::path& path) { return path.string(); }

Result<std::string> read_file(const std::string& path, uint64_t max_bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(io_error_text(errno));
    std::string out;
    // One allocation at the final size: growing by doubling would touch every page two or three
    // times, which dominates loading a file of a hundred megabytes.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) <= max_bytes) reserve_huge(out, size_t(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int e = errno;
            ::close(fd);
            return fail(io_error_text(e));
        }
        if (n == 0) break;
        if (out.size() + size_t(n) > max_bytes) {
            ::close(fd);
            return fail("file is larger than " + std::to_string(max_bytes) + " bytes: " + path);
        }
        out.append(buf, size_t(n));
    }
    ::close(fd);
    return out;
}

Status write_file_atomic(const std::string& path, std::string_view bytes) {
    std::error_code ec;
    const auto target = to_path(path);
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
    // A fresh name, created exclusively and never through a link: whatever another user planted
    // in the folder is neither followed nor overwritten (a taken name moves on to the next one).
    static std::atomic<uint32_t> serial{0};
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        tmp = path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(serial.fetch_add(1));
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return fail(io_error_text(errno));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int e = errno;
            ::close(fd);
            ::unlink(tmp.c_str());
            return fail(io_error_text(e));
        }
        done += size_t(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int e = errno;
        ::unlink(tmp.c_str());
        return fail(io_error_text(e));
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const int e = errno;
        ::unlink(tmp.c_str());
        return fail(io_error_text(e));
    }
    // Make the rename itself durable.
    const std::string dir = target.has_parent_path() ? from_path(target.parent_path()) : ".";
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return {};
}

Status append_to_file_shared(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return fail(io_error_text(errno));
    ssize_t n;
    do {
        n = ::write(fd, bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    const int e = errno;
    ::close(fd);
    if (n < 0) return fail(io_error_text(e));
    if (size_t(n) != bytes.size())
        return fail("short append: " + std::to_string(n) + "/" + std::to_string(bytes.size()) + " bytes");
    return {};
}

Result<ProcessResult> run_process(const std::string& program, const std::vector<std::string>& args, bool capture) {
    int pipefd[2] = {-1, -1};
    if (capture && pipe2(pipefd, O_CLOEXEC) != 0) return fail(io_error_text(errno));
    int errpipe[2];
    if (pipe2(errpipe, O_CLOEXEC) != 0) return fail(io_error_text(errno));
    const pid_t pid = fork();
    if (pid < 0) return fail(io_error_text(errno));
    if (pid == 0) {
        if (capture) {
            dup2(pipefd[1], 1);
            dup2(pipefd[1], 2);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(program.c_str(), argv.data());
        const int e = errno;
        (void)!::write(errpipe[1], &e, sizeof e);
        _exit(127);
    }
    ::close(errpipe[1]);
    if (capture) ::close(pipefd[1]);
    ProcessResult result;
    if (capture) {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(pipefd[0], buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            result.output.append(buf, size_t(n));
        }
        ::close(pipefd[0]);
    }
    int exec_errno = 0;
    const ssize_t got = ::read(errpipe[0], &exec_errno, sizeof exec_errno);
    ::close(errpipe[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (got == sizeof exec_errno) return fail(io_error_text(exec_errno));
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

void set_current_thread_name(const char* name) { pthread_setname_np(pthread_self(), name); }

std::string system_directory() { return {}; }

}  // namespace nimbalo::platform

namespace nimbalo::platform {

std::string program_files_folder() { return "/opt"; }

const char* executable_file_name() { return "nimbalo"; }

std::string fallback_data_home() {
    if (auto xdg = get_env("XDG_DATA_HOME"); xdg && !xdg->empty()) return *xdg;
    return join_path(get_env("HOME").value_or("/tmp"), ".local/share");
}

std::string join_path(std::string_view dir, std::string_view name) {
    std::string out(dir);
    if (!out.empty() && out.back() != '/') out += '/';
    out += name;
    return out;
}

bool start_detached_thread(void (*fn)(void*), void* arg, size_t stack_bytes) {
    struct Start {
        void (*fn)(void*);
        void* arg;
    };
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return false;
    const size_t page = size_t(::sysconf(_SC_PAGESIZE) > 0 ? ::sysconf(_SC_PAGESIZE) : 4096);
    stack_bytes = std::max<size_t>(stack_bytes, PTHREAD_STACK_MIN);
    stack_bytes = (stack_bytes + page - 1) / page * page;
    auto* start = new (std::nothrow) Start{fn, arg};
    pthread_t thread;
    const bool ok = start && pthread_attr_setstacksize(&attr, stack_bytes) == 0 &&
                    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED) == 0 &&
                    pthread_create(&thread, &attr, [](void* p) -> void* {
                        const Start s = *static_cast<Start*>(p);
                        delete static_cast<Start*>(p);
                        s.fn(s.arg);
                        return nullptr;
                    }, start) == 0;
    pthread_attr_destroy(&attr);
    if (!ok) delete start;
    return ok;
}

}  // namespace nimbalo::platform

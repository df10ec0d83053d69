#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/child_process.h"
#include "platform/system.h"
#include "platform/unique_handle.h"

extern char** environ;

namespace nimbalo::platform {

namespace {

struct FdTraits {
    using Value = int;
    static constexpr int none() { return -1; }
    static bool valid(int fd) { return fd >= 0; }
    static void close(int fd) { ::close(fd); }
};
using Fd = UniqueHandle<FdTraits>;

}  // namespace

struct ChildProcess::Impl {
    pid_t pid = -1;
    bool reaped = false;
    int exit_code = -1;
    Fd input, output;  // our ends: the child's standard input (write) and output (read)
};

ChildProcess::ChildProcess(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ChildProcess::ChildProcess(ChildProcess&&) noexcept = default;
ChildProcess& ChildProcess::operator=(ChildProcess&&) noexcept = default;
ChildProcess::~ChildProcess() = default;

Result<ChildProcess> ChildProcess::start(const std::string& program, const std::vector<std::string>& args) {
    // Every descriptor is close-on-exec, so the child gets only what the file actions give it:
    // its two pipe ends as 0 and 1, and /dev/null as 2.
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return fail(io_error_text(errno));
    Fd in_read(in[0]), in_write(in[1]);
    if (pipe2(out, O_CLOEXEC) != 0) return fail(io_error_text(errno));
    Fd out_read(out[0]), out_write(out[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in_read.get(), 0);
    posix_spawn_file_actions_adddup2(&actions, out_write.get(), 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return fail(io_error_text(rc));

    auto impl = std::make_unique<Impl>();
    impl->pid = pid;
    impl->input = std::move(in_write);
    impl->output = std::move(out_read);
    // in_read and out_write close here: only the child holds them now.
    return ChildProcess(std::move(impl));
}

Status ChildProcess::write_input(std::string_view bytes) {
    if (!impl_->input) return fail(io_error_text(EBADF));
    while (!bytes.empty()) {
        // MSG_NOSIGNAL does not apply to pipes: a child that closed its input would raise SIGPIPE.
        // Ignore it for this process; a broken pipe then comes back as EPIPE.
        static const bool ignored = [] { return ::signal(SIGPIPE, SIG_IGN) != SIG_ERR; }();
        (void)ignored;
        const ssize_t n = ::write(impl_->input.get(), bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(io_error_text(errno));
        bytes.remove_prefix(size_t(n));
    }
    return {};
}

void ChildProcess::close_input() { impl_->input.reset(); }

Result<size_t> ChildProcess::read_output(std::span<char> buf) {
    for (;;) {
        const ssize_t n = ::read(impl_->output.get(), buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(io_error_text(errno));
        return size_t(n);
    }
}

void ChildProcess::terminate() {
    if (!impl_->reaped) ::kill(impl_->pid, SIGKILL);
}

int ChildProcess::wait() {
    if (!impl_->reaped) {
        int status = 0;
        while (waitpid(impl_->pid, &status, 0) < 0 && errno == EINTR) {
        }
        impl_->reaped = true;
        impl_->exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return impl_->exit_code;
}

}  // namespace nimbalo::platform

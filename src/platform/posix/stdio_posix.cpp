#include <errno.h>
#include <signal.h>
#include <unistd.h>

#include "platform/stdio.h"
#include "platform/system.h"

namespace nimbalo::platform {

// No text mode here; but a client that closes its end must turn our writes into errors rather
// than kill the process with SIGPIPE.
void set_binary_stdio() { ::signal(SIGPIPE, SIG_IGN); }

Result<size_t> read_stdin(std::span<char> buf) {
    for (;;) {
        const ssize_t n = ::read(0, buf.data(), buf.size());
        if (n >= 0) return size_t(n);
        if (errno == EINTR) continue;
        return fail(io_error_text(errno));
    }
}

Status write_stdout_all(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(1, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(io_error_text(errno));
        }
        if (n == 0) return fail("standard output accepts no more bytes");
        bytes.remove_prefix(size_t(n));
    }
    return {};  // write(2) is unbuffered: nothing to flush
}

}  // namespace nimbalo::platform

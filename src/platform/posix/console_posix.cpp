#include <errno.h>
#include <unistd.h>

#include "platform/console.h"

namespace nimbalo::platform {

std::vector<std::string> process_arguments(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
}

void attach_parent_console() {}

namespace {
void write_all(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        text.remove_prefix(size_t(n));
    }
}
}  // namespace

void write_stdout(std::string_view text) { write_all(1, text); }
void write_stderr(std::string_view text) { write_all(2, text); }

// There is no launcher on this platform, so there is nothing to keep single.
InstanceCheck claim_single_instance() { return InstanceCheck::Unprotected; }
void release_single_instance() {}

}  // namespace nimbalo::platform

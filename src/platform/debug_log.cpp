#include "platform/debug_log.h"

#include <atomic>
#include <mutex>

#include "common/text.h"
#include "platform/system.h"

namespace nimbalo::platform {

std::string format_debug_line(uint64_t tick_ms, std::string_view message) {
    const std::string stamp = pad_left(std::to_string(tick_ms % 10'000'000), 7);
    std::string line;
    line.reserve(stamp.size() + message.size() + 4);
    line += '[';
    line += stamp;
    line += "] ";
    line += message;
    line += '\n';
    return line;
}

namespace {
// -1: not read yet; 0: off; 1: on. Two first calls racing both read the same environment.
std::atomic<int> g_switch{-1};
// The system appends each write whole (Windows' append-only handles, O_APPEND), but Wine emulates
// append as "seek to the end, then write", which loses lines when two of our threads race; the
// threads of one process therefore take turns. Separate processes still rely on the system.
std::mutex g_append;
}  // namespace

void debug_log_reset_switch_for_testing() { g_switch.store(-1); }

void debug_log(std::string_view message) {
    int on = g_switch.load(std::memory_order_relaxed);
    if (on < 0) {
        on = platform::get_env("NIMBALO_DEBUG").has_value() ? 1 : 0;
        g_switch.store(on, std::memory_order_relaxed);
    }
    if (on == 0) return;
    try {
        const std::string path = platform::from_path(platform::to_path(platform::temp_dir()) / "nimbalo.log");
        const std::string line = format_debug_line(platform::tick_count_ms(), message);
        const std::lock_guard<std::mutex> lock(g_append);
        (void)platform::append_to_file_shared(path, line);
    } catch (...) {
        // Out of memory while building the line: the trace is best effort.
    }
}

}  // namespace nimbalo::platform

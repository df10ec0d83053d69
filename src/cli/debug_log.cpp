#include "cli/debug_log.h"

#include "common/text.h"
#include "platform/system.h"

namespace nimbalo::cli {

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

void debug_log(std::string_view message) {
    static const bool enabled = platform::get_env("NIMBALO_DEBUG").has_value();
    if (!enabled) return;
    try {
        const std::string path = platform::from_path(platform::to_path(platform::temp_dir()) / "nimbalo.log");
        (void)platform::append_to_file_shared(path, format_debug_line(platform::tick_count_ms(), message));
    } catch (...) {
        // Out of memory while building the line: the trace is best effort.
    }
}

}  // namespace nimbalo::cli
